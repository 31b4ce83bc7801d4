// The installed headers under -Wconversion -Wsign-conversion as errors, as
// C++17 (the C headers) and C++20 (vantrel.hpp too).
#include "vantrel.h"
#include "vantrel_schema.h"
#include "vantrel_version.h"
#include "vantrel_reader.h"
#if __cplusplus >= 202002L
#include "vantrel.hpp"
#endif
// Again, with the same bound: the check of the bound compiles quietly.
#include "vantrel_reader.h"

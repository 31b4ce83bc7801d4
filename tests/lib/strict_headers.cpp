// The installed headers under -Wconversion -Wsign-conversion as errors, as
// C++17 (the C headers) and C++20 (vantrel.hpp too).
#include "vantrel.h"
#include "vantrel_schema.h"
#include "vantrel_version.h"
#if __cplusplus >= 202002L
#include "vantrel.hpp"
#endif

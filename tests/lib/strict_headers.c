/* The installed headers under the strictest warnings a user may build
 * with (-Wconversion -Wsign-conversion, warnings as errors): compiled as
 * C99 here, and strict_headers.cpp as C++17 and C++20. */
#include "vantrel.h"
#include "vantrel_schema.h"
#include "vantrel_version.h"

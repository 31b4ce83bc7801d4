/* The installed headers under the strictest warnings a user may build
 * with (-Wconversion -Wsign-conversion, warnings as errors): compiled as
 * C99 here, and strict_headers.cpp as C++17 and C++20. */
#include "vantrel.h"
#include "vantrel_version.h"
/* The firmware's order: the builder, then the reader with a bound of its
 * own, which it keeps (lib.depth_bound checks the other order fails). */
#define VANTREL_MAX_DEPTH 16u
#include "vantrel_reader.h"
#include "vantrel_schema.h"
#include "vantrel_format.h"
#include "vantrel_reader.h"
#include "vantrel_schema.h" /* after the bound: it includes the reader */
typedef char strict_headers_keep_the_bound[VANTREL_MAX_DEPTH_COMPILED_ == 16 ? 1 : -1];

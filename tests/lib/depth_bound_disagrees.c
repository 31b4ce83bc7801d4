/* A unit that includes the reader with its default bound and then again
 * with another: this must not compile (lib.depth_bound_disagrees). */
#include "vantrel_reader.h"
#undef VANTREL_MAX_DEPTH
#define VANTREL_MAX_DEPTH 16u
#include "vantrel_reader.h"

/* The reader as firmware builds it, with a depth bound of its own defined
 * after the builder's header, which must leave the bound to the reader.  C,
 * so that its smaller vantrel_reader does not meet the default one in a
 * C++ program. */
#include "vantrel.h"
#define VANTREL_MAX_DEPTH 16u
#include "vantrel_reader.h"

int small_stack_check(const void *blob, size_t size, uint32_t *offset)
{
    vantrel_reader r;
    vantrel_tag tag;
    int step, code = vantrel_check(blob, size, offset, NULL);
    /* The iterator keeps the same bound. */
    vantrel_reader_init(&r, blob, size, 0);
    while ((step = vantrel_reader_next(&r, &tag)) > 0)
        ;
    return (step < 0 ? r.walk.fault_code : 0) == code ? code : -1;
}

uint32_t small_stack_max_depth(void)
{
    return VANTREL_MAX_DEPTH;
}

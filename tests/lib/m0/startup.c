/* The least a Cortex-M0 image needs around the firmware example: a vector
 * table, a reset handler, and the two C library functions the reader and
 * the builder call.  Linked without any C or C++ library. */
#include <stddef.h>
#include <stdint.h>

#include "firmware.h"

extern uint32_t stack_top;
volatile int firmware_result;

void reset_handler(void)
{
    firmware_result = firmware_main();
    for (;;)
        ;
}

/* The initial stack pointer, then the reset vector. */
struct vector_table {
    uint32_t *stack;
    void (*reset)(void);
};
__attribute__((section(".vectors"), used)) const struct vector_table vectors = {&stack_top, reset_handler};

/* Built with -fno-builtin -fno-tree-loop-distribute-patterns, so that the
 * loops do not become calls to themselves. */
void *memcpy(void *to, const void *from, size_t n)
{
    uint8_t *t = to;
    const uint8_t *f = from;
    while (n-- > 0)
        *t++ = *f++;
    return to;
}

void *memset(void *to, int value, size_t n)
{
    uint8_t *t = to;
    while (n-- > 0)
        *t++ = (uint8_t)value;
    return to;
}

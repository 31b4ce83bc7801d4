/* memcpy and memset for the inspector's WebAssembly module, which links no
 * C library: the compiler calls them for copies it does not inline (struct
 * copies, zeroing).  Built with -ffreestanding, whose -fno-builtin keeps
 * the compiler from turning these loops back into calls of themselves. */
#include <stddef.h>

void *memcpy(void *restrict to, const void *restrict from, size_t count);
void *memset(void *to, int byte, size_t count);

void *memcpy(void *restrict to, const void *restrict from, size_t count)
{
    unsigned char *d = to;
    const unsigned char *s = from;
    while (count-- != 0)
        *d++ = *s++;
    return to;
}

void *memset(void *to, int byte, size_t count)
{
    unsigned char *d = to;
    while (count-- != 0)
        *d++ = (unsigned char)byte;
    return to;
}

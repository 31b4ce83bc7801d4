/* The part of <string.h> that vantrel_reader.h uses, for the inspector's
 * WebAssembly module, which has no C library.  Calls of a known size go to
 * the compiler's builtins, which it turns into loads and stores; what is
 * left becomes a call of the functions in freestanding.c. */
#ifndef VANTREL_WEB_STRING_H
#define VANTREL_WEB_STRING_H

#include <stddef.h>

void *memcpy(void *restrict to, const void *restrict from, size_t count);
void *memset(void *to, int byte, size_t count);

#define memcpy(to, from, count) __builtin_memcpy(to, from, count)
#define memset(to, byte, count) __builtin_memset(to, byte, count)

#endif

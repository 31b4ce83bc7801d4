/* Links the arrays vantrel-comp --c-array wrote and compares each with the
 * blob file compiled from the same source with the same options: the same
 * bytes, the same size, and the array at an address of the blob's
 * alignment.  Plain C11 that is C++17 and C++20 as well; built as all three. */
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif
extern const unsigned char blob_a8[];
extern const size_t blob_a8_size;
extern const unsigned char blob_a64[];
extern const size_t blob_a64_size;
#ifdef __cplusplus
}
#endif

static int check(const char *path, const unsigned char *array, size_t size, uintptr_t alignment)
{
    static unsigned char file_bytes[16384];
    size_t got = 0;
    FILE *file = fopen(path, "rb");
    if (file != NULL) {
        got = fread(file_bytes, 1, sizeof file_bytes, file);
        fclose(file);
    }
    if (got == 0 || got != size || memcmp(file_bytes, array, size) != 0) {
        printf("%s: the array differs from the file (%zu and %zu bytes)\n", path, size, got);
        return 1;
    }
    if ((uintptr_t)array % alignment != 0) {
        printf("%s: the array is not aligned to %u\n", path, (unsigned)alignment);
        return 1;
    }
    printf("%s: %zu bytes, aligned to %u\n", path, size, (unsigned)alignment);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    return check(argv[1], blob_a8, blob_a8_size, 8) | check(argv[2], blob_a64, blob_a64_size, 64);
}

/* The arrays vantrel_add_blobs made of sources named int, main, __init__,
 * size_t, int8_t, INT8_MAX, x-, _Foo, std and plain, under the names it
 * promises: each holds the same blob, from the same source. */
#include <comp_renamed_blobs.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

int main(void)
{
    const unsigned char *arrays[] = {blob_int, blob_main, blob_init, blob_size_t, blob_int8_t,
                                     blob_INT8_MAX, blob_x, blob_Foo, blob_std, plain};
    const size_t sizes[] = {blob_int_size, blob_main_size, blob_init_size, blob_size_t_size,
                            blob_int8_t_size, blob_INT8_MAX_size, blob_x_size, blob_Foo_size,
                            blob_std_size, plain_size};
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        if (sizes[i] != plain_size || plain_size == 0 || memcmp(arrays[i], plain, plain_size) != 0) {
            printf("array %u differs from plain\n", (unsigned)i);
            return 1;
        }
    }
    return 0;
}

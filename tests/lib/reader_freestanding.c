/* The reader compiled for a bare-metal target: every entry point a
 * firmware would call, kept out of the optimizer's reach by external
 * linkage.  Built with -ffreestanding, no library. */
#include "vantrel_reader.h"

int firmware_check(const void *blob, size_t size, uint32_t *offset, const char **reason)
{
    return vantrel_check(blob, size, offset, reason);
}

uint32_t firmware_count_tags(const void *blob, size_t size)
{
    static vantrel_reader reader;
    vantrel_tag tag;
    uint32_t count = 0;
    vantrel_reader_init(&reader, blob, size, 0);
    while (vantrel_reader_next(&reader, &tag) > 0)
        ++count;
    return count;
}

int firmware_settings(const void *blob, size_t size, uint64_t *interval, const char **model, uint32_t *model_length,
                      const void **table, uint32_t *table_size)
{
    int found = vantrel_get_integer(blob, size, 0x102, interval);
    if (found == VANTREL_OK)
        found = vantrel_get_string(blob, size, 0x100, model, model_length);
    if (found == VANTREL_OK)
        found = vantrel_get_data(blob, size, 0x200, table, table_size, NULL);
    return found;
}

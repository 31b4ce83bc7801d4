/* Links vantrel::reader alone: the header-only reader, no library.  Reads
 * back a blob written by hand (the worked example of the format). */
#include <stdio.h>
#include <vantrel_reader.h>

int main(void)
{
    static const unsigned char blob[72] = {
        0x01, 0x00, 0x60, 0x7A, 0x10, 0, 0, 0, 0x48, 0, 0, 0, 0, 0, 0, 0,
        0x02, 0x00, 0x60, 0x7A, 0x18, 0, 0, 0, 0x01, 0, 0, 0, 0x03, 0, 0, 0,
        'a', 'b', 'c', 0, 0, 0, 0, 0,
        0x03, 0x00, 0x60, 0x7A, 0x18, 0, 0, 0, 0x05, 0, 0, 0, 0, 0, 0, 0,
        0x02, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0x08, 0, 0, 0};
    uint64_t value = 0;
    /* The bytes are little-endian; either kind of host reads them. */
    int found = vantrel_get_integer(blob, sizeof blob, 2, &value);
    printf("reader-only consumer: integer 2 is %u\n", (unsigned)value);
    return found == VANTREL_OK && value == 5 ? 0 : 1;
}

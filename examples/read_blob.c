/* Reads a blob file of either byte order with the checked C reader and
 * lists its tags the way vantrel-dump does.  Needs only vantrel_reader.h:
 * no library to link.
 * Usage: read_blob FILE */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include <vantrel_reader.h>

static void indent(uint32_t units)
{
    while (units-- > 0)
        fputs("  ", stdout);
}

static void print_tag(const vantrel_tag *t)
{
    uint32_t i;
    switch (t->code) {
    case VANTREL_TAG_START:
        indent(t->depth);
        puts("[start]");
        break;
    case VANTREL_TAG_END:
        indent(t->depth);
        puts("[end]");
        break;
    case VANTREL_TAG_INTEGER:
        indent(t->depth + 1);
        printf("[integer] id=0x%" PRIx32 ", data=%" PRId64 "/0x%" PRIX64 "\n", t->id, (int64_t)t->value, t->value);
        break;
    case VANTREL_TAG_STRING:
        indent(t->depth + 1);
        printf("[string] id=0x%" PRIx32 ", size=%" PRIu32 ", data=\"", t->id, t->size);
        for (i = 0; i < t->size; ++i) /* the characters are not zero-terminated */
            putchar(t->payload[i] >= 0x80 ? '.' : t->payload[i]);
        puts("\"");
        break;
    default: /* VANTREL_TAG_DATA_BLOCK */
        indent(t->depth + 1);
        printf("[data_block] id=0x%" PRIx32 ", type=0x%" PRIx32 ", size=%" PRIu32 ", data=<", t->id, t->type, t->size);
        for (i = 0; i < t->size; ++i)
            printf("%02X", t->payload[i]);
        puts(">");
        break;
    }
}

int main(int argc, char **argv)
{
    static vantrel_reader reader; /* about 4 KiB: kept off the stack */
    vantrel_tag tag;
    unsigned char *blob = NULL;
    size_t size = 0, room = 0, got;
    FILE *in;
    int step;

    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 1;
    }
    in = fopen(argv[1], "rb");
    if (in == NULL) {
        perror(argv[1]);
        return 1;
    }
    do {
        if (size == room) {
            unsigned char *more = realloc(blob, room = room * 2 + 4096);
            if (more == NULL) {
                fprintf(stderr, "%s: out of memory\n", argv[0]);
                free(blob);
                fclose(in);
                return 1;
            }
            blob = more;
        }
        got = fread(blob + size, 1, room - size, in);
        size += got;
    } while (got != 0);
    fclose(in);

    vantrel_reader_init(&reader, blob, size, 0);
    while ((step = vantrel_reader_next(&reader, &tag)) > 0)
        print_tag(&tag);
    if (step < 0) {
        uint32_t offset;
        const char *reason;
        vantrel_reader_fault(&reader, &offset, &reason);
        fprintf(stderr, "%s: '%s'@0x%" PRIX32 ": %s\n", argv[0], argv[1], offset, reason);
    }
    free(blob);
    return step < 0 ? 1 : 0;
}

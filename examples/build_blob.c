/* Builds a small settings blob with libvantrel and writes it to a file.
 * Usage: build_blob OUTPUT */
#include <stdio.h>

#include <vantrel.h>

int main(int argc, char **argv)
{
    static const unsigned char calibration[] = {0xF6, 0xFF, 0x04, 0x00};
    static const char header[] = "cal";
    const vantrel_scatter pieces[] = {
        {header, 3}, {calibration, sizeof calibration}, {NULL, 0}};
    unsigned char buffer[256];
    vantrel_state state;
    FILE *out;
    uint32_t size;

    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 1;
    }
    if (vantrel_init(&state, buffer, sizeof buffer, 8) != 0
        || vantrel_add_string(&state, "TH-40", 5, 0x100) != 0
        || vantrel_add_integer(&state, 250, 0x200) != 0
        || vantrel_add_scatter_data_block(&state, pieces, 1, 0x300) != 0
        || vantrel_end(&state) != 0) {
        fprintf(stderr, "%s: blob does not fit in %u bytes\n", argv[0], (unsigned)sizeof buffer);
        return 1;
    }
    size = vantrel_get_used_size(&state);
    out = fopen(argv[1], "wb");
    if (out == NULL) {
        perror(argv[1]);
        return 1;
    }
    if (fwrite(buffer, 1, size, out) != size || fclose(out) != 0) {
        perror(argv[1]);
        return 1;
    }
    printf("wrote %u bytes\n", (unsigned)size);
    return 0;
}

// Writes the input of bench/dump_vs_xxd.sh: a blob of data blocks whose
// bytes total MIB mebibytes (far past the compiler's 64 KiB limit), and the
// same bytes without any tags, for xxd.
// Usage: dump_make_blob BLOB RAW [MIB]        (MIB defaults to 64)
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "vantrel.h"

namespace {

constexpr uint32_t block_bytes = 1u << 20;

int write_all(const char *name, const uint8_t *bytes, size_t size)
{
    FILE *f = std::fopen(name, "wb");
    if (f == nullptr) {
        std::perror(name);
        return 1;
    }
    size_t put = std::fwrite(bytes, 1, size, f);
    if (std::fclose(f) != 0 || put != size) {
        std::perror(name);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s BLOB RAW [MIB]\n", argv[0]);
        return 1;
    }
    long mib = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 64;
    if (mib < 1 || mib > 4000) {
        std::fprintf(stderr, "%s: MIB must be 1 to 4000\n", argv[0]);
        return 1;
    }
    uint32_t blocks = static_cast<uint32_t>(mib);
    size_t raw_size = size_t{blocks} * block_bytes;
    // Each block's 20 bytes of fields round to 24 at alignment 8; start and
    // end tag take 24 more.
    uint32_t blob_size = static_cast<uint32_t>(raw_size + blocks * 24u + 24u);
    auto *raw = static_cast<uint8_t *>(std::malloc(raw_size));
    auto *blob = static_cast<uint8_t *>(std::malloc(blob_size));
    int status = 1;
    if (raw != nullptr && blob != nullptr) {
        // Bytes that do not repeat in any short pattern.
        uint64_t x = 0x9E3779B97F4A7C15u;
        for (size_t i = 0; i < raw_size; ++i) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            raw[i] = static_cast<uint8_t>(x >> 24);
        }
        vantrel_state state;
        status = vantrel_init(&state, blob, blob_size, 8);
        for (uint32_t b = 0; b < blocks && status == 0; ++b)
            status = vantrel_add_data_block(&state, raw + size_t{b} * block_bytes, block_bytes, 1, b);
        if (status == 0)
            status = vantrel_end(&state);
        if (status != 0)
            std::fprintf(stderr, "%s: the blob does not fit\n", argv[0]);
        else
            status = write_all(argv[1], blob, vantrel_get_used_size(&state)) != 0 ||
                     write_all(argv[2], raw, raw_size) != 0;
    } else {
        std::fprintf(stderr, "%s: out of memory\n", argv[0]);
    }
    std::free(raw);
    std::free(blob);
    return status;
}

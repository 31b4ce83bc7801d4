// Writes the inputs of bench/dump_vs_xxd.sh and bench/dump_speed.sh:
//   - a blob of data blocks whose bytes total MIB mebibytes (far past the
//     compiler's 64 KiB limit), and the same bytes without any tags, for xxd;
//   - with --strings SHAPE, a blob of strings of 1 to 2048 bytes totalling
//     about MIB mebibytes of characters, in one of three shapes:
//       ascii    printable ASCII words, nothing --json escapes
//       escapes  a quarter of the characters escaped by --json (quotes,
//                backslashes, line breaks, tabs, other control characters,
//                DEL), a quarter of two to four bytes of UTF-8, the rest
//                plain ASCII
//       prose    ASCII words and punctuation, one line break in a hundred
//                characters, one character in ten of two or three bytes
// Usage: dump_make_blob BLOB RAW [MIB]                  (MIB defaults to 64)
//        dump_make_blob --strings SHAPE BLOB [MIB]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Numbers that do not repeat in any short pattern (xorshift).
struct random_bits {
    uint64_t x = 0x9E3779B97F4A7C15u;
    uint32_t next()
    {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<uint32_t>(x >> 24);
    }
    uint32_t below(uint32_t n) { return next() % n; }
};

// One character of the shape, appended to `text`.
void add_character(std::string *text, const char *shape, random_bits *r)
{
    static const char *const multibyte[] = {"\xC3\xA9", "\xC3\xBC", "\xC3\x9F", "\xD0\x96", "\xCE\xBB",
                                            "\xE2\x80\x94", "\xE2\x82\xAC", "\xE3\x81\x82", "\xF0\x9F\x98\x80"};
    static const char letters[] = "etaoinshrdlucmfwypvbgkjqxz";
    static const char escaped[] = "\"\\\n\t\r\x01\x1B\x7F";
    uint32_t roll = r->below(100);
    if (std::strcmp(shape, "ascii") == 0) {
        *text += roll < 16 ? ' ' : roll < 18 ? '.' : roll < 20 ? ',' : letters[r->below(26)];
    } else if (std::strcmp(shape, "escapes") == 0) {
        if (roll < 25)
            *text += escaped[r->below(sizeof escaped - 1)];
        else if (roll < 50)
            *text += multibyte[r->below(9)];
        else
            *text += roll < 60 ? ' ' : letters[r->below(26)];
    } else { // prose: two or three bytes only, as European text has them
        if (roll < 10)
            *text += multibyte[r->below(8)];
        else if (roll < 11)
            *text += '\n';
        else
            *text += roll < 26 ? ' ' : roll < 28 ? ',' : roll < 29 ? '.' : letters[r->below(26)];
    }
}

int write_strings(const char *shape, const char *name, long mib)
{
    if (std::strcmp(shape, "ascii") != 0 && std::strcmp(shape, "escapes") != 0 && std::strcmp(shape, "prose") != 0) {
        std::fprintf(stderr, "dump_make_blob: the shapes are ascii, escapes and prose\n");
        return 1;
    }
    size_t want = size_t(mib) << 20;
    // Each string's 17 bytes of fields and terminator round to at most 24.
    size_t room = want + want / 16 + 4096;
    auto *blob = static_cast<uint8_t *>(std::malloc(room));
    if (blob == nullptr) {
        std::fprintf(stderr, "dump_make_blob: out of memory\n");
        return 1;
    }
    random_bits r;
    vantrel_state state;
    int status = vantrel_init(&state, blob, static_cast<uint32_t>(room), 8);
    std::string text;
    for (size_t total = 0, id = 0; total < want && status == 0; total += text.size(), ++id) {
        text.clear();
        for (uint32_t length = 1 + r.below(2048); text.size() < length;)
            add_character(&text, shape, &r);
        status = vantrel_add_string(&state, text.data(), static_cast<uint32_t>(text.size()), static_cast<uint32_t>(id));
    }
    if (status == 0)
        status = vantrel_end(&state);
    if (status != 0)
        std::fprintf(stderr, "dump_make_blob: the blob does not fit\n");
    else
        status = write_all(name, blob, vantrel_get_used_size(&state));
    std::free(blob);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    bool strings = argc >= 2 && std::strcmp(argv[1], "--strings") == 0;
    int first = strings ? 2 : 1;
    if (argc - first != 2 && argc - first != 3) {
        std::fprintf(stderr, "usage: %s BLOB RAW [MIB]\n       %s --strings SHAPE BLOB [MIB]\n", argv[0], argv[0]);
        return 1;
    }
    long mib = argc - first == 3 ? std::strtol(argv[first + 2], nullptr, 10) : 64;
    if (mib < 1 || mib > (strings ? 2000 : 4000)) {
        std::fprintf(stderr, "%s: MIB must be 1 to %d\n", argv[0], strings ? 2000 : 4000);
        return 1;
    }
    if (strings)
        return write_strings(argv[2], argv[3], mib);
    uint32_t blocks = static_cast<uint32_t>(mib);
    size_t raw_size = size_t{blocks} * block_bytes;
    // Each block's 20 bytes of fields round to 24 at alignment 8; start and
    // end tag take 24 more.
    uint32_t blob_size = static_cast<uint32_t>(raw_size + blocks * 24u + 24u);
    auto *raw = static_cast<uint8_t *>(std::malloc(raw_size));
    auto *blob = static_cast<uint8_t *>(std::malloc(blob_size));
    int status = 1;
    if (raw != nullptr && blob != nullptr) {
        random_bits r;
        for (size_t i = 0; i < raw_size; ++i)
            raw[i] = static_cast<uint8_t>(r.next());
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

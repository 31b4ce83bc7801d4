// The text listing: "[start]", one line per tag, "[end]", two spaces of
// indentation per level, tags one level deeper than their block's lines.
#include "dump.h"

#include <cinttypes>
#include <cstring>

namespace {

void indent(FILE *out, int units)
{
    static constexpr char spaces[] = "                                                                ";
    size_t n = static_cast<size_t>(units) * 2;
    while (n != 0) {
        size_t count = n < sizeof spaces - 1 ? n : sizeof spaces - 1;
        std::fwrite(spaces, 1, count, out);
        n -= count;
    }
}

// Two upper-case hex digits per byte value, so that a chunk of data is
// formatted by lookup and written with one call.
struct hex_pairs {
    char digits[512];
};

constexpr hex_pairs make_hex_pairs()
{
    constexpr char hex[] = "0123456789ABCDEF";
    hex_pairs table{};
    for (int b = 0; b < 256; ++b) {
        table.digits[2 * b] = hex[b >> 4];
        table.digits[2 * b + 1] = hex[b & 15];
    }
    return table;
}

constexpr hex_pairs byte_hex = make_hex_pairs();

void block_start(FILE *out, int depth)
{
    indent(out, depth);
    std::fputs("[start]\n", out);
}

void block_end(FILE *out, int depth)
{
    indent(out, depth);
    std::fputs("[end]\n", out);
}

void string_head(FILE *out, int depth, uint32_t id, uint32_t size)
{
    indent(out, depth + 1);
    std::fprintf(out, "[string] id=0x%" PRIx32 ", size=%" PRIu32 ", data=\"", id, size);
}

// Bytes of 0x80 and above would not show as one character; every other byte
// goes out as it is, line breaks and quotes included.
void string_chunk(FILE *out, const uint8_t *bytes, uint32_t count)
{
    char text[64];
    for (uint32_t i = 0; i < count; ++i)
        text[i] = bytes[i] >= 0x80 ? '.' : static_cast<char>(bytes[i]);
    std::fwrite(text, 1, count, out);
}

void string_tail(FILE *out) { std::fputs("\"\n", out); }

void integer(FILE *out, int depth, uint32_t id, uint64_t value)
{
    indent(out, depth + 1);
    std::fprintf(out, "[integer] id=0x%" PRIx32 ", data=%" PRId64 "/0x%" PRIX64 "\n", id,
                 static_cast<int64_t>(value), value);
}

void data_head(FILE *out, int depth, uint32_t id, uint32_t type, uint32_t size)
{
    indent(out, depth + 1);
    std::fprintf(out, "[data_block] id=0x%" PRIx32 ", type=0x%" PRIx32 ", size=%" PRIu32 ", data=<", id, type,
                 size);
}

void data_chunk(FILE *out, const uint8_t *bytes, uint32_t count)
{
    char text[128];
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(text + 2 * i, byte_hex.digits + 2 * bytes[i], 2);
    std::fwrite(text, 1, 2 * size_t{count}, out);
}

void data_tail(FILE *out) { std::fputs(">\n", out); }

} // namespace

const dump_format dump_listing = {
    block_start, block_end, string_head, string_chunk, string_tail, integer, data_head, data_chunk, data_tail,
};

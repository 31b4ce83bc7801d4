// The source text of a checked blob: "{", one command per tag, "}".
//
//   ids and types   0x and lower-case hex digits, as the listing shows them
//   integers        decimal below 0x10000, else 0x and upper-case hex digits
//                   in groups of four from the right, joined by "_"
//   strings         quoted; \n \r \t \\ \" escaped, every other byte as it is
//                   (the compiler stores any byte between the quotes, and
//                   trims white space only outside them)
//   data blocks     upper-case hex pairs in groups of four bytes; up to 32
//                   bytes on the command's line, more as "begin", lines of
//                   32 bytes, "end"
#include <cinttypes>
#include <cstdlib>

#include "source.h"
#include "vantrel.h"

namespace {

constexpr char INDENT[] = "  ";
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// The escape for a string byte that cannot stand for itself: a line feed or
// carriage return would end or change the line, a quote would close the
// text, a backslash would begin an escape.
const char *escape_of(uint8_t byte)
{
    switch (byte) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    case '\\': return "\\\\";
    case '"': return "\\\"";
    default: return nullptr;
    }
}

// "0x" and the lower-case hex digits of an id or type; returns the length.
int id_text(char (&text)[11], uint32_t id) { return std::snprintf(text, sizeof text, "0x%" PRIx32, id); }

void write_value(FILE *out, uint64_t value)
{
    if (value < 0x10000) {
        std::fprintf(out, "%" PRIu64, value);
        return;
    }
    char digits[17];
    int n = std::snprintf(digits, sizeof digits, "%" PRIX64, value);
    std::fputs("0x", out);
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 4 == 0)
            std::fputc('_', out);
        std::fputc(digits[i], out);
    }
}

// One hex string: "<", the bytes in groups of four, ">".
void write_hex(FILE *out, const uint8_t *bytes, uint32_t count)
{
    char text[2 + 3 * SOURCE_HEX_LINE_BYTES];
    size_t n = 0;
    text[n++] = '<';
    for (uint32_t i = 0; i < count; ++i) {
        if (i > 0 && i % 4 == 0)
            text[n++] = ' ';
        text[n++] = HEX_DIGITS[bytes[i] >> 4];
        text[n++] = HEX_DIGITS[bytes[i] & 15];
    }
    text[n++] = '>';
    std::fwrite(text, 1, n, out);
}

void write_string(FILE *out, const vantrel_tag *tag)
{
    char id[11];
    id_text(id, tag->id);
    std::fprintf(out, "%sstr %s \"", INDENT, id);
    for (uint32_t i = 0; i < tag->size; ++i) {
        const char *escape = escape_of(tag->payload[i]);
        if (escape != nullptr)
            std::fputs(escape, out);
        else
            std::fputc(tag->payload[i], out);
    }
    std::fputs("\"\n", out);
}

void write_integer(FILE *out, const vantrel_tag *tag)
{
    char id[11];
    id_text(id, tag->id);
    std::fprintf(out, "%sint %s ", INDENT, id);
    write_value(out, tag->value);
    std::fputc('\n', out);
}

void write_data_block(FILE *out, const vantrel_tag *tag)
{
    char id[11], type[11];
    id_text(id, tag->id);
    id_text(type, tag->type);
    uint32_t size = tag->size;
    std::fprintf(out, "%sdata %s %s ", INDENT, id, type);
    if (size <= SOURCE_HEX_LINE_BYTES) {
        write_hex(out, tag->payload, size);
        std::fputc('\n', out);
        return;
    }
    std::fputs("begin\n", out);
    for (uint32_t done = 0; done < size; done += SOURCE_HEX_LINE_BYTES) {
        uint32_t count = size - done < SOURCE_HEX_LINE_BYTES ? size - done : SOURCE_HEX_LINE_BYTES;
        std::fprintf(out, "%s%s", INDENT, INDENT);
        write_hex(out, tag->payload + done, count);
        std::fputc('\n', out);
    }
    std::fprintf(out, "%send\n", INDENT);
}

} // namespace

uint64_t source_string_line_length(uint32_t id, const uint8_t *characters, uint32_t size)
{
    char id_digits[11];
    uint64_t length = sizeof INDENT - 1 + 4 + static_cast<uint64_t>(id_text(id_digits, id)) + 1 + 2;
    for (uint32_t i = 0; i < size; ++i)
        length += escape_of(characters[i]) != nullptr ? 2 : 1;
    return length;
}

void source_write(FILE *out, const source_blob *blob)
{
    // The options the compiler needs to build this blob again, if any.
    if (blob->alignment != 8 || blob->length > SOURCE_DEFAULT_SIZE) {
        std::fputs("# vantrel-comp", out);
        if (blob->alignment != 8)
            std::fprintf(out, " -a %" PRIu32, blob->alignment);
        if (blob->length > SOURCE_DEFAULT_SIZE)
            std::fprintf(out, " -s %" PRIu32, blob->length);
        std::fputc('\n', out);
    }
    std::fputs("{\n", out);
    // source_load has checked the blob: one level of minimal tags.
    vantrel_tag tag;
    vantrel_checked_first(blob->bytes, blob->length, &tag);
    while (vantrel_checked_next(blob->bytes, blob->length, &tag) > 0) {
        switch (tag.code) {
        case VANTREL_TAG_STRING:
            write_string(out, &tag);
            break;
        case VANTREL_TAG_INTEGER:
            write_integer(out, &tag);
            break;
        case VANTREL_TAG_DATA_BLOCK:
            write_data_block(out, &tag);
            break;
        default:
            break;
        }
    }
    std::fputs("}\n", out);
}

int dump_source(FILE *out, FILE *in, const dump_context *ctx, const char *name)
{
    source_blob blob;
    if (source_load(out, in, ctx, name, &blob) != 0)
        return 1;
    source_write(out, &blob);
    std::free(blob.bytes);
    return std::ferror(out) ? 1 : 0;
}

// The text listing: "[start]", one line per tag, "[end]", two spaces of
// indentation per level, tags one level deeper than their block's lines.
// Lines are formatted by hand into the output buffer.
#include "dump.h"

namespace {

// What a string byte is shown as.  Bytes of 0x80 and above would not show
// as one character; to a terminal, control bytes would drive it (colours,
// titles, clipboard), so there they show as "." too.  To files and pipes
// every other byte goes out as stored, line breaks and quotes included.
struct byte_map {
    char shown[256];
};

constexpr byte_map make_byte_map(bool terminal)
{
    byte_map map{};
    for (int b = 0; b < 256; ++b) {
        bool hidden = b >= 0x80 || (terminal && (b < 0x20 || b == 0x7F));
        map.shown[b] = hidden ? '.' : static_cast<char>(b);
    }
    return map;
}

constexpr byte_map stored_bytes = make_byte_map(false);
constexpr byte_map terminal_bytes = make_byte_map(true);

// The longest tag line before its payload: "[data_block] id=0x" and 8
// digits, a space and a name, ", type=0x" and 8, a space and a name,
// ", size=" and 10, ", data=<".
constexpr size_t LINE_HEAD_MAX = 96 + 2 * (1 + VANTREL_SCHEMA_NAME_MAX);
static_assert(LINE_HEAD_MAX <= OUTPUT_ROOM_MAX);

// " NAME" after a number the schema names.
char *name(char *at, const char *text, uint32_t length)
{
    if (length == 0)
        return at;
    *at++ = ' ';
    std::memcpy(at, text, length);
    return at + length;
}

void line(dump_output *out, uint32_t units, const char *text, size_t length)
{
    output_indent(out, units);
    output_write(out, text, length);
}

void blob_start(dump_output *out, const char *, const vantrel_tag *, const vantrel_walk *)
{
    output_write(out, "[start]\n", 8);
}

void block_start(dump_output *out, const vantrel_tag *tag) { line(out, tag->depth, "[start]\n", 8); }

void block_end(dump_output *out, const vantrel_tag *tag) { line(out, tag->depth, "[end]\n", 6); }

void string_head(dump_output *out, const vantrel_tag *tag, const dump_names *names)
{
    output_indent(out, tag->depth + 1);
    char *at = output_room(out, LINE_HEAD_MAX);
    at = format_literal(at, "[string] id=0x");
    at = format_hex_lower(at, tag->id);
    at = name(at, names->name, names->name_length);
    at = format_literal(at, ", size=");
    at = format_unsigned(at, tag->size);
    at = format_literal(at, ", data=\"");
    output_commit(out, at);
}

void string_chunk(dump_output *out, const uint8_t *bytes, uint32_t count)
{
    const char *shown = out->terminal ? terminal_bytes.shown : stored_bytes.shown;
    char *at = output_room(out, count);
    for (uint32_t i = 0; i < count; ++i)
        at[i] = shown[bytes[i]];
    output_commit(out, at + count);
}

void string_tail(dump_output *out) { output_write(out, "\"\n", 2); }

void integer(dump_output *out, const vantrel_tag *tag, const dump_names *names)
{
    output_indent(out, tag->depth + 1);
    char *at = output_room(out, LINE_HEAD_MAX);
    at = format_literal(at, "[integer] id=0x");
    at = format_hex_lower(at, tag->id);
    at = name(at, names->name, names->name_length);
    at = format_literal(at, ", data=");
    at = format_signed(at, static_cast<int64_t>(tag->value));
    at = format_literal(at, "/0x");
    at = format_hex(at, tag->value);
    *at++ = '\n';
    output_commit(out, at);
}

void data_head(dump_output *out, const vantrel_tag *tag, const dump_names *names)
{
    output_indent(out, tag->depth + 1);
    char *at = output_room(out, LINE_HEAD_MAX);
    at = format_literal(at, "[data_block] id=0x");
    at = format_hex_lower(at, tag->id);
    at = name(at, names->name, names->name_length);
    at = format_literal(at, ", type=0x");
    at = format_hex_lower(at, tag->type);
    at = name(at, names->type_name, names->type_name_length);
    at = format_literal(at, ", size=");
    at = format_unsigned(at, tag->size);
    at = format_literal(at, ", data=<");
    output_commit(out, at);
}

void data_chunk(dump_output *out, const uint8_t *bytes, uint32_t count)
{
    output_commit(out, format_bytes_hex(output_room(out, 2 * size_t{count}), bytes, count));
}

void data_tail(dump_output *out) { output_write(out, ">\n", 2); }

} // namespace

// The messages on stderr tell of a file without a blob, and nothing follows
// the blob's end tag.
const dump_format dump_listing = {
    .blob_start = blob_start,
    .block_start = block_start,
    .block_end = block_end,
    .string_head = string_head,
    .string_chunk = string_chunk,
    .string_tail = string_tail,
    .integer = integer,
    .data_head = data_head,
    .data_chunk = data_chunk,
    .data_tail = data_tail,
};

// The source text of a checked blob: "{", one command per tag, "}".
//
//   ids and types   0x and lower-case hex digits, as the listing shows them;
//                   with a schema, the name of the id's declaration (not a
//                   table's: the compiler takes a table's ids as numbers)
//                   and of the type
//   integer values  with a schema, the name of the one const of that value
//   integers        else decimal below 0x10000, else 0x and upper-case hex digits
//                   in groups of four from the right, joined by "_"
//   strings         quoted; \n \r \t \\ \" escaped, every other byte as it is
//                   (the compiler stores any byte between the quotes, and
//                   trims white space only outside them)
//   data blocks     upper-case hex pairs in groups of four bytes; up to 32
//                   bytes on the command's line, more as "begin", lines of
//                   32 bytes, "end"
//
// Written through the listing's output buffer, formatted by hand.
#include <cstdlib>

#include "source.h"
#include "terminal_text.h"
#include "vantrel.h"

namespace {

// Room for a command line up to its payload: "  data 0x" and 8 digits or
// a name, " 0x" and 8 or a name, " begin".
constexpr size_t LINE_HEAD_MAX = 64 + 2 * VANTREL_SCHEMA_NAME_MAX;
static_assert(LINE_HEAD_MAX <= OUTPUT_ROOM_MAX);

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

// "0x" and the lower-case hex digits of an id or type.
char *format_id(char *at, uint32_t id) { return format_hex_lower(format_literal(at, "0x"), id); }

char *format_name(char *at, const vantrel_schema_decl *d)
{
    std::memcpy(at, d->name, d->name_length);
    return at + d->name_length;
}

// An id as its declaration's name where the compiler reads that name back
// as the id: a tag of the outer block, not of a table.
char *format_tag_id(char *at, const vantrel_schema *schema, uint32_t id)
{
    uint32_t decl = schema != nullptr ? vantrel_schema_find_id(schema, id) : VANTREL_SCHEMA_NONE;
    if (decl == VANTREL_SCHEMA_NONE || (schema->decls[decl].flags & VANTREL_DECL_TABLE))
        return format_id(at, id);
    return format_name(at, &schema->decls[decl]);
}

char *format_type(char *at, const vantrel_schema *schema, uint32_t type)
{
    uint32_t decl = schema != nullptr ? vantrel_schema_find_type(schema, type) : VANTREL_SCHEMA_NONE;
    return decl == VANTREL_SCHEMA_NONE ? format_id(at, type) : format_name(at, &schema->decls[decl]);
}

// The one const's name of the value, or decimal below 0x10000, else "0x" and upper-case hex digits in groups of
// four from the right, joined by "_".
char *format_value(char *at, const vantrel_schema *schema, uint64_t value)
{
    uint32_t decl = schema != nullptr ? dump_schema_const_of(schema, value) : VANTREL_SCHEMA_NONE;
    if (decl != VANTREL_SCHEMA_NONE)
        return format_name(at, &schema->decls[decl]);
    if (value < 0x10000)
        return format_unsigned(at, value);
    char digits[16];
    int n = static_cast<int>(format_hex(digits, value) - digits);
    at = format_literal(at, "0x");
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 4 == 0)
            *at++ = '_';
        *at++ = digits[i];
    }
    return at;
}

// One hex string and a line feed, after `indent` spaces: "<", the bytes in
// groups of four, ">".  The digits come from the listing's hex writer, then
// go out in groups; a whole line's eight groups take no test.
void write_hex_line(dump_output *out, uint32_t indent, const uint8_t *bytes, uint32_t count)
{
    char digits[2 * SOURCE_HEX_LINE_BYTES] = {};
    format_bytes_hex(digits, bytes, count);
    char *at = output_room(out, 4 + 3 + 3 * SOURCE_HEX_LINE_BYTES);
    std::memcpy(at, "    ", 4);
    at += indent;
    *at++ = '<';
    uint32_t groups = count / 4;
    auto group = [&](uint32_t g) {
        std::memcpy(at, digits + 8 * g, 8);
        at[8] = ' ';
        at += 9;
    };
    if (count == SOURCE_HEX_LINE_BYTES) {
        for (uint32_t g = 0; g < SOURCE_HEX_LINE_BYTES / 4; ++g)
            group(g);
    } else {
        for (uint32_t g = 0; g < groups; ++g)
            group(g);
    }
    uint32_t rest = count % 4;
    std::memcpy(at, digits + 8 * groups, 2 * rest);
    // Whole groups end in a space, which the ">" takes.
    at = rest != 0 || count == 0 ? at + 2 * rest : at - 1;
    *at++ = '>';
    *at++ = '\n';
    output_commit(out, at);
}

void write_string(dump_output *out, const vantrel_schema *schema, const vantrel_tag *tag)
{
    char *at = format_literal(output_room(out, LINE_HEAD_MAX), "  str ");
    at = format_tag_id(at, schema, tag->id);
    output_commit(out, format_literal(at, " \""));
    const uint8_t *bytes = tag->payload;
    for (uint32_t i = 0; i < tag->size;) {
        at = output_room(out, 4);
        const char *escape = escape_of(bytes[i]);
        size_t length = 1;
        if (escape != nullptr) {
            std::memcpy(at, escape, 2);
            at += 2;
        } else if (!out->terminal) {
            *at++ = static_cast<char>(bytes[i]);
        } else if ((length = terminal_text_length(bytes + i, tag->size - i)) == 0) {
            // A control character, or a byte that begins no character.
            *at++ = '.';
            length = 1;
        } else {
            std::memcpy(at, bytes + i, length);
            at += length;
        }
        i += static_cast<uint32_t>(length);
        output_commit(out, at);
    }
    output_write(out, "\"\n", 2);
}

void write_integer(dump_output *out, const vantrel_schema *schema, const vantrel_tag *tag)
{
    char *at = format_literal(output_room(out, LINE_HEAD_MAX), "  int ");
    at = format_tag_id(at, schema, tag->id);
    *at++ = ' ';
    at = format_value(at, schema, tag->value);
    *at++ = '\n';
    output_commit(out, at);
}

void write_data_block(dump_output *out, const vantrel_schema *schema, const vantrel_tag *tag)
{
    char *at = format_literal(output_room(out, LINE_HEAD_MAX), "  data ");
    at = format_tag_id(at, schema, tag->id);
    *at++ = ' ';
    at = format_type(at, schema, tag->type);
    *at++ = ' ';
    uint32_t size = tag->size;
    if (size <= SOURCE_HEX_LINE_BYTES) {
        output_commit(out, at);
        write_hex_line(out, 0, tag->payload, size);
        return;
    }
    output_commit(out, format_literal(at, "begin\n"));
    for (uint32_t done = 0; done < size; done += SOURCE_HEX_LINE_BYTES) {
        uint32_t count = size - done < SOURCE_HEX_LINE_BYTES ? size - done : SOURCE_HEX_LINE_BYTES;
        write_hex_line(out, 4, tag->payload + done, count);
    }
    output_write(out, "  end\n", 6);
}

// " --schema PATH" in the first line's comment; a byte that would end or
// disturb the line shows as '?'.
void schema_option(dump_output *out, const char *path)
{
    output_write(out, " --schema ", 10);
    for (; *path != '\0'; ++path) {
        auto byte = static_cast<unsigned char>(*path);
        char shown = byte < 0x20 || byte == 0x7F ? '?' : *path;
        output_write(out, &shown, 1);
    }
}

} // namespace

uint64_t source_string_line_length(const vantrel_schema *schema, uint32_t id, const uint8_t *characters,
                                   uint32_t size)
{
    char id_text[16 + VANTREL_SCHEMA_NAME_MAX];
    // "  str ", the id, " \"", the characters, "\"".
    uint64_t length = 6 + static_cast<uint64_t>(format_tag_id(id_text, schema, id) - id_text) + 2 + 1;
    for (uint32_t i = 0; i < size; ++i)
        length += escape_of(characters[i]) != nullptr ? 2 : 1;
    return length;
}

void source_write(dump_output *out, const source_blob *blob)
{
    // The options the compiler needs to build this blob again, if any.
    const vantrel_schema *schema = blob->schema != nullptr ? &blob->schema->schema : nullptr;
    if (blob->alignment != 8 || blob->length > SOURCE_DEFAULT_SIZE || schema != nullptr) {
        output_write(out, "# vantrel-comp", 14);
        if (schema != nullptr)
            schema_option(out, blob->schema->path);
        char *at = output_room(out, LINE_HEAD_MAX);
        if (blob->alignment != 8)
            at = format_unsigned(format_literal(at, " -a "), blob->alignment);
        if (blob->length > SOURCE_DEFAULT_SIZE)
            at = format_unsigned(format_literal(at, " -s "), blob->length);
        *at++ = '\n';
        output_commit(out, at);
    }
    output_write(out, "{\n", 2);
    // source_load has checked the blob: one level of minimal tags.
    vantrel_tag tag;
    vantrel_checked_first(blob->bytes, blob->length, &tag);
    while (vantrel_checked_next(blob->bytes, blob->length, &tag) > 0) {
        switch (tag.code) {
        case VANTREL_TAG_STRING:
            write_string(out, schema, &tag);
            break;
        case VANTREL_TAG_INTEGER:
            write_integer(out, schema, &tag);
            break;
        case VANTREL_TAG_DATA_BLOCK:
            write_data_block(out, schema, &tag);
            break;
        default:
            break;
        }
    }
    output_write(out, "}\n", 2);
}

int dump_source(dump_output *out, const input_source *from, const dump_context *ctx, const char *name)
{
    dump_input in;
    if (input_init_whole(&in, from) != 0) {
        dump_message(out, "%s: '%s': %s\n", ctx->prog_name, ctx->file_name, "out of memory");
        return 1;
    }
    // A pipe's writer may keep it open: what was written goes out first.
    in.pending = out;
    source_blob blob;
    int status = source_load(out, &in, ctx, name, &blob);
    if (status == 0) {
        source_write(out, &blob);
        status = out->failed ? 1 : 0;
    }
    input_release(&in);
    return status;
}

// --json: one JSON object per file on one line (JSON Lines), streamed as the
// walk goes:
//   {"file": NAME, "byte_order": "little", "length": N, "tags": [TAG, ...]}
// and, after a fault, "error": {"offset": N, "reason": TEXT} before the
// closing brace, so the line is valid JSON whatever the input.  Tags:
//   {"tag": "string", "offset": N, "id": N, "size": N, "text": "..."}
//        ("hex": "..." instead of "text" when the bytes are not UTF-8)
//   {"tag": "integer", "offset": N, "id": N, "value": "DECIMAL", "hex": "0x..."}
//   {"tag": "data_block", "offset": N, "id": N, "type": N, "size": N, "hex": "..."}
//   {"tag": "start", "offset": N, "length": N, "tags": [...]}
// An integer's value is text: 64-bit values do not survive JSON numbers.
// With a schema, a tag of the outer block whose id it declares has
// "name": NAME after its "id", and a data block whose type it names
// "type_name": NAME after its "type".  A well-formed blob that violates the
// schema ends with "error": {"offset": N, "reason": TEXT, "name": NAME}, its
// first violation, and "violations": [{...}, ...], all of them in the same
// shape ("name" is left out where no declaration is concerned).
//
// Each tag's text up to its payload is formatted by hand in one piece of
// the output buffer, as the listing's lines are.
#include <bit>

#include "dump.h"
#include "json_text.h"
#include "terminal_text.h"

namespace {

// Room for any tag's text before its payload: the longest, an integer's,
// is 2 + 29 + 20 + 8 + 10 + 12 + 20 + 13 + 16 + 2 bytes.
constexpr size_t HEAD_MAX = 160;
static_assert(HEAD_MAX <= OUTPUT_ROOM_MAX);

// ---- Text inside quotes (json_text.h), and the hex of bytes that are not
// UTF-8.

// Whether a string too long to be taken back from the buffer is UTF-8,
// asked before its text is written.
bool is_utf8(const uint8_t *bytes, size_t n)
{
    size_t i = 0;
    while (i < n) {
        // ASCII goes eight bytes at a time.
        uint64_t word;
        if (n - i >= 8 && (std::memcpy(&word, bytes + i, sizeof word), (word & 0x8080808080808080u) == 0)) {
            i += 8;
            continue;
        }
        size_t length = utf8_length(bytes + i, n - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void hex(dump_output *out, const uint8_t *bytes, size_t n)
{
    for (size_t done = 0; done < n;) {
        size_t count = n - done < OUTPUT_ROOM_MAX / 2 ? n - done : OUTPUT_ROOM_MAX / 2;
        output_commit(out, format_bytes_hex(output_room(out, 2 * count), bytes + done, count));
        done += count;
    }
}

// A whole text in quotes (file names, reasons): bytes that are not UTF-8
// become U+FFFD.
void quoted(dump_output *out, const char *name)
{
    const auto *b = reinterpret_cast<const uint8_t *>(name);
    size_t n = std::strlen(name);
    output_write(out, "\"", 1);
    for (size_t i = 0; i < n;) {
        i += json_text(out, b + i, n - i);
        if (i < n) {
            output_write(out, "\\ufffd", 6);
            ++i;
        }
    }
    output_write(out, "\"", 1);
}

// The separator before an item of the innermost list, if it has one.
char *item(dump_output *out, char *at)
{
    if (out->list_has_item)
        at = format_literal(at, ", ");
    out->list_has_item = true;
    return at;
}

// ---- The writers.

constexpr char NAME_KEY[] = ", \"name\": \"";

void blob_start(dump_output *out, const char *name, const vantrel_tag *start, const vantrel_walk *walk)
{
    bool little = (std::endian::native == std::endian::little) != (walk->swapped != 0);
    out->open_lists = 0;
    out->list_has_item = false;
    out->value_open = false;
    output_write(out, "{\"file\": ", 9);
    quoted(out, name);
    char *at = output_room(out, HEAD_MAX);
    at = little ? format_literal(at, ", \"byte_order\": \"little\"") : format_literal(at, ", \"byte_order\": \"big\"");
    at = format_literal(at, ", \"length\": ");
    at = format_unsigned(at, start->length);
    at = format_literal(at, ", \"tags\": [");
    output_commit(out, at);
}

// `, "KEY": "NAME"` for a name the schema gives (none: nothing).
template <size_t N> void name_member(dump_output *out, const char (&key)[N], const char *name, uint32_t length)
{
    if (length == 0)
        return;
    char *at = format_literal(output_room(out, N + 1 + VANTREL_SCHEMA_NAME_MAX), key);
    std::memcpy(at, name, length);
    output_commit(out, format_literal(at + length, "\""));
}

// {"offset": N, "reason": TEXT} after `head`, with the declaration's
// "name" when there is one.
void fault_object(dump_output *out, const char *head, bool has_offset, uint64_t offset, const char *reason,
                  const vantrel_schema_decl *decl)
{
    char *at = output_room(out, HEAD_MAX);
    size_t n = std::strlen(head);
    std::memcpy(at, head, n);
    at = format_literal(at + n, "{");
    if (has_offset) {
        at = format_literal(at, "\"offset\": ");
        at = format_unsigned(at, offset);
        at = format_literal(at, ", ");
    }
    output_commit(out, format_literal(at, "\"reason\": "));
    quoted(out, reason);
    if (decl != nullptr)
        name_member(out, ", \"name\": \"", decl->name, decl->name_length);
    output_write(out, "}", 1);
}

void error_member(dump_output *out, bool has_offset, uint64_t offset, const char *reason)
{
    fault_object(out, ", \"error\": ", has_offset, offset, reason, nullptr);
}

// The first violation as the error, then all of them.
void violations(dump_output *out, const dump_check *check)
{
    for (size_t i = 0; i < check->count; ++i) {
        const dump_violation *v = &check->list[i];
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        dump_violation_reason(check, v, reason);
        if (i == 0)
            fault_object(out, ", \"error\": ", true, v->offset, reason, dump_violation_decl(check, v));
        fault_object(out, i == 0 ? ", \"violations\": [" : ", ", true, v->offset, reason,
                     dump_violation_decl(check, v));
    }
    output_write(out, "]", 1);
}

void blob_end(dump_output *out, const vantrel_walk *walk, const dump_check *check)
{
    // A payload cut short by the end of the file, and the blocks it was in.
    if (out->value_open)
        output_write(out, "\"}", 2);
    for (; out->open_lists != 0; --out->open_lists)
        output_write(out, "]}", 2);
    output_write(out, "]", 1);
    if (walk->fault_code != VANTREL_E_NONE) {
        char reason[VANTREL_REASON_SIZE];
        error_member(out, true, walk->fault_offset, dump_fault_reason(walk, reason));
    } else if (check != nullptr && check->count != 0) {
        violations(out, check);
    }
    output_write(out, "}\n", 2);
}

void file_failed(dump_output *out, const char *name, bool has_offset, const char *reason)
{
    output_write(out, "{\"file\": ", 9);
    quoted(out, name);
    error_member(out, has_offset, 0, reason);
    output_write(out, "}\n", 2);
}

void block_start(dump_output *out, const vantrel_tag *tag)
{
    char *at = item(out, output_room(out, HEAD_MAX));
    at = format_literal(at, "{\"tag\": \"start\", \"offset\": ");
    at = format_unsigned(at, tag->offset);
    at = format_literal(at, ", \"length\": ");
    at = format_unsigned(at, tag->length);
    output_commit(out, format_literal(at, ", \"tags\": ["));
    ++out->open_lists;
    out->list_has_item = false;
}

void block_end(dump_output *out, const vantrel_tag *tag)
{
    // The blob's own end closes with blob_end.
    if (tag->depth == 0 || out->open_lists == 0)
        return;
    output_write(out, "]}", 2);
    --out->open_lists;
    out->list_has_item = true;
}

// A string's text goes in one pass where the buffer can hold all of it:
// written as it is checked, and taken back for hex if the bytes turn out
// not to be UTF-8.  A longer one is checked first, as its text cannot wait
// in the buffer.
void string_whole(dump_output *out, const vantrel_tag *tag, const dump_names *names, const uint8_t *bytes)
{
    char *at = item(out, output_room(out, HEAD_MAX));
    at = format_literal(at, "{\"tag\": \"string\", \"offset\": ");
    at = format_unsigned(at, tag->offset);
    at = format_literal(at, ", \"id\": ");
    output_commit(out, format_unsigned(at, tag->id));
    name_member(out, NAME_KEY, names->name, names->name_length);
    at = format_literal(output_room(out, HEAD_MAX), ", \"size\": ");
    output_commit(out, format_unsigned(at, tag->size));
    constexpr char TEXT[] = ", \"text\": \"";
    size_t whole = sizeof TEXT - 1 + json_text_room(tag->size) + 2;
    bool fits = whole <= out->capacity;
    if (fits || is_utf8(bytes, tag->size)) {
        if (fits)
            output_room(out, whole);
        size_t mark = out->used;
        output_commit(out, format_literal(output_room(out, sizeof TEXT - 1), TEXT));
        if (json_text(out, bytes, tag->size) == tag->size) {
            output_write(out, "\"}", 2);
            return;
        }
        out->used = mark;
    }
    output_commit(out, format_literal(output_room(out, HEAD_MAX), ", \"hex\": \""));
    hex(out, bytes, tag->size);
    output_write(out, "\"}", 2);
}

void integer(dump_output *out, const vantrel_tag *tag, const dump_names *names)
{
    char *at = item(out, output_room(out, HEAD_MAX));
    at = format_literal(at, "{\"tag\": \"integer\", \"offset\": ");
    at = format_unsigned(at, tag->offset);
    at = format_literal(at, ", \"id\": ");
    at = format_unsigned(at, tag->id);
    if (names->name_length != 0) {
        output_commit(out, at);
        name_member(out, NAME_KEY, names->name, names->name_length);
        at = output_room(out, HEAD_MAX);
    }
    at = format_literal(at, ", \"value\": \"");
    at = format_unsigned(at, tag->value);
    at = format_literal(at, "\", \"hex\": \"0x");
    at = format_hex(at, tag->value);
    output_commit(out, format_literal(at, "\"}"));
}

void data_head(dump_output *out, const vantrel_tag *tag, const dump_names *names)
{
    char *at = item(out, output_room(out, HEAD_MAX));
    at = format_literal(at, "{\"tag\": \"data_block\", \"offset\": ");
    at = format_unsigned(at, tag->offset);
    at = format_literal(at, ", \"id\": ");
    output_commit(out, format_unsigned(at, tag->id));
    name_member(out, NAME_KEY, names->name, names->name_length);
    at = format_literal(output_room(out, HEAD_MAX), ", \"type\": ");
    output_commit(out, format_unsigned(at, tag->type));
    name_member(out, ", \"type_name\": \"", names->type_name, names->type_name_length);
    at = format_literal(output_room(out, HEAD_MAX), ", \"size\": ");
    at = format_unsigned(at, tag->size);
    output_commit(out, format_literal(at, ", \"hex\": \""));
    out->value_open = true;
}

void data_chunk(dump_output *out, const uint8_t *bytes, uint32_t count)
{
    output_commit(out, format_bytes_hex(output_room(out, 2 * size_t{count}), bytes, count));
}

void data_tail(dump_output *out)
{
    output_write(out, "\"}", 2);
    out->value_open = false;
}

} // namespace

// Strings come whole: no head, chunks and tail.
const dump_format dump_json = {
    .blob_start = blob_start,
    .blob_end = blob_end,
    .file_failed = file_failed,
    .block_start = block_start,
    .block_end = block_end,
    .integer = integer,
    .data_head = data_head,
    .data_chunk = data_chunk,
    .data_tail = data_tail,
    .string_whole = string_whole,
};

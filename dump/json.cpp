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
#include <bit>

#include "dump.h"

namespace {

// ---- UTF-8 (RFC 3629), byte by byte, so that chunks can split a character.
// The state packs the continuation bytes still due and the range the next
// one must lie in; 0 is "between characters".
constexpr uint32_t UTF8_BAD = 0xFFFFFFFFu;

constexpr uint32_t utf8_due(uint32_t count, uint32_t low, uint32_t high) { return count | low << 8 | high << 16; }

uint32_t utf8_step(uint32_t state, uint8_t b)
{
    if (state == UTF8_BAD)
        return UTF8_BAD;
    if (state != 0) {
        uint32_t low = (state >> 8) & 0xFF, high = state >> 16, count = state & 0xFF;
        if (b < low || b > high)
            return UTF8_BAD;
        return count == 1 ? 0 : utf8_due(count - 1, 0x80, 0xBF);
    }
    if (b < 0x80)
        return 0;
    if (b >= 0xC2 && b <= 0xDF)
        return utf8_due(1, 0x80, 0xBF);
    if (b == 0xE0)
        return utf8_due(2, 0xA0, 0xBF); // no overlong forms
    if (b == 0xED)
        return utf8_due(2, 0x80, 0x9F); // no surrogates
    if (b >= 0xE1 && b <= 0xEF)
        return utf8_due(2, 0x80, 0xBF);
    if (b == 0xF0)
        return utf8_due(3, 0x90, 0xBF);
    if (b >= 0xF1 && b <= 0xF3)
        return utf8_due(3, 0x80, 0xBF);
    if (b == 0xF4)
        return utf8_due(3, 0x80, 0x8F); // nothing above U+10FFFF
    return UTF8_BAD;
}

// ---- Text inside quotes.  Control characters, DEL and the C1 controls
// (U+0080 to U+009F, 0xC2 0x80 to 0xC2 0x9F) are escaped, so the line is
// safe to show on a terminal as well.

// The escape of an ASCII byte, or null when it stands for itself.
char *escape_ascii(char *at, uint8_t b)
{
    switch (b) {
    case '"': return format_literal(at, "\\\"");
    case '\\': return format_literal(at, "\\\\");
    case '\n': return format_literal(at, "\\n");
    case '\r': return format_literal(at, "\\r");
    case '\t': return format_literal(at, "\\t");
    default:
        if (b >= 0x20 && b != 0x7F) {
            *at = static_cast<char>(b);
            return at + 1;
        }
        at = format_literal(at, "\\u00");
        std::memcpy(at, byte_hex_lower.digits + 2 * b, 2);
        return at + 2;
    }
}

// Bytes known to be UTF-8, possibly split between calls: a 0xC2 is held
// back until the next byte tells whether it begins a C1 control.
void text_bytes(dump_output *out, const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        char *at = output_room(out, 8);
        uint8_t b = bytes[i];
        if (out->held_byte != 0) {
            out->held_byte = 0;
            if (b <= 0x9F) {
                at = format_literal(at, "\\u00");
                std::memcpy(at, byte_hex_lower.digits + 2 * b, 2);
                output_commit(out, at + 2);
                continue;
            }
            *at++ = static_cast<char>(0xC2);
        }
        if (b == 0xC2)
            out->held_byte = b;
        else if (b < 0x80)
            at = escape_ascii(at, b);
        else
            *at++ = static_cast<char>(b);
        output_commit(out, at);
    }
}

// A whole text in quotes (file names, reasons): bytes that are not UTF-8
// become U+FFFD.
void quoted(dump_output *out, const char *text)
{
    const auto *b = reinterpret_cast<const uint8_t *>(text);
    size_t n = std::strlen(text);
    output_write(out, "\"", 1);
    for (size_t i = 0; i < n;) {
        uint32_t state = utf8_step(0, b[i]);
        size_t end = i + 1;
        while (state != 0 && state != UTF8_BAD && end < n)
            state = utf8_step(state, b[end++]);
        if (state == 0) {
            out->held_byte = 0;
            text_bytes(out, b + i, end - i);
            i = end;
        } else {
            output_write(out, "\\ufffd", 6);
            ++i;
        }
    }
    output_write(out, "\"", 1);
}

void number(dump_output *out, uint64_t value) { output_commit(out, format_unsigned(output_room(out, 20), value)); }

// `"key": ` before a value.
void key(dump_output *out, const char *name)
{
    output_write(out, ", \"", 3);
    output_text(out, name);
    output_write(out, "\": ", 3);
}

// The opening of a tag's object, as an item of the innermost list.
void tag_open(dump_output *out, const char *kind, const vantrel_tag *tag)
{
    if (out->list_has_item)
        output_write(out, ", ", 2);
    out->list_has_item = true;
    output_write(out, "{\"tag\": \"", 9);
    output_text(out, kind);
    output_write(out, "\"", 1);
    key(out, "offset");
    number(out, tag->offset);
}

// ---- The writers.

void blob_start(dump_output *out, const char *name, const vantrel_tag *start, const vantrel_walk *walk)
{
    bool little = (std::endian::native == std::endian::little) != (walk->swapped != 0);
    out->open_lists = 0;
    out->list_has_item = false;
    out->value_open = false;
    out->scan_state = 0;
    out->held_byte = 0;
    output_write(out, "{\"file\": ", 9);
    quoted(out, name);
    key(out, "byte_order");
    output_text(out, little ? "\"little\"" : "\"big\"");
    key(out, "length");
    number(out, start->length);
    key(out, "tags");
    output_write(out, "[", 1);
}

void error_member(dump_output *out, bool has_offset, uint64_t offset, const char *reason, const char *detail)
{
    output_write(out, ", \"error\": {", 12);
    if (has_offset) {
        output_write(out, "\"offset\": ", 10);
        number(out, offset);
        output_write(out, ", ", 2);
    }
    output_write(out, "\"reason\": ", 10);
    char text[256];
    std::snprintf(text, sizeof text, "%s%s", reason, detail);
    quoted(out, text);
    output_write(out, "}", 1);
}

void blob_end(dump_output *out, const vantrel_walk *walk)
{
    // A payload cut short by the end of the file, and the blocks it was in.
    if (out->value_open)
        output_write(out, "\"}", 2);
    for (; out->open_lists != 0; --out->open_lists)
        output_write(out, "]}", 2);
    output_write(out, "]", 1);
    if (walk->fault_code != VANTREL_E_NONE) {
        char reason[VANTREL_REASON_SIZE];
        error_member(out, true, walk->fault_offset, dump_fault_reason(walk, reason), "");
    }
    output_write(out, "}\n", 2);
}

void file_failed(dump_output *out, const char *name, bool has_offset, const char *reason)
{
    output_write(out, "{\"file\": ", 9);
    quoted(out, name);
    error_member(out, has_offset, 0, reason, "");
    output_write(out, "}\n", 2);
}

void block_start(dump_output *out, const vantrel_tag *tag)
{
    tag_open(out, "start", tag);
    key(out, "length");
    number(out, tag->length);
    key(out, "tags");
    output_write(out, "[", 1);
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

void string_scan(dump_output *out, const uint8_t *bytes, uint32_t count)
{
    uint32_t state = out->scan_state;
    for (uint32_t i = 0; i < count && state != UTF8_BAD; ++i)
        state = utf8_step(state, bytes[i]);
    out->scan_state = state;
}

void string_head(dump_output *out, const vantrel_tag *tag)
{
    tag_open(out, "string", tag);
    key(out, "id");
    number(out, tag->id);
    key(out, "size");
    number(out, tag->size);
    // The scan has seen every byte: the text must also not end inside a
    // character.  scan_state now tells the chunks which form to write.
    bool text = out->scan_state == 0;
    key(out, text ? "text" : "hex");
    output_write(out, "\"", 1);
    out->scan_state = text ? 0 : UTF8_BAD;
    out->held_byte = 0;
    out->value_open = true;
}

void data_chunk(dump_output *out, const uint8_t *bytes, uint32_t count)
{
    output_commit(out, format_bytes_hex(output_room(out, 2 * size_t{count}), bytes, count));
}

void string_chunk(dump_output *out, const uint8_t *bytes, uint32_t count)
{
    if (out->scan_state == 0)
        text_bytes(out, bytes, count);
    else
        data_chunk(out, bytes, count);
}

void payload_tail(dump_output *out)
{
    output_write(out, "\"}", 2);
    out->value_open = false;
    out->scan_state = 0;
}

void integer(dump_output *out, const vantrel_tag *tag)
{
    tag_open(out, "integer", tag);
    key(out, "id");
    number(out, tag->id);
    key(out, "value");
    char *at = output_room(out, 64);
    *at++ = '"';
    at = format_unsigned(at, tag->value);
    at = format_literal(at, "\", \"hex\": \"0x");
    at = format_hex(at, tag->value);
    at = format_literal(at, "\"}");
    output_commit(out, at);
}

void data_head(dump_output *out, const vantrel_tag *tag)
{
    tag_open(out, "data_block", tag);
    key(out, "id");
    number(out, tag->id);
    key(out, "type");
    number(out, tag->type);
    key(out, "size");
    number(out, tag->size);
    key(out, "hex");
    output_write(out, "\"", 1);
    out->value_open = true;
}

} // namespace

const dump_format dump_json = {
    blob_start, blob_end,  file_failed, block_start,  block_end, string_head, string_chunk,
    payload_tail, integer, data_head,   data_chunk,  payload_tail, string_scan,
};

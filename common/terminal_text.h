// Bytes as text: UTF-8 decided one byte at a time, and what of a text may
// reach a terminal.  A terminal acts on control characters (C0, DEL and
// the C1 controls U+0080 to U+009F, which terminals also take encoded in
// UTF-8 as 0xC2 0x80 to 0xC2 0x9F): colours, titles, the clipboard.  Both
// programs show text from files (names, a blob's strings) through these.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- UTF-8 (RFC 3629), one byte at a time, so that text may arrive in
// pieces.  The state packs the continuation bytes still due and the range
// the next one must lie in; 0 is "between characters", UTF8_BAD "these
// bytes are not UTF-8" (and stays so).
inline constexpr uint32_t UTF8_BAD = 0xFFFFFFFFu;

constexpr uint32_t utf8_due(uint32_t count, uint32_t low, uint32_t high) { return count | low << 8 | high << 16; }

inline uint32_t utf8_step(uint32_t state, uint8_t b)
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

// The length of the UTF-8 character at the start of the n bytes (n at
// least 1), or 0 when they begin with no whole, valid character.
size_t utf8_length(const uint8_t *bytes, size_t n);

// How many of the n bytes (n at least 1) make the first character, when a
// terminal may be shown it as it is: printable ASCII, or a whole UTF-8
// character that is no C1 control.  0 when bytes[0] is a control character
// or begins no whole UTF-8 character: it is to be shown as a stand-in.
size_t terminal_text_length(const uint8_t *bytes, size_t n);

// A name (of a file) as a message or a header shows it: `text` is the name
// itself, unless it goes to a terminal and holds bytes that terminal_text
// refuses; then it is a copy with '?' for each such byte, as ls shows
// them.  `copy` is that copy, or null.
struct shown_name {
    const char *text;
    char *copy;
};

shown_name show_name(const char *name, bool terminal);
void release_name(shown_name *name);

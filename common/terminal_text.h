// Bytes as text: UTF-8 characters, and what of a text may reach a
// terminal.  A terminal acts on control characters (C0, DEL and
// the C1 controls U+0080 to U+009F, which terminals also take encoded in
// UTF-8 as 0xC2 0x80 to 0xC2 0x9F): colours, titles, the clipboard.  Both
// programs show text from files (names, a blob's strings) through these.
#pragma once

#include <cstddef>
#include <cstdint>

// The length of the UTF-8 (RFC 3629) character at the start of the n bytes
// (n at least 1), or 0 when they begin with no whole, valid character:
// overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
inline size_t utf8_length(const uint8_t *bytes, size_t n)
{
    uint8_t b = bytes[0];
    if (b < 0x80)
        return 1;
    size_t length;
    uint8_t low = 0x80, high = 0xBF; // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (n < length || bytes[1] < low || bytes[1] > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if ((bytes[k] & 0xC0) != 0x80)
            return 0;
    return length;
}

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

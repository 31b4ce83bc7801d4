// --json's text between quotes: UTF-8 checked and escaped in one pass.
// Control characters, DEL and the C1 controls (U+0080 to U+009F, 0xC2 0x80
// to 0xC2 0x9F) are escaped, so the line is safe to show on a terminal as
// well; the quote and the backslash are escaped; every other character goes
// out as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output.h"

// What json_text writes for n bytes at most: each byte takes at most 6
// ("\u001b"), and the last step may store up to 16 bytes past its end.
constexpr size_t json_text_room(size_t n) { return 6 * n + 16; }

// Writes bytes[0, n) as JSON text (without the quotes) through `out`, up to
// the first byte that begins no whole UTF-8 character (RFC 3629, as
// utf8_length has it); returns how many bytes it wrote, n when all of them
// are UTF-8.  When the output has json_text_room(n) bytes free, the text is
// written there in one piece and nothing is flushed, so that the caller may
// take it back.
size_t json_text(dump_output *out, const uint8_t *bytes, size_t n);

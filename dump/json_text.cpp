// --json's text (json_text.h).
//
// With SSE2, sixteen bytes at a time: the UTF-8 rules checked on the block
// and the three bytes before it at once (a byte must be a continuation byte
// exactly where a lead byte before it says so, and the lead bytes' second
// bytes keep to their ranges).  A block with nothing to escape is copied
// whole; one with escapes goes byte by byte through a table of words (the
// byte itself or its escape, and a length), with no branch on where the
// escapes are, unless it holds a C1 control, whose escape takes back the
// byte before it: then only the bytes that need an escape are written one
// by one.  A fault found in a piece sends the piece to the steps below,
// which find where the text ends.
//
// Elsewhere, and for such a piece, in steps: a run of up to eight plain
// bytes (printable ASCII but the quote and the backslash), found by word
// arithmetic and copied whole, then one character that is not plain, looked
// up by its first byte and checked without a branch: an ASCII byte's
// escape, or a whole UTF-8 character copied as it is.  Only the rare cases
// branch: a C1 control, and a byte that begins no character, which ends the
// text.
#include "json_text.h"

#include <bit>
#include <cstring>

#include "terminal_text.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define JSON_TEXT_SSE2 1
#endif

namespace {

// Loads in little-endian order whatever the host's: the first byte is the
// least significant, so that the first bytes found are the lowest bits.
inline uint64_t load64(const uint8_t *p)
{
    uint64_t v = 0;
    for (int k = 7; k >= 0; --k)
        v = v << 8 | p[k];
    return v;
}

inline uint32_t load32(const uint8_t *p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Bit 7 of each byte is set where the byte of `x` is not plain.  Each test
// works on the low seven bits, where no sum carries into the next byte.
inline uint64_t not_plain(uint64_t x)
{
    constexpr uint64_t ones = 0x0101010101010101u, high = 0x80 * ones, low = 0x7F * ones;
    uint64_t y = x & low;
    auto equal = [y](uint64_t c) {
        uint64_t t = y ^ (c * ones);
        return ~((t + low) | t);
    };
    return (x | ~(y + 0x60 * ones) | equal('"') | equal('\\') | equal(0x7F)) & high;
}

// The character that begins with a byte.  Of the four bytes loaded from
// there, the second must lie in [low, low + span] and bytes three and four
// must match tail_bits under tail_mask (continuation bytes where the
// character has them).  ASCII passes whatever follows it; a byte that
// begins no character never passes.
struct char_step {
    char text[8];        // an ASCII byte: itself or its escape
    uint8_t out;         // bytes written: of text, or the character itself
    uint8_t in;          // bytes the character takes
    uint8_t low, span;
    uint32_t tail_mask, tail_bits;
};

struct char_steps {
    char_step of[256];
};

constexpr char_steps make_steps()
{
    char_steps t{};
    const char hex[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
        char_step &s = t.of[b];
        s.in = 1;
        s.low = 0x80;
        s.span = 0x3F;
        if (b < 0x80) {
            const char *named = b == '"' ? "\\\"" : b == '\\' ? "\\\\" : b == '\n' ? "\\n" : b == '\r' ? "\\r"
                              : b == '\t' ? "\\t" : nullptr;
            if (named != nullptr) {
                s.text[0] = named[0];
                s.text[1] = named[1];
                s.out = 2;
            } else if (b < 0x20 || b == 0x7F) {
                const char u[6] = {'\\', 'u', '0', '0', hex[b >> 4], hex[b & 15]};
                for (int k = 0; k < 6; ++k)
                    s.text[k] = u[k];
                s.out = 6;
            } else {
                s.text[0] = static_cast<char>(b);
                s.out = 1;
            }
            s.low = 0;
            s.span = 0xFF;
        } else if (b >= 0xC2 && b <= 0xDF) {
            s.in = 2;
            // 0xC2 0x80 to 0xC2 0x9F are the C1 controls: escaped, the rare way.
            if (b == 0xC2) {
                s.low = 0xA0;
                s.span = 0x1F;
            }
        } else if (b >= 0xE0 && b <= 0xEF) {
            s.in = 3;
            s.tail_mask = 0x00C00000u;
            s.tail_bits = 0x00800000u;
            if (b == 0xE0) { // no overlong forms
                s.low = 0xA0;
                s.span = 0x1F;
            }
            if (b == 0xED) // no surrogates
                s.span = 0x1F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            s.in = 4;
            s.tail_mask = 0xC0C00000u;
            s.tail_bits = 0x80800000u;
            if (b == 0xF0) { // no overlong forms
                s.low = 0x90;
                s.span = 0x2F;
            }
            if (b == 0xF4) // nothing above U+10FFFF
                s.span = 0x0F;
        } else {
            s.tail_bits = 1; // no character begins here
        }
        if (b >= 0x80)
            s.out = s.in;
    }
    return t;
}

constexpr char_steps steps = make_steps();

struct text_cursor {
    char *at;
    const uint8_t *from;
    bool stopped; // at a byte that begins no whole character
};

// Steps while `from` is before `stop`.  Bytes up to stop + 15 are read and
// up to 16 bytes are stored past the end of what is written.
text_cursor run_steps(char *at, const uint8_t *from, const uint8_t *stop)
{
    while (from < stop) {
        uint64_t rest = not_plain(load64(from));
        std::memcpy(at, from, 8);
        if (rest == 0) {
            at += 8;
            from += 8;
            continue;
        }
        auto run = static_cast<size_t>(std::countr_zero(rest) / 8);
        at += run;
        from += run;
        if (from >= stop)
            break;
        uint32_t four = load32(from);
        const char_step &s = steps.of[four & 0xFF];
        if ((four & s.tail_mask) != s.tail_bits || static_cast<uint8_t>((four >> 8) - s.low) > s.span) {
            if ((four & 0xE0FF) != 0x80C2)
                return {at, from, true};
            at = format_literal(at, "\\u00");
            std::memcpy(at, byte_hex_lower.digits + 2 * from[1], 2);
            at += 2;
            from += 2;
            continue;
        }
        std::memcpy(at, from[0] < 0x80 ? s.text : reinterpret_cast<const char *>(from), 8);
        at += s.out;
        from += s.in;
    }
    return {at, from, false};
}

// bytes[0, n) into `at`, which has json_text_room(n) bytes.
text_cursor write_text(char *at, const uint8_t *bytes, size_t n)
{
    text_cursor c = {at, bytes, false};
    if (n > 16) {
        c = run_steps(at, bytes, bytes + n - 16);
        if (c.stopped)
            return c;
    }
    // The last bytes (at most 16) from a copy with zeros after it: a zero
    // ends a run of plain bytes and continues no character, so the steps
    // need no bound of their own there.
    uint8_t last[32] = {};
    auto left = static_cast<size_t>(bytes + n - c.from);
    std::memcpy(last, c.from, left);
    text_cursor t = run_steps(c.at, last, last + left);
    return {t.at, c.from + (t.from - last), t.stopped};
}

#if JSON_TEXT_SSE2

// What a byte that needs an escape in a block is written as; `back` takes
// back the 0xC2 before a C1 control's second byte, which was copied.
struct block_escape {
    char text[8];
    uint8_t length, back; // bytes of text; 1 for a C1 control's second byte
};

struct block_escapes {
    block_escape of[256];
};

constexpr block_escapes make_block_escapes()
{
    block_escapes t{};
    const char hex[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
        block_escape &e = t.of[b];
        const char_step &s = steps.of[b];
        if (b < 0x80) {
            for (int k = 0; k < 8; ++k)
                e.text[k] = s.text[k];
            e.length = s.out;
        } else if (b <= 0x9F) {
            const char u[6] = {'\\', 'u', '0', '0', hex[b >> 4], hex[b & 15]};
            for (int k = 0; k < 6; ++k)
                e.text[k] = u[k];
            e.length = 6;
            e.back = 1;
        }
    }
    return t;
}

constexpr block_escapes escapes = make_block_escapes();

// What a byte is written as in a block with escapes and no C1 control, as
// one word: the text in the low bytes (SSE2 hosts are little-endian), its
// length in the top byte.  Every byte of 0x80 and above stands for itself.
struct byte_words {
    uint64_t of[256];
};

constexpr byte_words make_byte_words()
{
    byte_words t{};
    for (int b = 0; b < 256; ++b) {
        const char_step &s = steps.of[b];
        uint64_t length = b < 0x80 ? s.out : 1, word = b < 0x80 ? 0 : uint64_t(b);
        for (unsigned k = 0; b < 0x80 && k < length; ++k)
            word |= uint64_t(static_cast<uint8_t>(s.text[k])) << 8 * k;
        t.of[b] = word | length << 56;
    }
    return t;
}

constexpr byte_words words = make_byte_words();

inline __m128i bytes16(int b) { return _mm_set1_epi8(static_cast<char>(b)); }
inline __m128i load16(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline __m128i equal(__m128i v, int b) { return _mm_cmpeq_epi8(v, bytes16(b)); }

// One block of 16 bytes, of which the first `count` are the text's; bytes
// from block - 3 to block + 31 are readable.  `faults` gains a non-zero
// byte where a rule fails.  Inlined, so that the constants stay in
// registers from block to block.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline char *write_block(char *at, const uint8_t *block, unsigned count, __m128i *faults)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i v = load16(block), p1 = load16(block - 1), p2 = load16(block - 2), p3 = load16(block - 3);
    // A continuation byte where, and only where, a lead byte before asks
    // for one (`need` is non-zero there).
    __m128i need = _mm_or_si128(_mm_or_si128(_mm_subs_epu8(p1, bytes16(0xBF)), _mm_subs_epu8(p2, bytes16(0xDF))),
                                _mm_subs_epu8(p3, bytes16(0xEF)));
    __m128i continuation = equal(_mm_and_si128(v, bytes16(0xC0)), 0x80);
    __m128i fault = _mm_cmpeq_epi8(continuation, _mm_cmpeq_epi8(need, zero));
    // Bytes that begin no character: 0xC0, 0xC1, 0xF5 and above.
    fault = _mm_or_si128(fault, _mm_or_si128(_mm_subs_epu8(v, bytes16(0xF4)), equal(_mm_and_si128(v, bytes16(0xFE)), 0xC0)));
    // The second bytes' ranges (continuation bytes are negative as signed
    // bytes): no overlong forms, surrogates or code points above U+10FFFF.
    __m128i below_a0 = _mm_cmplt_epi8(v, bytes16(0xA0)), below_90 = _mm_cmplt_epi8(v, bytes16(0x90));
    fault = _mm_or_si128(fault, _mm_or_si128(_mm_and_si128(equal(p1, 0xE0), below_a0),
                                             _mm_andnot_si128(below_a0, equal(p1, 0xED))));
    fault = _mm_or_si128(fault, _mm_or_si128(_mm_and_si128(equal(p1, 0xF0), below_90),
                                             _mm_andnot_si128(below_90, equal(p1, 0xF4))));
    *faults = _mm_or_si128(*faults, fault);
    // Control characters, DEL, the quote, the backslash, and the second
    // byte of a C1 control.
    __m128i escaped = _mm_or_si128(_mm_cmpeq_epi8(_mm_subs_epu8(v, bytes16(0x1F)), zero),
                                   _mm_or_si128(equal(v, '"'), equal(v, '\\')));
    escaped = _mm_or_si128(escaped, _mm_or_si128(equal(v, 0x7F), _mm_and_si128(equal(p1, 0xC2), below_a0)));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(escaped)) & ((1u << count) - 1);
    if (mask == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(at), v);
        return at + count;
    }
    // Escapes but no C1 control (the only escaped bytes of 0x80 and above):
    // every byte through the table, without a branch on how many escapes
    // there are or where.
    if ((static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(escaped, v))) & mask) == 0) {
        for (unsigned k = 0; k < count; ++k) {
            uint64_t word = words.of[block[k]];
            std::memcpy(at, &word, 8);
            at += word >> 56;
        }
        return at;
    }
    unsigned from = 0;
    for (; mask != 0; mask &= mask - 1) {
        auto k = static_cast<unsigned>(std::countr_zero(mask));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(at), load16(block + from));
        const block_escape &e = escapes.of[block[k]];
        at += static_cast<ptrdiff_t>(k - from) - e.back;
        std::memcpy(at, e.text, 8);
        at += e.length;
        from = k + 1;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(at), load16(block + from));
    return at + (count - from);
}

// bytes[0, n) into `at`, which has json_text_room(n) bytes, when they are
// all whole UTF-8 characters; null when they are not.
char *write_blocks(char *at, const uint8_t *bytes, size_t n)
{
    __m128i faults = _mm_setzero_si128();
    size_t i = 0;
    if (n >= 48) {
        // The first block from a copy with three zero bytes before it.
        uint8_t first[3 + 32] = {};
        std::memcpy(first + 3, bytes, 32);
        at = write_block(at, first + 3, 16, &faults);
        for (i = 16; n - i >= 32; i += 16)
            at = write_block(at, bytes + i, 16, &faults);
    }
    // The rest from a copy with the three bytes before it and zeros after,
    // through the block after the last byte, which finds a character cut
    // short at the end.
    uint8_t last[3 + 48 + 32] = {};
    size_t before = i == 0 ? 0 : 3;
    auto left = static_cast<unsigned>(n - i);
    std::memcpy(last + 3 - before, bytes + i - before, before + left);
    for (unsigned b = 0; b <= left; b += 16)
        at = write_block(at, last + 3 + b, left - b < 16 ? left - b : 16, &faults);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(faults, _mm_setzero_si128())) == 0xFFFF ? at : nullptr;
}

#endif

} // namespace

size_t json_text(dump_output *out, const uint8_t *bytes, size_t n)
{
    size_t done = 0;
    while (done < n) {
        // As many bytes as the free room takes, but never less than one
        // whole character, and ending where a character does.
        size_t left = n - done;
        size_t room = out->capacity - out->used;
        size_t piece = room < json_text_room(0) ? 0 : (room - json_text_room(0)) / 6;
        if (piece < (left < 4 ? left : 4)) {
            output_flush(out);
            continue;
        }
        if (piece < left) {
            for (int k = 0; k < 3 && (bytes[done + piece] & 0xC0) == 0x80; ++k)
                --piece;
        } else {
            piece = left;
        }
#if JSON_TEXT_SSE2
        if (char *end = write_blocks(out->buffer + out->used, bytes + done, piece)) {
            output_commit(out, end);
            done += piece;
            continue;
        }
#endif
        text_cursor c = write_text(out->buffer + out->used, bytes + done, piece);
        output_commit(out, c.at);
        auto took = static_cast<size_t>(c.from - (bytes + done));
        done += took;
        if (c.stopped && (took == 0 || utf8_length(bytes + done, n - done) == 0))
            break;
    }
    return done;
}

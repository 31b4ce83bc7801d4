// The listing's output buffer and its number formatting (output.h).
#include "output.h"

#include <bit>
#include <cerrno>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

void output_init(dump_output *out, FILE *stream, char *buffer, size_t capacity)
{
    *out = dump_output{};
    out->stream = stream;
    out->buffer = buffer;
    out->capacity = capacity;
}

int output_flush(dump_output *out)
{
    if (out->used != 0 && !out->failed) {
        errno = 0;
        if (std::fwrite(out->buffer, 1, out->used, out->stream) != out->used || std::fflush(out->stream) != 0) {
            out->failed = true;
            out->error = errno;
        }
    }
    // After a failure nothing more is kept: the listing is lost anyway.
    out->used = 0;
    return out->failed ? 1 : 0;
}

void output_write(dump_output *out, const void *bytes, size_t n)
{
    const char *from = static_cast<const char *>(bytes);
    while (n != 0) {
        if (out->used == out->capacity)
            output_flush(out);
        size_t count = out->capacity - out->used < n ? out->capacity - out->used : n;
        std::memcpy(out->buffer + out->used, from, count);
        out->used += count;
        from += count;
        n -= count;
    }
}

void output_indent_long(dump_output *out, uint32_t units)
{
    static constexpr char spaces[] = "                                                                ";
    size_t n = size_t{units} * 2;
    while (n != 0) {
        size_t count = n < sizeof spaces - 1 ? n : sizeof spaces - 1;
        output_write(out, spaces, count);
        n -= count;
    }
}

namespace {

// Digits are written from the right, two at a time, straight into place:
// the count is known first.
char *hex_with(char *at, uint64_t value, const digit_pairs &pairs)
{
    int bits = std::bit_width(value | 1);
    char *end = at + (bits + 3) / 4;
    char *p = end;
    while (value >= 0x100) {
        p -= 2;
        std::memcpy(p, pairs.digits + 2 * (value & 0xFF), 2);
        value >>= 8;
    }
    if (value >= 0x10) {
        p -= 2;
        std::memcpy(p, pairs.digits + 2 * value, 2);
    } else {
        *--p = pairs.digits[2 * value + 1];
    }
    return end;
}

constexpr uint64_t powers_of_ten[20] = {
    1u,           10u,           100u,           1000u,           10000u,           100000u,           1000000u,
    10000000u,    100000000u,    1000000000u,    10000000000u,    100000000000u,    1000000000000u,
    10000000000000u, 100000000000000u, 1000000000000000u, 10000000000000000u, 100000000000000000u,
    1000000000000000000u, 10000000000000000000u,
};

// log10 from the bit count (1233 / 4096 is just above log10(2)), then one
// comparison to settle it.
int decimal_digits(uint64_t value)
{
    int guess = std::bit_width(value | 1) * 1233 >> 12;
    return guess + ((value | 1) >= powers_of_ten[guess] ? 1 : 0);
}

} // namespace

char *format_hex(char *at, uint64_t value) { return hex_with(at, value, byte_hex); }
char *format_hex_lower(char *at, uint64_t value) { return hex_with(at, value, byte_hex_lower); }

char *format_unsigned(char *at, uint64_t value)
{
    char *end = at + decimal_digits(value);
    char *p = end;
    // Eight digits at a time in 32-bit arithmetic, which is cheaper.
    while (value >= 100000000) {
        auto low = static_cast<uint32_t>(value % 100000000);
        value /= 100000000;
        for (int i = 0; i < 4; ++i) {
            p -= 2;
            std::memcpy(p, decimal_pairs.digits + 2 * (low % 100), 2);
            low /= 100;
        }
    }
    auto rest = static_cast<uint32_t>(value);
    while (rest >= 100) {
        p -= 2;
        std::memcpy(p, decimal_pairs.digits + 2 * (rest % 100), 2);
        rest /= 100;
    }
    if (rest >= 10) {
        p -= 2;
        std::memcpy(p, decimal_pairs.digits + 2 * rest, 2);
    } else {
        *--p = static_cast<char>('0' + rest);
    }
    return end;
}

char *format_signed(char *at, int64_t value)
{
    if (value >= 0)
        return format_unsigned(at, static_cast<uint64_t>(value));
    *at = '-';
    // The magnitude of INT64_MIN does not fit its own type.
    return format_unsigned(at + 1, uint64_t{0} - static_cast<uint64_t>(value));
}

#if defined(__SSE2__) || defined(_M_X64)
char *format_bytes_hex(char *at, const uint8_t *bytes, size_t count)
{
    // Sixteen bytes at a time: split into nibbles, interleave them high
    // first, and turn 0-15 into '0'-'9', 'A'-'F'.
    const __m128i low_nibble = _mm_set1_epi8(0x0F), nine = _mm_set1_epi8(9), letters = _mm_set1_epi8('A' - '0' - 10),
                  zero = _mm_set1_epi8('0');
    size_t i = 0;
    for (; count - i >= 16; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), low_nibble);
        __m128i low = _mm_and_si128(v, low_nibble);
        __m128i halves[2] = {_mm_unpacklo_epi8(high, low), _mm_unpackhi_epi8(high, low)};
        for (int h = 0; h < 2; ++h) {
            __m128i n = halves[h];
            __m128i text = _mm_add_epi8(_mm_add_epi8(n, zero), _mm_and_si128(_mm_cmpgt_epi8(n, nine), letters));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(at + 2 * i + 16 * h), text);
        }
    }
    for (; i < count; ++i)
        std::memcpy(at + 2 * i, byte_hex.digits + 2 * bytes[i], 2);
    return at + 2 * count;
}
#else
char *format_bytes_hex(char *at, const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        std::memcpy(at + 2 * i, byte_hex.digits + 2 * bytes[i], 2);
    return at + 2 * count;
}
#endif

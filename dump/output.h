// The listing's output: text formatted by hand into one large buffer, which
// goes to the stream in whole blocks when it is full, between files and at
// the end.  The first failed write stops all later ones; the driver reports
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

struct dump_output {
    FILE *stream;
    char *buffer;
    size_t capacity;
    size_t used;
    bool failed;   // a write to the stream failed; `error` tells why
    int error;     // errno of that write
    bool terminal; // the stream is a terminal: control bytes of strings show as "."
    // Where a rendering stands in its text, for renderings that need to know
    // (JSON: the lists open, whether the innermost has an item yet).
    uint32_t open_lists;
    bool list_has_item;
    bool value_open; // a payload's text was begun and not yet closed
};

// The renderings ask for room for up to OUTPUT_ROOM_MAX bytes at a time.
inline constexpr size_t OUTPUT_ROOM_MAX = 256;

// `capacity` is at least OUTPUT_ROOM_MAX.
void output_init(dump_output *out, FILE *stream, char *buffer, size_t capacity);

// Writes what is buffered to the stream.  Returns 1 once a write failed.
int output_flush(dump_output *out);

// Room for `n` bytes (n at most OUTPUT_ROOM_MAX, or at most the capacity
// where the caller knows it), flushing first if needed; the caller writes
// there and then calls output_commit.
inline char *output_room(dump_output *out, size_t n)
{
    if (out->capacity - out->used < n)
        output_flush(out);
    return out->buffer + out->used;
}

inline void output_commit(dump_output *out, char *end) { out->used = static_cast<size_t>(end - out->buffer); }

// Any number of bytes.
void output_write(dump_output *out, const void *bytes, size_t n);

inline void output_text(dump_output *out, const char *text) { output_write(out, text, std::strlen(text)); }

// `units` indentation units of two spaces.
void output_indent_long(dump_output *out, uint32_t units);
inline void output_indent(dump_output *out, uint32_t units)
{
    if (units > 8) {
        output_indent_long(out, units);
        return;
    }
    char *at = output_room(out, 16);
    std::memset(at, ' ', 16);
    out->used += 2 * size_t{units};
}

// Number formatting at `at`; each returns the end of what it wrote.
char *format_hex(char *at, uint64_t value);     // upper-case digits, no leading zeros
char *format_hex_lower(char *at, uint64_t value);
char *format_unsigned(char *at, uint64_t value); // decimal
char *format_signed(char *at, int64_t value);

// Two characters per value: hex digits of a byte, decimal digits of 0-99.
struct digit_pairs {
    char digits[512];
};

constexpr digit_pairs make_hex_pairs(const char *hex)
{
    digit_pairs table{};
    for (int b = 0; b < 256; ++b) {
        table.digits[2 * b] = hex[b >> 4];
        table.digits[2 * b + 1] = hex[b & 15];
    }
    return table;
}

constexpr digit_pairs make_decimal_pairs()
{
    digit_pairs table{};
    for (int n = 0; n < 100; ++n) {
        table.digits[2 * n] = static_cast<char>('0' + n / 10);
        table.digits[2 * n + 1] = static_cast<char>('0' + n % 10);
    }
    return table;
}

inline constexpr digit_pairs byte_hex = make_hex_pairs("0123456789ABCDEF");
inline constexpr digit_pairs byte_hex_lower = make_hex_pairs("0123456789abcdef");
inline constexpr digit_pairs decimal_pairs = make_decimal_pairs();

// Two upper-case hex digits for each of `count` bytes at `at`.
char *format_bytes_hex(char *at, const uint8_t *bytes, size_t count);

// Appends the literal text at `at`.
template <size_t N> inline char *format_literal(char *at, const char (&text)[N])
{
    std::memcpy(at, text, N - 1);
    return at + N - 1;
}

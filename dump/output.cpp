// The listing's output buffer and its number formatting (output.h).
#include "output.h"

#include <cerrno>

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

void output_indent(dump_output *out, uint32_t units)
{
    size_t n = size_t{units} * 2;
    while (n != 0) {
        size_t count = n < 256 ? n : 256;
        std::memset(output_room(out, count), ' ', count);
        out->used += count;
        n -= count;
    }
}

namespace {

char *hex_with(char *at, uint64_t value, const digit_pairs &pairs)
{
    // Digits from the right into a scratch, two at a time, then copied
    // without the leading zeros.
    char digits[16];
    for (int i = 14; i >= 0; i -= 2) {
        std::memcpy(digits + i, pairs.digits + 2 * (value & 0xFF), 2);
        value >>= 8;
    }
    int first = 0;
    while (first < 15 && digits[first] == '0')
        ++first;
    std::memcpy(at, digits + first, static_cast<size_t>(16 - first));
    return at + 16 - first;
}

} // namespace


char *format_hex(char *at, uint64_t value) { return hex_with(at, value, byte_hex); }
char *format_hex_lower(char *at, uint64_t value) { return hex_with(at, value, byte_hex_lower); }

char *format_unsigned(char *at, uint64_t value)
{
    char digits[20];
    int i = 20;
    while (value >= 100) {
        i -= 2;
        std::memcpy(digits + i, decimal_pairs.digits + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        i -= 2;
        std::memcpy(digits + i, decimal_pairs.digits + 2 * value, 2);
    } else {
        digits[--i] = static_cast<char>('0' + value);
    }
    std::memcpy(at, digits + i, static_cast<size_t>(20 - i));
    return at + 20 - i;
}

char *format_signed(char *at, int64_t value)
{
    if (value >= 0)
        return format_unsigned(at, static_cast<uint64_t>(value));
    *at = '-';
    // The magnitude of INT64_MIN does not fit its own type.
    return format_unsigned(at + 1, uint64_t{0} - static_cast<uint64_t>(value));
}

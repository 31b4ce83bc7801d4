// The source line reader and the argument parsers.  Nothing here allocates:
// lines are read into line_buf and decoded straight into the caller's bytes.
#include "comp.h"

#include <cinttypes>
#include <cstring>

namespace {

// The value of a hexadecimal digit, or -1.
int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

char *skip_space(char *p)
{
    while (comp_is_space(*p))
        ++p;
    return p;
}

} // namespace

void line_error(const comp_context *ctx, const char *text)
{
    std::fprintf(stderr, "%s: %s:%" PRIu32 ": %s\n", ctx->prog_name, ctx->in_shown.text, ctx->line_no,
                 text);
}

char *read_line(comp_context *ctx)
{
    // One read takes at most line_size - 2 characters; a longer line comes
    // in pieces, each counted as a line of its own.  The source is read in
    // binary mode, and the CR of a CR LF line end is trimmed as trailing
    // white space, so a source reads the same on every platform.
    const int limit = static_cast<int>(ctx->line_size - 1);
    for (;;) {
        if (std::fgets(ctx->line_buf, limit, ctx->in_file) == nullptr)
            return nullptr;
        ++ctx->line_no;
        char *text = skip_space(ctx->line_buf);
        size_t length = std::strlen(text);
        while (length > 0 && comp_is_space(text[length - 1]))
            text[--length] = '\0';
        if (length > 0 && text[0] != '#')
            return text;
    }
}

number_status read_number(const char *text, uint64_t *value, size_t *length)
{
    const char *p = text;
    if (*p == '\0')
        return NUMBER_MISSING;
    uint64_t base = 10;
    if (p[0] == '0') {
        base = 8; // a leading zero alone means octal, read as the first digit
        char prefix = p[1];
        if (prefix == 'b' || prefix == 'B' || prefix == 'o' || prefix == 'O' || prefix == 'x' ||
            prefix == 'X') {
            base = (prefix == 'b' || prefix == 'B') ? 2 : (prefix == 'x' || prefix == 'X') ? 16 : 8;
            p += 2;
            if (*p == '\0')
                return NUMBER_FORMAT;
        }
    }
    uint64_t result = 0;
    // The first character after a prefix is always taken, so "0x " fails.
    do {
        char c = *p++;
        if (c == '_')
            continue;
        int digit = digit_value(c);
        if (digit < 0 || static_cast<uint64_t>(digit) >= base)
            return NUMBER_FORMAT;
        if (result > (UINT64_MAX - static_cast<uint64_t>(digit)) / base)
            return NUMBER_OVERFLOW;
        result = result * base + static_cast<uint64_t>(digit);
    } while (*p != '\0' && !comp_is_space(*p));
    *value = result;
    *length = static_cast<size_t>(p - text);
    return NUMBER_OK;
}

int parse64(const comp_context *ctx, uint64_t *result, char **cursor)
{
    size_t length = 0;
    switch (read_number(*cursor, result, &length)) {
    case NUMBER_OK:
        *cursor = skip_space(*cursor + length);
        return 0;
    case NUMBER_MISSING:
        line_error(ctx, "Missing integer argument");
        return 1;
    case NUMBER_FORMAT:
        line_error(ctx, "Formatting error in integer argument");
        return 1;
    case NUMBER_OVERFLOW:
        break;
    }
    line_error(ctx, "Overflow in integer argument");
    return 1;
}

int parse32(const comp_context *ctx, uint32_t *result, char **cursor)
{
    uint64_t value;
    if (parse64(ctx, &value, cursor) != 0)
        return 1;
    if (value > UINT32_MAX) {
        std::fprintf(stderr, "%s: %s:%" PRIu32 ": 0x%" PRIX64 ": Integer does not fit in 32 bits\n",
                     ctx->prog_name, ctx->in_shown.text, ctx->line_no, value);
        return 1;
    }
    *result = static_cast<uint32_t>(value);
    return 0;
}

int32_t parse_str(const comp_context *ctx, char **cursor, uint8_t *dest, uint32_t capacity)
{
    char *p = *cursor;
    if (*p != '"') {
        line_error(ctx, "Missing string argument");
        return -1;
    }
    ++p;
    uint32_t stored = 0;
    for (;;) {
        char c = *p;
        if (c == '\0') {
            line_error(ctx, "String is not enclosed in quotes");
            return -1;
        }
        if (c == '"') {
            *cursor = skip_space(p + 1);
            return static_cast<int32_t>(stored);
        }
        if (stored == capacity) {
            line_error(ctx, "String argument is too long");
            return -1;
        }
        if (c == '\\') {
            switch (p[1]) {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            case '\\': c = '\\'; break;
            case '"': c = '"'; break;
            case '\'': c = '\''; break;
            default:
                line_error(ctx, "Unrecognized escape sequence");
                return -1;
            }
            ++p;
        }
        dest[stored++] = static_cast<uint8_t>(c);
        ++p;
    }
}

int32_t parse_hex(const comp_context *ctx, char **cursor, uint8_t *dest, uint32_t capacity)
{
    char *p = *cursor;
    if (*p != '<') {
        line_error(ctx, "Missing hex string argument");
        return -1;
    }
    ++p;
    uint32_t stored = 0;
    for (;;) {
        char c = *p;
        if (c == '\0') {
            line_error(ctx, "Hex string is not enclosed in \"<>\"");
            return -1;
        }
        if (c == '>') {
            *cursor = skip_space(p + 1);
            return static_cast<int32_t>(stored);
        }
        // Checked before separators: a full destination refuses them too.
        if (stored == capacity) {
            line_error(ctx, "Hex string argument is too long");
            return -1;
        }
        if (c == '_' || comp_is_space(c)) {
            ++p;
            continue;
        }
        int high = digit_value(c);
        int low = high < 0 ? -1 : digit_value(p[1]);
        if (low < 0) {
            line_error(ctx, "Formatting error in hex string argument");
            return -1;
        }
        dest[stored++] = static_cast<uint8_t>(high << 4 | low);
        p += 2;
    }
}

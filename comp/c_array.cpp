// --c-array: the finished blob as C source, for programs that carry their
// blobs in their own image.  The text is plain C11 to C23 and C++17 and
// C++20 alike; the array keeps the blob's alignment, so code that reads
// fields in place may rely on it.
#include "comp.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "vantrel_c_names.h"

const char *c_array_name_fault(const char *name, bool *of_size)
{
    const size_t length = std::strlen(name);
    *of_size = false;
    if (const char *fault = vantrel_c_name_fault(name, length))
        return fault;
    const char *fault = vantrel_c_name_rule(name, length, "_size");
    *of_size = fault != nullptr;
    return fault;
}

namespace {

struct c_array_args {
    const char *name;
    uint32_t size;
    uint32_t alignment;
};

// The text before the bytes, into `room` bytes at `into` (none: measured
// only); snprintf's result.  One definition, written in whichever spelling
// of alignment the compiler reading it knows.  extern "C" lets C and C++
// callers share one declaration; the extern declarations first give the
// const objects external linkage in C++ too, where a const definition alone
// would be local to its file.
int format_head(char *into, size_t room, const c_array_args &a)
{
    return std::snprintf(
        into, room,
        "/* A vantrel tag blob of %" PRIu32 " bytes, alignment %" PRIu32
        ", written by vantrel-comp. */\n"
        "#include <stddef.h>\n\n"
        "#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n"
        "extern const unsigned char %s[%" PRIu32 "];\n"
        "extern const size_t %s_size;\n\n"
        "#if defined(__cplusplus) && __cplusplus >= 201103L\n"
        "alignas(%" PRIu32 ") const unsigned char %s[%" PRIu32 "] = {\n"
        "#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L\n"
        "_Alignas(%" PRIu32 ") const unsigned char %s[%" PRIu32 "] = {\n"
        "#else\n"
        "const unsigned char %s[%" PRIu32 "] __attribute__((aligned(%" PRIu32 "))) = {\n"
        "#endif\n",
        a.size, a.alignment, a.name, a.size, a.name, a.alignment, a.name, a.size, a.alignment, a.name, a.size,
        a.name, a.size, a.alignment);
}

// The text after the bytes, as format_head gives the one before them.
int format_tail(char *into, size_t room, const c_array_args &a)
{
    return std::snprintf(into, room,
                         "};\n\nconst size_t %s_size = %" PRIu32 ";\n\n"
                         "#ifdef __cplusplus\n}\n#endif\n",
                         a.name, a.size);
}

using text_format = int (*)(char *into, size_t room, const c_array_args &a);

// Formats the text in memory of its own (the name may be of any length)
// and writes it; 0, or -1 as write_c_array reports.
int write_text(FILE *out, text_format format, const c_array_args &a)
{
    const int length = format(nullptr, 0, a);
    if (length < 0)
        return -1;
    char *text = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
    if (text == nullptr)
        return -1; // malloc set errno
    format(text, static_cast<size_t>(length) + 1, a);
    const bool written = std::fwrite(text, 1, static_cast<size_t>(length), out) == static_cast<size_t>(length);
    std::free(text);
    return written ? 0 : -1;
}

// Twelve bytes a line keep lines under 80 columns: four spaces, then
// "0xHH, " for each byte, the last one's space a line feed.
constexpr uint32_t BYTES_PER_LINE = 12;
constexpr size_t LINE_INDENT = 4, BYTE_TEXT = 6;

} // namespace

uint64_t c_array_text_size(const char *name, uint32_t size, uint32_t alignment)
{
    const c_array_args a = {name, size, alignment};
    const int head = format_head(nullptr, 0, a), tail = format_tail(nullptr, 0, a);
    const uint64_t lines = (uint64_t{size} + BYTES_PER_LINE - 1) / BYTES_PER_LINE;
    return static_cast<uint64_t>(head < 0 ? 0 : head) + lines * LINE_INDENT + uint64_t{size} * BYTE_TEXT +
           static_cast<uint64_t>(tail < 0 ? 0 : tail);
}

int write_c_array(FILE *out, const char *name, const uint8_t *blob, uint32_t size,
                  uint32_t alignment)
{
    const c_array_args a = {name, size, alignment};
    if (write_text(out, format_head, a) != 0)
        return -1;
    // Each line is formed by hand and written once, so large blobs take no
    // formatting per byte.
    const char digits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < size;) {
        char line[LINE_INDENT + BYTES_PER_LINE * BYTE_TEXT];
        std::memcpy(line, "    ", LINE_INDENT);
        size_t length = LINE_INDENT;
        for (uint32_t column = 0; column < BYTES_PER_LINE && i < size; ++column, ++i) {
            const char byte_text[BYTE_TEXT] = {'0', 'x', digits[blob[i] >> 4], digits[blob[i] & 15], ',', ' '};
            std::memcpy(line + length, byte_text, sizeof byte_text);
            length += sizeof byte_text;
        }
        line[length - 1] = '\n';
        if (std::fwrite(line, 1, length, out) != length)
            return -1;
    }
    return write_text(out, format_tail, a);
}

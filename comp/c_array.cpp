// --c-array: the finished blob as C source, for programs that carry their
// blobs in their own image.  The text is plain C11 to C23 and C++17 and
// C++20 alike; the array keeps the blob's alignment, so code that reads
// fields in place may rely on it.
#include "comp.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "vantrel_c_names.h"

namespace {

// fprintf's result as a status: negative means the stream refused.
bool failed(int printed) { return printed < 0; }

} // namespace

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

int write_c_array(FILE *out, const char *name, const uint8_t *blob, uint32_t size,
                  uint32_t alignment)
{
    // One definition, written in whichever spelling of alignment the
    // compiler reading it knows.  extern "C" lets C and C++ callers share one
    // declaration; the extern declarations first give the const objects
    // external linkage in C++ too, where a const definition alone would be
    // local to its file.
    const int head = std::fprintf(
        out,
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
        size, alignment, name, size, name, alignment, name, size, alignment, name, size, name, size,
        alignment);
    if (failed(head))
        return -1;
    // Twelve bytes a line keep lines under 80 columns; each line is formed
    // by hand and written once, so large blobs take no formatting per byte.
    const char digits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < size;) {
        char line[4 + 12 * 6 + 1];
        std::memcpy(line, "    ", 4);
        size_t length = 4;
        for (uint32_t column = 0; column < 12 && i < size; ++column, ++i) {
            const char byte_text[6] = {'0', 'x', digits[blob[i] >> 4], digits[blob[i] & 15], ',', ' '};
            std::memcpy(line + length, byte_text, sizeof byte_text);
            length += sizeof byte_text;
        }
        line[length - 1] = '\n';
        if (std::fwrite(line, 1, length, out) != length)
            return -1;
    }
    const int tail = std::fprintf(out,
                                  "};\n\nconst size_t %s_size = %" PRIu32 ";\n\n"
                                  "#ifdef __cplusplus\n}\n#endif\n",
                                  name, size);
    return failed(tail) ? -1 : 0;
}

// --c-array: the finished blob as C source, for programs that carry their
// blobs in their own image.  The text is plain C11 and C++ alike; the
// array keeps the blob's alignment, so code that reads fields in place may
// rely on it.
#include "comp.h"

#include <cinttypes>
#include <cstring>

namespace {

// Words that cannot name an object in C11, C23 or C++17: keywords and the
// C++ spellings of operators.
const char *const KEYWORDS[] = {
    "_Alignas", "_Alignof", "_Atomic", "_Bool", "_Complex", "_Generic", "_Imaginary", "_Noreturn",
    "_Static_assert", "_Thread_local", "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand",
    "bitor", "bool", "break", "case", "catch", "char", "char16_t", "char32_t", "class", "compl",
    "const", "const_cast", "constexpr", "continue", "decltype", "default", "delete", "do", "double",
    "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend",
    "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq",
    "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register",
    "reinterpret_cast", "restrict", "return", "short", "signed", "sizeof", "static", "static_assert",
    "static_cast", "struct", "switch", "template", "this", "thread_local", "throw", "true", "try",
    "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using",
    "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq"};

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

// fprintf's result as a status: negative means the stream refused.
bool failed(int printed) { return printed < 0; }

} // namespace

bool is_c_identifier(const char *text)
{
    if (!is_letter(text[0]))
        return false;
    for (const char *p = text + 1; *p != '\0'; ++p)
        if (!is_letter(*p) && !(*p >= '0' && *p <= '9'))
            return false;
    for (const char *keyword : KEYWORDS)
        if (std::strcmp(text, keyword) == 0)
            return false;
    return true;
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

/*
 * vantrel_c_names.h - which names a generated C text may define.
 *
 * Header only, valid C99 and C++, freestanding like vantrel_reader.h: no
 * allocation, no C library, no global state.  One rule for every name a
 * vantrel tool writes into C: the array of vantrel-comp --c-array (and its
 * NAME_size), the names of a schema (vantrel_schema.h) and the header made
 * from one.  vantrel_add_blobs (vantrel-blobs.cmake) reads the two lists
 * below from this file, between the marker comments: every quoted word
 * between them is a refused name, so quote nothing else there.
 *
 * The rule refuses a keyword of C or C++, a name C and C++ keep for the
 * implementation (a leading underscore before a capital, two underscores
 * anywhere), main, and the names <stddef.h> and <stdint.h> may define:
 * listed below, or of the form of stdint.h's types and limits (int8_t,
 * uint_least16_t, INT32_MAX, UINTMAX_C, INT64_WIDTH ...).
 */
#ifndef VANTREL_C_NAMES_H
#define VANTREL_C_NAMES_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The reasons, as the tools print them after the name. */
#define VANTREL_C_NAME_NOT_IDENTIFIER "not a C identifier"
#define VANTREL_C_NAME_KEYWORD        "a keyword of C or C++"
#define VANTREL_C_NAME_RESERVED       "reserved in C and C++"
#define VANTREL_C_NAME_MAIN           "the name of the program's entry point"
#define VANTREL_C_NAME_HEADER         "a name that <stddef.h> or <stdint.h> may define"

/* Character i of the name `name` (length bytes) followed by `suffix`. */
static inline char vantrel_c_name_at_(const char *name, size_t length, const char *suffix, size_t i)
{
    return i < length ? name[i] : suffix[i - length];
}

/* Whether the name followed by the suffix (total bytes in all) is `word`. */
static inline int vantrel_c_name_is_(const char *name, size_t length, const char *suffix, size_t all,
                                     const char *word)
{
    size_t i = 0;
    for (; i < all; ++i)
        if (word[i] == '\0' || word[i] != vantrel_c_name_at_(name, length, suffix, i))
            return 0;
    return word[i] == '\0';
}

/* Whether the joined name begins (at_end 0) or ends (at_end 1) with `part`. */
static inline int vantrel_c_name_has_(const char *name, size_t length, const char *suffix, size_t all,
                                      const char *part, int at_end)
{
    size_t n = 0, i;
    while (part[n] != '\0')
        ++n;
    if (n > all)
        return 0;
    for (i = 0; i < n; ++i)
        if (vantrel_c_name_at_(name, length, suffix, at_end ? all - n + i : i) != part[i])
            return 0;
    return 1;
}

/* Whether the joined name is one of `count` words. */
static inline int vantrel_c_name_listed_(const char *name, size_t length, const char *suffix, size_t all,
                                         const char *const *words, size_t count)
{
    size_t i;
    for (i = 0; i < count; ++i)
        if (vantrel_c_name_is_(name, length, suffix, all, words[i]))
            return 1;
    return 0;
}

/* The rule's reason for refusing `name` (length bytes) followed by `suffix`
 * (zero-terminated; null for none) as a name a C text defines, or null
 * when it may be defined.  The name is taken to be an identifier already
 * (see vantrel_c_name_fault). */
static inline const char *vantrel_c_name_rule(const char *name, size_t length, const char *suffix)
{
    /* refused names: the keywords of C11, C17, C23, C++17 and C++20, and the C++ spellings of operators */
    static const char *const keywords[] = {
        "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128", "_Decimal32",
        "_Decimal64", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert", "_Thread_local", "alignas",
        "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch", "char",
        "char8_t", "char16_t", "char32_t", "class", "co_await", "co_return", "co_yield", "compl", "concept",
        "const", "const_cast", "consteval", "constexpr", "constinit", "continue", "decltype", "default",
        "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false",
        "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "new",
        "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public",
        "register", "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof", "static",
        "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw", "true",
        "try", "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using",
        "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq"    };
    /* Names that the headers a generated text includes (stddef.h) or that
     * programs include beside it (stdint.h, which vantrel.h includes)
     * define as types or macros: the C standard's, C++'s namespace std,
     * and those mingw-w64's stddef.h brings along. */
    static const char *const header_names[] = {
        "NULL", "offsetof", "ptrdiff_t", "size_t", "max_align_t", "wchar_t", "nullptr_t", "unreachable",
        "rsize_t", "std", "PTRDIFF_MIN", "PTRDIFF_MAX", "PTRDIFF_WIDTH", "SIG_ATOMIC_MIN", "SIG_ATOMIC_MAX",
        "SIG_ATOMIC_WIDTH", "SIZE_MAX", "SIZE_WIDTH", "WCHAR_MIN", "WCHAR_MAX", "WCHAR_WIDTH", "WINT_MIN",
        "WINT_MAX", "WINT_WIDTH",
        // mingw-w64
        "errno", "errno_t", "ssize_t", "time_t", "va_list", "wint_t", "wctype_t", "pthreadlocinfo",
        "pthreadmbcinfo", "threadlocinfo", "LC_ID", "LPLC_ID", "UNALIGNED", "DUMMYSTRUCTNAME",
        "DUMMYSTRUCTNAME1", "DUMMYSTRUCTNAME2", "DUMMYSTRUCTNAME3", "DUMMYSTRUCTNAME4", "DUMMYSTRUCTNAME5",
        "DUMMYUNIONNAME", "DUMMYUNIONNAME1", "DUMMYUNIONNAME2", "DUMMYUNIONNAME3", "DUMMYUNIONNAME4",
        "DUMMYUNIONNAME5", "DUMMYUNIONNAME6", "DUMMYUNIONNAME7", "DUMMYUNIONNAME8", "DUMMYUNIONNAME9",
        "MINGW_SDK_INIT", "MINGW_HAS_SECURE_API", "MINGW_DDK_H", "MINGW_HAS_DDK_H",
        "WIDL_EXPLICIT_AGGREGATE_RETURNS", "_inline", "_errno", "_get_errno", "_set_errno", "_locale_t",
        "_locale_tstruct", "_threadid"    };
    /* end of refused names */
    size_t all = length, i;
    char first, second;
    if (suffix == NULL)
        suffix = "";
    for (i = 0; suffix[i] != '\0'; ++i)
        ++all;
    if (vantrel_c_name_listed_(name, length, suffix, all, keywords, sizeof keywords / sizeof keywords[0]))
        return VANTREL_C_NAME_KEYWORD;
    first = all > 0 ? vantrel_c_name_at_(name, length, suffix, 0) : '\0';
    second = all > 1 ? vantrel_c_name_at_(name, length, suffix, 1) : '\0';
    if (first == '_' && second >= 'A' && second <= 'Z')
        return VANTREL_C_NAME_RESERVED;
    for (i = 0; i + 1 < all; ++i)
        if (vantrel_c_name_at_(name, length, suffix, i) == '_' && vantrel_c_name_at_(name, length, suffix, i + 1) == '_')
            return VANTREL_C_NAME_RESERVED;
    if (vantrel_c_name_is_(name, length, suffix, all, "main"))
        return VANTREL_C_NAME_MAIN;
    if (vantrel_c_name_listed_(name, length, suffix, all, header_names,
                               sizeof header_names / sizeof header_names[0]))
        return VANTREL_C_NAME_HEADER;
    if (vantrel_c_name_has_(name, length, suffix, all, "int", 0) ||
        vantrel_c_name_has_(name, length, suffix, all, "uint", 0)) {
        if (vantrel_c_name_has_(name, length, suffix, all, "_t", 1))
            return VANTREL_C_NAME_HEADER;
    } else if (vantrel_c_name_has_(name, length, suffix, all, "INT", 0) ||
               vantrel_c_name_has_(name, length, suffix, all, "UINT", 0)) {
        if (vantrel_c_name_has_(name, length, suffix, all, "_MAX", 1) ||
            vantrel_c_name_has_(name, length, suffix, all, "_MIN", 1) ||
            vantrel_c_name_has_(name, length, suffix, all, "_WIDTH", 1) ||
            vantrel_c_name_has_(name, length, suffix, all, "_C", 1))
            return VANTREL_C_NAME_HEADER;
    }
    return NULL;
}

/* Whether `c` may stand in a C identifier (first: at its start). */
static inline int vantrel_c_name_char(char c, int first)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (!first && c >= '0' && c <= '9');
}

/* Whether `name` (length bytes) is a C identifier. */
static inline int vantrel_c_name_identifier(const char *name, size_t length)
{
    size_t i;
    for (i = 0; i < length; ++i)
        if (!vantrel_c_name_char(name[i], i == 0))
            return 0;
    return length > 0;
}

/* Why `name` (length bytes, no terminator needed) cannot be a name a C
 * text defines: VANTREL_C_NAME_NOT_IDENTIFIER, or the rule's reason; null
 * when it can. */
static inline const char *vantrel_c_name_fault(const char *name, size_t length)
{
    return vantrel_c_name_identifier(name, length) ? vantrel_c_name_rule(name, length, NULL)
                                                   : VANTREL_C_NAME_NOT_IDENTIFIER;
}

#ifdef __cplusplus
}
#endif

#endif /* VANTREL_C_NAMES_H */

// --c-header: the schema's names as a C header, for the programs that read
// the blobs.  Every number comes from the schema; the text is C99 to C23
// and C++17 and C++20 alike.  One function makes the text, and measures it
// and checks its names without writing it, so the three never disagree.
#include "comp.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "vantrel_c_names.h"

namespace {

// Where the text goes: a stream, or only counted; with `check`, each name
// the header defines is held against the C name rule instead.
struct sink {
    FILE *out;
    uint64_t size;
    bool failed;
    bool check;
    const comp_context *ctx;
    char *joined; // room for the longest name (check only)
};

void put(sink *s, const char *format, ...)
{
    if (s->failed || s->check)
        return;
    va_list args;
    va_start(args, format);
    const int n = s->out != nullptr ? std::vfprintf(s->out, format, args) : std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n < 0)
        s->failed = true;
    else
        s->size += static_cast<uint64_t>(n);
}

// With `check`: PREFIX_CATEGORY_name (d null: PREFIX_CATEGORY) held
// against the C name rule, its fault said.
void check_name(sink *s, const char *category, const vantrel_schema_decl *d)
{
    if (!s->check || s->failed)
        return;
    const char *prefix = s->ctx->c_header_name;
    const int n = std::sprintf(s->joined, "%s_%s%s%.*s", prefix, category, d != nullptr ? "_" : "",
                               d != nullptr ? static_cast<int>(d->name_length) : 0, d != nullptr ? d->name : "");
    if (const char *fault = vantrel_c_name_fault(s->joined, static_cast<size_t>(n))) {
        std::fprintf(stderr, "%s: --c-header %s: %s: %s\n", s->ctx->prog_name, prefix, s->joined, fault);
        s->failed = true;
    }
}

// "#define PREFIX_CATEGORY_name " (the value follows).
void define(sink *s, const char *category, const vantrel_schema_decl *d)
{
    check_name(s, category, d);
    put(s, "#define %s_%s%s%.*s ", s->ctx->c_header_name, category, d != nullptr ? "_" : "",
        d != nullptr ? static_cast<int>(d->name_length) : 0, d != nullptr ? d->name : "");
}

// Ids and types in hex, as schemas mostly write them; counts in decimal.
void u32(sink *s, uint32_t value) { put(s, "UINT32_C(0x%" PRIX32 ")\n", value); }
void count(sink *s, uint32_t value) { put(s, "UINT32_C(%" PRIu32 ")\n", value); }

// A range's end as the schema reads it: unsigned, or with `is_signed` the
// int64 of these bits (whose lowest has no literal of its own).
void end_value(sink *s, uint64_t value, bool is_signed)
{
    if (!is_signed)
        put(s, "UINT64_C(%" PRIu64 ")\n", value);
    else if (value == uint64_t{1} << 63)
        put(s, "(-INT64_C(9223372036854775807) - 1)\n");
    else if (value >> 63)
        put(s, "INT64_C(-%" PRIu64 ")\n", 0 - value);
    else
        put(s, "INT64_C(%" PRIu64 ")\n", value);
}

void tag_macros(sink *s, const vantrel_schema *schema, const vantrel_schema_decl *d)
{
    define(s, "ID", d), u32(s, d->id);
    if (d->flags & VANTREL_DECL_TABLE)
        define(s, "LAST", d), u32(s, d->last);
    if (d->kind == VANTREL_DECL_DATA) {
        define(s, "TYPE", d);
        const uint32_t named = vantrel_schema_find_type(schema, d->type);
        if (named != VANTREL_SCHEMA_NONE)
            put(s, "%s_TYPE_%.*s\n", s->ctx->c_header_name, static_cast<int>(schema->decls[named].name_length),
                schema->decls[named].name);
        else
            u32(s, d->type);
    }
    if (!(d->flags & VANTREL_DECL_LIMITED))
        return;
    if (d->kind == VANTREL_DECL_INTEGER) {
        const bool is_signed = (d->flags & VANTREL_DECL_SIGNED) != 0;
        define(s, "MIN", d), end_value(s, d->low, is_signed);
        define(s, "MAX", d), end_value(s, d->high, is_signed);
        return;
    }
    if (d->kind == VANTREL_DECL_DATA)
        define(s, "MIN", d), count(s, static_cast<uint32_t>(d->low));
    define(s, "MAX", d), count(s, static_cast<uint32_t>(d->high));
}

// The schema file's last name, shown in a C comment: bytes that could end
// the comment or mislead a reader are '?'.
void file_name(sink *s, const char *path)
{
    const char *base = path;
    for (const char *p = path; *p != '\0'; ++p)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    for (const char *p = base; *p != '\0'; ++p) {
        const char c = *p;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '_' || c == '-' || c == '+';
        put(s, "%c", plain ? c : '?');
    }
}

void header(sink *s)
{
    const comp_context *ctx = s->ctx;
    const vantrel_schema *schema = &ctx->schema;
    const char *p = ctx->c_header_name;
    put(s, "/* %s: the names of the schema ", p);
    file_name(s, ctx->schema_name);
    put(s, ",\n"
           " * written by vantrel-comp --c-header: edit the schema, not this file.\n"
           " * After the prefix %s_: ID_name a tag's id (a table's first, LAST_name\n"
           " * its last), TYPE_name a type's number or a data block's type,\n"
           " * CONST_name a const's value, MIN_name and MAX_name the range, max or\n"
           " * size a tag declares, DECL_name a declaration's place, DECLS their\n"
           " * count. */\n",
        p);
    check_name(s, "SCHEMA_H", nullptr);
    put(s, "#ifndef %s_SCHEMA_H\n#define %s_SCHEMA_H\n\n#include <stdint.h>\n\n", p, p);
    for (uint32_t i = 0; i < schema->count; ++i) {
        const vantrel_schema_decl *d = &schema->decls[i];
        if (d->kind == VANTREL_DECL_TYPE)
            define(s, "TYPE", d), u32(s, d->type);
        else if (d->kind == VANTREL_DECL_CONST)
            define(s, "CONST", d), put(s, "UINT64_C(0x%" PRIX64 ")\n", d->low);
        else
            tag_macros(s, schema, d);
        define(s, "DECL", d), count(s, i);
    }
    define(s, "DECLS", nullptr), count(s, schema->count);
    put(s, "\n#endif /* %s_SCHEMA_H */\n", p);
}

} // namespace

int check_c_header_names(const comp_context *ctx)
{
    // The longest name: the prefix, the longest category and a name.
    const size_t room = std::strlen(ctx->c_header_name) + sizeof "_SCHEMA_H_" + VANTREL_SCHEMA_NAME_MAX + 1;
    sink s = {nullptr, 0, false, true, ctx, static_cast<char *>(std::malloc(room))};
    if (s.joined == nullptr) {
        std::fprintf(stderr, "%s: could not allocate name memory: %s\n", ctx->prog_name, std::strerror(ENOMEM));
        return 1;
    }
    header(&s);
    std::free(s.joined);
    return s.failed ? 1 : 0;
}

int write_c_header(FILE *out, const comp_context *ctx)
{
    sink s = {out, 0, false, false, ctx, nullptr};
    header(&s);
    return s.failed ? -1 : 0;
}

uint64_t c_header_size(const comp_context *ctx)
{
    sink s = {nullptr, 0, false, false, ctx, nullptr};
    header(&s);
    return s.size;
}

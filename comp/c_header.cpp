// --c-header: the schema's names as a C header, for the programs that read
// the blobs, and a loader for firmware: a struct of the declared tags, the
// schema as constant records and NAME_load, which checks a blob with the
// library's checker and fills the struct in the same walk.  Every number
// comes from the schema; the text is C99 to C23 and C++17 and C++20 alike.  One function makes the text, and measures it
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

// What the loader's struct holds of a tag declaration: nothing for a table
// (its look-up reads the blob), else a member named as the declaration.
bool is_member(const vantrel_schema_decl *d)
{
    return d->kind <= VANTREL_DECL_DATA && !(d->flags & VANTREL_DECL_TABLE);
}

// The struct's member names of declaration d, written into names[0..2]
// (room for a name and its longest affix each): how many.
int member_names(const vantrel_schema_decl *d, char names[3][VANTREL_SCHEMA_NAME_MAX + 8])
{
    const int n = static_cast<int>(d->name_length);
    int k = 0;
    if (!is_member(d))
        return 0;
    if (d->flags & VANTREL_DECL_OPTIONAL)
        std::snprintf(names[k++], sizeof names[0], "has_%.*s", n, d->name);
    std::snprintf(names[k++], sizeof names[0], "%.*s", n, d->name);
    if (d->kind != VANTREL_DECL_INTEGER)
        std::snprintf(names[k++], sizeof names[0], "%.*s%s", n, d->name,
                      d->kind == VANTREL_DECL_STRING ? "_length" : "_size");
    return k;
}

// With `check`: each member name held against the C name rule, and no
// member named twice (an optional `x` beside a declaration `has_x`, a
// string `x` beside `x_length`).
void check_members(sink *s, const vantrel_schema *schema)
{
    char mine[3][VANTREL_SCHEMA_NAME_MAX + 8], other[3][VANTREL_SCHEMA_NAME_MAX + 8];
    if (!s->check)
        return;
    for (uint32_t i = 0; i < schema->count && !s->failed; ++i) {
        const int count = member_names(&schema->decls[i], mine);
        for (int a = 0; a < count && !s->failed; ++a) {
            const char *fault = vantrel_c_name_fault(mine[a], std::strlen(mine[a]));
            for (uint32_t j = 0; j <= i && fault == nullptr; ++j) {
                const int others = j < i ? member_names(&schema->decls[j], other) : a;
                for (int b = 0; b < others && fault == nullptr; ++b)
                    if (std::strcmp(j < i ? other[b] : mine[b], mine[a]) == 0)
                        fault = "a member of the loader's struct twice";
            }
            if (fault != nullptr) {
                std::fprintf(stderr, "%s: --c-header %s: struct %s: %s: %s\n", s->ctx->prog_name,
                             s->ctx->c_header_name, s->ctx->c_header_name, mine[a], fault);
                s->failed = true;
            }
        }
    }
}

void member(sink *s, const vantrel_schema_decl *d)
{
    const int n = static_cast<int>(d->name_length);
    if (d->flags & VANTREL_DECL_OPTIONAL)
        put(s, "    int has_%.*s; /* 1 when the blob holds %.*s */\n", n, d->name, n, d->name);
    if (d->kind == VANTREL_DECL_STRING)
        put(s, "    const char *%.*s; /* %.*s_length bytes in the blob, not zero-terminated */\n"
               "    uint32_t %.*s_length;\n",
            n, d->name, n, d->name, n, d->name);
    else if (d->kind == VANTREL_DECL_DATA)
        put(s, "    const void *%.*s; /* %.*s_size bytes in the blob */\n    uint32_t %.*s_size;\n", n, d->name, n,
            d->name, n, d->name);
    else
        put(s, "    %s %.*s;\n", d->flags & VANTREL_DECL_SIGNED ? "int64_t" : "uint64_t", n, d->name);
}

// One declaration as a constant record, its fields in vantrel_schema_decl's
// order (C++17 has no designated initializers).
void decl_record(sink *s, const vantrel_schema_decl *d)
{
    put(s,
        "        {UINT64_C(0x%" PRIX64 "), UINT64_C(0x%" PRIX64 "), \"%.*s\", %" PRIu32 "u, 0x%" PRIX32 "u, 0x%" PRIX32
        "u, 0x%" PRIX32 "u, %" PRIu32 "u, %" PRIu32 "u, %uu, %uu, 0u},\n",
        d->low, d->high, static_cast<int>(d->name_length), d->name, d->name_length, d->id, d->last, d->type, d->mark,
        d->by_id, static_cast<unsigned>(d->kind), static_cast<unsigned>(d->flags));
}

// What a table's look-up reads, by kind: its out parameters and the
// checked getter's arguments after the id.
void table_lookup(sink *s, const vantrel_schema_decl *d)
{
    const char *p = s->ctx->c_header_name;
    const int n = static_cast<int>(d->name_length);
    const char *params = d->kind == VANTREL_DECL_STRING    ? "const char **text, uint32_t *length"
                         : d->kind == VANTREL_DECL_INTEGER ? "uint64_t *value"
                                                           : "const void **data, uint32_t *data_size";
    const char *call = d->kind == VANTREL_DECL_STRING    ? "string(blob, size, id, text, length)"
                       : d->kind == VANTREL_DECL_INTEGER ? "integer(blob, size, id, value)"
                                                         : "data(blob, size, id, data, data_size, NULL)";
    check_name(s, "get", d);
    put(s,
        "\n/* The tag of table %.*s with this id in a blob that %s_load accepted:\n"
        " * the checked getter's results (VANTREL_NOT_FOUND for an id outside\n"
        " * the table). */\n"
        "static inline int %s_get_%.*s(const void *blob, size_t size, uint32_t id, %s)\n{\n"
        "    if ((uint32_t)(id - %s_ID_%.*s) > (uint32_t)(%s_LAST_%.*s - %s_ID_%.*s))\n"
        "        return VANTREL_NOT_FOUND;\n"
        "    return vantrel_checked_get_%s;\n}\n",
        n, d->name, p, p, n, d->name, params, p, n, d->name, p, n, d->name, p, n, d->name, call);
}

void loader(sink *s)
{
    const vantrel_schema *schema = &s->ctx->schema.schema;
    const char *p = s->ctx->c_header_name;
    check_members(s, schema);
    check_name(s, "load", nullptr);
    check_name(s, "load_tag", nullptr);
    check_name(s, "schema", nullptr);
    put(s, "\n/* The loader.  Freestanding C99 (and C++): the library's checker with\n"
           " * the schema below, no allocation, nothing from a C library beyond\n"
           " * memcpy and memset.  Every function is static inline, so the header\n"
           " * may be included in any number of files.  The stack of a load is the\n"
           " * check's: define VANTREL_MAX_DEPTH before including this header to\n"
           " * bound it (4 bytes a level). */\n"
           "#include \"vantrel_schema.h\"\n\n#ifdef __cplusplus\nextern \"C\" {\n#endif\n\n");
    put(s, "/* A blob's settings once %s_load accepted it: one member a declared\n"
           " * tag (has_name beside an optional one; tables are read through\n"
           " * %s_get_name).  Strings and data blocks point into the blob. */\n"
           "struct %s {\n",
        p, p, p);
    bool any = false;
    for (uint32_t i = 0; i < schema->count; ++i)
        if (is_member(&schema->decls[i]))
            member(s, &schema->decls[i]), any = true;
    if (!any)
        put(s, "    int empty; /* no declared tag but tables: C has no empty struct */\n");
    put(s, "};\n\n/* The schema as vantrel_schema_read reads it. */\n"
           "static inline const vantrel_schema *%s_schema(void)\n{\n",
        p);
    if (schema->count > 0) {
        put(s, "    static const vantrel_schema_decl decls[%" PRIu32 "] = {\n", schema->count);
        for (uint32_t i = 0; i < schema->count; ++i)
            decl_record(s, &schema->decls[i]);
        put(s, "    };\n");
    }
    put(s, "    static const vantrel_schema schema = {%s, %" PRIu32 "u, %" PRIu32 "u, %" PRIu32 "u};\n"
           "    return &schema;\n}\n\n",
        schema->count > 0 ? "decls" : "NULL", schema->count, schema->tags, schema->marks);
    put(s, "/* Files one accepted tag of the outer block into the struct. */\n"
           "static inline void %s_load_tag(void *context, const vantrel_tag *tag, uint32_t decl)\n{\n"
           "    struct %s *out = (struct %s *)context;\n    switch (decl) {\n",
        p, p, p);
    for (uint32_t i = 0; i < schema->count; ++i) {
        const vantrel_schema_decl *d = &schema->decls[i];
        if (!is_member(d))
            continue;
        const int n = static_cast<int>(d->name_length);
        put(s, "    case %s_DECL_%.*s:\n", p, n, d->name);
        if (d->flags & VANTREL_DECL_OPTIONAL)
            put(s, "        out->has_%.*s = 1;\n", n, d->name);
        if (d->kind == VANTREL_DECL_STRING)
            put(s, "        out->%.*s = (const char *)tag->payload;\n        out->%.*s_length = tag->size;\n", n,
                d->name, n, d->name);
        else if (d->kind == VANTREL_DECL_DATA)
            put(s, "        out->%.*s = tag->payload;\n        out->%.*s_size = tag->size;\n", n, d->name, n, d->name);
        else if (d->flags & VANTREL_DECL_SIGNED)
            put(s, "        out->%.*s = (int64_t)tag->value;\n", n, d->name);
        else
            put(s, "        out->%.*s = tag->value;\n", n, d->name);
        put(s, "        break;\n");
    }
    put(s, "    default:\n        break;\n    }\n    (void)out;\n    (void)tag;\n}\n\n");
    put(s, "/* Checks the blob's format and its schema and fills *out, in one walk:\n"
           " * 0, or the reader's fault code (VANTREL_E_*) for bytes that are not\n"
           " * one well-formed blob, or the schema's (VANTREL_SF_*, 16 and above),\n"
           " * with *fault_offset (when not null) where vantrel-dump --schema\n"
           " * reports it.  *out is all zero but for what the blob holds, and means\n"
           " * nothing unless 0 is returned. */\n"
           "static inline int %s_load(const void *blob, size_t size, struct %s *out, uint32_t *fault_offset)\n{\n"
           "    uint8_t seen[%" PRIu32 "];\n    vantrel_schema_fault fault;\n    int code;\n"
           "    memset(out, 0, sizeof *out);\n"
           "    code = vantrel_schema_check_each(blob, size, %s_schema(), seen, &fault, %s_load_tag, out);\n"
           "    if (code != 0 && fault_offset != NULL)\n"
           "        *fault_offset = fault.offset > UINT32_MAX ? UINT32_MAX : (uint32_t)fault.offset;\n"
           "    return code;\n}\n",
        p, p, schema->marks / 8u + 1u, p, p);
    for (uint32_t i = 0; i < schema->count; ++i)
        if (schema->decls[i].kind <= VANTREL_DECL_DATA && (schema->decls[i].flags & VANTREL_DECL_TABLE))
            table_lookup(s, &schema->decls[i]);
    put(s, "\n#ifdef __cplusplus\n}\n#endif\n");
}

void header(sink *s)
{
    const comp_context *ctx = s->ctx;
    const vantrel_schema *schema = &ctx->schema.schema;
    const char *p = ctx->c_header_name;
    put(s, "/* %s: the names of the schema ", p);
    file_name(s, ctx->schema_name);
    put(s, ",\n"
           " * written by vantrel-comp --c-header: edit the schema, not this file.\n"
           " * After the prefix %s_: ID_name a tag's id (a table's first, LAST_name\n"
           " * its last), TYPE_name a type's number or a data block's type,\n"
           " * CONST_name a const's value, MIN_name and MAX_name the range, max or\n"
           " * size a tag declares, DECL_name a declaration's place, DECLS their\n"
           " * count.  Then the loader: struct %s, %s_load and a %s_get_name\n"
           " * for each table. */\n",
        p, p, p, p);
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
    loader(s);
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

// --schema: the schema file read whole, names on source lines, and each tag
// checked against the schema with the library's checker as its line is read.
#include "comp.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

// Reads the whole stream into memory of its own; 0 or an error number.
int read_whole(FILE *in, char **text, size_t *size)
{
    size_t capacity = 4096, used = 0;
    char *buffer = static_cast<char *>(std::malloc(capacity));
    if (buffer == nullptr)
        return ENOMEM;
    for (;;) {
        used += std::fread(buffer + used, 1, capacity - used, in);
        if (used < capacity)
            break;
        char *grown = capacity <= SIZE_MAX / 2 ? static_cast<char *>(std::realloc(buffer, capacity * 2)) : nullptr;
        if (grown == nullptr) {
            std::free(buffer);
            return ENOMEM;
        }
        buffer = grown;
        capacity *= 2;
    }
    if (std::ferror(in)) {
        std::free(buffer);
        return errno != 0 ? errno : EIO;
    }
    *text = buffer;
    *size = used;
    return 0;
}

void schema_line_error(const comp_context *ctx, uint32_t line, const vantrel_schema_decl *decl, const char *text)
{
    if (decl != nullptr)
        std::fprintf(stderr, "%s: %s:%" PRIu32 ": %.*s: %s\n", ctx->prog_name, ctx->in_shown.text, line,
                     static_cast<int>(decl->name_length), decl->name, text);
    else
        std::fprintf(stderr, "%s: %s:%" PRIu32 ": %s\n", ctx->prog_name, ctx->in_shown.text, line, text);
}

bool starts_name(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

// The declaration named by the word at *cursor, for `role`; its number in
// *result.  0, or 1 after the diagnostic.
int take_name(const comp_context *ctx, name_role role, uint64_t *result, char **cursor)
{
    char *end = *cursor;
    while (*end != '\0' && !comp_is_space(*end))
        ++end;
    const int length = static_cast<int>(end - *cursor);
    const uint32_t index = vantrel_schema_find_name(&ctx->schema, *cursor, static_cast<size_t>(length));
    char text[96];
    if (index == VANTREL_SCHEMA_NONE) {
        std::fprintf(stderr, "%s: %s:%" PRIu32 ": %.*s: name not in the schema\n", ctx->prog_name,
                     ctx->in_shown.text, ctx->line_no, length, *cursor);
        return 1;
    }
    const vantrel_schema_decl *d = &ctx->schema.decls[index];
    const bool tag = d->kind <= VANTREL_DECL_DATA;
    text[0] = '\0';
    if (role == NAME_AS_ID && !tag)
        std::snprintf(text, sizeof text, "declared as %s, not as a tag", vantrel_schema_kind_word(d->kind));
    else if (role == NAME_AS_ID && (d->flags & VANTREL_DECL_TABLE))
        std::snprintf(text, sizeof text, "a table, whose ids are written as numbers");
    else if (role == NAME_AS_TYPE && d->kind != VANTREL_DECL_TYPE)
        std::snprintf(text, sizeof text, "declared as %s, not as type", vantrel_schema_kind_word(d->kind));
    if (text[0] != '\0') {
        schema_line_error(ctx, ctx->line_no, d, text);
        return 1;
    }
    *result = tag ? d->id : d->kind == VANTREL_DECL_TYPE ? d->type : d->low;
    *cursor = end;
    while (comp_is_space(**cursor))
        ++*cursor;
    return 0;
}

} // namespace

int load_schema(comp_context *ctx)
{
    FILE *in = std::fopen(ctx->schema_name, "rb");
    int error = in == nullptr ? errno : stream_is_directory(in) ? EISDIR : 0;
    size_t size = 0;
    if (error == 0)
        error = read_whole(in, &ctx->schema_text, &size);
    if (in != nullptr)
        std::fclose(in);
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot read schema '%s': %s\n", ctx->prog_name, ctx->schema_shown.text,
                     std::strerror(error));
        return 1;
    }
    // One more record than the lines need: malloc(0) may give no memory.
    const uint32_t capacity = vantrel_schema_count(ctx->schema_text, size);
    ctx->schema_decls = static_cast<vantrel_schema_decl *>(
        std::malloc((uint64_t{capacity} + 1) * sizeof(vantrel_schema_decl)));
    if (ctx->schema_decls == nullptr) {
        std::fprintf(stderr, "%s: could not allocate schema memory: %s\n", ctx->prog_name, std::strerror(ENOMEM));
        return 1;
    }
    vantrel_schema_error fault;
    if (vantrel_schema_read(&ctx->schema, ctx->schema_decls, capacity, ctx->schema_text, size, &fault) != 0) {
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        std::fprintf(stderr, "%s: %s:%" PRIu32 ": %s\n", ctx->prog_name, ctx->schema_shown.text, fault.line,
                     vantrel_schema_error_describe(&fault, reason));
        return 1;
    }
    ctx->schema_seen = static_cast<uint8_t *>(std::malloc(vantrel_schema_seen_size(&ctx->schema)));
    if (ctx->schema_seen == nullptr) {
        std::fprintf(stderr, "%s: could not allocate schema memory: %s\n", ctx->prog_name, std::strerror(ENOMEM));
        return 1;
    }
    vantrel_schema_begin(&ctx->checker, &ctx->schema, ctx->schema_seen);
    return 0;
}

void release_schema(comp_context *ctx)
{
    std::free(ctx->schema_seen);
    std::free(ctx->schema_decls);
    std::free(ctx->schema_text);
    release_name(&ctx->schema_shown);
}

int parse_named64(const comp_context *ctx, name_role role, uint64_t *result, char **cursor)
{
    if (ctx->schema_name != nullptr && starts_name(**cursor))
        return take_name(ctx, role, result, cursor);
    return parse64(ctx, result, cursor);
}

int parse_named32(const comp_context *ctx, name_role role, uint32_t *result, char **cursor)
{
    if (ctx->schema_name == nullptr || !starts_name(**cursor))
        return parse32(ctx, result, cursor);
    // Only tags and types stand where 32 bits do: their numbers are 32 bits.
    uint64_t value = 0;
    if (take_name(ctx, role, &value, cursor) != 0)
        return 1;
    *result = static_cast<uint32_t>(value);
    return 0;
}

int schema_check_tag(comp_context *ctx, const vantrel_tag *tag)
{
    if (ctx->schema_name == nullptr)
        return 0;
    uint32_t decl = VANTREL_SCHEMA_NONE;
    const int code = vantrel_schema_tag(&ctx->checker, tag, &decl);
    if (code == 0)
        return 0;
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    vantrel_schema_describe(&ctx->schema, code, decl, tag, reason);
    schema_line_error(ctx, ctx->tag_line, decl < ctx->schema.count ? &ctx->schema.decls[decl] : nullptr, reason);
    return 1;
}

int schema_check_end(comp_context *ctx)
{
    if (ctx->schema_name == nullptr)
        return 0;
    // The compiler stops at its first fault: the first missing tag in the
    // schema's order.
    uint32_t decl = VANTREL_SCHEMA_NONE;
    const int code = vantrel_schema_end(&ctx->checker, &decl);
    if (code == 0)
        return 0;
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    vantrel_schema_describe(&ctx->schema, code, decl, nullptr, reason);
    schema_line_error(ctx, ctx->line_no, &ctx->schema.decls[decl], reason);
    return 1;
}

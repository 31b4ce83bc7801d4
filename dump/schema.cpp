// --schema: the file, the names, and the check of each blob's outer tags.
#include "schema.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dump.h"
#include "platform.h"

namespace {

// The whole stream, in memory of its own; 0 or an error number.
int read_whole(FILE *in, char **text, size_t *size)
{
    size_t room = 4096, used = 0;
    char *buffer = static_cast<char *>(std::malloc(room));
    while (buffer != nullptr) {
        used += std::fread(buffer + used, 1, room - used, in);
        if (used < room)
            break;
        char *grown = room <= SIZE_MAX / 2 ? static_cast<char *>(std::realloc(buffer, room * 2)) : nullptr;
        if (grown == nullptr)
            std::free(buffer);
        buffer = grown;
        room *= 2;
    }
    if (buffer == nullptr)
        return ENOMEM;
    if (std::ferror(in)) {
        std::free(buffer);
        return errno != 0 ? errno : EIO;
    }
    *text = buffer;
    *size = used;
    return 0;
}

} // namespace

int dump_schema_load(dump_schema *s, const char *prog, const char *path, const char *shown)
{
    *s = dump_schema{};
    s->path = path;
    FILE *in = std::fopen(path, "rb");
    int error = in == nullptr ? errno : stream_is_directory(in) ? EISDIR : 0;
    size_t size = 0;
    if (error == 0)
        error = read_whole(in, &s->text, &size);
    if (in != nullptr)
        std::fclose(in);
    uint32_t capacity = error == 0 ? vantrel_schema_count(s->text, size) : 0;
    // One record more than the lines need: malloc(0) may give nothing.
    if (error == 0 && (s->decls = static_cast<vantrel_schema_decl *>(
                           std::malloc((uint64_t{capacity} + 1) * sizeof(vantrel_schema_decl)))) == nullptr)
        error = ENOMEM;
    if (error != 0) {
        dump_message(nullptr, "%s: cannot read schema '%s': %s\n", prog, shown, std::strerror(error));
        dump_schema_release(s);
        return 1;
    }
    vantrel_schema_error fault;
    if (vantrel_schema_read(&s->schema, s->decls, capacity, s->text, size, &fault) != 0) {
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        dump_message(nullptr, "%s: %s:%" PRIu32 ": %s\n", prog, shown, fault.line,
                     vantrel_schema_error_describe(&fault, reason));
        dump_schema_release(s);
        return 1;
    }
    s->seen = static_cast<uint8_t *>(std::malloc(vantrel_schema_seen_size(&s->schema)));
    if (s->seen == nullptr) {
        dump_message(nullptr, "%s: cannot read schema '%s': %s\n", prog, shown, std::strerror(ENOMEM));
        dump_schema_release(s);
        return 1;
    }
    return 0;
}

void dump_schema_release(dump_schema *s)
{
    std::free(s->seen);
    std::free(s->decls);
    std::free(s->text);
    s->seen = nullptr;
    s->decls = nullptr;
    s->text = nullptr;
}

uint32_t dump_schema_decl_of(const vantrel_schema *schema, const vantrel_tag *tag)
{
    if (tag->depth != 0 || tag->code == VANTREL_TAG_START || tag->code == VANTREL_TAG_END)
        return VANTREL_SCHEMA_NONE;
    return vantrel_schema_find_id(schema, tag->id);
}

dump_names dump_schema_names(const vantrel_schema *schema, uint32_t decl, const vantrel_tag *tag)
{
    dump_names names{};
    if (decl < schema->count) {
        names.name = schema->decls[decl].name;
        names.name_length = schema->decls[decl].name_length;
    }
    if (tag->code == VANTREL_TAG_DATA_BLOCK && tag->depth == 0) {
        uint32_t type = vantrel_schema_find_type(schema, tag->type);
        if (type != VANTREL_SCHEMA_NONE) {
            names.type_name = schema->decls[type].name;
            names.type_name_length = schema->decls[type].name_length;
        }
    }
    return names;
}

uint32_t dump_schema_const_of(const vantrel_schema *schema, uint64_t value)
{
    uint32_t found = VANTREL_SCHEMA_NONE;
    for (uint32_t i = 0; i < schema->count; ++i) {
        const vantrel_schema_decl *d = &schema->decls[i];
        if (d->kind != VANTREL_DECL_CONST || d->low != value)
            continue;
        // Two names for one value: which one a tag means is not known.
        if (found != VANTREL_SCHEMA_NONE)
            return VANTREL_SCHEMA_NONE;
        found = i;
    }
    return found;
}

void dump_check_begin(dump_check *check, dump_schema *schema)
{
    *check = dump_check{};
    check->schema = &schema->schema;
    vantrel_schema_begin(&check->checker, &schema->schema, schema->seen);
}

void dump_check_release(dump_check *check)
{
    std::free(check->list);
    check->list = nullptr;
    check->count = check->room = 0;
}

namespace {

int keep(dump_check *check, int code, uint32_t decl, const vantrel_tag *tag)
{
    if (check->count == check->room) {
        size_t room = check->room == 0 ? 16 : 2 * check->room;
        auto *grown = static_cast<dump_violation *>(std::realloc(check->list, room * sizeof(dump_violation)));
        if (grown == nullptr)
            return 1;
        check->list = grown;
        check->room = room;
    }
    dump_violation &v = check->list[check->count++];
    v.offset = tag->offset;
    v.value = tag->code == VANTREL_TAG_INTEGER ? tag->value : tag->size;
    v.id = tag->id;
    v.type = tag->type;
    v.decl = decl;
    v.code = code;
    v.tag_code = tag->code;
    return 0;
}

} // namespace

int dump_check_tag(dump_check *check, const vantrel_tag *tag, uint32_t *decl)
{
    if (tag->code == VANTREL_TAG_END && tag->depth == 0) {
        *decl = VANTREL_SCHEMA_NONE;
        uint32_t missing;
        while (vantrel_schema_end(&check->checker, &missing) != 0)
            if (keep(check, VANTREL_SF_MISSING, missing, tag) != 0)
                return 1;
        return 0;
    }
    int code = vantrel_schema_tag(&check->checker, tag, decl);
    // An undeclared id has no declaration; a nested one none of its own.
    return code != 0 ? keep(check, code, *decl, tag) : 0;
}

const char *dump_violation_reason(const dump_check *check, const dump_violation *v,
                                  char (&text)[VANTREL_SCHEMA_REASON_SIZE])
{
    vantrel_tag tag{};
    tag.offset = v->offset;
    tag.code = v->tag_code;
    tag.id = v->id;
    tag.type = v->type;
    if (v->tag_code == VANTREL_TAG_INTEGER)
        tag.value = v->value;
    else
        tag.size = static_cast<uint32_t>(v->value);
    return vantrel_schema_describe(check->schema, v->code, v->decl, v->code == VANTREL_SF_MISSING ? nullptr : &tag,
                                   text);
}

const vantrel_schema_decl *dump_violation_decl(const dump_check *check, const dump_violation *v)
{
    return v->decl < check->schema->count ? &check->schema->decls[v->decl] : nullptr;
}

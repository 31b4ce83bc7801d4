// --schema: the file, the names, and the check of each blob's outer tags.
#include "schema.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dump.h"

int dump_schema_load(dump_schema *s, const char *prog, const char *path, const char *shown)
{
    s->path = path;
    return schema_file_load(&s->file, prog, path, shown);
}

void dump_schema_release(dump_schema *s) { schema_file_release(&s->file); }

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
    check->schema = &schema->file.schema;
    vantrel_schema_begin(&check->checker, &schema->file.schema, schema->file.seen);
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

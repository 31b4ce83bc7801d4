// Reads arbitrary bytes as a schema: never out of bounds (the text is
// copied to a buffer of its exact size), and an accepted schema keeps its
// invariants: names are C names, unique and found by name; tag
// declarations are filed by id without overlap and found by each id; the
// marks stay within the bound.  An accepted schema then checks a small
// blob built from the input's first bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "vantrel.h"
#include "vantrel_schema.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    const uint32_t capacity = 1 + (size > 0 ? data[0] % 64 : 0);
    std::unique_ptr<vantrel_schema_decl[]> decls(new vantrel_schema_decl[capacity]);
    vantrel_schema schema;
    vantrel_schema_error error;
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    const int code = vantrel_schema_read(&schema, decls.get(), capacity, text.get(), size, &error);
    check(schema.count <= capacity && schema.count <= vantrel_schema_count(text.get(), size));
    if (code != 0) {
        check(code > 0 && code < VANTREL_SE_COUNT && error.line > 0 && error.column > 0);
        check(error.word_length == 0 || (error.word >= text.get() && error.word + error.word_length <= text.get() + size));
        check(vantrel_schema_error_describe(&error, reason)[0] != '\0');
        return 0;
    }
    check(schema.marks <= VANTREL_SCHEMA_MARKS_MAX);
    uint32_t tags = 0;
    for (uint32_t i = 0; i < schema.count; ++i) {
        const vantrel_schema_decl &d = decls[i];
        check(vantrel_c_name_fault(d.name, d.name_length) == nullptr);
        check(vantrel_schema_find_name(&schema, d.name, d.name_length) == i);
        if (d.kind > VANTREL_DECL_DATA)
            continue;
        ++tags;
        check(d.id <= d.last && vantrel_schema_find_id(&schema, d.id) == i && vantrel_schema_find_id(&schema, d.last) == i);
    }
    check(tags == schema.tags);
    for (uint32_t k = 1; k < schema.tags; ++k)
        check(decls[decls[k - 1].by_id].last < decls[decls[k].by_id].id);

    // A blob of up to 8 tags with ids and values from the input.
    uint8_t buffer[1024];
    vantrel_state state;
    check(vantrel_init(&state, buffer, sizeof buffer, 8) == 0);
    for (size_t at = 1; at + 4 <= size && at < 33; at += 4) {
        const uint32_t id = data[at] | uint32_t(data[at + 1]) << 8;
        if (data[at + 2] % 3 == 0)
            vantrel_add_integer(&state, data[at + 3], id);
        else if (data[at + 2] % 3 == 1)
            vantrel_add_string(&state, text.get(), data[at + 3] % 32 < size ? data[at + 3] % 32 : 0, id);
        else
            vantrel_add_data_block(&state, text.get(), data[at + 3] % 16 < size ? data[at + 3] % 16 : 0, data[at + 3] % 3, id);
    }
    vantrel_end(&state);
    std::unique_ptr<uint8_t[]> seen(new uint8_t[vantrel_schema_seen_size(&schema)]);
    vantrel_schema_fault fault;
    const int verdict = vantrel_schema_check_blob(buffer, vantrel_get_used_size(&state), &schema, seen.get(), &fault);
    check(verdict == 0 || (verdict >= VANTREL_SF_FIRST && verdict < VANTREL_SF_END));
    if (verdict != 0)
        check(vantrel_schema_describe(&schema, verdict, fault.decl, &fault.tag, reason)[0] != '\0');
    return 0;
}

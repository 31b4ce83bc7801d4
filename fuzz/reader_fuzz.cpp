// Runs vantrel::reader over arbitrary bytes: checks them (with and without
// nested reserved words allowed), walks every tag and looks ids up, and
// checks them against a schema of every declaration form.  Every
// view must lie inside the input, starts and ends
// must pair up within the depth bound, a refused blob hands out nothing,
// and an accepted blob without nesting rebuilds into a blob that reads back
// to the same tags.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "vantrel.hpp"
#include "vantrel_schema.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool same_tag(const vantrel::tag &a, const vantrel::tag &b)
{
    return a.kind == b.kind && a.id == b.id && a.type == b.type && a.value == b.value &&
           a.bytes.size() == b.bytes.size() &&
           (a.bytes.empty() || std::memcmp(a.bytes.data(), b.bytes.data(), a.bytes.size()) == 0);
}

// Walks r, checking each tag against the input; true when it holds no
// nested block.
bool walk(const vantrel::reader &r, std::span<const std::byte> input)
{
    const std::byte *begin = input.data(), *end = input.data() + input.size();
    uint32_t open = 0;
    std::size_t count = 0, last_offset = 0;
    bool flat = true;
    for (const vantrel::tag &t : r) {
        check(++count <= input.size() / 8);
        check(count == 1 || t.offset > last_offset);
        last_offset = t.offset;
        check(t.offset < input.size());
        if (t.kind == vantrel::tag_kind::start) {
            check(t.depth == ++open && open <= vantrel::max_depth);
            flat = false;
            continue;
        }
        if (t.kind == vantrel::tag_kind::end) {
            check(open > 0 && t.depth == open--);
            continue;
        }
        check(t.depth == open);
        check(uint64_t{t.offset} + t.tag_size <= input.size());
        if (t.kind == vantrel::tag_kind::integer) {
            check(t.bytes.empty());
            continue;
        }
        // A payload may run past its own tag, as vantrel-dump lists it, but
        // never past the input.
        check(t.bytes.data() >= begin + t.offset + VANTREL_HDR_SIZE && t.bytes.data() <= end);
        check(t.bytes.data() + t.bytes.size() <= end);

        // Look-ups search the outer block only.
        std::optional<vantrel::tag> first = r.find(t.id);
        check(!first || (first->id == t.id && first->depth == 0));
        if (t.depth == 0)
            check(first && first->offset <= t.offset);
    }
    check(open == 0);
    return flat;
}

void rebuild(const vantrel::reader &r, std::size_t input_size)
{
    // Payloads may overlap in the input, so the rebuilt blob is sized from
    // them: each tag at alignment 8 takes at most its payload plus 31.
    std::size_t size = 64;
    for (const vantrel::tag &t : r)
        size += t.bytes.size() + 32;
    if (size > (std::size_t{64} << 20) || size > 64 * input_size + 4096)
        return;
    std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[size]);
    if (!buffer)
        return;
    vantrel::builder b(std::span<std::byte>(buffer.get(), size));
    check(b.ok());
    for (const vantrel::tag &t : r) {
        vantrel::status s = vantrel::status::ok;
        switch (t.kind) {
        case vantrel::tag_kind::string: s = b.add_string(t.id, t.text()); break;
        case vantrel::tag_kind::integer: s = b.add_integer(t.id, t.value); break;
        case vantrel::tag_kind::data_block: s = b.add_data(t.id, t.type, t.bytes); break;
        default: break;
        }
        check(s == vantrel::status::ok);
    }
    std::span<std::byte> blob = b.finish();
    vantrel::reader again(blob);
    check(again.ok() && !again.swapped());
    auto a = r.begin(), c = again.begin();
    for (; a != r.end() && c != again.end(); ++a, ++c)
        check(same_tag(*a, *c));
    check(a == r.end() && c == again.end());
}

// The schema check of the input: the format's fault exactly as
// vantrel_check gives it, else a schema fault at a tag of the input, which
// the incremental check over the checking iterator finds first too.
void check_schema(const uint8_t *data, size_t size)
{
    static const char text[] = "type T 1\n"
                               "const C 0xFFFF\n"
                               "str s 1 max 8\n"
                               "str o 2 optional\n"
                               "int i 3 10..60000\n"
                               "int n 4 -40..85 optional\n"
                               "data d 5 T size 4..16\n"
                               "data e 6 2 optional\n"
                               "str t 100..199 table\n";
    static vantrel_schema_decl decls[16];
    static vantrel_schema schema;
    static bool read = false;
    vantrel_schema_error error;
    if (!read)
        check(vantrel_schema_read(&schema, decls, 16, text, sizeof text - 1, &error) == 0);
    read = true;
    uint8_t seen[16];
    check(vantrel_schema_seen_size(&schema) <= sizeof seen);
    vantrel_schema_fault fault;
    const int code = vantrel_schema_check_blob(data, size, &schema, seen, &fault);
    const int format = vantrel_check(data, size, nullptr, nullptr);
    check(code == format || (format == 0 && code >= VANTREL_SF_FIRST && code < VANTREL_SF_END));
    if (format != 0)
        return;
    char reason[VANTREL_SCHEMA_REASON_SIZE];
    if (code != 0) {
        check(fault.offset < size && (fault.decl == VANTREL_SCHEMA_NONE || fault.decl < schema.count));
        check(vantrel_schema_describe(&schema, code, fault.decl, &fault.tag, reason)[0] != '\0');
    }
    static vantrel_reader r;
    vantrel_schema_checker c;
    vantrel_schema_begin(&c, &schema, seen);
    vantrel_tag t;
    uint32_t decl = VANTREL_SCHEMA_NONE;
    int found = 0;
    check(vantrel_reader_init(&r, data, size, 0) == 0);
    while (found == 0 && vantrel_reader_next(&r, &t) > 0)
        found = t.code == VANTREL_TAG_END && t.depth == 0 ? vantrel_schema_end(&c, &decl) : vantrel_schema_tag(&c, &t, &decl);
    check(found == code && (code == 0 || (t.offset == fault.offset && decl == fault.decl)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::span<const std::byte> input(reinterpret_cast<const std::byte *>(data), size);
    vantrel::reader strict(input), lenient(input, {true});

    for (const vantrel::reader *r : {&strict, &lenient}) {
        if (!r->ok()) {
            check(r->error().code != vantrel::error_code::none);
            check(r->error().offset <= size + (uint64_t{1} << 32) + 16);
            check(r->begin() == r->end() && !r->find(0) && !r->get_integer(0));
            check(vantrel::describe(r->error()).text[0] != '\0');
        }
    }
    check_schema(data, size);
    // Allowing nested reserved words only ever accepts more.
    if (strict.ok())
        check(lenient.ok());
    if (!lenient.ok())
        return 0;
    if (walk(lenient, input))
        rebuild(lenient, size);
    return 0;
}

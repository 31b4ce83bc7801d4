// One property over arbitrary bytes: vantrel_check, the C reader's
// iterator and the dump's streaming walk (over a source that reads and
// seeks in memory as in a file, handing out at most a number of bytes per
// read, through an input buffer of a size taken from the bytes, so
// refills, seeks and short reads are all exercised) reach the same
// verdict, with the same fault offset, reason and value, after the same
// tags.  Run once as the program does by default and once with nested
// start tags' reserved words allowed.  Over a source that cannot seek (a
// pipe), the walk agrees too, or stops with the one fault of its own at
// the tag it could not come back from.  The JSON rendering runs over the
// same bytes, as a file with the same status, and as a file and a pipe
// writes one line of valid JSON that shows no control character.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "dump.h"
#include "memory_source.h"
#include "terminal_text.h"

namespace {

// The dump's context for one run over the input, as the program sets it.
dump_context context(uint32_t flags, const dump_format *format)
{
    dump_context ctx{};
    ctx.prog_name = "vantrel-dump";
    ctx.file_name = "input";
    ctx.warn_start_reserved = (flags & VANTREL_ALLOW_NESTED_RESERVED) != 0;
    ctx.format = format;
    return ctx;
}

struct seen_tag {
    uint64_t offset;
    uint32_t code, depth, id, type, size;
    uint64_t value;
    std::string payload;
    bool operator==(const seen_tag &) const = default;
};

// Reports the line of the property that broke, then stops.
#define check(ok) ((ok) ? (void)0 : fail(__LINE__))
[[noreturn]] void fail(int line)
{
    std::fprintf(stderr, "dump_fuzz.cpp:%d: the readers disagree\n", line);
    std::abort();
}

// What the dump's walk wrote, as tags; a string or data block counts once
// its tail is written.
std::vector<seen_tag> dumped;
seen_tag pending;

seen_tag seen(const vantrel_tag *t, uint32_t size)
{
    return {t->offset, t->code, t->depth, t->id, t->type, size, t->value, {}};
}

void on_blob_start(dump_output *, const char *, const vantrel_tag *start, const vantrel_walk *)
{
    dumped.push_back(seen(start, 0));
}
void on_block(dump_output *, const vantrel_tag *t) { dumped.push_back(seen(t, 0)); }
void on_head(dump_output *, const vantrel_tag *t, const dump_names *) { pending = seen(t, t->size); }
void on_integer(dump_output *, const vantrel_tag *t, const dump_names *) { dumped.push_back(seen(t, 0)); }
void on_chunk(dump_output *, const uint8_t *bytes, uint32_t count)
{
    pending.payload.append(reinterpret_cast<const char *>(bytes), count);
}
void on_tail(dump_output *) { dumped.push_back(pending); }

const dump_format recorder = {
    .blob_start = on_blob_start,
    .block_start = on_block,
    .block_end = on_block,
    .string_head = on_head,
    .string_chunk = on_chunk,
    .string_tail = on_tail,
    .integer = on_integer,
    .data_head = on_head,
    .data_chunk = on_chunk,
    .data_tail = on_tail,
};

FILE *sink;

// ---- A JSON checker (RFC 8259) for the one line --json writes.  Strings
// must also be safe on a terminal: escapes for every control character.
struct json_text {
    const char *at, *end;
};

bool json_value(json_text *t, int depth);

void json_space(json_text *t)
{
    while (t->at < t->end && *t->at == ' ')
        ++t->at;
}

bool json_take(json_text *t, char c)
{
    json_space(t);
    if (t->at == t->end || *t->at != c)
        return false;
    ++t->at;
    return true;
}

bool json_string(json_text *t)
{
    if (!json_take(t, '"'))
        return false;
    while (t->at < t->end && *t->at != '"') {
        if (*t->at == '\\') {
            if (t->end - t->at < 2 || t->at[1] == '\0' || std::strchr("\"\\/bfnrtu", t->at[1]) == nullptr)
                return false;
            bool u = t->at[1] == 'u';
            t->at += 2;
            for (int i = 0; u && i < 4; ++i, ++t->at)
                if (t->at == t->end || *t->at == '\0' || std::strchr("0123456789abcdefABCDEF", *t->at) == nullptr)
                    return false;
            continue;
        }
        const auto *b = reinterpret_cast<const uint8_t *>(t->at);
        size_t length = terminal_text_length(b, static_cast<size_t>(t->end - t->at));
        if (length == 0)
            return false;
        t->at += length;
    }
    return json_take(t, '"');
}

bool json_list(json_text *t, char close, bool members, int depth)
{
    if (json_take(t, close))
        return true;
    do {
        if (members && (!json_string(t) || !json_take(t, ':')))
            return false;
        if (!json_value(t, depth + 1))
            return false;
    } while (json_take(t, ','));
    return json_take(t, close);
}

bool json_value(json_text *t, int depth)
{
    json_space(t);
    if (t->at == t->end || depth > 2 * static_cast<int>(VANTREL_MAX_DEPTH) + 8)
        return false;
    char c = *t->at;
    if (c == '"')
        return json_string(t);
    ++t->at;
    if (c == '{')
        return json_list(t, '}', true, depth);
    if (c == '[')
        return json_list(t, ']', false, depth);
    // The only numbers written: unsigned integers without leading zeros.
    if (c < '0' || c > '9')
        return false;
    if (c != '0')
        while (t->at < t->end && *t->at >= '0' && *t->at <= '9')
            ++t->at;
    return true;
}

bool one_json_line(const std::string &text)
{
    if (text.empty() || text.back() != '\n')
        return false;
    json_text t{text.data(), text.data() + text.size() - 1};
    return json_value(&t, 0) && t.at == t.end;
}

// Runs the JSON rendering over the bytes; returns the status, with the
// line in *text.
int json_run(const uint8_t *data, size_t size, uint32_t flags, bool seekable, size_t capacity, size_t most,
             std::string *text)
{
    char *written = nullptr;
    size_t length = 0;
    FILE *line = open_memstream(&written, &length);
    if (line == nullptr)
        std::abort();
    memory_source memory{data, size, 0, most};
    input_source source = source_over(&memory, seekable);
    dump_context ctx = context(flags, &dump_json);
    char buffer[OUTPUT_ROOM_MAX];
    dump_output out;
    output_init(&out, line, buffer, sizeof buffer);
    std::vector<uint8_t> input_bytes(capacity);
    dump_input input;
    input_init(&input, &source, input_bytes.data(), input_bytes.size());
    int status = dump_file(&out, &input, &ctx, "input");
    output_flush(&out);
    if (std::fclose(line) != 0)
        std::abort();
    text->assign(written, length);
    std::free(written);
    return status;
}

// On a blob that checks: the look-up rule (the first string, integer or
// data block of the outer block with the id) applied to the iterator's
// tags, the checked look-ups and the checking ones give the same answer,
// for the ids the blob holds and one it may not.
void agree_lookups(const uint8_t *data, size_t size, const std::vector<seen_tag> &tags)
{
    std::vector<uint32_t> ids = {0xFFFFFFFFu};
    for (const seen_tag &t : tags)
        if (ids.size() < 8 && t.id != 0)
            ids.push_back(t.id);
    for (uint32_t id : ids) {
        const seen_tag *expected = nullptr;
        for (const seen_tag &t : tags)
            if (t.depth == 0 && t.id == id && t.code != VANTREL_TAG_START && t.code != VANTREL_TAG_END) {
                expected = &t;
                break;
            }
        vantrel_tag found{}, unchecked{};
        int status = vantrel_checked_find(data, size, id, &found);
        check(vantrel_find(data, size, id, &unchecked) == status);
        check(status == (expected != nullptr ? VANTREL_OK : VANTREL_NOT_FOUND));
        if (expected != nullptr)
            check(found.offset == expected->offset && found.code == expected->code &&
                  found.value == expected->value && found.type == expected->type &&
                  unchecked.offset == found.offset && unchecked.payload == found.payload &&
                  unchecked.size == found.size && unchecked.tag_size == found.tag_size);
        uint64_t value = 0, checked_value = 0;
        int integer = vantrel_checked_get_integer(data, size, id, &checked_value);
        check(vantrel_get_integer(data, size, id, &value) == integer && value == checked_value);
        check(integer == (expected == nullptr ? VANTREL_NOT_FOUND
                          : expected->code == VANTREL_TAG_INTEGER ? VANTREL_OK : VANTREL_WRONG_KIND));
        const char *text = nullptr;
        uint32_t length = 0;
        int string = vantrel_checked_get_string(data, size, id, &text, &length);
        check(string == (expected == nullptr ? VANTREL_NOT_FOUND
                         : expected->code == VANTREL_TAG_STRING ? VANTREL_OK : VANTREL_WRONG_KIND));
        if (string == VANTREL_OK)
            check(std::string_view(text, length) == expected->payload);
    }
}

void agree(const uint8_t *data, size_t size, uint32_t flags)
{
    // The C reader.
    std::vector<seen_tag> read;
    vantrel_reader r;
    vantrel_tag t;
    int step;
    vantrel_reader_init(&r, data, size, flags);
    while ((step = vantrel_reader_next(&r, &t)) > 0) {
        seen_tag s{t.offset, t.code, t.depth, t.id, t.type, t.size, t.value, {}};
        if (t.payload != nullptr)
            s.payload.assign(reinterpret_cast<const char *>(t.payload), t.size);
        if (t.code == VANTREL_TAG_START || t.code == VANTREL_TAG_END)
            s.size = 0;
        read.push_back(s);
    }
    if (flags == 0) {
        uint32_t offset = 0;
        const char *reason = nullptr;
        check(vantrel_check(data, size, &offset, &reason) == (step == 0 ? 0 : r.walk.fault_code));
        if (step != 0)
            check(offset == (r.walk.fault_offset > UINT32_MAX ? UINT32_MAX : r.walk.fault_offset) &&
                  reason == vantrel_fault_text(r.walk.fault_code) && r.walk.fault_code > 0);
        else
            agree_lookups(data, size, read);
    }

    // The dump's walk over the same bytes as a file, and as a pipe.
    size_t capacity = 64 + data[0] % 256;
    // Reads come in short pieces; on large inputs (the deeply nested seeds)
    // no shorter than a 64th of them, or the reads alone would take the time.
    size_t most = std::max<size_t>(1 + data[size / 2] % 131, size / 64);
    std::vector<uint8_t> buffer(capacity);
    for (bool seekable : {true, false}) {
        memory_source memory{data, size, 0, most};
        input_source source = source_over(&memory, seekable);
        dump_context ctx = context(flags, &recorder);
        dumped.clear();
        char text[OUTPUT_ROOM_MAX];
        dump_output out;
        output_init(&out, sink, text, sizeof text);
        dump_input input;
        input_init(&input, &source, buffer.data(), buffer.size());
        // What is written goes out before each read that may wait.
        input.pending = &out;
        check(input.seekable == seekable);
        vantrel_walk walk;
        walk.fault_code = VANTREL_E_NONE;
        int status = dump_blob(&out, &input, &ctx, "input", &walk);

        if (!seekable && walk.fault_code == DUMP_E_CANNOT_GO_BACK) {
            // Stopped at the last tag it wrote, which ran past its size.
            check(status == 1 && !dumped.empty() && dumped.size() <= read.size());
            check(std::equal(dumped.begin(), dumped.end(), read.begin()));
            check(walk.fault_offset == dumped.back().offset);
            continue;
        }
        check(status == (step == 0 ? 0 : 1));
        check(dumped == read);
        if (step != 0) {
            check(walk.fault_code == r.walk.fault_code);
            check(walk.fault_offset == r.walk.fault_offset && walk.fault_value == r.walk.fault_value);
        }
    }

    // The JSON rendering: the same walk, so the same status, whatever it
    // writes; and valid JSON, from a pipe too.
    std::string line;
    check(json_run(data, size, flags, true, capacity, most, &line) == (step == 0 ? 0 : 1));
    check(one_json_line(line));
    json_run(data, size, flags, false, capacity, most, &line);
    check(one_json_line(line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (sink == nullptr)
        sink = std::fopen("/dev/null", "w");
    if (sink == nullptr || size == 0)
        return 0;
    agree(data, size, 0);
    agree(data, size, VANTREL_ALLOW_NESTED_RESERVED);
    std::clearerr(sink);
    return 0;
}

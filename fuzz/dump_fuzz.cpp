// One property over arbitrary bytes: vantrel_check, the C reader's
// iterator and the dump's streaming walk (over a stream that reads and
// seeks in memory as in a file, so every seek and short read is exercised) reach the same verdict, with the same
// fault offset, reason and value, after the same tags.  Run once as the
// program does by default and once with nested start tags' reserved words
// allowed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dump.h"

namespace {

struct seen_tag {
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

void on_start(FILE *, int depth) { dumped.push_back({VANTREL_TAG_START, uint32_t(depth), 0, 0, 0, 0, {}}); }
void on_end(FILE *, int depth) { dumped.push_back({VANTREL_TAG_END, uint32_t(depth), 0, 0, 0, 0, {}}); }
void on_string(FILE *, int depth, uint32_t id, uint32_t size)
{
    pending = {VANTREL_TAG_STRING, uint32_t(depth), id, 0, size, 0, {}};
}
void on_chunk(FILE *, const uint8_t *bytes, uint32_t count) { pending.payload.append(reinterpret_cast<const char *>(bytes), count); }
void on_tail(FILE *) { dumped.push_back(pending); }
void on_integer(FILE *, int depth, uint32_t id, uint64_t value)
{
    dumped.push_back({VANTREL_TAG_INTEGER, uint32_t(depth), id, 0, 0, value, {}});
}
void on_data(FILE *, int depth, uint32_t id, uint32_t type, uint32_t size)
{
    pending = {VANTREL_TAG_DATA_BLOCK, uint32_t(depth), id, type, size, 0, {}};
}

const dump_format recorder = {on_start, on_end, on_string, on_chunk, on_tail, on_integer, on_data, on_chunk, on_tail};

FILE *sink;

// A read-only stream over memory that seeks like a file: past its end as
// well (fmemopen refuses that, so later reads would start elsewhere).
struct memory_file {
    const uint8_t *data;
    size_t size;
    off64_t at;
};

ssize_t memory_read(void *cookie, char *into, size_t n)
{
    auto *m = static_cast<memory_file *>(cookie);
    if (m->at >= static_cast<off64_t>(m->size))
        return 0;
    size_t count = std::min(n, m->size - static_cast<size_t>(m->at));
    std::memcpy(into, m->data + m->at, count);
    m->at += static_cast<off64_t>(count);
    return static_cast<ssize_t>(count);
}

int memory_seek(void *cookie, off64_t *offset, int whence)
{
    auto *m = static_cast<memory_file *>(cookie);
    off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : static_cast<off64_t>(m->size);
    if (base + *offset < 0)
        return -1;
    *offset = m->at = base + *offset;
    return 0;
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
        seen_tag s{t.code, t.depth, t.id, t.type, t.size, t.value, {}};
        if (t.payload != nullptr)
            s.payload.assign(reinterpret_cast<const char *>(t.payload), t.size);
        if (t.code == VANTREL_TAG_START || t.code == VANTREL_TAG_END)
            s.size = 0;
        read.push_back(s);
    }
    if (flags == 0) {
        uint32_t offset = 0;
        const char *reason = nullptr;
        check(vantrel_check(data, size, &offset, &reason) == (step == 0 ? 0 : 1));
        if (step != 0)
            check(offset == (r.walk.fault_offset > UINT32_MAX ? UINT32_MAX : r.walk.fault_offset) &&
                  std::strcmp(reason, r.walk.fault_reason) == 0);
    }

    // The dump's walk over the same bytes as a file.
    memory_file file{data, size, 0};
    FILE *in = fopencookie(&file, "rb", cookie_io_functions_t{memory_read, nullptr, memory_seek, nullptr});
    if (in == nullptr)
        return;
    dump_context ctx{};
    ctx.prog_name = "vantrel-dump";
    ctx.warn_start_reserved = (flags & VANTREL_ALLOW_NESTED_RESERVED) != 0;
    ctx.format = &recorder;
    dumped.clear();
    vantrel_walk walk;
    walk.fault_reason = nullptr;
    int status = dump_blob(sink, in, &ctx, "input", &walk);
    std::fclose(in);

    check(status == (step == 0 ? 0 : 1));
    check(dumped == read);
    if (step != 0) {
        check(walk.fault_reason != nullptr && std::strcmp(walk.fault_reason, r.walk.fault_reason) == 0);
        check(walk.fault_offset == r.walk.fault_offset && walk.fault_value == r.walk.fault_value);
    }
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

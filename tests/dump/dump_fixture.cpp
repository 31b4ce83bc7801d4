#include "dump_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "vantrel.h"

namespace dt {

layout operator+(layout a, const layout &b)
{
    a.pieces.insert(a.pieces.end(), b.pieces.begin(), b.pieces.end());
    return a;
}

layout w32(uint32_t value) { return {{{4, value, {}}}}; }
layout w64(uint64_t value) { return {{{8, value, {}}}}; }
layout bytes(const std::string &raw) { return {{{0, 0, raw}}}; }
layout zeros(size_t count) { return bytes(std::string(count, '\0')); }
layout header(uint32_t code, uint32_t tag_size) { return w32(code) + w32(tag_size); }

layout start_tag(uint32_t tag_size, uint32_t length, uint32_t reserved)
{
    return header(VANTREL_TAG_START, tag_size) + w32(length) + w32(reserved);
}

layout end_tag(uint32_t tag_size) { return header(VANTREL_TAG_END, tag_size); }

layout string_tag(uint32_t tag_size, uint32_t id, uint32_t size, const std::string &characters)
{
    return header(VANTREL_TAG_STRING, tag_size) + w32(id) + w32(size) + bytes(characters);
}

layout integer_tag(uint32_t tag_size, uint64_t value, uint32_t id)
{
    return header(VANTREL_TAG_INTEGER, tag_size) + w64(value) + w32(id) + w32(0);
}

layout data_tag(uint32_t tag_size, uint32_t type, uint32_t id, uint32_t size, const std::string &data)
{
    return header(VANTREL_TAG_DATA_BLOCK, tag_size) + w32(type) + w32(id) + w32(size) + bytes(data);
}

namespace {

template <typename T> void append_word(std::string &out, T value, bool reversed)
{
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    if (reversed)
        for (size_t i = 0; i < sizeof value / 2; ++i)
            std::swap(raw[i], raw[sizeof value - 1 - i]);
    out.append(raw, sizeof value);
}

template <typename T> void reverse_word(std::string &blob, size_t at)
{
    if (at + sizeof(T) > blob.size())
        throw std::runtime_error("other_order: blob ends inside a field");
    for (size_t i = 0; i < sizeof(T) / 2; ++i)
        std::swap(blob[at + i], blob[at + sizeof(T) - 1 - i]);
}

uint32_t host_word(const std::string &blob, size_t at)
{
    uint32_t v;
    if (at + sizeof v > blob.size())
        throw std::runtime_error("other_order: blob ends inside a header");
    std::memcpy(&v, blob.data() + at, sizeof v);
    return v;
}

} // namespace

std::string serialize(const layout &l, bool other_order)
{
    std::string out;
    for (const piece &p : l.pieces) {
        if (p.width == 4)
            append_word(out, static_cast<uint32_t>(p.value), other_order);
        else if (p.width == 8)
            append_word(out, p.value, other_order);
        else
            out += p.bytes;
    }
    return out;
}

layout nested_blocks(uint32_t levels)
{
    layout l = start_tag(16, 24 * (levels + 1));
    for (uint32_t k = 1; k <= levels; ++k)
        l = std::move(l) + start_tag(16, 24 * (levels + 1 - k));
    for (uint32_t k = 0; k <= levels; ++k)
        l = std::move(l) + end_tag();
    return l;
}

tag_spec str(uint32_t id, const std::string &characters) { return {tag_spec::string, id, 0, characters}; }
tag_spec integer(uint32_t id, uint64_t value) { return {tag_spec::integer, id, value, {}}; }
tag_spec data(uint32_t id, uint32_t type, const std::string &bytes) { return {tag_spec::data_block, id, type, bytes}; }

std::string library_blob(uint32_t alignment, const std::vector<tag_spec> &tags)
{
    uint64_t need = 2 * uint64_t{alignment} + 32;
    for (const tag_spec &t : tags)
        need += t.payload.size() + 24 + alignment;
    std::vector<uint8_t> buffer(need);
    vantrel_state state;
    if (vantrel_init(&state, buffer.data(), static_cast<uint32_t>(need), alignment) != 0)
        throw std::runtime_error("vantrel_init refused");
    for (const tag_spec &t : tags) {
        int32_t rc = 1;
        auto size = static_cast<uint32_t>(t.payload.size());
        switch (t.kind) {
        case tag_spec::string:
            rc = vantrel_add_string(&state, t.payload.data(), size, t.id);
            break;
        case tag_spec::integer:
            rc = vantrel_add_integer(&state, t.value, t.id);
            break;
        case tag_spec::data_block:
            rc = vantrel_add_data_block(&state, t.payload.data(), size, static_cast<uint32_t>(t.value), t.id);
            break;
        }
        if (rc != 0)
            throw std::runtime_error("a tag did not fit");
    }
    if (vantrel_end(&state) != 0)
        throw std::runtime_error("vantrel_end refused");
    return std::string(reinterpret_cast<const char *>(buffer.data()), vantrel_get_used_size(&state));
}

std::string other_order(const std::string &blob)
{
    std::string twin = blob;
    uint32_t tag_size = host_word(blob, VANTREL_HDR_TAG_SIZE);
    for (uint32_t at = 0; at < VANTREL_START_MIN; at += 4)
        reverse_word<uint32_t>(twin, at);
    // A start tag of more than 16 bytes is padded with zeros.
    size_t at = tag_size;
    for (;;) {
        uint32_t code = host_word(blob, at + VANTREL_HDR_TAG);
        uint32_t size = host_word(blob, at + VANTREL_HDR_TAG_SIZE);
        reverse_word<uint32_t>(twin, at + VANTREL_HDR_TAG);
        reverse_word<uint32_t>(twin, at + VANTREL_HDR_TAG_SIZE);
        switch (code) {
        case VANTREL_TAG_END:
            return twin;
        case VANTREL_TAG_STRING:
            reverse_word<uint32_t>(twin, at + VANTREL_STRING_ID);
            reverse_word<uint32_t>(twin, at + VANTREL_STRING_SIZE);
            break;
        case VANTREL_TAG_INTEGER:
            reverse_word<uint64_t>(twin, at + VANTREL_INTEGER_VALUE);
            reverse_word<uint32_t>(twin, at + VANTREL_INTEGER_ID);
            reverse_word<uint32_t>(twin, at + VANTREL_INTEGER_RESERVED);
            break;
        case VANTREL_TAG_DATA_BLOCK:
            reverse_word<uint32_t>(twin, at + VANTREL_DATA_TYPE);
            reverse_word<uint32_t>(twin, at + VANTREL_DATA_ID);
            reverse_word<uint32_t>(twin, at + VANTREL_DATA_SIZE);
            break;
        default:
            throw std::runtime_error("other_order: not a blob the library writes");
        }
        if (size < VANTREL_HDR_SIZE)
            throw std::runtime_error("other_order: a tag of less than 8 bytes");
        at += size;
    }
}

vt::run_result dump_once(const std::vector<std::string> &args, const std::string &stdout_path)
{
    std::vector<std::string> argv{PROG};
    argv.insert(argv.end(), args.begin(), args.end());
    return vt::run_program(VANTREL_DUMP_PATH, argv, "", stdout_path);
}

vt::run_result dump(const std::vector<std::string> &args, const std::string &stdout_path)
{
    vt::run_result r = dump_once(args, stdout_path);
    if (stdout_path.empty() && pipes_available()) {
        SCOPED_TRACE("file operands read through pipes");
        vt::run_result piped = dump_through_pipes(args);
        EXPECT_EQ(piped.out, r.out);
        EXPECT_EQ(piped.err, r.err);
        EXPECT_EQ(piped.status, r.status);
    }
    return r;
}

#ifdef _WIN32
bool pipes_available() { return false; }

vt::run_result dump_through_pipes(const std::vector<std::string> &args) { return dump_once(args); }
#else
bool pipes_available() { return !vt::runs_emulated(); }

vt::run_result dump_through_pipes(const std::vector<std::string> &args)
{
    // Each pipe is fed by a thread of this process: a forked copy of a
    // process under qemu-user may hang before it runs a line.
    struct fed_pipe {
        std::string name, bytes;
        std::atomic<bool> done{false};
    };
    std::vector<std::unique_ptr<fed_pipe>> pipes;
    for (const std::string &a : args) {
        std::error_code ignored;
        if (a.empty() || a[0] == '-' || a.find('/') != std::string::npos ||
            !std::filesystem::is_regular_file(a, ignored) || std::count(args.begin(), args.end(), a) != 1)
            continue;
        auto p = std::make_unique<fed_pipe>();
        p->name = a;
        p->bytes = vt::read_file(a);
        pipes.push_back(std::move(p));
    }
    // A reader that stops early makes the feeder's writes fail, not kill us.
    void (*previous)(int) = signal(SIGPIPE, SIG_IGN);
    std::vector<std::thread> feeders;
    for (auto &p : pipes) {
        if (std::remove(p->name.c_str()) != 0 || mkfifo(p->name.c_str(), 0600) != 0)
            throw std::runtime_error("cannot make a named pipe for " + p->name);
        feeders.emplace_back([&pipe = *p] {
            int fd = open(pipe.name.c_str(), O_WRONLY);
            for (size_t done = 0; fd >= 0 && done < pipe.bytes.size();) {
                ssize_t n = write(fd, pipe.bytes.data() + done, pipe.bytes.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<size_t>(n);
            }
            if (fd >= 0)
                close(fd);
            pipe.done = true;
        });
    }
    vt::run_result r = dump_once(args);
    // A pipe the program never opened, or left unread, still holds its
    // feeder: open it here and drop what comes, until the feeder is done.
    for (auto &p : pipes) {
        while (!p->done) {
            int fd = open(p->name.c_str(), O_RDONLY | O_NONBLOCK);
            char sink[4096];
            if (fd >= 0) {
                while (read(fd, sink, sizeof sink) > 0) {
                }
                close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    for (std::thread &t : feeders)
        t.join();
    signal(SIGPIPE, previous);
    for (auto &p : pipes) {
        std::remove(p->name.c_str());
        vt::write_file(p->name, p->bytes);
    }
    return r;
}
#endif

dump_test::dump_test() : previous_(std::filesystem::current_path())
{
    std::filesystem::current_path(dir_.path());
}

dump_test::~dump_test()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

std::string indent(int units) { return std::string(2 * static_cast<size_t>(units), ' '); }

} // namespace dt

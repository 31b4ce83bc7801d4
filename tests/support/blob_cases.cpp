#include "blob_cases.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace vtcpp {

using vantrel::error_code;

namespace {

// The other byte order, made without the reader's own swaps so that a
// broken swap in the reader cannot pass the tests: a word's bytes in
// reverse order (a 64-bit word reversed as one 8-byte unit).
template <typename word> word reversed(word v)
{
    unsigned char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    std::reverse(b, b + sizeof v);
    std::memcpy(&v, b, sizeof v);
    return v;
}

} // namespace

blob_writer &blob_writer::u32(uint32_t v)
{
    v = swapped ? reversed(v) : v;
    bytes.append(reinterpret_cast<const char *>(&v), sizeof v);
    return *this;
}

blob_writer &blob_writer::u64(uint64_t v)
{
    v = swapped ? reversed(v) : v;
    bytes.append(reinterpret_cast<const char *>(&v), sizeof v);
    return *this;
}

blob_writer &blob_writer::raw(std::string_view s)
{
    bytes += s;
    return *this;
}

blob_writer &blob_writer::zeros(std::size_t n)
{
    bytes.append(n, '\0');
    return *this;
}

blob_writer &blob_writer::header(uint32_t code, uint32_t tag_size) { return u32(code).u32(tag_size); }

blob_writer &blob_writer::start(uint32_t tag_size, uint32_t length, uint32_t reserved)
{
    return header(VANTREL_TAG_START, tag_size).u32(length).u32(reserved);
}

blob_writer &blob_writer::end(uint32_t tag_size) { return header(VANTREL_TAG_END, tag_size).zeros(tag_size - 8); }

blob_writer &blob_writer::integer(uint32_t id, uint64_t value)
{
    return header(VANTREL_TAG_INTEGER, 24).u64(value).u32(id).u32(0);
}

std::span<const std::byte> as_span(const std::string &bytes)
{
    return {reinterpret_cast<const std::byte *>(bytes.data()), bytes.size()};
}

namespace {

uint32_t get32(const std::string &b, std::size_t at)
{
    uint32_t v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

void swap32(std::string &b, std::size_t at)
{
    uint32_t v = reversed(get32(b, at));
    std::memcpy(b.data() + at, &v, sizeof v);
}

void swap64(std::string &b, std::size_t at)
{
    uint64_t v;
    std::memcpy(&v, b.data() + at, sizeof v);
    v = reversed(v);
    std::memcpy(b.data() + at, &v, sizeof v);
}

} // namespace

std::string swapped_copy(const std::string &blob)
{
    std::string b = blob;
    uint32_t start_size = get32(blob, 4), length = get32(blob, 8);
    for (std::size_t at : {0, 4, 8, 12})
        swap32(b, at);
    // The builder pads its start tag to alignments of 32 and more.
    std::size_t pos = start_size > 16 && (start_size & (start_size - 1)) == 0 && start_size <= length ? start_size : 16;
    for (int open = 1; open > 0;) {
        uint32_t code = get32(blob, pos), size = get32(blob, pos + 4);
        swap32(b, pos);
        swap32(b, pos + 4);
        switch (code) {
        case VANTREL_TAG_START:
            swap32(b, pos + 8);
            swap32(b, pos + 12);
            ++open;
            pos += 16;
            continue;
        case VANTREL_TAG_STRING:
            swap32(b, pos + 8);
            swap32(b, pos + 12);
            break;
        case VANTREL_TAG_INTEGER:
            swap64(b, pos + 8);
            swap32(b, pos + 16);
            swap32(b, pos + 20);
            break;
        case VANTREL_TAG_DATA_BLOCK:
            swap32(b, pos + 8);
            swap32(b, pos + 12);
            swap32(b, pos + 16);
            break;
        case VANTREL_TAG_END:
            --open;
            break;
        }
        pos += size;
    }
    return b;
}

namespace {

// Block k (1-based) of `depth` nested blocks starts at 16 k and holds block
// k + 1; each start tag's tag_size equals its length.
void write_nested(blob_writer &w, uint32_t depth)
{
    auto length = [depth](uint32_t k) { return 16 + 16 * (depth - k) + 8 * (depth - k + 1); };
    w.start(16, 16 + (depth == 0 ? 0 : length(1)) + 8);
    for (uint32_t k = 1; k <= depth; ++k)
        w.start(length(k), length(k));
    for (uint32_t k = 0; k <= depth; ++k)
        w.end();
}

constexpr std::size_t all = SIZE_MAX;

// Offsets: a tag's fields begin 8 bytes after its first byte; the reserved
// message stands 16 bytes after the nested start tag's first byte.
const malformed_case cases[] = {
    {"file of 15 bytes", [](blob_writer &w) { w.start(16, 24).end(); }, 15,
     error_code::short_start_tag, 0, "unexpected end-of-file"},
    {"first word is no start code", [](blob_writer &w) { w.header(VANTREL_TAG_STRING, 16).u32(24).u32(0).end(); },
     all, error_code::start_tag_not_found, 0, "start tag not found"},
    {"reserved word of the blob's start tag",
     [](blob_writer &w) { w.start(16, 24, 1).end(); }, all, error_code::start_reserved, 0,
     "reserved field in start tag is not zero"},
    {"length 16 leaves no room", [](blob_writer &w) { w.start(16, 16).end(); }, all,
     error_code::missing_end_tag, 0x10, "missing end tag"},
    {"length 20", [](blob_writer &w) { w.start(16, 20).end(); }, all, error_code::invalid_start_length, 0x10,
     "invalid vantrel start length"},
    {"tags leave 4 bytes over", [](blob_writer &w) { w.start(16, 44).integer(1, 5).end(); }, all,
     error_code::invalid_start_length, 0x28, "invalid vantrel start length"},
    {"block ends without end tag", [](blob_writer &w) { w.start(16, 40).integer(1, 5).end(); }, all,
     error_code::missing_end_tag, 0x28, "missing end tag"},
    {"tag_size 0", [](blob_writer &w) { w.start(16, 24).header(VANTREL_TAG_END, 0); }, all,
     error_code::invalid_tag_size, 0x18, "invalid tag size"},
    {"tag_size 4", [](blob_writer &w) { w.start(16, 24).header(VANTREL_TAG_END, 4); }, all,
     error_code::invalid_tag_size, 0x18, "invalid tag size"},
    {"tag_size above remaining length", [](blob_writer &w) { w.start(16, 32).integer(1, 2).end(); }, all,
     error_code::invalid_tag_size, 0x18, "invalid tag size"},
    {"end tag short of the block's end", [](blob_writer &w) { w.start(16, 56).integer(1, 2).end().zeros(8); },
     all, error_code::junk_after_end_tag, 0x30, "junk found after end tag"},
    {"unknown tag code", [](blob_writer &w) { w.start(16, 40).header(0x7A600005, 16).zeros(8).end(); }, all,
     error_code::unknown_tag, 0x18, "unknown tag: 0x7A600005"},
    {"unknown code after a string",
     [](blob_writer &w) { w.start(16, 56).header(VANTREL_TAG_STRING, 24).u32(1).u32(2).raw("ab").zeros(6)
                           .header(0x12345678, 8).end(); }, all,
     error_code::unknown_tag, 0x30, "unknown tag: 0x12345678"},
    {"end of file inside a header", [](blob_writer &w) { w.start(16, 48).integer(1, 5); }, 20,
     error_code::unexpected_eof, 0x14, "unexpected end-of-file"},
    {"end of file inside string fields",
     [](blob_writer &w) { w.start(16, 48).header(VANTREL_TAG_STRING, 24).u32(1); }, all,
     error_code::unexpected_eof, 0x1C, "unexpected end-of-file"},
    {"end of file inside string characters",
     [](blob_writer &w) { w.start(16, 200).header(VANTREL_TAG_STRING, 168).u32(1).u32(150).raw("abc"); }, all,
     error_code::unexpected_eof, 0x23, "unexpected end-of-file"},
    {"end of file inside an integer's reserved word", [](blob_writer &w) { w.start(16, 48).integer(1, 5).end(); },
     16 + 22, error_code::unexpected_eof, 0x26, "unexpected end-of-file"},
    // The first tag ends 2^32 bytes in: past what a 32-bit offset holds.
    {"wrapped length sends the walk past 4 GiB",
     [](blob_writer &w) { w.start(16, 8).header(VANTREL_TAG_STRING, 0xFFFFFFF0).u32(1).u32(0).zeros(8); }, all,
     error_code::unexpected_eof, uint64_t{1} << 32, "unexpected end-of-file"},
    {"end of file inside integer fields",
     [](blob_writer &w) { w.start(16, 48).header(VANTREL_TAG_INTEGER, 24).u64(5); }, all,
     error_code::unexpected_eof, 0x20, "unexpected end-of-file"},
    {"end of file inside data bytes",
     [](blob_writer &w) { w.start(16, 120).header(VANTREL_TAG_DATA_BLOCK, 96).u32(7).u32(3).u32(70).raw("xy"); },
     all, error_code::unexpected_eof, 0x26, "unexpected end-of-file"},
    {"end of file inside nested start fields",
     [](blob_writer &w) { w.start(16, 64).header(VANTREL_TAG_START, 16).u32(24); }, all,
     error_code::unexpected_eof, 0x1C, "unexpected end-of-file"},
    {"next tag beyond the end of the file",
     [](blob_writer &w) { w.start(16, 64).header(VANTREL_TAG_STRING, 40).u32(1).u32(3).raw("abc").zeros(1); },
     all, error_code::unexpected_eof, 0x38, "unexpected end-of-file"},
    {"length below 16 wraps around", [](blob_writer &w) { w.start(16, 8).integer(1, 5).end(); }, all,
     error_code::junk_after_end_tag, 0x30, "junk found after end tag"},
    {"start tag_size above its length", [](blob_writer &w) { w.start(32, 24).zeros(16).end(); }, all,
     error_code::invalid_tag_size, 0x18, "invalid tag size"},
    {"reserved word of a nested start tag", [](blob_writer &w) { w.start(16, 48).start(24, 24, 1).end().end(); },
     all, error_code::nested_reserved, 0x20, "reserved field in start tag is not zero (value: 0x1)"},
    {"error inside a nested block",
     [](blob_writer &w) { w.start(16, 72).start(48, 48).header(0x7A600000, 24).zeros(16).end().end(); }, all,
     error_code::unknown_tag, 0x28, "unknown tag: 0x7A600000"},
    // The nested block may take all the room that is left; the outer block
    // then has none for its end tag.
    {"nested length fills what the block has left",
     [](blob_writer &w) { w.start(16, 40).start(24, 24).end(); }, all,
     error_code::missing_end_tag, 0x28, "missing end tag"},
    {"nested length above what the block has left",
     [](blob_writer &w) { w.start(16, 48).start(24, 40).end().end(); }, all,
     error_code::invalid_start_length, 0x20, "invalid vantrel start length"},
    // Charged its tag_size alone, this block would send the walk back over
    // the same tags about 2^29 times.
    {"nested length 0",
     [](blob_writer &w) { w.start(16, 0).start(8, 0).start(0xFFFFFFE8, 24).end().end(); }, all,
     error_code::invalid_start_length, 0x20, "invalid vantrel start length"},
    {"1025 nested start tags", [](blob_writer &w) { write_nested(w, 1025); }, all, error_code::nested_too_deep,
     16 * 1025 + 16, "start tags nested too deeply"},
};

} // namespace

std::span<const malformed_case> malformed_cases() { return cases; }

std::string nested_blob(uint32_t depth, bool swapped)
{
    blob_writer w{swapped, {}};
    write_nested(w, depth);
    return w.bytes;
}

std::vector<valid_case> valid_cases()
{
    std::vector<valid_case> out;
    auto built = [&out](const char *name, uint32_t alignment) {
        static const std::byte data[] = {std::byte{0xDE}, std::byte{0xAD}, std::byte{0x00}, std::byte{0x7F}};
        std::vector<std::byte> buffer(8 * alignment + 256);
        vantrel::builder b(buffer, alignment);
        bool placed = b.add_string(1, "abc") == vantrel::status::ok &&
                      b.add_integer(2, uint64_t{0x0102030405060708}) == vantrel::status::ok &&
                      b.add_data(3, 7, data) == vantrel::status::ok &&
                      b.add_string(4, std::string_view("\x01\xE9\"\\\n", 5)) == vantrel::status::ok &&
                      b.add_integer(5, ~uint64_t{0}) == vantrel::status::ok &&
                      b.add_data(6, 0, std::span<const std::byte>{}) == vantrel::status::ok;
        std::span<std::byte> blob = b.finish();
        if (placed)
            out.push_back({name, std::string(reinterpret_cast<const char *>(blob.data()), blob.size())});
    };
    built("alignment 8", 8);
    built("alignment 16", 16);
    built("alignment 32", 32);
    built("alignment 4096", 4096);
    blob_writer w;
    w.start(8, 48).integer(9, 1).end();
    out.push_back({"start tag_size below 16", w.bytes});
    w = {};
    w.start(16, 120).integer(1, 1).start(48, 48).integer(2, 2).end().integer(3, 3).end();
    out.push_back({"nested block", w.bytes});
    w = {};
    w.start(16, 96).start(16, 72).integer(1, 1).start(8, 24).end().end().end();
    out.push_back({"nested start tag_size below its length", w.bytes});
    out.push_back({"1024 nested blocks", nested_blob(1024, false)});
    w = {};
    w.start(16, 64).start(16, 32).end(16).end(16);
    out.push_back({"nested block closed by a 16-byte end tag (alignment 16)", w.bytes});
    // Payloads and fields that run past their own tag_size: listed from the
    // bytes that follow, as vantrel-dump lists them.
    const struct {
        const char *name;
        void (*write)(blob_writer &);
    } overlapping[] = {
        {"string characters pass tag_size",
         [](blob_writer &o) { o.start(16, 48).header(VANTREL_TAG_STRING, 24).u32(1).u32(8).raw("abcdefgh").end(); }},
        {"integer tag_size 16", [](blob_writer &o) { o.start(16, 40).header(VANTREL_TAG_INTEGER, 16).u64(5).end(); }},
        {"data bytes pass tag_size",
         [](blob_writer &o) { o.start(16, 48).header(VANTREL_TAG_DATA_BLOCK, 24).u32(7).u32(3).u32(5).raw("hell").end(); }},
    };
    for (const auto &c : overlapping) {
        blob_writer host{false, {}}, other{true, {}};
        c.write(host);
        c.write(other);
        out.push_back({c.name, host.bytes, other.bytes});
    }
    return out;
}

std::string in_order(const valid_case &v, bool swapped)
{
    if (!swapped)
        return v.bytes;
    return v.other_order.empty() ? swapped_copy(v.bytes) : v.other_order;
}

std::string listing(const vantrel::reader &r)
{
    std::string out = "[start]\n";
    char line[64];
    for (const vantrel::tag &t : r) {
        bool marker = t.kind == vantrel::tag_kind::start || t.kind == vantrel::tag_kind::end;
        out.append(2 * (t.depth + (marker ? 0 : 1)), ' ');
        switch (t.kind) {
        case vantrel::tag_kind::start: out += "[start]\n"; break;
        case vantrel::tag_kind::end: out += "[end]\n"; break;
        case vantrel::tag_kind::integer:
            std::snprintf(line, sizeof line, "[integer] id=0x%" PRIx32 ", data=%" PRId64 "/0x%" PRIX64 "\n", t.id,
                          static_cast<int64_t>(t.value), t.value);
            out += line;
            break;
        case vantrel::tag_kind::string:
            std::snprintf(line, sizeof line, "[string] id=0x%" PRIx32 ", size=%zu, data=\"", t.id, t.bytes.size());
            out += line;
            for (char c : t.text())
                out += static_cast<unsigned char>(c) >= 0x80 ? '.' : c;
            out += "\"\n";
            break;
        case vantrel::tag_kind::data_block:
            std::snprintf(line, sizeof line, "[data_block] id=0x%" PRIx32 ", type=0x%" PRIx32 ", size=%zu, data=<",
                          t.id, t.type, t.bytes.size());
            out += line;
            for (std::byte c : t.bytes) {
                std::snprintf(line, sizeof line, "%02X", static_cast<unsigned>(c));
                out += line;
            }
            out += ">\n";
            break;
        }
    }
    return out + "[end]\n";
}

} // namespace vtcpp

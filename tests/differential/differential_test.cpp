// Random well-formed sources, compiled by vantrel-comp, must give the blob
// the library builds from the same tags directly, and vantrel-dump must
// list exactly those tags.  Fixed seed, bounded count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "vantrel.h"

namespace {

constexpr uint32_t blob_size = 65536;
constexpr int source_count = 150;

struct tag {
    enum kind_t { integer, string, data } kind;
    uint32_t id = 0, type = 0;
    uint64_t value = 0;
    std::string bytes;
};

struct generator {
    std::mt19937_64 rng{20261207};

    uint64_t below(uint64_t n) { return n == 0 ? 0 : rng() % n; }

    // A number in one of the source's notations, underscores included.
    std::string number(uint64_t v)
    {
        char digits[80];
        switch (below(5)) {
        case 0:
            std::snprintf(digits, sizeof digits, "%" PRIu64, v);
            break;
        case 1:
            std::snprintf(digits, sizeof digits, below(2) ? "0x%" PRIX64 : "0X%" PRIx64, v);
            break;
        case 2:
            std::snprintf(digits, sizeof digits, "0%" PRIo64, v);
            break;
        case 3:
            std::snprintf(digits, sizeof digits, "0o%" PRIo64, v);
            break;
        default: {
            std::string bits;
            for (uint64_t x = v; x != 0; x >>= 1)
                bits.insert(bits.begin(), char('0' + (x & 1)));
            return "0b" + (bits.empty() ? std::string("0") : bits);
        }
        }
        std::string text = digits;
        if (below(4) == 0) // an underscore somewhere after the prefix
            text.insert(text.size() - below(2), 1, '_');
        return text;
    }

    uint64_t value()
    {
        switch (below(4)) {
        case 0:
            return below(10);
        case 1:
            return ~0ull - below(3);
        case 2:
            return uint64_t{1} << below(64);
        default:
            return rng();
        }
    }

    uint32_t word() { return below(3) == 0 ? 0xFFFFFFFFu - uint32_t(below(2)) : uint32_t(below(1u << 20)); }

    std::string text_bytes(size_t n)
    {
        static const char alphabet[] = "abcXYZ019 #<>{}_\t\n\r\\\"'";
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s.push_back(alphabet[below(sizeof alphabet - 1)]);
        return s;
    }

    std::string raw_bytes(size_t n)
    {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s.push_back(char(below(256)));
        return s;
    }
};

std::string as_source_text(const std::string &bytes)
{
    std::string q = "\"";
    for (char c : bytes) {
        switch (c) {
        case '\n': q += "\\n"; break;
        case '\r': q += "\\r"; break;
        case '\t': q += "\\t"; break;
        case '\\': q += "\\\\"; break;
        case '"': q += "\\\""; break;
        case '\'': q += "\\'"; break;
        default: q += c;
        }
    }
    return q + "\"";
}

std::string hex(const std::string &bytes, bool spaced)
{
    static const char digits[] = "0123456789abcdef";
    std::string h;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (spaced && i > 0 && i % 4 == 0)
            h += (i % 8 == 0) ? " " : "_";
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        h += digits[b >> 4];
        h += digits[b & 15];
    }
    return h;
}

// One random source and the tags it describes; the tags always fit.
std::string make_source(generator &g, std::vector<tag> &tags)
{
    uint32_t room = blob_size - 16 - 8;
    std::string src = "# generated\n{\n";
    int count = int(g.below(12));
    for (int i = 0; i < count; ++i) {
        tag t;
        t.id = g.word();
        int pick = int(g.below(3));
        // Now and then one payload that fills nearly all the room left.
        bool big = g.below(8) == 0;
        if (pick == 0) {
            t.kind = tag::integer;
            t.value = g.value();
            if (room < 24)
                break;
            room -= 24;
            src += "int " + g.number(t.id) + " " + g.number(t.value) + "\n";
        } else if (pick == 1) {
            t.kind = tag::string;
            size_t max = std::min<size_t>(room >= 24 ? room - 17 : 0, 2000); // one line
            if (room < 24)
                break;
            size_t n = big ? max - g.below(8) % (max + 1) : g.below(std::min<size_t>(max, 40) + 1);
            t.bytes = g.text_bytes(n);
            room -= (n + 17 + 7) & ~7u;
            src += "  str " + g.number(t.id) + " " + as_source_text(t.bytes) + "\n";
        } else {
            t.kind = tag::data;
            t.type = g.word();
            if (room < 24)
                break;
            size_t max = room - 20;
            size_t n = big ? max - g.below(8) % (max + 1) : g.below(std::min<size_t>(max, 64) + 1);
            t.bytes = g.raw_bytes(n);
            room -= uint32_t((n + 20 + 7) & ~size_t{7});
            std::string head = "data " + g.number(t.id) + " " + g.number(t.type) + " ";
            if (n <= 1000 && g.below(3) == 0) {
                src += head + "<" + hex(t.bytes, g.below(2)) + ">\n";
            } else {
                src += head + "begin\n";
                for (size_t at = 0; at < n;) {
                    size_t line = 1 + g.below(1800); // stays under 4094 characters
                    std::string piece = t.bytes.substr(at, line);
                    src.append("<").append(hex(piece, g.below(2))).append(">\n");
                    if (g.below(10) == 0)
                        src += "# comment inside a block\n\n";
                    at += piece.size();
                }
                src += "end\n";
            }
        }
        tags.push_back(t);
    }
    return src + "}\n";
}

std::string library_blob(const std::vector<tag> &tags)
{
    static uint8_t buffer[blob_size];
    vantrel_state s{};
    EXPECT_EQ(vantrel_init(&s, buffer, blob_size, 8), 0);
    for (const tag &t : tags) {
        int32_t rc = t.kind == tag::integer ? vantrel_add_integer(&s, t.value, t.id)
                     : t.kind == tag::string
                         ? vantrel_add_string(&s, t.bytes.data(), uint32_t(t.bytes.size()), t.id)
                         : vantrel_add_data_block(&s, t.bytes.data(), uint32_t(t.bytes.size()), t.type, t.id);
        EXPECT_EQ(rc, 0);
    }
    vantrel_end(&s);
    return std::string(reinterpret_cast<char *>(buffer), vantrel_get_used_size(&s));
}

std::string expected_listing(const std::vector<tag> &tags)
{
    std::string out = "[start]\n";
    char line[128];
    for (const tag &t : tags) {
        if (t.kind == tag::integer) {
            std::snprintf(line, sizeof line, "  [integer] id=0x%" PRIx32 ", data=%" PRId64 "/0x%" PRIX64 "\n",
                          t.id, static_cast<int64_t>(t.value), t.value);
            out += line;
        } else if (t.kind == tag::string) {
            std::snprintf(line, sizeof line, "  [string] id=0x%" PRIx32 ", size=%zu, data=\"", t.id,
                          t.bytes.size());
            out += line + t.bytes + "\"\n";
        } else {
            std::snprintf(line, sizeof line, "  [data_block] id=0x%" PRIx32 ", type=0x%" PRIx32 ", size=%zu, data=<",
                          t.id, t.type, t.bytes.size());
            std::string h = hex(t.bytes, false);
            for (char &c : h)
                c = char(std::toupper(static_cast<unsigned char>(c)));
            out += line + h + ">\n";
        }
    }
    return out + "[end]\n";
}

TEST(Differential, CompilerMatchesLibraryAndDumpMatchesTags)
{
    generator g;
    vt::temp_dir dir;
    std::string src_path = dir.file("unit.txt"), out_path = dir.file("unit.dat");
    size_t tags_seen = 0, bytes_seen = 0;
    for (int i = 0; i < source_count; ++i) {
        std::vector<tag> tags;
        std::string source = make_source(g, tags);
        vt::write_file(src_path, source);
        vt::run_result comp = vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", out_path, src_path});
        ASSERT_EQ(comp.status, 0) << comp.err << "\nsource:\n" << source;
        std::string blob = vt::read_file(out_path);
        ASSERT_EQ(blob, library_blob(tags)) << "source:\n" << source;
        vt::run_result dump = vt::run_program(VANTREL_DUMP_PATH, {"vantrel-dump", out_path});
        ASSERT_EQ(dump.status, 0) << dump.err;
        ASSERT_EQ(dump.err, "");
        ASSERT_EQ(dump.out, expected_listing(tags)) << "source:\n" << source;
        tags_seen += tags.size();
        bytes_seen += blob.size();
    }
    // The generator must really reach big blobs, not only tiny ones.
    EXPECT_GT(tags_seen, size_t(source_count) * 3);
    EXPECT_GT(bytes_seen, size_t(source_count) * 4000);
}

} // namespace

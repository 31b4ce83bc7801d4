// Random well-formed sources, compiled by vantrel-comp, must give the blob
// the library builds from the same tags directly, and vantrel-dump must
// list exactly those tags.  Fixed seed, bounded count.
#include <gtest/gtest.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "random_source.h"
#include "test_support.h"
#include "vantrel.h"

namespace {

constexpr uint32_t blob_size = vt::RANDOM_SOURCE_BLOB_SIZE;
constexpr int source_count = 150;

using tag = vt::random_tag;
using generator = vt::source_generator;
using vt::make_source;

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
            std::string h = vt::hex_text(t.bytes, false);
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

// vantrel.hpp: builder-made blobs read back in both byte orders, the
// malformed blob table, nesting, lookups, and sweeps of cut and corrupted
// copies that must never read outside the copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blob_cases.h"
#include "vantrel.hpp"

namespace {

using vantrel::error_code;
using vantrel::status;
using vantrel::tag_kind;
using vtcpp::as_span;

struct item {
    tag_kind kind;
    uint32_t id, type;
    uint64_t value;
    std::string bytes;
    std::size_t piece = 0; // data blocks: add as a scatter list of pieces this long, with empty ones between
};

std::string bytes_of(std::span<const std::byte> s) { return {reinterpret_cast<const char *>(s.data()), s.size()}; }

status add(vantrel::builder &b, const item &it)
{
    std::span<const std::byte> bytes = as_span(it.bytes);
    if (it.kind == tag_kind::string)
        return b.add_string(it.id, it.bytes);
    if (it.kind == tag_kind::integer)
        return b.add_integer(it.id, it.value);
    if (it.piece == 0)
        return b.add_data(it.id, it.type, bytes);
    std::vector<std::span<const std::byte>> pieces;
    for (std::size_t at = 0; at < bytes.size(); at += it.piece)
        pieces.insert(pieces.end(), {bytes.subspan(at, std::min(it.piece, bytes.size() - at)), {}});
    if (pieces.empty())
        pieces.push_back({});
    return b.add_scatter(it.id, it.type, pieces);
}

struct round_trip_case {
    uint32_t alignment;
    std::vector<item> items;
};

TEST(CppReader, BuilderBlobsReadBackInBothOrders)
{
    const std::string zeros("a\0b\0", 4), forty(40, 'x');
    const round_trip_case cases[] = {
        {8, {{tag_kind::string, 1, 0, 0, "abc"}, {tag_kind::integer, 2, 0, 5, ""}}},
        {8, {{tag_kind::string, 1, 0, 0, ""}, {tag_kind::string, 2, 0, 0, "1234567"},
             {tag_kind::string, 3, 0, 0, "12345678"}, {tag_kind::string, 4, 0, 0, zeros}}},
        {8, {{tag_kind::integer, 0, 0, 0, ""}, {tag_kind::integer, 0xFFFFFFFF, 0, ~uint64_t{0}, ""},
             {tag_kind::integer, 7, 0, 0x0102030405060708, ""}}},
        {8, {{tag_kind::data_block, 1, 0, 0, ""}, {tag_kind::data_block, 2, 0xFFFFFFFF, 0, "\xDE"},
             {tag_kind::data_block, 3, 7, 0, "abcde", 2}, {tag_kind::data_block, 4, 1, 0, "", 1},
             {tag_kind::data_block, 5, 2, 0, forty, 1}}},
        {16, {{tag_kind::string, 1, 0, 0, "abc"}, {tag_kind::integer, 2, 0, 1, ""}, {tag_kind::data_block, 3, 3, 0, zeros}}},
        {32, {{tag_kind::integer, 2, 0, 0x8000000000000000, ""}, {tag_kind::string, 1, 0, 0, forty}}},
        {0x100000, {{tag_kind::data_block, 9, 9, 0, forty, 7}, {tag_kind::integer, 2, 0, 3, ""}}},
    };
    for (const round_trip_case &c : cases) {
        std::vector<std::byte> buffer(c.alignment * (c.items.size() + 2) + 256);
        vantrel::builder b(buffer, c.alignment);
        ASSERT_TRUE(b.ok());
        for (const item &it : c.items)
            ASSERT_EQ(add(b, it), status::ok);
        const std::string host = bytes_of(b.finish());
        // An empty scatter list places nothing, as the C operation does.
        std::vector<item> placed;
        for (const item &it : c.items)
            if (it.piece == 0 || !it.bytes.empty())
                placed.push_back(it);
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << "alignment " << c.alignment << (swapped ? " swapped" : ""));
            const std::string blob = swapped ? vtcpp::swapped_copy(host) : host;
            vantrel::reader r(as_span(blob));
            ASSERT_TRUE(r.ok()) << vantrel::describe(r.error()).text << " @" << r.error().offset;
            EXPECT_EQ(r.swapped(), swapped);
            EXPECT_EQ(r.length(), blob.size());
            std::size_t n = 0;
            for (const vantrel::tag &t : r) {
                ASSERT_LT(n, placed.size());
                const item &want = placed[n++];
                EXPECT_EQ(t.kind, want.kind);
                EXPECT_EQ(t.id, want.id);
                EXPECT_EQ(t.type, want.type);
                EXPECT_EQ(t.value, want.value);
                EXPECT_EQ(bytes_of(t.bytes), want.bytes);
                EXPECT_EQ(t.depth, 0u);
                EXPECT_EQ(t.offset % c.alignment, 0u);
            }
            EXPECT_EQ(n, placed.size());
        }
    }
}

TEST(CppBuilder, RefusalsAndPhases)
{
    std::vector<std::byte> buffer(64);
    vantrel::builder small{std::span(buffer).first(31)};
    EXPECT_FALSE(small.ok());
    EXPECT_EQ(small.add_integer(1, 1), status::not_open);
    EXPECT_TRUE(small.finish().empty());

    vantrel::builder tight{std::span(buffer).first(32), 1};
    EXPECT_EQ(tight.alignment(), 8u);
    EXPECT_EQ(tight.add_integer(1, 1), status::no_room); // 16 + 24 + 8 > 32
    EXPECT_EQ(tight.finish().size(), 24u);

    vantrel::builder b(buffer, 12);
    EXPECT_EQ(b.alignment(), 8u);
    EXPECT_EQ(b.add_string(1, "hi"), status::ok);
    EXPECT_EQ(b.add_data(2, 0, std::span<const std::byte>(buffer).first(20)), status::no_room);
    EXPECT_EQ(b.used(), 40u);
    std::span<std::byte> blob = b.finish();
    EXPECT_EQ(blob.size(), 48u);
    EXPECT_EQ(b.finish().data(), blob.data());
    EXPECT_EQ(b.finish().size(), 48u); // no second end tag
    EXPECT_EQ(b.add_integer(3, 3), status::not_open);
    vantrel::reader r(blob);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.get_string(1), "hi");
    EXPECT_FALSE(r.find(2));
}

TEST(CppReader, MalformedBlobsInBothOrders)
{
    for (const vtcpp::malformed_case &c : vtcpp::malformed_cases()) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (swapped ? " swapped" : ""));
            vtcpp::blob_writer w{swapped, {}};
            c.write(w);
            std::string blob = w.bytes.substr(0, c.cut);
            vantrel::reader r(as_span(blob));
            EXPECT_FALSE(r.ok());
            EXPECT_EQ(r.error().code, c.code);
            EXPECT_EQ(r.error().offset, c.offset);
            EXPECT_STREQ(vantrel::describe(r.error()).text, c.reason);
            EXPECT_TRUE(r.begin() == r.end());
        }
    }
}

TEST(CppReader, ListingsWithNestingAndOptions)
{
    auto nested_reserved = [](bool swapped) {
        vtcpp::blob_writer w{swapped, {}};
        w.start(16, 48).start(24, 24, 7).end().end();
        return w.bytes;
    };
    std::vector<vtcpp::valid_case> valid = vtcpp::valid_cases();
    auto named = [&valid](std::string_view name) {
        for (const vtcpp::valid_case &v : valid)
            if (v.name == name)
                return v.bytes;
        return std::string();
    };
    const struct {
        std::string blob;
        bool allow_nested_reserved;
        std::string listing;
    } cases[] = {
        {named("alignment 32"), false,
         "[start]\n  [string] id=0x1, size=3, data=\"abc\"\n  [integer] id=0x2, data=72623859790382856/0x102030405060708\n"
         "  [data_block] id=0x3, type=0x7, size=4, data=<DEAD007F>\n  [string] id=0x4, size=5, data=\"\x01.\"\\\n\"\n"
         "  [integer] id=0x5, data=-1/0xFFFFFFFFFFFFFFFF\n  [data_block] id=0x6, type=0x0, size=0, data=<>\n[end]\n"},
        {named("nested block"), false,
         "[start]\n  [integer] id=0x1, data=1/0x1\n  [start]\n    [integer] id=0x2, data=2/0x2\n  [end]\n"
         "  [integer] id=0x3, data=3/0x3\n[end]\n"},
        {nested_reserved(false), true, "[start]\n  [start]\n  [end]\n[end]\n"},
        {nested_reserved(true), true, "[start]\n  [start]\n  [end]\n[end]\n"},
        {vtcpp::nested_blob(2, true), false, "[start]\n  [start]\n    [start]\n    [end]\n  [end]\n[end]\n"},
    };
    for (const auto &c : cases) {
        vantrel::reader r(as_span(c.blob), {c.allow_nested_reserved});
        ASSERT_TRUE(r.ok()) << vantrel::describe(r.error()).text << " @" << r.error().offset;
        EXPECT_EQ(vtcpp::listing(r), c.listing);
    }

    const std::string deep_blob = named("1024 nested blocks");
    vantrel::reader deep(as_span(deep_blob));
    ASSERT_TRUE(deep.ok());
    uint32_t deepest = 0, tags = 0;
    for (const vantrel::tag &t : deep) {
        deepest = std::max(deepest, t.depth);
        ++tags;
    }
    EXPECT_EQ(deepest, vantrel::max_depth);
    EXPECT_EQ(tags, 2 * vantrel::max_depth);
}

TEST(CppReader, Lookups)
{
    std::vector<std::byte> buffer(512);
    vantrel::builder b(buffer);
    const std::byte data[] = {std::byte{1}, std::byte{2}};
    ASSERT_EQ(b.add_string(1, "first"), status::ok);
    ASSERT_EQ(b.add_integer(1, 5), status::ok);
    ASSERT_EQ(b.add_data(2, 9, data), status::ok);
    ASSERT_EQ(b.add_integer(1, 6), status::ok);
    ASSERT_EQ(b.add_string(3, ""), status::ok);
    vantrel::reader r(b.finish());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.find(1)->kind, tag_kind::string);
    EXPECT_EQ(r.find(2)->type, 9u);
    EXPECT_FALSE(r.find(4));
    // The first tag with the id decides: a string, so no integer.
    EXPECT_FALSE(r.get_integer(1));
    EXPECT_FALSE(r.get_integer(2));
    EXPECT_EQ(r.get_string(1), "first");
    EXPECT_EQ(r.get_string(3), "");
    EXPECT_FALSE(r.get_string(2));
    EXPECT_EQ(bytes_of(*r.get_data(2)), "\x01\x02");
    EXPECT_FALSE(r.get_data(1));

    std::string junk = "not a blob at all";
    vantrel::reader bad(as_span(junk));
    EXPECT_FALSE(bad.get_string(1));
    EXPECT_FALSE(bad.find(0));
}

// Every value a reader hands out lies inside the copy.
void check_views(const std::vector<std::byte> &copy, const vantrel::reader &r)
{
    if (!r.ok()) {
        EXPECT_LE(r.error().offset, copy.size() + (uint64_t{1} << 32) + 16);
        return;
    }
    std::size_t n = 0;
    for (const vantrel::tag &t : r) {
        ASSERT_LE(++n, copy.size() / 8 + 1);
        ASSERT_LE(t.depth, vantrel::max_depth);
        if (t.kind == tag_kind::start || t.kind == tag_kind::end)
            continue;
        ASSERT_LE(uint64_t{t.offset} + t.tag_size, copy.size());
        if (t.kind == tag_kind::integer) {
            ASSERT_TRUE(t.bytes.empty());
            continue;
        }
        ASSERT_GE(t.bytes.data(), copy.data() + t.offset + 8);
        ASSERT_LE(t.bytes.data() + t.bytes.size(), copy.data() + copy.size());
    }
}

TEST(CppReader, CutAndCorruptedCopiesStayInBounds)
{
    for (const vtcpp::valid_case &v : vtcpp::valid_cases()) {
        if (v.bytes.size() > 8192)
            continue;
        SCOPED_TRACE(v.name);
        for (bool swapped : {false, true}) {
            const std::string blob = vtcpp::in_order(v, swapped);
            for (std::size_t cut = 0; cut < blob.size(); ++cut) {
                std::vector<std::byte> copy(cut); // exactly sized, so the sanitizer sees any overread
                std::copy_n(as_span(blob).begin(), cut, copy.begin());
                vantrel::reader r(copy);
                check_views(copy, r);
                if (!r.ok()) {
                    EXPECT_TRUE(r.error().code == error_code::unexpected_eof ||
                                r.error().code == error_code::short_start_tag);
                    EXPECT_GE(r.error().offset, r.error().code == error_code::short_start_tag ? 0 : cut);
                }
            }
            for (std::size_t at = 0; at < blob.size() && blob.size() <= 1024; ++at)
                for (uint8_t value : {0x00, 0x01, 0x7A, 0x80, 0xFF}) {
                    std::vector<std::byte> copy(blob.size());
                    std::copy_n(as_span(blob).begin(), blob.size(), copy.begin());
                    // Checked, then changed under the reader (shared
                    // memory, DMA): still nothing outside the copy.
                    vantrel::reader checked(copy);
                    copy[at] = std::byte{value};
                    check_views(copy, vantrel::reader(copy));
                    check_views(copy, checked);
                    for (uint32_t id = 0; id <= 6; ++id) {
                        auto text = checked.get_string(id);
                        auto data = checked.get_data(id);
                        ASSERT_TRUE(!text || text->data() + text->size() <= reinterpret_cast<const char *>(copy.data() + copy.size()));
                        ASSERT_TRUE(!data || data->data() + data->size() <= copy.data() + copy.size());
                    }
                }
        }
    }
}

} // namespace

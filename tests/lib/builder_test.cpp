// Builder tests: alignment fix-up, tag sizes, byte-exact blobs, refusals,
// scatter lists and the guards against overflow and odd buffer sizes.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"
#include "vantrel.h"
#include "vantrel_version.h"

namespace {

// Expected blob bytes in the host's order, written field by field.
struct bytes_of {
    std::string b;
    bytes_of &u32(uint32_t v)
    {
        b.append(reinterpret_cast<const char *>(&v), 4);
        return *this;
    }
    bytes_of &u64(uint64_t v)
    {
        b.append(reinterpret_cast<const char *>(&v), 8);
        return *this;
    }
    bytes_of &raw(const std::string &s)
    {
        b += s;
        return *this;
    }
    bytes_of &zeros(size_t n)
    {
        b.append(n, '\0');
        return *this;
    }
};

std::string blob_of(const vantrel_state &s)
{
    return std::string(reinterpret_cast<const char *>(s.base), vantrel_get_used_size(&s));
}

// A buffer with canary bytes on both sides, to see writes outside it.
struct guarded_buffer {
    static constexpr size_t guard = 64;
    static constexpr uint8_t canary = 0xA5;
    std::vector<uint8_t> bytes;
    uint32_t size;
    explicit guarded_buffer(uint32_t n) : bytes(n + 2 * guard, canary), size(n) {}
    uint8_t *data() { return bytes.data() + guard; }
    bool guards_intact() const
    {
        for (size_t i = 0; i < guard; ++i)
            if (bytes[i] != canary || bytes[guard + size + i] != canary)
                return false;
        return true;
    }
    bool untouched_from(size_t offset) const
    {
        for (size_t i = guard + offset; i < guard + size; ++i)
            if (bytes[i] != canary)
                return false;
        return true;
    }
};

TEST(Builder, AlignmentRequestedAndObtained)
{
    const struct {
        uint32_t requested, obtained;
    } cases[] = {
        {0, 8},           {1, 8},           {4, 8},          {7, 8},
        {8, 8},           {12, 8},          {15, 8},         {16, 16},
        {24, 16},         {100, 64},        {4096, 4096},    {0x100000, 0x100000},
        {0x100001, 0x100000}, {0x80000000u, 0x100000}, {0xFFFFFFFFu, 0x100000},
    };
    static uint8_t buffer[4 * 0x100000];
    for (const auto &c : cases) {
        vantrel_state s{};
        ASSERT_EQ(vantrel_init(&s, buffer, sizeof buffer, c.requested), 0) << c.requested;
        EXPECT_EQ(s.align, c.obtained) << "requested " << c.requested;
        uint32_t start_size;
        std::memcpy(&start_size, buffer + 4, 4);
        EXPECT_EQ(start_size, c.obtained == 8 ? 16u : c.obtained) << c.requested;
        EXPECT_EQ(s.cur, buffer + start_size);
    }
}

TEST(Builder, TagSizesForEveryKind)
{
    const struct {
        uint32_t align, string0, string7, string8, integer, data0, data4, data5, start, end;
    } cases[] = {
        {8, 24, 24, 32, 24, 24, 24, 32, 16, 8},
        {16, 32, 32, 32, 32, 32, 32, 32, 16, 16},
        {32, 32, 32, 32, 32, 32, 32, 32, 32, 32},
        {0x100000, 0x100000, 0x100000, 0x100000, 0x100000, 0x100000, 0x100000, 0x100000,
         0x100000, 0x100000},
    };
    static uint8_t buffer[2 * 0x100000 + 64];
    for (const auto &c : cases) {
        vantrel_state s{};
        ASSERT_EQ(vantrel_init(&s, buffer, 2 * c.align < 64 ? 64 : 2 * c.align, c.align), 0);
        EXPECT_EQ(vantrel_get_string_tag_size(&s, 0), c.string0) << c.align;
        EXPECT_EQ(vantrel_get_string_tag_size(&s, 7), c.string7) << c.align;
        EXPECT_EQ(vantrel_get_string_tag_size(&s, 8), c.string8) << c.align;
        EXPECT_EQ(vantrel_get_integer_tag_size(&s), c.integer) << c.align;
        EXPECT_EQ(vantrel_get_data_block_tag_size(&s, 0), c.data0) << c.align;
        EXPECT_EQ(vantrel_get_data_block_tag_size(&s, 4), c.data4) << c.align;
        EXPECT_EQ(vantrel_get_data_block_tag_size(&s, 5), c.data5) << c.align;
        EXPECT_EQ(static_cast<uint32_t>(s.cur - s.base), c.start) << c.align;
        ASSERT_EQ(vantrel_end(&s), 0);
        EXPECT_EQ(vantrel_get_used_size(&s), c.start + c.end) << c.align;
    }
}

TEST(Builder, WorkedExampleIsByteExact)
{
    uint8_t buffer[128];
    std::memset(buffer, 0xEE, sizeof buffer);
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buffer, sizeof buffer, 8), 0);
    ASSERT_EQ(vantrel_add_string(&s, "abc", 3, 1), 0);
    ASSERT_EQ(vantrel_add_integer(&s, 5, 2), 0);
    ASSERT_EQ(vantrel_end(&s), 0);
    ASSERT_EQ(vantrel_get_used_size(&s), 72u);

    std::string expected = bytes_of{}
                               .u32(VANTREL_TAG_START).u32(16).u32(72).u32(0)
                               .u32(VANTREL_TAG_STRING).u32(24).u32(1).u32(3).raw("abc").zeros(5)
                               .u32(VANTREL_TAG_INTEGER).u32(24).u64(5).u32(2).u32(0)
                               .u32(VANTREL_TAG_END).u32(8)
                               .b;
    EXPECT_EQ(blob_of(s), expected);
    if constexpr (std::endian::native == std::endian::little) {
        EXPECT_EQ(blob_of(s), vt::from_hex("01 00 60 7A 10 00 00 00 48 00 00 00 00 00 00 00"
                                           "02 00 60 7A 18 00 00 00 01 00 00 00 03 00 00 00"
                                           "61 62 63 00 00 00 00 00"
                                           "03 00 60 7A 18 00 00 00 05 00 00 00 00 00 00 00"
                                           "02 00 00 00 00 00 00 00"
                                           "00 00 00 00 08 00 00 00"));
    } else {
        EXPECT_EQ(blob_of(s).substr(0, 4), vt::from_hex("7A 60 00 01"));
    }
}

TEST(Builder, DataBlockExampleIsByteExact)
{
    uint8_t buffer[64];
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buffer, sizeof buffer, 8), 0);
    ASSERT_EQ(vantrel_add_data_block(&s, "\xDE\xAD", 2, 7, 3), 0);
    std::string tag(reinterpret_cast<const char *>(buffer) + 16, 24);
    EXPECT_EQ(tag, bytes_of{}.u32(VANTREL_TAG_DATA_BLOCK).u32(24).u32(7).u32(3).u32(2)
                       .raw("\xDE\xAD").zeros(2).b);
}

TEST(Builder, FillIsZeroAtWideAlignment)
{
    std::vector<uint8_t> buffer(512, 0xEE);
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buffer.data(), 512, 32), 0);
    ASSERT_EQ(vantrel_add_string(&s, "a\0b", 3, 9), 0);
    ASSERT_EQ(vantrel_add_integer(&s, ~0ull, 1), 0);
    ASSERT_EQ(vantrel_add_data_block(&s, "xyz", 3, 2, 3), 0);
    ASSERT_EQ(vantrel_end(&s), 0);
    EXPECT_EQ(blob_of(s), bytes_of{}
                              .u32(VANTREL_TAG_START).u32(32).u32(160).u32(0).zeros(16)
                              .u32(VANTREL_TAG_STRING).u32(32).u32(9).u32(3).raw(std::string("a\0b", 3)).zeros(13)
                              .u32(VANTREL_TAG_INTEGER).u32(32).u64(~0ull).u32(1).u32(0).zeros(8)
                              .u32(VANTREL_TAG_DATA_BLOCK).u32(32).u32(2).u32(3).u32(3).raw("xyz").zeros(9)
                              .u32(VANTREL_TAG_END).u32(32).zeros(24)
                              .b);
}

TEST(Builder, InitNeedsRoomForStartAndEnd)
{
    const struct {
        uint32_t size, align;
        int32_t status;
    } cases[] = {
        {31, 8, 1}, {32, 8, 0}, {31, 16, 1}, {32, 16, 0}, {63, 32, 1}, {64, 32, 0}, {0, 8, 1},
    };
    for (const auto &c : cases) {
        guarded_buffer buf(c.size);
        vantrel_state s{};
        s.cur = reinterpret_cast<uint8_t *>(&s); // any marker: a refused init keeps it
        uint8_t *before = s.cur;
        EXPECT_EQ(vantrel_init(&s, buf.data(), c.size, c.align), c.status) << c.size;
        if (c.status == 1) {
            EXPECT_TRUE(buf.untouched_from(0)) << c.size;
            EXPECT_EQ(s.cur, before);
        } else {
            ASSERT_EQ(vantrel_end(&s), 0);
            EXPECT_EQ(vantrel_get_used_size(&s), c.size == 32 && c.align == 8 ? 24u : c.size);
        }
        EXPECT_TRUE(buf.guards_intact()) << c.size;
    }
}

TEST(Builder, RefusedAddsLeaveNoTrace)
{
    // Each add is refused in a 32-byte buffer; the end tag still fits and
    // the blob is the minimal one.  A refused add writes nothing at all.
    const struct {
        const char *what;
        int32_t (*add)(vantrel_state *);
    } cases[] = {
        {"integer", [](vantrel_state *s) { return vantrel_add_integer(s, 1, 2); }},
        {"string", [](vantrel_state *s) { return vantrel_add_string(s, "", 0, 2); }},
        {"data", [](vantrel_state *s) { return vantrel_add_data_block(s, nullptr, 0, 1, 2); }},
        {"scatter", [](vantrel_state *s) {
             static const vantrel_scatter list[] = {{"ab", 2}, {nullptr, 0}};
             return vantrel_add_scatter_data_block(s, list, 1, 2);
         }},
    };
    for (const auto &c : cases) {
        guarded_buffer buf(32);
        vantrel_state s{};
        ASSERT_EQ(vantrel_init(&s, buf.data(), 32, 8), 0);
        EXPECT_EQ(c.add(&s), 1) << c.what;
        EXPECT_EQ(s.cur, buf.data() + 16) << c.what;
        EXPECT_TRUE(buf.untouched_from(16)) << c.what;
        ASSERT_EQ(vantrel_end(&s), 0);
        EXPECT_EQ(blob_of(s), bytes_of{}.u32(VANTREL_TAG_START).u32(16).u32(24).u32(0)
                                  .u32(VANTREL_TAG_END).u32(8).b)
            << c.what;
        EXPECT_TRUE(buf.guards_intact()) << c.what;
    }
}

TEST(Builder, RefusedAddKeepsStateUsable)
{
    uint8_t buffer[64];
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buffer, 64, 8), 0);
    ASSERT_EQ(vantrel_add_string(&s, "012345678901234567890123", 24, 1), 1); // 48 + 8 > 48
    ASSERT_EQ(vantrel_add_integer(&s, 7, 2), 0);                     // 24 + 8 <= 48
    ASSERT_EQ(vantrel_add_integer(&s, 8, 3), 1);
    ASSERT_EQ(vantrel_end(&s), 0);
    EXPECT_EQ(vantrel_get_used_size(&s), 48u);
    EXPECT_EQ(s.cur, buffer + 48);
}

TEST(Builder, ZeroSizedPayloadsNeedNoPointer)
{
    uint8_t buffer[128];
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buffer, sizeof buffer, 8), 0);
    ASSERT_EQ(vantrel_add_string(&s, nullptr, 0, 4), 0);
    ASSERT_EQ(vantrel_add_data_block(&s, nullptr, 0, 5, 6), 0);
    ASSERT_EQ(vantrel_end(&s), 0);
    EXPECT_EQ(blob_of(s), bytes_of{}
                              .u32(VANTREL_TAG_START).u32(16).u32(72).u32(0)
                              .u32(VANTREL_TAG_STRING).u32(24).u32(4).u32(0).zeros(8)
                              .u32(VANTREL_TAG_DATA_BLOCK).u32(24).u32(5).u32(6).u32(0).zeros(4)
                              .u32(VANTREL_TAG_END).u32(8)
                              .b);
}

TEST(Builder, ScatterLists)
{
    static const char eight[] = "ABCDEFGH";
    const vantrel_scatter three_five[] = {{eight, 3}, {eight + 3, 5}, {nullptr, 99}};
    const vantrel_scatter first_empty[] = {{eight, 0}, {eight, 8}, {nullptr, 0}};
    const vantrel_scatter first_null[] = {{nullptr, 8}, {eight, 8}, {nullptr, 0}};
    const vantrel_scatter stops_at_zero[] = {{eight, 2}, {eight, 0}, {eight, 8}, {nullptr, 0}};
    const struct {
        const char *what;
        const vantrel_scatter *list;
        std::string data; // what the block holds; "" and placed=false for a no-op
        bool placed;
    } cases[] = {
        {"3 and 5", three_five, "ABCDEFGH", true},
        {"first entry size 0", first_empty, "", false},
        {"first entry null", first_null, "", false},
        {"ends at a zero size", stops_at_zero, "AB", true},
    };
    for (const auto &c : cases) {
        uint8_t scattered[128], plain[128];
        vantrel_state a{}, b{};
        ASSERT_EQ(vantrel_init(&a, scattered, 128, 8), 0);
        ASSERT_EQ(vantrel_init(&b, plain, 128, 8), 0);
        EXPECT_EQ(vantrel_add_scatter_data_block(&a, c.list, 0x11, 0x22), 0) << c.what;
        if (c.placed) {
            ASSERT_EQ(vantrel_add_data_block(&b, c.data.data(), c.data.size(), 0x11, 0x22), 0);
            EXPECT_EQ(vantrel_get_scatter_data_block_tag_size(&a, c.list),
                      vantrel_get_data_block_tag_size(&a, c.data.size()))
                << c.what;
        } else {
            EXPECT_EQ(vantrel_get_scatter_data_block_tag_size(&a, c.list), 0u) << c.what;
        }
        vantrel_end(&a);
        vantrel_end(&b);
        EXPECT_EQ(blob_of(a), blob_of(b)) << c.what;
    }
}

TEST(Builder, SizesPastThirtyTwoBitsAreRefused)
{
    static const char byte = 'x';
    static const vantrel_scatter huge_total[] = {{&byte, 0x80000000u}, {&byte, 0x80000000u}, {nullptr, 0}};
    static const vantrel_scatter just_over[] = {{&byte, 0xFFFFFFF0u}, {&byte, 0x0Cu}, {nullptr, 0}};
    // Entries are only summed before the refusal, never read.
    const struct {
        const char *what;
        uint32_t align;
        uint32_t query;
        int32_t (*add)(vantrel_state *);
        uint32_t (*size)(const vantrel_state *);
    } cases[] = {
        {"string 2^32-17", 8, 0,
         [](vantrel_state *s) { return vantrel_add_string(s, &byte, 0xFFFFFFEFu, 1); },
         [](const vantrel_state *s) { return vantrel_get_string_tag_size(s, 0xFFFFFFEFu); }},
        {"string max", 8, 0,
         [](vantrel_state *s) { return vantrel_add_string(s, &byte, 0xFFFFFFFFu, 1); },
         [](const vantrel_state *s) { return vantrel_get_string_tag_size(s, 0xFFFFFFFFu); }},
        {"string rounds past 2^32 at A=2^20", 0x100000, 0,
         [](vantrel_state *s) { return vantrel_add_string(s, &byte, 0xFFF00000u, 1); },
         [](const vantrel_state *s) { return vantrel_get_string_tag_size(s, 0xFFF00000u); }},
        {"string fits 32 bits but not the buffer", 8, 0xFFFFFFE8u,
         [](vantrel_state *s) { return vantrel_add_string(s, &byte, 0xFFFFFFD0u, 1); },
         [](const vantrel_state *s) { return vantrel_get_string_tag_size(s, 0xFFFFFFD0u); }},
        {"data max", 8, 0,
         [](vantrel_state *s) { return vantrel_add_data_block(s, &byte, 0xFFFFFFFFu, 1, 2); },
         [](const vantrel_state *s) { return vantrel_get_data_block_tag_size(s, 0xFFFFFFFFu); }},
        {"data 2^32-20", 8, 0,
         [](vantrel_state *s) { return vantrel_add_data_block(s, &byte, 0xFFFFFFECu, 1, 2); },
         [](const vantrel_state *s) { return vantrel_get_data_block_tag_size(s, 0xFFFFFFECu); }},
        {"scatter total 2^32", 8, 0,
         [](vantrel_state *s) { return vantrel_add_scatter_data_block(s, huge_total, 1, 2); },
         [](const vantrel_state *s) { return vantrel_get_scatter_data_block_tag_size(s, huge_total); }},
        {"scatter total just over", 8, 0,
         [](vantrel_state *s) { return vantrel_add_scatter_data_block(s, just_over, 1, 2); },
         [](const vantrel_state *s) { return vantrel_get_scatter_data_block_tag_size(s, just_over); }},
    };
    for (const auto &c : cases) {
        guarded_buffer buf(c.align * 4);
        vantrel_state s{};
        ASSERT_EQ(vantrel_init(&s, buf.data(), buf.size, c.align), 0);
        uint32_t start = static_cast<uint32_t>(s.cur - s.base);
        EXPECT_EQ(c.size(&s), c.query) << c.what;
        EXPECT_EQ(c.add(&s), 1) << c.what;
        EXPECT_EQ(s.cur, buf.data() + start) << c.what;
        EXPECT_TRUE(buf.untouched_from(start)) << c.what;
        EXPECT_TRUE(buf.guards_intact()) << c.what;
    }
}

TEST(Builder, OddBufferSizesAreNeverWrittenPast)
{
    // Fill buffers whose size is not a multiple of A with tags until they
    // are refused; nothing may land beyond the size given.
    const struct {
        uint32_t size, align;
    } cases[] = {{33, 8}, {39, 8}, {47, 8}, {63, 16}, {100, 32}, {95, 32}, {200, 64}, {1000, 8}};
    for (const auto &c : cases) {
        for (int kind = 0; kind < 3; ++kind) {
            guarded_buffer buf(c.size);
            vantrel_state s{};
            ASSERT_EQ(vantrel_init(&s, buf.data(), c.size, c.align), 0) << c.size;
            EXPECT_EQ(s.size % s.align, 0u);
            EXPECT_LE(s.size, c.size);
            int placed = 0;
            while (placed < 1000) {
                int32_t rc = kind == 0   ? vantrel_add_integer(&s, 1, 1)
                             : kind == 1 ? vantrel_add_string(&s, "abcdef", 6, 1)
                                         : vantrel_add_data_block(&s, "ab", 2, 1, 1);
                if (rc != 0)
                    break;
                ++placed;
            }
            ASSERT_EQ(vantrel_end(&s), 0) << c.size;
            EXPECT_LE(vantrel_get_used_size(&s), c.size) << c.size << " kind " << kind;
            EXPECT_TRUE(buf.untouched_from(s.size)) << c.size << " kind " << kind;
            EXPECT_TRUE(buf.guards_intact()) << c.size << " kind " << kind;
        }
    }
}

TEST(Builder, EndRefusesWhenNoRoomIsLeft)
{
    // Misuse (two ends) cannot run past the buffer either.
    guarded_buffer buf(32);
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buf.data(), 32, 8), 0);
    ASSERT_EQ(vantrel_end(&s), 0);
    ASSERT_EQ(vantrel_end(&s), 0); // 8 bytes remain: a second end tag fits
    EXPECT_EQ(vantrel_end(&s), 1);
    EXPECT_TRUE(buf.guards_intact());
}

TEST(Builder, NextTagWalksTheBlob)
{
    const uint32_t aligns[] = {8, 16, 32, 4096};
    for (uint32_t align : aligns) {
        std::vector<uint8_t> buffer(16 * align);
        vantrel_state s{};
        ASSERT_EQ(vantrel_init(&s, buffer.data(), buffer.size(), align), 0);
        ASSERT_EQ(vantrel_add_string(&s, "hello", 5, 1), 0);
        ASSERT_EQ(vantrel_add_integer(&s, 2, 2), 0);
        ASSERT_EQ(vantrel_add_data_block(&s, "data", 4, 3, 3), 0);
        ASSERT_EQ(vantrel_end(&s), 0);
        const uint32_t codes[] = {VANTREL_TAG_START, VANTREL_TAG_STRING, VANTREL_TAG_INTEGER,
                                  VANTREL_TAG_DATA_BLOCK, VANTREL_TAG_END};
        const void *tag = buffer.data();
        const void *last = nullptr;
        size_t i = 0;
        for (; tag != nullptr; tag = vantrel_next_tag(tag), ++i) {
            ASSERT_LT(i, 5u);
            uint32_t code;
            std::memcpy(&code, tag, 4);
            EXPECT_EQ(code, codes[i]) << align << " tag " << i;
            last = tag;
        }
        EXPECT_EQ(i, 5u);
        uint32_t end_size;
        std::memcpy(&end_size, static_cast<const uint8_t *>(last) + 4, 4);
        EXPECT_EQ(static_cast<const uint8_t *>(last) + end_size - buffer.data(),
                  vantrel_get_used_size(&s))
            << align;
    }
}

TEST(Builder, InitAgainForgetsTheOldBlob)
{
    uint8_t buffer[128];
    vantrel_state s{};
    ASSERT_EQ(vantrel_init(&s, buffer, sizeof buffer, 8), 0);
    ASSERT_EQ(vantrel_add_integer(&s, 1, 1), 0);
    ASSERT_EQ(vantrel_init(&s, buffer, sizeof buffer, 8), 0);
    ASSERT_EQ(vantrel_end(&s), 0);
    EXPECT_EQ(vantrel_get_used_size(&s), 24u);
}

TEST(Builder, Version)
{
    EXPECT_STREQ(vantrel_version(), VANTREL_VERSION_STRING);
}

} // namespace

// The C reader on its own: the fault table in both byte orders through
// vantrel_check and the iterator, every alignment, every truncation, and
// the look-ups.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "blob_cases.h"
#include "vantrel.h"
#include "vantrel_reader.h"

namespace {

struct read_result {
    int check;
    uint32_t offset = 0;
    std::string reason;
    std::vector<vantrel_tag> tags;
};

read_result read_all(const std::string &blob)
{
    read_result out{};
    const char *reason = nullptr;
    out.check = vantrel_check(blob.data(), blob.size(), &out.offset, &reason);
    if (reason != nullptr)
        out.reason = reason;
    vantrel_reader r;
    vantrel_tag t;
    int step;
    vantrel_reader_init(&r, blob.data(), blob.size(), 0);
    while ((step = vantrel_reader_next(&r, &t)) > 0)
        out.tags.push_back(t);
    // The iterator ends as the check does, with the same fault; the tag it
    // hands out with it holds nothing that was not read.
    EXPECT_EQ(step < 0, out.check != 0);
    if (step < 0) {
        uint32_t offset;
        const char *why;
        EXPECT_EQ(vantrel_reader_fault(&r, &offset, &why), out.check);
        EXPECT_EQ(offset, out.offset);
        EXPECT_STREQ(why, out.reason.c_str());
        EXPECT_EQ(why, vantrel_fault_text(out.check));
        const auto *bytes = reinterpret_cast<const uint8_t *>(blob.data());
        EXPECT_TRUE(t.payload == nullptr || (t.payload >= bytes && t.payload + t.size <= bytes + blob.size()));
        // Found before a header was read (a nested start tag's length is
        // found in a tag that was).
        if (out.check == VANTREL_E_MISSING_END ||
            (out.check == VANTREL_E_START_LENGTH && t.code != VANTREL_TAG_START)) {
            EXPECT_TRUE(t.offset == 0 && t.code == 0 && t.tag_size == 0 && t.id == 0 && t.value == 0 &&
                        t.size == 0 && t.length == 0);
        }
    }
    return out;
}

TEST(CReader, FaultsInBothOrders)
{
    for (const vtcpp::malformed_case &c : vtcpp::malformed_cases()) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (swapped ? " swapped" : ""));
            vtcpp::blob_writer w{swapped, {}};
            c.write(w);
            read_result r = read_all(w.bytes.substr(0, c.cut));
            EXPECT_EQ(r.check, static_cast<int>(c.code));
            EXPECT_EQ(r.offset, std::min<uint64_t>(c.offset, UINT32_MAX));
            // The table words reasons as the dump does, numbers included.
            EXPECT_EQ(std::string(c.reason).rfind(r.reason, 0), 0u) << r.reason;
        }
    }
}

TEST(CReader, EveryAlignmentBothOrdersAndEveryTruncation)
{
    const std::string text = "twelve bytes";
    for (uint32_t alignment = 8; alignment <= VANTREL_ALIGN_MAX; alignment *= 2) {
        std::vector<unsigned char> buffer(6 * alignment + 64);
        vantrel_state s;
        ASSERT_EQ(vantrel_init(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), alignment), 0);
        ASSERT_EQ(vantrel_add_string(&s, text.data(), static_cast<uint32_t>(text.size()), 1), 0);
        ASSERT_EQ(vantrel_add_integer(&s, 0x0102030405060708u, 2), 0);
        ASSERT_EQ(vantrel_add_data_block(&s, text.data(), 3, 9, 3), 0);
        vantrel_end(&s);
        const std::string host(reinterpret_cast<const char *>(buffer.data()), vantrel_get_used_size(&s));
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << "alignment " << alignment << (swapped ? " swapped" : ""));
            const std::string blob = swapped ? vtcpp::swapped_copy(host) : host;
            read_result r = read_all(blob);
            ASSERT_EQ(r.check, 0) << r.reason << " @" << r.offset;
            ASSERT_EQ(r.tags.size(), 5u);
            const uint32_t codes[] = {VANTREL_TAG_START, VANTREL_TAG_STRING, VANTREL_TAG_INTEGER,
                                      VANTREL_TAG_DATA_BLOCK, VANTREL_TAG_END};
            for (std::size_t i = 0; i < 5; ++i) {
                EXPECT_EQ(r.tags[i].code, codes[i]);
                EXPECT_EQ(r.tags[i].offset % alignment, 0u);
                EXPECT_EQ(r.tags[i].depth, 0u);
            }
            EXPECT_EQ(std::string(reinterpret_cast<const char *>(r.tags[1].payload), r.tags[1].size), text);
            EXPECT_EQ(r.tags[2].value, 0x0102030405060708u);
            EXPECT_EQ(r.tags[3].type, 9u);
            if (alignment > 64)
                continue;
            // Cut short anywhere before the end tag's fill (which no reader
            // reads), the blob ends in an end-of-file fault no earlier than
            // the cut; with fewer than 16 bytes at offset 0.
            for (std::size_t cut = 0; cut < r.tags[4].offset + VANTREL_HDR_SIZE; ++cut) {
                read_result c = read_all(blob.substr(0, cut));
                ASSERT_EQ(c.check, cut < VANTREL_START_MIN ? VANTREL_E_SHORT : VANTREL_E_EOF) << cut;
                EXPECT_EQ(c.reason, VANTREL_FAULT_EOF);
                if (cut < VANTREL_START_MIN)
                    EXPECT_EQ(c.offset, 0u);
                else
                    EXPECT_GE(c.offset, cut);
            }
        }
    }
}

TEST(CReader, Lookups)
{
    unsigned char buffer[512];
    vantrel_state s;
    vantrel_init(&s, buffer, sizeof buffer, 8);
    vantrel_add_string(&s, "first", 5, 1);
    vantrel_add_integer(&s, 5, 1);
    vantrel_add_data_block(&s, "\x01\x02", 2, 9, 2);
    vantrel_add_integer(&s, 6, 3);
    vantrel_end(&s);
    const uint32_t size = vantrel_get_used_size(&s);

    uint64_t value = 0;
    const char *text = nullptr;
    const void *data = nullptr;
    uint32_t length = 0, type = 0;
    EXPECT_EQ(vantrel_get_integer(buffer, size, 3, &value), VANTREL_OK);
    EXPECT_EQ(value, 6u);
    EXPECT_EQ(vantrel_get_integer(buffer, size, 1, &value), VANTREL_WRONG_KIND); // the string comes first
    EXPECT_EQ(vantrel_get_integer(buffer, size, 4, &value), VANTREL_NOT_FOUND);
    EXPECT_EQ(vantrel_get_integer(buffer, size, 0, &value), VANTREL_NOT_FOUND); // not the end tag's 0
    ASSERT_EQ(vantrel_get_string(buffer, size, 1, &text, &length), VANTREL_OK);
    EXPECT_EQ(std::string(text, length), "first");
    ASSERT_EQ(vantrel_get_data(buffer, size, 2, &data, &length, &type), VANTREL_OK);
    EXPECT_EQ(std::string(static_cast<const char *>(data), length), "\x01\x02");
    EXPECT_EQ(type, 9u);
    EXPECT_EQ(vantrel_get_data(buffer, size, 3, &data, &length, nullptr), VANTREL_WRONG_KIND);
    // A fault anywhere in the blob, even after the tag asked for.
    EXPECT_EQ(vantrel_get_integer(buffer, size - 1, 3, &value), VANTREL_BAD_BLOB);
    vantrel_tag t;
    EXPECT_EQ(vantrel_find(buffer, size, 2, &t), VANTREL_OK);
    EXPECT_EQ(t.code, VANTREL_TAG_DATA_BLOCK);
    // A faulty blob leaves the tag as it was.
    t.id = 77;
    EXPECT_EQ(vantrel_find(buffer, size - 1, 2, &t), VANTREL_BAD_BLOB);
    EXPECT_EQ(t.id, 77u);
    EXPECT_EQ(vantrel_check(nullptr, 16, nullptr, nullptr), VANTREL_E_SHORT);

    // Tags of a nested block are not looked at.
    vtcpp::blob_writer nested;
    nested.start(16, 16 + 24 + 48 + 8).integer(1, 1).start(48, 48).integer(2, 2).end().end();
    const std::string &n = nested.bytes;
    EXPECT_EQ(vantrel_get_integer(n.data(), n.size(), 1, &value), VANTREL_OK);
    EXPECT_EQ(vantrel_get_integer(n.data(), n.size(), 2, &value), VANTREL_NOT_FOUND);
}

// The texts of the codes at the table's edges and past it, the kinds'
// names, and the callers' codes, which keep the texts they were given.
TEST(CReader, FaultTextsKindNamesAndCallersCodes)
{
    const struct {
        int code;
        const char *text;
    } texts[] = {
        {VANTREL_E_NONE, ""},
        {VANTREL_E_SHORT, VANTREL_FAULT_EOF},
        {VANTREL_E_TOO_DEEP, VANTREL_FAULT_TOO_DEEP},
        {VANTREL_E_COUNT, ""},
        {VANTREL_E_SCHEMA_FIRST, ""},
        {VANTREL_E_CALLER_FIRST, ""},
        {-1, ""},
    };
    for (const auto &t : texts)
        EXPECT_STREQ(vantrel_fault_text(t.code), t.text) << t.code;
    const struct {
        uint32_t code;
        const char *name;
    } kinds[] = {
        {VANTREL_TAG_END, "end"},         {VANTREL_TAG_START, "start"},          {VANTREL_TAG_STRING, "string"},
        {VANTREL_TAG_INTEGER, "integer"}, {VANTREL_TAG_DATA_BLOCK, "data_block"}, {0x7A600005u, ""},
    };
    for (const auto &k : kinds)
        EXPECT_STREQ(vantrel_kind_name(vantrel_kind_of(k.code)), k.name) << k.code;
    EXPECT_STREQ(vantrel_kind_name(VANTREL_KIND_COUNT), "");

    vantrel_walk w{};
    const char *own = "the caller's own";
    for (int code : {VANTREL_E_CALLER_FIRST, VANTREL_E_CALLER_LAST}) {
        EXPECT_EQ(vantrel_walk_fail_text(&w, 40, code, own), 1);
        EXPECT_EQ(w.fault_code, code);
        EXPECT_EQ(w.fault_reason, own);
        EXPECT_EQ(w.fault_offset, 40u);
    }
    // A code outside the callers' range never passes for a format's code.
    vantrel_walk_fail_text(&w, 0, VANTREL_E_EOF, own);
    EXPECT_EQ(w.fault_code, VANTREL_E_CALLER_FIRST);
}

// A reader built with a bound of its own (VANTREL_MAX_DEPTH 16, as
// firmware would): the bound's deepest blob passes, one level more fails
// where the dump would report it for that bound.
extern "C" int small_stack_check(const void *blob, size_t size, uint32_t *offset);
extern "C" uint32_t small_stack_max_depth(void);

TEST(CReader, CallersDepthBound)
{
    const uint32_t bound = small_stack_max_depth();
    ASSERT_EQ(bound, 16u);
    for (bool swapped : {false, true}) {
        std::string deepest = vtcpp::nested_blob(bound, swapped), deeper = vtcpp::nested_blob(bound + 1, swapped);
        uint32_t offset = 0;
        EXPECT_EQ(small_stack_check(deepest.data(), deepest.size(), &offset), 0);
        EXPECT_EQ(small_stack_check(deeper.data(), deeper.size(), &offset), VANTREL_E_TOO_DEEP);
        EXPECT_EQ(offset, 16 * (bound + 1) + 16);
    }
}

} // namespace

// Listings of well-formed blobs built by the library: every tag kind and
// value form, at several alignments, in both byte orders.
#include <bit>
#include <cstdio>

#include "dump_fixture.h"
#include "vantrel.h"

namespace {

using namespace dt;

std::string hex_of(const std::string &bytes)
{
    std::string text;
    char pair[3];
    for (unsigned char b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

std::string counting_bytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

std::string listing(const std::string &tag_lines) { return "[start]\n" + tag_lines + "[end]\n"; }

struct listing_case {
    const char *name;
    std::vector<tag_spec> tags;
    std::string lines; // the tag lines between [start] and [end]
    std::string schema = ""; // --schema's text, when given
};

std::vector<listing_case> listing_cases()
{
    using namespace std::string_literals;
    return {
        {"worked example", {str(1, "abc"), integer(2, 5)},
         "  [string] id=0x1, size=3, data=\"abc\"\n  [integer] id=0x2, data=5/0x5\n"},
        {"data block", {data(3, 7, "\xDE\xAD")}, "  [data_block] id=0x3, type=0x7, size=2, data=<DEAD>\n"},
        {"no content tags", {}, ""},
        {"integer with all bits set", {integer(4, ~uint64_t{0})},
         "  [integer] id=0x4, data=-1/0xFFFFFFFFFFFFFFFF\n"},
        {"integers whose eight bytes all differ",
         {integer(5, 0x0123456789ABCDEFu), integer(6, 0xF1E2D3C4B5A69788u)},
         "  [integer] id=0x5, data=81985529216486895/0x123456789ABCDEF\n"
         "  [integer] id=0x6, data=-1017017724017666168/0xF1E2D3C4B5A69788\n"},
        {"integer extremes", {integer(7, 0), integer(8, 0x8000000000000000u), integer(9, 0x7FFFFFFFFFFFFFFFu)},
         "  [integer] id=0x7, data=0/0x0\n"
         "  [integer] id=0x8, data=-9223372036854775808/0x8000000000000000\n"
         "  [integer] id=0x9, data=9223372036854775807/0x7FFFFFFFFFFFFFFF\n"},
        {"string bytes of 0x80 and above", {str(1, "caf\xC3\xA9 \x7F\x80\xFF")},
         "  [string] id=0x1, size=9, data=\"caf.. \x7F..\"\n"},
        {"raw control bytes, zero, quote and backslash", {str(2, "a\nb\tc\rd\x01\x1B"s), str(3, "q\"\\\0z"s)},
         "  [string] id=0x2, size=9, data=\"a\nb\tc\rd\x01\x1B\"\n"
         "  [string] id=0x3, size=5, data=\"q\"\\\0z\"\n"s},
        {"string of 130 characters", {str(0x82, letters(130))},
         "  [string] id=0x82, size=130, data=\"" + letters(130) + "\"\n"},
        {"string of exactly 64 characters", {str(1, letters(64))},
         "  [string] id=0x1, size=64, data=\"" + letters(64) + "\"\n"},
        {"empty string and empty data block", {str(1, ""), data(2, 0, "")},
         "  [string] id=0x1, size=0, data=\"\"\n  [data_block] id=0x2, type=0x0, size=0, data=<>\n"},
        {"strings of 7 and 8 characters", {str(1, "seven77"), str(2, "eight888")},
         "  [string] id=0x1, size=7, data=\"seven77\"\n  [string] id=0x2, size=8, data=\"eight888\"\n"},
        {"data block of 130 bytes", {data(1, 2, counting_bytes(130))},
         "  [data_block] id=0x1, type=0x2, size=130, data=<" + hex_of(counting_bytes(130)) + ">\n"},
        {"data block of every byte value", {data(1, 2, counting_bytes(256))},
         "  [data_block] id=0x1, type=0x2, size=256, data=<" + hex_of(counting_bytes(256)) + ">\n"},
        {"largest ids and types in lower case",
         {str(0xFFFFFFFFu, "x"), data(0xABCDEF01u, 0xFFFFFFFEu, "\x01"), integer(0x80000000u, 16)},
         "  [string] id=0xffffffff, size=1, data=\"x\"\n"
         "  [data_block] id=0xabcdef01, type=0xfffffffe, size=1, data=<01>\n"
         "  [integer] id=0x80000000, data=16/0x10\n"},
        {"tags sharing an id, in the order placed", {integer(1, 1), str(1, "one"), data(1, 1, "\x11"), integer(1, 2)},
         "  [integer] id=0x1, data=1/0x1\n  [string] id=0x1, size=3, data=\"one\"\n"
         "  [data_block] id=0x1, type=0x1, size=1, data=<11>\n  [integer] id=0x1, data=2/0x2\n"},
        {"names of a schema: ids, a table's family, a type; a type it does not name",
         {str(1, "m"), integer(0x200, 250), data(3, 1, "\x01"), integer(12, 5), data(4, 9, "")},
         "  [string] id=0x1 model, size=1, data=\"m\"\n  [integer] id=0x200 period_ms, data=250/0xFA\n"
         "  [data_block] id=0x3 cal, type=0x1 CAL, size=1, data=<01>\n  [integer] id=0xc message, data=5/0x5\n"
         "  [data_block] id=0x4 raw, type=0x9, size=0, data=<>\n",
         "type CAL 1\nstr model 1\nint period_ms 0x200\ndata cal 3 CAL\nint message 10..20 table\n"
         "data raw 4 9 optional\n"},
    };
}

class Listing : public dump_test {};

TEST_F(Listing, EveryAlignmentAndByteOrderListsAlike)
{
    // All twins of a case go to one run (one process per case keeps the
    // suite quick under valgrind); each is listed under its own header.
    const uint32_t alignments[] = {8, 16, 32, 4096};
    for (const listing_case &c : listing_cases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> names;
        std::string expected;
        for (uint32_t alignment : alignments) {
            std::string blob = library_blob(alignment, c.tags);
            for (bool swapped : {false, true}) {
                std::string name = std::to_string(alignment).append(swapped ? "-other.dat" : "-host.dat");
                put(name, swapped ? other_order(blob) : blob);
                if (!names.empty())
                    expected += '\n';
                expected.append(name).append(":\n").append(listing(c.lines));
                names.push_back(name);
            }
        }
        put("l.schema", c.schema);
        if (!c.schema.empty())
            names.insert(names.begin(), {"--schema", "l.schema"});
        vt::run_result r = dump(names);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

TEST_F(Listing, LargestAlignment)
{
    std::string blob = library_blob(VANTREL_ALIGN_MAX, {str(1, "abc"), integer(2, 5), data(3, 7, "\xDE\xAD")});
    ASSERT_EQ(blob.size(), 5u * VANTREL_ALIGN_MAX);
    for (bool swapped : {false, true}) {
        put("big.dat", swapped ? other_order(blob) : blob);
        vt::run_result r = dump({"big.dat"});
        EXPECT_EQ(r.out, listing("  [string] id=0x1, size=3, data=\"abc\"\n  [integer] id=0x2, data=5/0x5\n"
                                 "  [data_block] id=0x3, type=0x7, size=2, data=<DEAD>\n"));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

// The twin maker itself, against blobs written out by hand in both orders.
TEST(OtherOrder, TwinsMatchHandWrittenBytes)
{
    const struct {
        std::vector<tag_spec> tags;
        const char *little, *big;
    } cases[] = {
        {{str(1, "abc"), integer(2, 5)},
         "01 00 60 7A 10 00 00 00 48 00 00 00 00 00 00 00 02 00 60 7A 18 00 00 00 01 00 00 00 03 00 00 00"
         "61 62 63 00 00 00 00 00 03 00 60 7A 18 00 00 00 05 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00"
         "00 00 00 00 08 00 00 00",
         "7A 60 00 01 00 00 00 10 00 00 00 48 00 00 00 00 7A 60 00 02 00 00 00 18 00 00 00 01 00 00 00 03"
         "61 62 63 00 00 00 00 00 7A 60 00 03 00 00 00 18 00 00 00 00 00 00 00 05 00 00 00 02 00 00 00 00"
         "00 00 00 00 00 00 00 08"},
        {{integer(2, 0x0102030405060708u), data(3, 7, "\xDE\xAD")},
         "01 00 60 7A 10 00 00 00 48 00 00 00 00 00 00 00 03 00 60 7A 18 00 00 00 08 07 06 05 04 03 02 01"
         "02 00 00 00 00 00 00 00 04 00 60 7A 18 00 00 00 07 00 00 00 03 00 00 00 02 00 00 00 DE AD 00 00"
         "00 00 00 00 08 00 00 00",
         "7A 60 00 01 00 00 00 10 00 00 00 48 00 00 00 00 7A 60 00 03 00 00 00 18 01 02 03 04 05 06 07 08"
         "00 00 00 02 00 00 00 00 7A 60 00 04 00 00 00 18 00 00 00 07 00 00 00 03 00 00 00 02 DE AD 00 00"
         "00 00 00 00 00 00 00 08"},
    };
    for (const auto &c : cases) {
        std::string host = library_blob(8, c.tags);
        std::string little = vt::from_hex(c.little), big = vt::from_hex(c.big);
        bool host_is_little = std::endian::native == std::endian::little;
        EXPECT_EQ(host, host_is_little ? little : big);
        EXPECT_EQ(other_order(host), host_is_little ? big : little);
    }
}

} // namespace

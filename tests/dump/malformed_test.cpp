// Blobs made field by field, most of them faulty, each listed in both byte
// orders: every diagnostic with its offset, what was listed before it, the
// start tag checks, fill and padding, and nested blocks.
#include "dump_fixture.h"
#include "vantrel.h"

namespace {

using namespace dt;
using namespace std::string_literals;

const std::string AT = "vantrel-dump: 'm.dat'@0x";

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

std::string counting_bytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

// "000102...": the hex listing of counting_bytes(n).
std::string counting_hex(size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[(i >> 4) & 15]);
        s.push_back(digits[i & 15]);
    }
    return s;
}

struct blob_case {
    const char *name;
    layout blob;
    std::vector<std::string> options;
    std::string out, err;
    int status;
};

const std::string INT_2_5 = "  [integer] id=0x2, data=5/0x5\n";

// Each case is listed from the host-order file and from its twin.
class Malformed : public dump_test {
protected:
    void run(const std::vector<blob_case> &cases)
    {
        for (const blob_case &c : cases) {
            for (bool swapped : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + (swapped ? ", other byte order" : ", host byte order"));
                put("m.dat", serialize(c.blob, swapped));
                std::vector<std::string> args = c.options;
                args.push_back("m.dat");
                vt::run_result r = dump(args);
                EXPECT_EQ(r.out, c.out);
                EXPECT_EQ(r.err, c.err);
                EXPECT_EQ(r.status, c.status);
            }
        }
    }
};

TEST_F(Malformed, BlockRoomAndTagSizes)
{
    run({
        {"block without room", start_tag(16, 16), {}, "[start]\n", AT + "10: missing end tag\n", 1},
        {"block of 20 bytes", start_tag(16, 20) + end_tag(), {}, "[start]\n",
         AT + "10: invalid vantrel start length\n", 1},
        {"end tag short of the declared end", start_tag(16, 0x38) + integer_tag(24, 5, 2) + end_tag() + zeros(8),
         {}, "[start]\n" + INT_2_5, AT + "30: junk found after end tag\n", 1},
        {"1 byte left over", start_tag(16, 16 + 24 + 1) + integer_tag(24, 5, 2) + end_tag(), {},
         "[start]\n" + INT_2_5, AT + "28: invalid vantrel start length\n", 1},
        {"7 bytes left over", start_tag(16, 16 + 24 + 7) + integer_tag(24, 5, 2) + end_tag(), {},
         "[start]\n" + INT_2_5, AT + "28: invalid vantrel start length\n", 1},
        {"8 bytes left, a larger tag", start_tag(16, 16 + 24 + 8) + integer_tag(24, 5, 2) + integer_tag(24, 6, 3),
         {}, "[start]\n" + INT_2_5, AT + "30: invalid tag size\n", 1},
        {"tag size 0", start_tag(16, 0x30) + header(VANTREL_TAG_STRING, 0) + zeros(32), {}, "[start]\n",
         AT + "18: invalid tag size\n", 1},
        {"tag size 4", start_tag(16, 0x30) + header(VANTREL_TAG_STRING, 4) + zeros(32), {}, "[start]\n",
         AT + "18: invalid tag size\n", 1},
        {"tag size 7", start_tag(16, 0x30) + header(VANTREL_TAG_END, 7) + zeros(32), {}, "[start]\n",
         AT + "18: invalid tag size\n", 1},
        {"tag size beyond the block", start_tag(16, 0x30) + integer_tag(0x28, 1, 1) + zeros(24), {}, "[start]\n",
         AT + "18: invalid tag size\n", 1},
        {"size is checked before the code", start_tag(16, 0x30) + header(0x12345678, 0) + zeros(32), {},
         "[start]\n", AT + "18: invalid tag size\n", 1},
        {"unknown code", start_tag(16, 0x20) + header(0x7A600005, 8) + end_tag(), {}, "[start]\n",
         AT + "18: unknown tag: 0x7A600005\n", 1},
        {"start code of the other order inside a blob",
         start_tag(16, 0x20) + header(VANTREL_TAG_START_SWAPPED, 8) + end_tag(), {}, "[start]\n",
         AT + "18: unknown tag: 0x100607A\n", 1},
        {"unknown code after a listed tag",
         start_tag(16, 0x38) + string_tag(24, 1, 3, "abc") + zeros(5) + header(0xFFFFFFFF, 8) + end_tag(), {},
         "[start]\n  [string] id=0x1, size=3, data=\"abc\"\n", AT + "30: unknown tag: 0xFFFFFFFF\n", 1},
        {"start length below 16, then an end tag", start_tag(16, 8) + integer_tag(24, 5, 2) + end_tag(), {},
         "[start]\n" + INT_2_5, AT + "30: junk found after end tag\n", 1},
        {"start length 0 and the file ends", start_tag(16, 0) + integer_tag(24, 5, 2), {}, "[start]\n" + INT_2_5,
         AT + "28: unexpected end-of-file\n", 1},
    });
}

TEST_F(Malformed, FileEndsEarly)
{
    run({
        {"before the first tag", start_tag(16, 0x30), {}, "[start]\n", AT + "10: unexpected end-of-file\n", 1},
        {"inside a header", start_tag(16, 0x30) + w32(VANTREL_TAG_END), {}, "[start]\n",
         AT + "14: unexpected end-of-file\n", 1},
        {"inside string fields", start_tag(16, 0x30) + header(VANTREL_TAG_STRING, 24) + w32(1), {}, "[start]\n",
         AT + "1C: unexpected end-of-file\n", 1},
        {"inside integer fields", start_tag(16, 0x30) + header(VANTREL_TAG_INTEGER, 24) + w64(5), {}, "[start]\n",
         AT + "20: unexpected end-of-file\n", 1},
        {"inside data block fields", start_tag(16, 0x30) + header(VANTREL_TAG_DATA_BLOCK, 24) + w32(7) + w32(3),
         {}, "[start]\n", AT + "20: unexpected end-of-file\n", 1},
        {"inside nested start fields", start_tag(16, 0x30) + header(VANTREL_TAG_START, 16) + w32(16), {},
         "[start]\n", AT + "1C: unexpected end-of-file\n", 1},
        {"inside string characters: the line stays open",
         start_tag(16, 0x100) + string_tag(0x80, 1, 100, letters(70)), {},
         "[start]\n  [string] id=0x1, size=100, data=\"" + letters(64), AT + "66: unexpected end-of-file\n", 1},
        {"at the end of a chunk of characters", start_tag(16, 0x100) + string_tag(0xA0, 1, 128, letters(64)), {},
         "[start]\n  [string] id=0x1, size=128, data=\"" + letters(64), AT + "60: unexpected end-of-file\n", 1},
        {"inside data bytes", start_tag(16, 0x200) + data_tag(0x100, 2, 3, 200, counting_bytes(130)), {},
         "[start]\n  [data_block] id=0x3, type=0x2, size=200, data=<" + counting_hex(128),
         AT + "A6: unexpected end-of-file\n", 1},
        {"after the last tag", start_tag(16, 0x30) + integer_tag(24, 5, 2), {}, "[start]\n" + INT_2_5,
         AT + "28: unexpected end-of-file\n", 1},
    });
}

TEST_F(Malformed, StartTagOfTheBlob)
{
    const std::string driver = "vantrel-dump: 'm.dat': ";
    run({
        {"empty file", {}, {}, "", driver + "unexpected end-of-file\n", 1},
        {"15 bytes", w32(VANTREL_TAG_START) + w32(16) + w32(24) + zeros(3), {}, "", driver + "unexpected end-of-file\n",
         1},
        {"16 bytes beginning with the string code", header(VANTREL_TAG_STRING, 16) + w32(24) + w32(0), {}, "",
         "vantrel-dump: start tag not found in 'm.dat'\n", 1},
        {"first word zero", zeros(16) + end_tag(), {}, "", "vantrel-dump: start tag not found in 'm.dat'\n", 1},
        {"start code bytes in neither order", bytes("\x60\x7A\x00\x01"s) + zeros(12) + end_tag(), {}, "",
         "vantrel-dump: start tag not found in 'm.dat'\n", 1},
        {"reserved 1", start_tag(16, 24, 1) + end_tag(), {}, "", driver + "reserved field in start tag is not zero\n",
         1},
        {"reserved 1, the option changes nothing", start_tag(16, 24, 1) + end_tag(), {"--warn-start-reserved"}, "",
         driver + "reserved field in start tag is not zero\n", 1},
        {"reserved with only its top bit", start_tag(16, 24, 0x80000000u) + end_tag(), {}, "",
         driver + "reserved field in start tag is not zero\n", 1},
        {"16 bytes of a valid start tag", start_tag(16, 24), {}, "[start]\n", AT + "10: unexpected end-of-file\n", 1},
    });
}

// Zero fill after the start tag's fields is skipped when tag_size says so.
TEST_F(Malformed, PaddedStartTag)
{
    run({
        {"tag size 32 with fill", start_tag(0x20, 0x28) + zeros(16) + end_tag(), {}, "[start]\n[end]\n", "", 0},
        // Only an alignment the builder writes pads the start tag; any
        // other size (one flipped bit: 0x10 to 0x30) skips nothing.
        {"tag size 20 is no alignment: the fill is read as a tag", start_tag(20, 28) + zeros(4) + end_tag(), {},
         "[start]\n", AT + "18: invalid tag size\n", 1},
        {"tag size 0x30 is no alignment: every tag listed", start_tag(0x30, 16 + 24 + 8) + integer_tag(24, 5, 2) +
         end_tag(), {}, "[start]\n" + INT_2_5 + "[end]\n", "", 0},
        {"tag size 8 is not trusted", start_tag(8, 24) + end_tag(), {}, "[start]\n[end]\n", "", 0},
        {"tag size equal to the length", start_tag(0x20, 0x20) + zeros(16), {}, "[start]\n",
         AT + "20: missing end tag\n", 1},
        {"tag size above the length: the fill is read as a tag", start_tag(0x40, 0x30) + zeros(0x30), {},
         "[start]\n", AT + "18: invalid tag size\n", 1},
        {"tag size leaving 3 bytes", start_tag(0x40, 0x43) + zeros(0x30) + end_tag(), {}, "[start]\n",
         AT + "40: invalid vantrel start length\n", 1},
        {"the file ends inside the fill", start_tag(0x20, 0x28), {}, "[start]\n", AT + "20: unexpected end-of-file\n",
         1},
    });
}

// What the walk does not check: fill, terminators, reserved words of
// integers, tag sizes that are no multiple of 8.
TEST_F(Malformed, UncheckedBytes)
{
    layout dirty = start_tag(16, 0x60) + string_tag(0x20, 1, 3, "abc") + bytes("ZXXXXXXXXXXXX") +
                   header(VANTREL_TAG_INTEGER, 0x20) + w64(5) + w32(2) + w32(0xABCD) + bytes("YYYYYYYY") +
                   end_tag(16) + bytes("EEEEEEEE");
    run({
        {"non-zero fill, terminator and reserved word", dirty, {},
         "[start]\n  [string] id=0x1, size=3, data=\"abc\"\n" + INT_2_5 + "[end]\n", "", 0},
        {"tag size 21", start_tag(16, 16 + 21 + 8) + string_tag(21, 1, 3, "abc") + zeros(2) + end_tag(), {},
         "[start]\n  [string] id=0x1, size=3, data=\"abc\"\n[end]\n", "", 0},
    });
}

TEST_F(Malformed, NestedBlocks)
{
    const std::string nested_int = "[start]\n  [start]\n    [integer] id=0x1, data=7/0x7\n  [end]\n[end]\n";
    const std::string empty_nested = "[start]\n  [start]\n  [end]\n[end]\n";
    const std::string reserved_1 = AT + "20: reserved field in start tag is not zero (value: 0x1)\n";
    const std::vector<std::string> warn = {"--warn-start-reserved"};
    run({
        {"tag size equal to the length",
         start_tag(16, 0x48) + start_tag(0x30, 0x30) + integer_tag(24, 7, 1) + end_tag() + end_tag(), {}, nested_int,
         "", 0},
        {"tag size 16: charged its length",
         start_tag(16, 0x48) + start_tag(16, 0x30) + integer_tag(24, 7, 1) + end_tag() + end_tag(), {}, nested_int,
         "", 0},
        {"tags before and after",
         start_tag(16, 0x78) + integer_tag(24, 1, 1) + start_tag(0x30, 0x30) + string_tag(24, 2, 3, "abc") +
             zeros(5) + end_tag() + integer_tag(24, 3, 3) + end_tag(),
         {},
         "[start]\n  [integer] id=0x1, data=1/0x1\n  [start]\n    [string] id=0x2, size=3, data=\"abc\"\n  [end]\n"
         "  [integer] id=0x3, data=3/0x3\n[end]\n",
         "", 0},
        {"reserved 1", start_tag(16, 0x30) + start_tag(0x18, 0x18, 1) + end_tag() + end_tag(), {}, "[start]\n",
         reserved_1, 1},
        {"reserved 1, warned only", start_tag(16, 0x30) + start_tag(0x18, 0x18, 1) + end_tag() + end_tag(), warn,
         empty_nested, reserved_1, 0},
        {"reserved in lower case hex",
         start_tag(16, 0x30) + start_tag(0x18, 0x18, 0xDEADBEEF) + end_tag() + end_tag(), warn, empty_nested,
         AT + "20: reserved field in start tag is not zero (value: 0xdeadbeef)\n", 0},
        {"warned, then a later fault",
         start_tag(16, 0x38) + start_tag(0x18, 0x18, 1) + end_tag() + header(0x7A600006, 8) + end_tag(), warn,
         "[start]\n  [start]\n  [end]\n", reserved_1 + AT + "30: unknown tag: 0x7A600006\n", 1},
        {"no room", start_tag(16, 0x30) + start_tag(16, 16) + end_tag() + end_tag(), {}, "[start]\n  [start]\n",
         AT + "20: missing end tag\n", 1},
        {"length 15", start_tag(16, 0x30) + start_tag(16, 15) + end_tag() + end_tag(), {}, "[start]\n",
         AT + "20: invalid vantrel start length\n", 1},
        {"length beyond the enclosing block", start_tag(16, 0x30) + start_tag(16, 0x28) + end_tag() + end_tag(), {},
         "[start]\n", AT + "20: invalid vantrel start length\n", 1},
        // A walk that took this length of 0 would come back to the same start
        // tag after every pass and list its inner blocks for ever.
        {"length 0",
         start_tag(16, 0x48) + header(VANTREL_TAG_START, 8) + w32(0) + w32(0) + start_tag(0xFFFFFFE8, 24) +
             end_tag() + end_tag() + end_tag(),
         {}, "[start]\n", AT + "20: invalid vantrel start length\n", 1},
        {"reserved warned, then a bad length", start_tag(16, 0x30) + start_tag(16, 8, 2) + end_tag() + end_tag(),
         warn, "[start]\n",
         AT + "20: reserved field in start tag is not zero (value: 0x2)\n" + AT + "20: invalid vantrel start length\n",
         1},
        {"tag size beyond the enclosing block", start_tag(16, 0x30) + start_tag(0x28, 0x18) + end_tag() + end_tag(),
         {}, "[start]\n", AT + "18: invalid tag size\n", 1},
        {"a fault inside ends the whole walk",
         start_tag(16, 0x38) + start_tag(0x20, 0x20) + header(0x7A600009, 8) + end_tag() + end_tag(), {},
         "[start]\n  [start]\n", AT + "28: unknown tag: 0x7A600009\n", 1},
        {"nested end tag short of its block",
         start_tag(16, 0x40) + start_tag(0x28, 0x28) + end_tag() + zeros(16) + end_tag(), {}, "[start]\n  [start]\n",
         AT + "28: junk found after end tag\n", 1},
    });
}

// A string or data block whose size runs past its tag takes the bytes of
// the next tag, which is then listed all the same.
TEST_F(Malformed, PayloadPastItsTag)
{
    for (bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "other byte order" : "host byte order");
        std::string code = serialize(w32(VANTREL_TAG_INTEGER), swapped);
        put("m.dat", serialize(start_tag(16, 0x78) + string_tag(24, 1, 12, "abc") + zeros(5) +
                                   integer_tag(24, 5, 2) + data_tag(24, 9, 3, 8, "\xAA\xBB\xCC\xDD") +
                                   integer_tag(24, 5, 2) + end_tag(),
                               swapped));
        std::string code_hex;
        for (unsigned char c : code) {
            static const char digits[] = "0123456789ABCDEF";
            code_hex += {digits[c >> 4], digits[c & 15]};
        }
        vt::run_result r = dump({"m.dat"});
        EXPECT_EQ(r.out, "[start]\n  [string] id=0x1, size=12, data=\"abc\0\0\0\0\0"s + code + "\"\n" + INT_2_5 +
                             "  [data_block] id=0x3, type=0x9, size=8, data=<AABBCCDD" + code_hex + ">\n" + INT_2_5 +
                             "[end]\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

std::string nested_listing(int deepest, bool closed)
{
    std::string s;
    for (int d = 0; d <= deepest; ++d)
        s += indent(d) + "[start]\n";
    if (closed)
        for (int d = deepest; d >= 0; --d)
            s += indent(d) + "[end]\n";
    return s;
}

TEST_F(Malformed, NestingDepth)
{
    // The start tag met at depth 1024 is the 1025th nested one, at 16 * 1025.
    const std::string too_deep = AT + "4020: start tags nested too deeply\n";
    run({
        {"1024 levels", nested_blocks(1024), {}, nested_listing(1024, true), "", 0},
        {"1025 levels", nested_blocks(1025), {}, nested_listing(1024, false), too_deep, 1},
        {"100000 levels", nested_blocks(100000), {}, nested_listing(1024, false), too_deep, 1},
    });
}

} // namespace

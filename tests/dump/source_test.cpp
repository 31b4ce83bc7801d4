// vantrel-dump --source: the exact text of a small blob, hand-picked blobs
// that must compile back to themselves, every refusal with its offset, and
// the option among the others.
#include <cerrno>
#include <cstring>
#include <sstream>

#include "dump_fixture.h"
#include "vantrel.h"

namespace {

using namespace dt;
using namespace std::string_literals;

const std::string AT = "vantrel-dump: 'm.dat'@0x";
const std::string CANNOT = ": cannot be written as source: ";

std::string counting_bytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

// Every byte value from `first` to 0xFF, once.
std::string byte_run(int first)
{
    std::string s;
    for (int b = first; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    return s;
}

// 2046 tags of 32 bytes and one of 40: 16 + 65512 + 8 bytes.
std::vector<tag_spec> strings_filling_a_blob()
{
    std::vector<tag_spec> tags(2046, str(0x1234, "0123456789abcde"));
    tags.push_back(str(0x5678, std::string(23, '~')));
    return tags;
}

size_t longest_line(const std::string &text)
{
    size_t longest = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        longest = std::max(longest, line.size());
    return longest;
}

class Source : public dump_test {
protected:
    // Writes `blob` as source, compiles that, and returns the source.  The
    // source goes straight to a file as a shell redirection would send it,
    // with the platform's line ends (CR LF on Windows).
    std::string write_back(const std::string &blob, const std::string &compiled)
    {
        put("m.dat", blob);
        vt::run_result src = dump({"--source", "m.dat"}, "m.txt");
        EXPECT_EQ(src.err, "");
        EXPECT_EQ(src.status, 0);
        std::string source = vt::text_lines(vt::read_file("m.txt"));
        vt::run_result comp = vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", compiled, "m.txt"});
        EXPECT_EQ(comp.err, "") << source;
        EXPECT_EQ(comp.status, 0);
        return source;
    }
};

TEST_F(Source, ExactText)
{
    std::string blob = library_blob(
        8, {str(1, "abc"), integer(2, 5), data(3, 7, "\xDE\xAD"), str(0xFFFFFFFF, "a\tb\"c\\d\n\r'# {}"),
            integer(0, 0xFFFF), integer(0x10, 0x10000), integer(0x11, ~0ull), integer(0x12, 0x123456789),
            data(0, 0xFFFFFFFF, ""), data(0xABC, 0x10, counting_bytes(32)), data(4, 0x10, counting_bytes(33)),
            str(5, "")});
    const std::string expected = "{\n"
                                 "  str 0x1 \"abc\"\n"
                                 "  int 0x2 5\n"
                                 "  data 0x3 0x7 <DEAD>\n"
                                 "  str 0xffffffff \"a\\tb\\\"c\\\\d\\n\\r'# {}\"\n"
                                 "  int 0x0 65535\n"
                                 "  int 0x10 0x1_0000\n"
                                 "  int 0x11 0xFFFF_FFFF_FFFF_FFFF\n"
                                 "  int 0x12 0x1_2345_6789\n"
                                 "  data 0x0 0xffffffff <>\n"
                                 "  data 0xabc 0x10 <00010203 04050607 08090A0B 0C0D0E0F 10111213 14151617 "
                                 "18191A1B 1C1D1E1F>\n"
                                 "  data 0x4 0x10 begin\n"
                                 "    <00010203 04050607 08090A0B 0C0D0E0F 10111213 14151617 18191A1B 1C1D1E1F>\n"
                                 "    <20>\n"
                                 "  end\n"
                                 "  str 0x5 \"\"\n"
                                 "}\n";
    put("m.dat", blob);
    put("twin.dat", other_order(blob));
    for (const char *file : {"m.dat", "twin.dat"}) {
        vt::run_result r = dump({"--source", file});
        EXPECT_EQ(r.out, expected) << file;
        EXPECT_EQ(r.err, "") << file;
        EXPECT_EQ(r.status, 0) << file;
    }
    EXPECT_EQ(dump({"--source", "m.dat", "twin.dat"}).out, "m.dat:\n" + expected + "\ntwin.dat:\n" + expected);
}

struct edge_case {
    const char *name;
    std::vector<tag_spec> tags;
    size_t longest_line; // of the written source, when it matters; else 0
    size_t blob_size;    // likewise
};

// Blobs as the compiler writes them (the library at alignment 8), in both
// byte orders: the written source must compile to the host-order blob.
TEST_F(Source, EdgeCasesCompileBack)
{
    const std::string every_byte = byte_run(0);
    const edge_case cases[] = {
        {"no tags", {}, 0, 24},
        {"empty string and empty data blocks", {str(1, ""), data(2, 3, ""), str(4, "")}, 0, 0},
        {"data of every byte value", {data(1, 2, every_byte)}, 0, 0},
        {"data at the one-line limit and one over", {data(1, 2, counting_bytes(32)), data(3, 4, counting_bytes(33))}, 0,
         0},
        {"data of 64 bytes, two full lines", {data(1, 2, counting_bytes(64))}, 0, 0},
        {"string of every byte but zero", {str(1, byte_run(1))}, 0, 0},
        {"string of only escapes", {str(1, "\n\r\t\\\"\n\r\t\\\"")}, 0, 0},
        {"string of raw control bytes, 0x7F and high bytes",
         {str(1, "\x01\x02\x0B\x0C\x1A\x1B\x1F\x7F\x80\xA0\xFF"), str(2, "\v\f"), str(3, "\xC3\xA9")}, 0, 0},
        {"strings that look like commands, comments and blanks",
         {str(1, " # not a comment "), str(2, "}"), str(3, "end"), str(4, "begin"), str(5, "{\n}"),
          str(6, "'\\''"), str(7, "   "), str(8, "<01>"), str(9, "\t")},
         0, 0},
        {"string line at the compiler's longest line", {str(1, std::string(4094 - 12, 'x'))}, 4094, 0},
        {"escaped string line at the longest line", {str(0x10, std::string((4094 - 13) / 2, '\n') + "x")}, 4094, 0},
        {"integer extremes", {integer(0, 0), integer(1, 1), integer(2, 0xFFFF), integer(3, 0x10000),
                              integer(4, 0x7FFFFFFFFFFFFFFFull), integer(5, 0x8000000000000000ull), integer(6, ~0ull),
                              integer(7, 0xFFFFFFFFull), integer(8, 0x100000000ull)},
         0, 0},
        {"ids and types 0 and all ones",
         {integer(0, 1), integer(0xFFFFFFFF, 2), str(0, "a"), str(0xFFFFFFFF, "b"), data(0, 0, "c"),
          data(0xFFFFFFFF, 0xFFFFFFFF, "d"), data(0, 0xFFFFFFFF, "e"), data(0xFFFFFFFF, 0, "f")},
         0, 0},
        {"the largest blob: one data block", {data(1, 2, byte_run(0) + std::string(65492 - 256, '\xA5'))}, 0, 65536},
        {"2729 integers", std::vector<tag_spec>(2729, integer(9, ~0ull)), 0, 65520},
        {"the largest blob of strings", strings_filling_a_blob(), 0, 65536},
    };
    for (const edge_case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string blob = library_blob(8, c.tags);
        std::string source = write_back(blob, "back.dat");
        EXPECT_EQ(vt::read_file("back.dat"), blob);
        EXPECT_EQ(write_back(other_order(blob), "twin-back.dat"), source);
        EXPECT_EQ(vt::read_file("twin-back.dat"), blob);
        if (c.longest_line != 0) {
            EXPECT_EQ(longest_line(source), c.longest_line);
        }
        if (c.blob_size != 0) {
            EXPECT_EQ(blob.size(), c.blob_size);
        }
    }
}

// The line limit is the compiler's: one character more and it cannot read
// the line, which is why the dump refuses such a string.
TEST_F(Source, CompilerRefusesTheLongerLine)
{
    put("long.txt", "{\n  str 0x1 \"" + std::string(4094 - 12 + 1, 'x') + "\"\n}\n");
    vt::run_result comp = vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", "long.dat", "long.txt"});
    EXPECT_EQ(comp.err, "vantrel-comp: long.txt:2: String is not enclosed in quotes\n");
    EXPECT_EQ(comp.status, 1);
}

struct refusal_case {
    const char *name;
    layout blob;
    std::vector<std::string> options;
    std::string err;
};

// Each blob is refused from both byte orders with one message and nothing on
// standard output.
// Blobs of other alignments and above the compiler's default size are
// written back with a first line naming the options to compile them with,
// and compile with those to the same bytes, from either byte order.
TEST_F(Source, OtherAlignmentsAndSizes)
{
    const std::string bulk(65500, 'a');
    const struct {
        const char *name;
        std::string blob;
        const char *options; // the first line's options, or "" for none
    } cases[] = {
        {"alignment 16", library_blob(16, {str(1, "abc"), integer(2, 5), data(3, 7, "\xDE\xAD")}), " -a 16"},
        {"alignment 16, empty", serialize(start_tag(16, 32) + end_tag(16) + zeros(8), false), " -a 16"},
        {"alignment 32", serialize(start_tag(32, 96) + zeros(16) + integer_tag(32, 5, 2) + zeros(8) + end_tag(32) + zeros(24), false),
         " -a 32"},
        {"alignment 4096", library_blob(4096, {str(1, "abc"), data(3, 7, std::string(5000, 'x'))}), " -a 4096"},
        {"65544 bytes", serialize(start_tag(16, 65544) + data_tag(65520, 2, 1, 65500, bulk) + end_tag(), false),
         " -s 65544"},
        {"alignment 64, 131072 bytes", library_blob(64, {data(1, 2, std::string(130900, 'z'))}), " -a 64 -s 131072"},
    };
    for (const auto &c : cases) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (swapped ? ", other byte order" : ""));
            put("m.dat", swapped ? other_order(c.blob) : c.blob);
            vt::run_result src = dump({"--source", "m.dat"});
            ASSERT_EQ(src.err, "");
            ASSERT_EQ(src.status, 0);
            const std::string first = src.out.substr(0, src.out.find('\n'));
            EXPECT_EQ(first, c.options[0] ? "# vantrel-comp" + std::string(c.options) : "{");
            put("m.txt", src.out);
            std::vector<std::string> args = {"vantrel-comp"};
            std::istringstream words(c.options);
            for (std::string word; words >> word;)
                args.push_back(word);
            args.insert(args.end(), {"-o", "back.dat", "m.txt"});
            vt::run_result comp = vt::run_program(VANTREL_COMP_PATH, args);
            EXPECT_EQ(comp.err, "");
            EXPECT_TRUE(vt::read_file("back.dat") == c.blob) << "bytes differ";
        }
    }
}

TEST_F(Source, Refusals)
{
    const layout abc = string_tag(24, 1, 3, "abc");
    const layout good = start_tag(16, 0x48) + abc + zeros(5) + integer_tag(24, 5, 2) + end_tag();
    const refusal_case cases[] = {
        // What the compiler cannot make.
        {"start tag of 8 bytes", start_tag(8, 24) + end_tag(), {}, AT + "4" + CANNOT + "tag size is not minimal\n"},
        // A start tag size that is no alignment pads nothing: the tags
        // follow its four words.
        {"start tag of 20 bytes", start_tag(20, 24) + end_tag(), {}, AT + "4" + CANNOT + "tag size is not minimal\n"},
        {"start tag of 48 bytes: its fill read as a tag", start_tag(48, 96) + zeros(32) + end_tag(48) + zeros(40), {},
         AT + "18: invalid tag size\n"},
        {"alignment 32, end tag of 8 bytes", start_tag(32, 40) + zeros(16) + end_tag(), {},
         AT + "24" + CANNOT + "tag size is not minimal\n"},
        {"alignment 32, non-zero start tag fill", start_tag(32, 64) + zeros(15) + bytes("\x01") + end_tag(32) + zeros(24),
         {}, AT + "1F" + CANNOT + "non-zero fill\n"},
        {"alignment 16, non-zero integer fill",
         start_tag(16, 64) + integer_tag(32, 5, 2) + zeros(7) + bytes("\x03") + end_tag(16) + zeros(8), {},
         AT + "2F" + CANNOT + "non-zero fill\n"},
        {"alignment 16, non-zero end tag fill", start_tag(16, 32) + end_tag(16) + zeros(7) + bytes("\x02"), {},
         AT + "1F" + CANNOT + "non-zero fill\n"},
        {"integer tag of 32 bytes", start_tag(16, 56) + integer_tag(32, 5, 2) + zeros(8) + end_tag(), {},
         AT + "14" + CANNOT + "tag size is not minimal\n"},
        {"string tag of 32 bytes for 3 characters", start_tag(16, 56) + string_tag(32, 1, 3, "abc") + zeros(13) + end_tag(), {},
         AT + "14" + CANNOT + "tag size is not minimal\n"},
        {"string tag of 21 bytes", start_tag(16, 16 + 21 + 8) + string_tag(21, 1, 3, "abc") + zeros(2) + end_tag(),
         {}, AT + "14" + CANNOT + "tag size is not minimal\n"},
        {"data tag of 32 bytes for 2 bytes", start_tag(16, 56) + data_tag(32, 7, 3, 2, "\xDE\xAD") + zeros(10) +
                                                 end_tag(),
         {}, AT + "14" + CANNOT + "tag size is not minimal\n"},
        {"string size beyond its tag", start_tag(16, 48) + string_tag(24, 1, 9, "abcdefgh") + end_tag(), {},
         AT + "14" + CANNOT + "tag size is not minimal\n"},
        {"non-zero string fill", start_tag(16, 48) + abc + bytes("\0\0\0\x01\0"s) + end_tag(), {},
         AT + "26" + CANNOT + "non-zero fill\n"},
        {"non-zero data fill", start_tag(16, 48) + data_tag(24, 7, 3, 2, "\xDE\xAD") + bytes("\0\x05"s) + end_tag(),
         {}, AT + "27" + CANNOT + "non-zero fill\n"},
        {"alignment 16, non-zero byte inside the integer fill",
         start_tag(16, 64) + integer_tag(32, 5, 2) + bytes("\0\0\0\0\0\x21\0\0"s) + end_tag(16) + zeros(8), {},
         AT + "2D" + CANNOT + "non-zero fill\n"},
        {"non-zero string terminator", start_tag(16, 48) + abc + bytes("Z\0\0\0\0"s) + end_tag(), {},
         AT + "23" + CANNOT + "non-zero string terminator\n"},
        {"non-zero integer reserved word",
         start_tag(16, 48) + header(VANTREL_TAG_INTEGER, 24) + w64(5) + w32(2) + w32(1) + end_tag(), {},
         AT + "24" + CANNOT + "non-zero reserved word\n"},
        {"nested start tag", start_tag(16, 0x30) + start_tag(0x18, 0x18) + end_tag() + end_tag(), {},
         AT + "10" + CANNOT + "nested start tag\n"},
        {"nested start tag with reserved 1, warned",
         start_tag(16, 0x30) + start_tag(0x18, 0x18, 1) + end_tag() + end_tag(), {"--warn-start-reserved"},
         AT + "20: reserved field in start tag is not zero (value: 0x1)\n" + AT + "10" + CANNOT +
             "nested start tag\n"},
        {"string with a zero byte", start_tag(16, 48) + string_tag(24, 1, 3, "a\0b"s) + zeros(5) + end_tag(), {},
         AT + "21" + CANNOT + "string holds a zero byte\n"},
        {"string one character over the longest line",
         start_tag(16, 16 + 4104 + 8) + string_tag(4104, 1, 4083, std::string(4083, 'x')) + zeros(5) + end_tag(), {},
         AT + "10" + CANNOT + "string too long for one source line\n"},
        {"escaped string one character over the longest line",
         start_tag(16, 16 + 2064 + 8) + string_tag(2064, 0x10, 2041, std::string(2041, '"')) + zeros(7) + end_tag(), {},
         AT + "10" + CANNOT + "string too long for one source line\n"},
        {"the faults come in file order", start_tag(16, 56) + integer_tag(32, 5, 2) + bytes("X\0\0\0\0\0\0\0"s) +
                                              end_tag() + bytes("after"),
         {}, AT + "14" + CANNOT + "tag size is not minimal\n"},
        {"bytes after the end of the blob", good + bytes("\n"), {}, AT + "48" + CANNOT +
                                                                          "bytes after the end of the blob\n"},
        {"zero bytes after the end of the blob", good + zeros(8), {},
         AT + "48" + CANNOT + "bytes after the end of the blob\n"},
        // Structure faults: the listing's messages.
        {"block without room", start_tag(16, 16), {}, AT + "10: missing end tag\n"},
        {"unknown tag", start_tag(16, 0x20) + header(0x7A600005, 8) + end_tag(), {}, AT + "18: unknown tag: 0x7A600005\n"},
        {"file ends inside a string", start_tag(16, 0x30) + string_tag(24, 1, 3, "ab"), {},
         AT + "22: unexpected end-of-file\n"},
        {"nested start tag with reserved 1", start_tag(16, 0x30) + start_tag(0x18, 0x18, 1) + end_tag() + end_tag(),
         {}, AT + "20: reserved field in start tag is not zero (value: 0x1)\n"},
        {"file ends inside the end tag's fill", start_tag(16, 32) + end_tag(16), {}, AT + "18: unexpected end-of-file\n"},
        // The next header would lie past the end of the whole input.
        {"file ends after a string, before its tag_size", start_tag(16, 64) + string_tag(40, 1, 3, "abc") + zeros(1), {},
         AT + "38: unexpected end-of-file\n"},
        {"15 bytes", zeros(15), {}, "vantrel-dump: 'm.dat': unexpected end-of-file\n"},
        {"no start tag", zeros(24), {}, "vantrel-dump: start tag not found in 'm.dat'\n"},
        {"start tag reserved 1", start_tag(16, 24, 1) + end_tag(), {},
         "vantrel-dump: 'm.dat': reserved field in start tag is not zero\n"},
    };
    for (const refusal_case &c : cases) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (swapped ? ", other byte order" : ", host byte order"));
            put("m.dat", serialize(c.blob, swapped));
            std::vector<std::string> args = {"--source"};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.push_back("m.dat");
            vt::run_result r = dump(args);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, c.err);
            EXPECT_EQ(r.status, 1);
        }
    }
}

struct run_case {
    std::vector<std::string> args;
    std::string out, err;
    int status;
};

TEST_F(Source, OptionsAndSeveralFiles)
{
    put("a.dat", library_blob(8, {str(1, "abc"), integer(2, 5)}));
    put("b.dat", other_order(library_blob(8, {data(3, 7, "\xDE\xAD")})));
    put("bad.dat", serialize(start_tag(16, 0x30) + start_tag(0x18, 0x18) + end_tag() + end_tag(), false));
    put("--source", library_blob(8, {}));
    const std::string A = "{\n  str 0x1 \"abc\"\n  int 0x2 5\n}\n";
    const std::string B = "{\n  data 0x3 0x7 <DEAD>\n}\n";
    const std::string LIST_A = "[start]\n  [string] id=0x1, size=3, data=\"abc\"\n  [integer] id=0x2, data=5/0x5\n[end]\n";
    const std::string BAD = "vantrel-dump: 'bad.dat'@0x10: cannot be written as source: nested start tag\n";
    auto unknown = [](const std::string &o) { return "vantrel-dump: unknown option: \"" + o + "\"\n"; };
    const run_case cases[] = {
        {{"--source"}, "", "", 0},
        {{"--source", "--"}, "", "", 0},
        {{"--source", "a.dat"}, A, "", 0},
        {{"--warn-start-reserved", "--source", "a.dat"}, A, "", 0},
        {{"--source", "--warn-start-reserved", "--", "b.dat"}, B, "", 0},
        {{"--source", "--source", "a.dat"}, A, "", 0},
        {{"a.dat", "--source"}, "a.dat:\n" + LIST_A + "\n--source:\n[start]\n[end]\n", "", 0},
        {{"--", "--source"}, "[start]\n[end]\n", "", 0},
        {{"--source", "--", "--source"}, "{\n}\n", "", 0},
        {{"--source", "a.dat", "b.dat"}, "a.dat:\n" + A + "\nb.dat:\n" + B, "", 0},
        {{"--source", "a.dat", "bad.dat", "b.dat"}, "a.dat:\n" + A + "\nbad.dat:\n\nb.dat:\n" + B, BAD, 1},
        {{"--source", "bad.dat", "missing.dat"}, "bad.dat:\n\nmissing.dat:\n",
         BAD + "vantrel-dump: could not open 'missing.dat': " + std::strerror(ENOENT) + "\n", 1},
        {{"--source", "bad.dat"}, "", BAD, 1},
        {{"--Source", "a.dat"}, "", unknown("--Source"), 1},
        {{"--source=1", "a.dat"}, "", unknown("--source=1"), 1},
        {{"--source", "--help"}, "", unknown("--help"), 1},
        {{"--source", "-", "a.dat"}, "", unknown("-"), 1},
    };
    for (const run_case &c : cases) {
        std::string trace;
        for (const std::string &a : c.args)
            trace += " [" + a + "]";
        SCOPED_TRACE(trace);
        vt::run_result r = dump(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

// Standard output that cannot be written is reported once.
TEST_F(Source, WriteErrorReportedOnce)
{
    VT_SKIP_ON_WINDOWS("no device that refuses every write, like /dev/full, on Windows");
    put("a.dat", library_blob(8, {str(1, "abc"), integer(2, 5)}));
    put("b.dat", other_order(library_blob(8, {data(3, 7, "\xDE\xAD")})));
    const std::string full = std::string("vantrel-dump: write error: ") + std::strerror(ENOSPC) + "\n";
    for (const std::vector<std::string> &args : {std::vector<std::string>{"--source", "a.dat"},
                                                 std::vector<std::string>{"--source", "a.dat", "b.dat"}}) {
        vt::run_result r = dump(args, "/dev/full");
        EXPECT_EQ(r.err, full);
        EXPECT_EQ(r.status, 1);
    }
}

} // namespace

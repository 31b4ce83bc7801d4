// vantrel-comp run as a user runs it: each case is a source (or a command
// line), the exit status, standard error byte for byte, and the output bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "test_support.h"
#include "vantrel.h"
#include "vantrel_version.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Expected blob at alignment 8, words in the host's order.
struct blob {
    std::string b = std::string(16, '\0');
    void u32(uint32_t v) { b.append(reinterpret_cast<const char *>(&v), 4); }
    void head(uint32_t code, size_t n) { u32(code), u32(static_cast<uint32_t>((n + 7) & ~size_t{7})); }
    void pad() { b.append((8 - b.size() % 8) % 8, '\0'); }
    blob &str(uint32_t id, const std::string &s)
    {
        head(VANTREL_TAG_STRING, 17 + s.size()), u32(id), u32(static_cast<uint32_t>(s.size()));
        return b += s, b += '\0', pad(), *this;
    }
    blob &num(uint32_t id, uint64_t v)
    {
        head(VANTREL_TAG_INTEGER, 24), b.append(reinterpret_cast<const char *>(&v), 8);
        return u32(id), u32(0), *this;
    }
    blob &data(uint32_t id, uint32_t type, const std::string &d)
    {
        head(VANTREL_TAG_DATA_BLOCK, 20 + d.size()), u32(type), u32(id);
        return u32(static_cast<uint32_t>(d.size())), b += d, pad(), *this;
    }
    std::string end() const
    {
        blob r = *this;
        r.u32(VANTREL_TAG_END), r.u32(8);
        const uint32_t start[4] = {VANTREL_TAG_START, 16, static_cast<uint32_t>(r.b.size()), 0};
        std::memcpy(r.b.data(), start, sizeof start);
        return r.b;
    }
};

const std::string EMPTY = blob().end();
const std::string FMT = "Formatting error in integer argument", OVF = "Overflow in integer argument";
const std::string HEX_FMT = "Formatting error in hex string argument", NO_HEX = "Missing hex string argument";

// Messages; "$S" stands for the source's name and "$D" for its folder.
std::string at(int line, const std::string &text)
{
    return "vantrel-comp: $S:" + std::to_string(line) + ": " + text + "\n";
}
std::string whole(const std::string &text) { return "vantrel-comp: $S: " + text + "\n"; }
std::string fits32(const std::string &hex) { return hex + ": Integer does not fit in 32 bits"; }

std::string expand(std::string t, const vt::temp_dir &dir)
{
    for (auto [from, to] : {std::pair{"$S", dir.file("unit.txt")}, {"$D", dir.path().string()}})
        for (size_t i; (i = t.find(from)) != std::string::npos;)
            t.replace(i, 2, to);
    return t;
}

vt::run_result comp(const vt::temp_dir &dir, std::vector<std::string> args)
{
    for (std::string &a : args)
        a = expand(a, dir);
    args.insert(args.begin(), "vantrel-comp");
    return vt::run_program(VANTREL_COMP_PATH, args);
}

struct source_case {
    std::string source;
    int status;
    std::string err;
    std::string blob; // the output when status is 0; otherwise no output may exist
    std::vector<std::string> options = {}; // before "-o"
};

void check(const std::vector<source_case> &cases)
{
    for (const source_case &c : cases) {
        vt::temp_dir dir;
        std::vector<std::string> args = c.options;
        SCOPED_TRACE(c.source.substr(0, 100) + " " + ::testing::PrintToString(args));
        for (const char *a : {"-o", "$D/unit.dat", "$S"})
            args.push_back(a);
        vt::write_file(dir.file("unit.txt"), c.source);
        vt::run_result r = comp(dir, args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, expand(c.err, dir));
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(vt::file_exists(dir.file("unit.dat")), c.status == 0);
        if (c.status == 0) {
            EXPECT_EQ(vt::read_file(dir.file("unit.dat")), c.blob);
        }
    }
}

// One argument per case: its text, then the tag's value or bytes, or the
// message it must give on line 2.
template <typename T> struct arg_case {
    std::string text;
    T expected;
    std::string error = "";
};

template <typename T>
void check_args(const std::vector<arg_case<T>> &args, const std::string &before, const std::string &after,
                std::function<blob(const T &)> tag)
{
    std::vector<source_case> cases;
    for (const arg_case<T> &a : args)
        cases.push_back({"{\n" + before + a.text + after + "\n}\n", a.error.empty() ? 0 : 1,
                         a.error.empty() ? "" : at(2, a.error), tag(a.expected).end()});
    check(cases);
}

TEST(Comp, IntegerValues)
{
    check_args<uint64_t>(
        {{"42", 42}, {"0x2A", 42}, {"0X2a", 42}, {"0o52", 42}, {"0O52", 42}, {"052", 42}, {"0b101010", 42},
         {"0B101010", 42}, {"4_2", 42}, {"__4__2__", 42}, {"0", 0}, {"00", 0}, {"_", 0}, {"0x__", 0},
         {"0_7", 7}, {"0x0000000000000000000001", 1}, {"18446744073709551615", ~0ull},
         {"0xFFFF_FFFF_FFFF_FFFF", ~0ull}, {"0o1777777777777777777777", ~0ull},
         {"0b" + std::string(64, '1'), ~0ull}, {"7 # note", 7}, {"7\t0x10", 7},
         {"08", 0, FMT}, {"0b2", 0, FMT}, {"0o8", 0, FMT}, {"09", 0, FMT}, {"1F", 0, FMT}, {"0x", 0, FMT},
         {"0b", 0, FMT}, {"0O", 0, FMT}, {"0x 1", 0, FMT}, {"-1", 0, FMT}, {"+1", 0, FMT}, {"12abc", 0, FMT},
         {"0xG", 0, FMT}, {"2#3", 0, FMT}, {"1z99999999999999999999", 0, FMT},
         {"18446744073709551616", 0, OVF}, {"18446744073709551617", 0, OVF},
         {"18446744073709551618", 0, OVF}, {"18446744073709551619", 0, OVF},
         {"99999999999999999999z", 0, OVF}, {"0x1_0000_0000_0000_0000", 0, OVF},
         {"0o2000000000000000000000", 0, OVF}, {"0b1" + std::string(64, '0'), 0, OVF},
         {"", 0, "Missing integer argument"}},
        "int 1 ", "", [](const uint64_t &v) { return blob().num(1, v); });
}

TEST(Comp, ThirtyTwoBitArguments)
{
    check_args<uint64_t>({{"4294967295", 0xFFFFFFFF}, {"0xFFFF_FFFF", 0xFFFFFFFF}, {"0", 0},
                          {"4294967296", 0, fits32("0x100000000")},
                          {"0x1_0000_000a", 0, fits32("0x10000000A")},
                          {"18446744073709551615", 0, fits32("0xFFFFFFFFFFFFFFFF")},
                          {"18446744073709551616", 0, OVF}, {"x", 0, FMT}},
                         "int ", " 0", [](const uint64_t &v) { return blob().num(static_cast<uint32_t>(v), 0); });
    check_args<uint64_t>({{"4294967295", 0xFFFFFFFF}, {"4294967296", 0, fits32("0x100000000")}}, "data 1 ", " <>",
                         [](const uint64_t &v) { return blob().data(1, static_cast<uint32_t>(v), ""); });
    check({{"{\nint 1 4294967296\n}\n", 0, "", blob().num(1, 4294967296).end()},
           {"{\nint 7   0x10\n}\n", 0, "", blob().num(7, 16).end()},
           {"{\nint\n}\n", 1, at(2, "Missing integer argument"), ""}});
}

TEST(Comp, Strings)
{
    check_args<std::string>(
        {{R"("abc")", "abc"}, {R"("")", ""}, {R"("a\tb")", "a\tb"}, {R"("\n\r\t\\\"\'")", "\n\r\t\\\"'"},
         {"\"  in\tside  \"", "  in\tside  "}, {R"("# not a comment")", "# not a comment"},
         {"\"\x80\xFF\"", "\x80\xFF"}, {R"("a\"b")", "a\"b"}, {R"("abc" ignored)", "abc"},
         {R"("abc"ignored)", "abc"}, {R"("1234567")", "1234567"}, {R"("12345678")", "12345678"},
         // 0x1A ends a text-mode read on Windows; the source is read as bytes.
         {"\"a\x1A" "b\"", "a\x1A" "b"}, {"\"\x1A\"", "\x1A"},
         {"\"" + std::string(4086, 's') + "\"", std::string(4086, 's')},
         {"abc", "", "Missing string argument"}, {"", "", "Missing string argument"},
         {R"("abc)", "", "String is not enclosed in quotes"}, {R"("\")", "", "String is not enclosed in quotes"},
         {R"("abc\)", "", "Unrecognized escape sequence"}, {R"("a\x")", "", "Unrecognized escape sequence"},
         {R"("\0")", "", "Unrecognized escape sequence"},
         // One character too many for a 4094-character line: the quote is cut off.
         {"\"" + std::string(4087, 's') + "\"", "", "String is not enclosed in quotes"}},
        "str 1 ", "", [](const std::string &s) { return blob().str(1, s); });
}

TEST(Comp, DataPayloads)
{
    const std::string open = "Hex string is not enclosed in \"<>\"";
    check_args<std::string>(
        {{"<0A0b_0C 0d>", "\x0A\x0B\x0C\x0D"}, {"<>", ""}, {"< >", ""}, {"<__\t_>", ""}, {"<01\t02>", "\1\2"},
         {"<aB Cd>", "\xAB\xCD"}, {"<01>xyz", "\1"}, {"<DEAD>", "\xDE\xAD"}, {R"("text")", "text"},
         {R"("")", ""}, {R"("a\nb")", "a\nb"}, {"<" + std::string(4082, 'F') + ">", std::string(2041, '\xFF')},
         {"<ABC>", "", HEX_FMT}, {"<A BC>", "", HEX_FMT}, {"<0x12>", "", HEX_FMT}, {"<1>", "", HEX_FMT},
         {"<1_2>", "", HEX_FMT}, {"<12 3>", "", HEX_FMT}, {"<zz>", "", HEX_FMT},
         {"<g1>", "", HEX_FMT}, {"<1g>", "", HEX_FMT}, {"<12", "", open},
         {"<", "", open}, {"", "", NO_HEX}, {"01", "", NO_HEX}, {"begin # note", "", NO_HEX},
         {"beginx", "", NO_HEX}, {R"("a\x")", "", "Unrecognized escape sequence"},
         {R"("ab)", "", "String is not enclosed in quotes"}},
        "data 1 2 ", "", [](const std::string &d) { return blob().data(1, 2, d); });
}

TEST(Comp, DataBlockLines)
{
    const std::string five = {"\0\1\2\3\4", 5};
    check({{"{\ndata 4 0 begin\n<0001_0203>\n<04>\nend\n}\n", 0, "", blob().data(4, 0, five).end()},
           {"{\ndata 5 9 begin\nend\n}\n", 0, "", blob().data(5, 9, "").end()},
           {"{\ndata 5 9 begin\n\n  # c\n <01> trailing \n\t end \n}\n", 0, "", blob().data(5, 9, "\1").end()},
           {"{\ndata 5 9 begin\n<01>\nend # note\n}\n", 1, at(4, NO_HEX), ""},
           {"{\ndata 5 9 begin\nEND\n}\n", 1, at(3, NO_HEX), ""},
           {"{\ndata 5 9 begin\n\"ab\"\nend\n}\n", 1, at(3, NO_HEX), ""},
           {"{\ndata 5 9 begin\n<01>\n<1>\nend\n}\n", 1, at(4, HEX_FMT), ""},
           {"{\ndata 5 9 begin\n<01>\n", 1, whole("Unexpected end-of-file"), ""},
           {"{\ndata 5 9 begin\n<01>\n}\n", 1, at(4, NO_HEX), ""}});
}

// The worked examples, built field by field for any host and, on a
// little-endian host, checked against their bytes written out.
TEST(Comp, WorkedExamples)
{
    const std::vector<source_case> cases = {
        {"# unit settings\n{\nint 1 0x10\nstr 2 \"unit four\"\ndata 3 7 <01 02 03>\n"
         "data 4 0 begin\n<0001_0203>\n<04>\nend\n}\n",
         0, "", blob().num(1, 16).str(2, "unit four").data(3, 7, "\1\2\3").data(4, 0, {"\0\1\2\3\4", 5}).end()},
        {"{\nstr 1 \"abc\"\nint 2 5\n}\n", 0, "", blob().str(1, "abc").num(2, 5).end()},
        {"{\ndata 3 7 <DEAD>\n}\n", 0, "", blob().data(3, 7, "\xDE\xAD").end()}};
    const std::string little_endian[] = {
        "01 00 60 7A 10 00 00 00 88 00 00 00 00 00 00 00  03 00 60 7A 18 00 00 00 10 00 00 00 00 00 00 00"
        "01 00 00 00 00 00 00 00  02 00 60 7A 20 00 00 00 02 00 00 00 09 00 00 00 75 6E 69 74 20 66 6F 75"
        "72 00 00 00 00 00 00 00  04 00 60 7A 18 00 00 00 07 00 00 00 03 00 00 00 03 00 00 00 01 02 03 00"
        "04 00 60 7A 20 00 00 00  00 00 00 00 04 00 00 00 05 00 00 00 00 01 02 03 04 00 00 00 00 00 00 00"
        "00 00 00 00 08 00 00 00",
        "01 00 60 7A 10 00 00 00 48 00 00 00 00 00 00 00  02 00 60 7A 18 00 00 00 01 00 00 00 03 00 00 00"
        "61 62 63 00 00 00 00 00  03 00 60 7A 18 00 00 00 05 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00"
        "00 00 00 00 08 00 00 00",
        "01 00 60 7A 10 00 00 00 30 00 00 00 00 00 00 00  04 00 60 7A 18 00 00 00 07 00 00 00 03 00 00 00"
        "02 00 00 00 DE AD 00 00  00 00 00 00 08 00 00 00"};
    if constexpr (std::endian::native == std::endian::little) {
        for (size_t i = 0; i < cases.size(); ++i)
            EXPECT_EQ(cases[i].blob, vt::from_hex(little_endian[i])) << cases[i].source;
    }
    check(cases);
}

TEST(Comp, CommandsAndPhases)
{
    check({{"{\n}\n", 0, "", EMPTY}, {"{ extra\n} extra\n", 0, "", EMPTY}, {"  {  \n\t}\t\n", 0, "", EMPTY},
           {"{\n}", 0, "", EMPTY}, {"{\nint 1 5\n}", 0, "", blob().num(1, 5).end()},
           {"{\nint 1 5\nint 1 6\n}\n# after\n\n", 0, "", blob().num(1, 5).num(1, 6).end()},
           {"{\n\0junk\n}\n"s, 0, "", EMPTY}, {"{\nint\t1\t2\n}\n", 0, "", blob().num(1, 2).end()},
           {"", 1, whole("No start command was found"), ""},
           {"# c\n\n   \n", 1, whole("No start command was found"), ""},
           {"{\n", 1, whole("No closing \"}\" command was found"), ""},
           {"{\nint 1 2\n", 1, whole("No closing \"}\" command was found"), ""},
           {"{\n{\n}\n", 1, at(2, "Nested start tags is not supported"), ""},
           {"{\n}\n{\n", 1, at(3, "Only one first-level start tag is possible"), ""},
           {"}\n", 1, at(1, "No matching start tag"), ""}, {"{\n}\n}\n", 1, at(3, "No matching start tag"), ""},
           {"int 1 2\n", 1, at(1, "int: start tag is missing"), ""},
           {"str 1 \"a\"\n", 1, at(1, "str: start tag is missing"), ""},
           {"data 1 2 <>\n", 1, at(1, "data: start tag is missing"), ""},
           {"int 1 99999999999999999999\n", 1, at(1, "int: start tag is missing"), ""},
           {"{\n}\nint 1 2\n", 1, at(3, "int: start tag is missing"), ""},
           {"{\nfoo 1\n}\n", 1, at(2, "foo: unknown command"), ""}, {"{x\n", 1, at(1, "{x: unknown command"), ""},
           {"{\nInt 1 2\n}\n", 1, at(2, "Int: unknown command"), ""},
           {"\x01{\n", 1, at(1, ": unknown command"), ""}, {"\x80\n", 1, at(1, ": unknown command"), ""},
           {"\n# c\n  bogus\n", 1, at(3, "bogus: unknown command"), ""},
           {"{\nint 1 2x\n}\n", 1, at(2, FMT), ""}, {"{\nint", 1, at(2, "Missing integer argument"), ""}});
}

TEST(Comp, LinesCrlfAndLength)
{
    const std::string lf = "{\nint 1 0x10\nstr 2 \"a b\"\ndata 3 7 begin\n<01>\nend\n}\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    const std::string expected = blob().num(1, 16).str(2, "a b").data(3, 7, "\1").end();
    const std::string x906 = std::string(906, 'x');
    check({{lf, 0, "", expected}, {crlf, 0, "", expected},
           // 5000 characters come as a piece of 4094 and the rest, each a line.
           {"{\n#" + std::string(4999, 'x') + "\n}\n", 1, at(3, x906 + ": unknown command"), ""},
           {"{\n" + std::string(5000, ' ') + "\nbogus\n", 1, at(4, "bogus: unknown command"), ""},
           {"{\n#" + std::string(4092, 'x') + "\nbogus\n", 1, at(3, "bogus: unknown command"), ""},
           {"{\n#" + std::string(4093, 'x') + "\nbogus\n", 1, at(4, "bogus: unknown command"), ""},
           {"{\ndata 1 2 begin\n<" + std::string(4093, 'A') + ">\n", 1, at(3, HEX_FMT), ""}});
}

// n bytes that differ from their neighbours.
std::string pattern(size_t n)
{
    std::string b;
    for (size_t i = 0; i < n; ++i)
        b += static_cast<char>(i * 7 + i / 256);
    return b;
}

// A source with one data block of these bytes, in hex lines of 2046 bytes.
std::string block(const std::string &bytes, const std::string &extra = "", const std::string &after = "")
{
    std::string s = "{\ndata 1 2 begin\n";
    for (size_t i = 0; i < bytes.size(); i += 2046) {
        s += '<';
        for (unsigned char c : bytes.substr(i, 2046))
            s += "0123456789ABCDEF"[c >> 4], s += "0123456789ABCDEF"[c & 15];
        s += ">\n";
    }
    return s + extra + "end\n" + after + "}\n";
}

TEST(Comp, BlobAndPayloadLimits)
{
    // 16 + round(20 + 65492) + 8 is exactly 65536.
    const std::string fit = pattern(65492), full = pattern(65536), room_for_int = pattern(65468);
    // 32 lines of 2046 bytes, each read as two pieces (its line feed is the
    // 4095th character), and one line of 64 bytes.
    const int after_full = 2 + 32 * 2 + 1 + 1;
    const std::string too_long = "Hex string argument is too long";
    check({{block(fit), 0, "", blob().data(1, 2, fit).end()},
           {block(pattern(65493)), 1, whole("Could not place data block tag: 1"), ""},
           {block(full, "<>\n"), 1, whole("Could not place data block tag: 1"), ""},
           {block(full, "<00>\n"), 1, at(after_full, too_long), ""},
           {block(full, "< >\n"), 1, at(after_full, too_long), ""},
           {block(pattern(65535), "<0001>\n"), 1, at(after_full, too_long), ""},
           {block(fit, "", "int 1 2\n"), 1, whole("Could not place integer tag: 1"), ""},
           {block(fit, "", "str 1 \"\"\n"), 1, whole("Could not place string tag: 1"), ""},
           {block(fit, "", "data 1 2 <>\n"), 1, whole("Could not place data block tag: 1"), ""},
           {block(room_for_int, "", "int 1 2\n"), 0, "", blob().data(1, 2, room_for_int).num(1, 2).end()}});
}

// The unit source's three tags (or none) as libvantrel places them at this
// alignment.
const std::string UNIT = "{\nint 1 0x10\nstr 2 \"unit four\"\ndata 3 7 <01 02 03>\n}\n";
std::string unit_blob(uint32_t alignment, bool tags = true)
{
    std::vector<uint8_t> buffer(5 * std::max<size_t>(alignment, 32));
    const uint8_t bytes[] = {1, 2, 3};
    vantrel_state s;
    EXPECT_EQ(vantrel_init(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), alignment), 0);
    if (tags) {
        EXPECT_EQ(vantrel_add_integer(&s, 16, 1) | vantrel_add_string(&s, "unit four", 9, 2) |
                      vantrel_add_data_block(&s, bytes, 3, 7, 3),
                  0);
    }
    EXPECT_EQ(vantrel_end(&s), 0);
    return {reinterpret_cast<const char *>(buffer.data()), vantrel_get_used_size(&s)};
}

std::string prog(const std::string &text) { return "vantrel-comp: " + text + "\n"; }
std::string bad_align(const std::string &arg)
{
    return prog("-a " + arg + ": alignment must be a power of two from 8 to 1048576");
}
std::string bad_size(const std::string &arg) { return prog("-s " + arg + ": blob size must be a number up to 4294967295"); }

TEST(Comp, AlignmentOption)
{
    std::vector<source_case> cases;
    // Numbers as the source language writes them: "0100" is octal 64.
    for (auto [text, alignment] : {std::pair{"8", 8u}, {"16", 16u}, {"32", 32u}, {"0x40", 64u}, {"4096", 4096u},
                                   {"0X8000", 32768u}, {"0100", 64u}, {"0o20", 16u}, {"0b1000", 8u},
                                   {"1_024", 1024u}, {"0x_40", 64u}})
        cases.push_back({UNIT, 0, "", unit_blob(alignment), {"-a", text, "-s", "0x500000"}});
    cases.push_back({UNIT, 0, "", unit_blob(1048576), {"-s", "5242880", "-a", "1048576"}});
    cases.push_back({UNIT, 0, "", unit_blob(64), {"-a", "16", "-a", "64"}}); // the last one wins
    for (const char *text : {"0", "4", "7", "12", "24", "2097152", "0x80000000", "4294967296", "abc", "", "-8",
                             "+64", "0x", "64k", "6 4", "08x"})
        cases.push_back({UNIT, 1, bad_align(text), "", {"-a", text}});
    cases.push_back({UNIT, 1, prog("-a 1048576: alignment needs -s 2097152 or more"), "", {"-a", "1048576"}});
    cases.push_back({UNIT, 1, prog("-a 131072: alignment needs -s 262144 or more"), "", {"-a", "131072"}});
    check(cases);
}

TEST(Comp, SizeOption)
{
    const std::string at_least = ": blob size must be at least ";
    const std::string smallest = "{\n}\n";
    check({{UNIT, 0, "", unit_blob(16), {"-a", "16", "-s", "128"}},
           {UNIT, 1, whole("Could not place data block tag: 1"), "", {"-a", "16", "-s", "127"}},
           {UNIT, 0, "", unit_blob(8), {"-s", "104"}},
           {UNIT, 1, whole("Could not place data block tag: 1"), "", {"-s", "103"}},
           {smallest, 0, "", EMPTY, {"-s", "32"}},
           {smallest, 0, "", unit_blob(4096, false), {"-a", "4096", "-s", "8192"}},
           {smallest, 1, prog("-s 31" + at_least + "32 at alignment 8"), "", {"-s", "31"}},
           {smallest, 1, prog("-s 0" + at_least + "32 at alignment 8"), "", {"-s", "0"}},
           {smallest, 1, prog("-s 8191" + at_least + "8192 at alignment 4096"), "", {"-s", "8191", "-a", "4096"}},
           {smallest, 1, bad_size("4294967296"), "", {"-s", "4294967296"}},
           {smallest, 0, "", EMPTY, {"-s", "0x1_0000"}},
           {UNIT, 0, "", unit_blob(8), {"-s", "0150"}}, // octal 104
           {UNIT, 1, whole("Could not place data block tag: 1"), "", {"-s", "0147"}},
           {UNIT, 0, "", unit_blob(8), {"-s", "0b110_1000"}},
           {smallest, 1, bad_size("0x"), "", {"-s", "0x"}},
           {smallest, 1, bad_size("0x1_0000_0000"), "", {"-s", "0x1_0000_0000"}},
           {smallest, 1, bad_size("99999999999999999999"), "", {"-s", "99999999999999999999"}},
           {smallest, 1, bad_size("1e6"), "", {"-s", "1e6"}},
           {smallest, 1, bad_size(""), "", {"-s", ""}},
           {smallest, 1, bad_size("-1"), "", {"-s", "-1"}}});
    // The end of the range asks for an 8 GiB work area: beyond a 32-bit
    // address space, and more than some hosts will promise.  Either way the
    // number is taken; only the allocation may fail, with its own message
    // (AddressSanitizer is told to report that as the C library would).
    // Under memcheck the range would only bring warnings.
    const char *wrapper = std::getenv("VANTREL_TEST_WRAPPER");
    if (wrapper != nullptr && *wrapper != '\0')
        return;
    const char *asan_now = std::getenv("ASAN_OPTIONS");
    const std::optional<std::string> asan = asan_now ? std::optional<std::string>(asan_now) : std::nullopt;
    vt::set_env("ASAN_OPTIONS", (asan.value_or("") + ":allocator_may_return_null=1").c_str());
    for (const char *text : {"4294967295", "0xFFFFFFFF"}) {
        vt::temp_dir dir;
        vt::write_file(dir.file("unit.txt"), UNIT);
        vt::run_result r = comp(dir, {"-s", text, "-o", "$D/unit.dat", "$S"});
        if (r.status == 0) {
            EXPECT_EQ(sizeof(void *), 8u);
            EXPECT_EQ(vt::read_file(dir.file("unit.dat")), unit_blob(8));
        } else {
            EXPECT_EQ(r.err, prog("could not allocate buffer memory: "s + std::strerror(ENOMEM)));
            EXPECT_FALSE(vt::file_exists(dir.file("unit.dat")));
        }
    }
    vt::set_env("ASAN_OPTIONS", asan ? asan->c_str() : nullptr);
}

// One data block fills a blob above 64 KiB; the payload area follows the
// blob size, so the next byte of the block is refused, as at 64 KiB.
TEST(Comp, DataBlockFillsLargeBlob)
{
    const std::vector<std::string> mib = {"-s", "1048576"};
    const std::string fit = pattern(1048576 - 16 - 20 - 8);
    std::vector<uint8_t> buffer(1048576);
    vantrel_state s;
    const std::string fit4096 = pattern(1048576 - 4096 - 20 - 4096);
    vantrel_init(&s, buffer.data(), 1048576, 4096);
    vantrel_add_data_block(&s, fit4096.data(), static_cast<uint32_t>(fit4096.size()), 2, 1);
    vantrel_end(&s);
    // "{", "data ... begin", 512 lines of two pieces and one of 1024 bytes.
    const int after_full = 2 + 512 * 2 + 1 + 1;
    check({{block(fit), 0, "", blob().data(1, 2, fit).end(), mib},
           {block(fit + "x"), 1, whole("Could not place data block tag: 1"), "", mib},
           {block(pattern(1048576), "<00>\n"), 1, at(after_full, "Hex string argument is too long"), "", mib},
           {block(fit4096), 0, "", std::string(reinterpret_cast<const char *>(buffer.data()), 1048576),
            {"-a", "4096", "-s", "1048576"}}});
}

// Compiles the C text at `path` as each of the standards (-std=...) with
// the strict warnings and `more`, where the build's compilers can be run;
// each must pass without a warning.
void compile_strictly(const std::string &path, const std::vector<std::string> &standards,
                      const std::vector<std::string> &more)
{
#if defined(VANTREL_TEST_CC) && defined(VANTREL_TEST_CXX)
    for (const std::string &standard : standards) {
        const bool cxx = standard[7] == '+';
        const std::string compiler = cxx ? VANTREL_TEST_CXX : VANTREL_TEST_CC;
        std::vector<std::string> args = {compiler, cxx ? "-xc++" : "-xc", standard, "-Wall", "-Wextra", "-Wpedantic",
                                         "-Werror", "-fsyntax-only"};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(path);
        vt::run_result r = vt::run_program(compiler, args);
        EXPECT_EQ(r.status, 0) << standard << "\n" << r.err;
    }
#else
    static_cast<void>(path), static_cast<void>(standards), static_cast<void>(more);
#endif
}

// The --c-array name rule, one row a name: a refused name gives its one
// line and no file; the accepted names' texts are compiled together, beside
// <stdint.h> as programs that use vantrel.h have it, as C11, C17, C23,
// C++17 and C++20, where the build's compilers can be run.
TEST(Comp, CArrayOption)
{
    const std::string not_c = "not a C identifier", keyword = "a keyword of C or C++",
                      reserved = "reserved in C and C++", header = "a name that <stddef.h> or <stdint.h> may define";
    std::vector<std::pair<std::string, std::string>> rows = {
        {"a9", ""}, {"_unit_2", ""}, {"unit", ""}, {"Z_09", ""}, {"_a", ""}, {"a_b_c", ""}, {"Main", ""},
        {"mains", ""}, {"size", ""}, {"size_t2", ""}, {"uint8", ""}, {"int8_tx", ""}, {"INT8_MAXIMUM", ""},
        {"INTERVAL", ""}, {"std_lib", ""}, {"Int", ""}, {"module", ""}, {"import", ""}, {"final", ""},
        {"override", ""},
        {"1a", not_c}, {"a-b", not_c}, {"a b", not_c}, {"", not_c}, {"\xC3\xA9t\xC3\xA9", not_c}, {"a$", not_c},
        {"9", not_c},
        {"__x", reserved}, {"x__y", reserved}, {"x__", reserved}, {"_Foo", reserved}, {"_Z9", reserved},
        {"a_", "a__size is " + reserved}, {"_", "__size is " + reserved},
        {"main", "the name of the program's entry point"},
        {"NULL", header}, {"offsetof", header}, {"size_t", header}, {"ptrdiff_t", header}, {"max_align_t", header},
        {"nullptr_t", header}, {"rsize_t", header}, {"std", header}, {"int8_t", header}, {"uint64_t", header},
        {"int_least16_t", header}, {"uint_fast32_t", header}, {"intptr_t", header}, {"uintmax_t", header},
        {"INT8_MIN", header}, {"UINT16_MAX", header}, {"INT64_C", header}, {"UINTMAX_C", header},
        {"INT_FAST8_WIDTH", header}, {"PTRDIFF_MAX", header}, {"SIZE_MAX", header}, {"SIG_ATOMIC_MIN", header},
        {"WCHAR_MAX", header}, {"WINT_MIN", header}, {"errno", header}, {"time_t", header}, {"va_list", header},
        {"DUMMYUNIONNAME", header}, {"UNALIGNED", header}};
    // Every keyword of C11, C17, C23, C++17 and C++20, and C++'s operator words.
    const std::string keywords =
        "_Alignas _Alignof _Atomic _BitInt _Bool _Complex _Decimal128 _Decimal32 _Decimal64 _Generic _Imaginary "
        "_Noreturn _Static_assert _Thread_local alignas alignof and and_eq asm auto bitand bitor bool break case "
        "catch char char8_t char16_t char32_t class co_await co_return co_yield compl concept const const_cast "
        "consteval constexpr constinit continue decltype default delete do double dynamic_cast else enum explicit "
        "export extern false float for friend goto if inline int long mutable namespace new noexcept not not_eq "
        "nullptr operator or or_eq private protected public register reinterpret_cast requires restrict return "
        "short signed sizeof static static_assert static_cast struct switch template this thread_local throw true "
        "try typedef typeid typename typeof typeof_unqual union unsigned using virtual void volatile wchar_t while "
        "xor xor_eq";
    for (size_t at = 0, end; at < keywords.size(); at = end + 1) {
        end = std::min(keywords.find(' ', at), keywords.size());
        rows.emplace_back(keywords.substr(at, end - at), keyword);
    }
    std::string accepted = "#include <stdint.h>\n";
    vt::temp_dir dir;
    vt::write_file(dir.file("unit.txt"), UNIT);
    for (const auto &[name, fault] : rows) {
        SCOPED_TRACE(name);
        vt::run_result r = comp(dir, {"--c-array", name, "-o", "$D/unit.c", "$S"});
        EXPECT_EQ(r.err, fault.empty() ? "" : prog("--c-array " + name + ": " + fault));
        EXPECT_EQ(r.status, fault.empty() ? 0 : 1);
        EXPECT_EQ(vt::file_exists(dir.file("unit.c")), fault.empty());
        if (fault.empty())
            accepted += vt::read_file(dir.file("unit.c"));
        fs::remove(dir.file("unit.c"));
    }
    vt::write_file(dir.file("names.c"), accepted);
    compile_strictly(dir.file("names.c"), {"-std=c11", "-std=c17", "-std=c2x", "-std=c++17", "-std=c++20"}, {});
    // Without -o the output is named like C source; the text is checked by
    // compiling it (tests/comp/c_array_check.c).
    vt::run_result r = comp(dir, {"--c-array", "_unit_2", "-a", "16", "$S"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string text = vt::read_file(dir.file("unit.txt.c"));
    EXPECT_NE(text.find("alignas(16) const unsigned char _unit_2[128] = {"), std::string::npos) << text;
    EXPECT_NE(text.find("const size_t _unit_2_size = 128;"), std::string::npos) << text;
    EXPECT_FALSE(vt::file_exists(dir.file("unit.txt.dat")));
}

std::string usage_text(const std::string &prog)
{
    return "Usage: " + prog + " [OPT]... FILE\n  or:  " + prog +
           " --schema FILE --c-header NAME -o FILE\nVantrel data compiler.\n\n"
           "  -o FILE    Set output file name\n"
           "  -a ALIGN   Set the tag alignment, a power of two from 8 to\n"
           "             1048576 (default 8)\n"
           "  -s SIZE    Set the largest blob size in bytes, up to 4294967295\n"
           "             (default 65536)\n"
           "  --c-array NAME\n"
           "             Write C source defining the array NAME and NAME_size\n"
           "             instead of the blob\n"
           "  --schema FILE\n"
           "             Check every tag against the schema FILE; its names\n"
           "             may stand for ids, types and values\n"
           "  --c-header NAME\n"
           "             Write the schema's names as a C header, each prefixed\n"
           "             with NAME (no source)\n"
           "  --help     Show this screen\n  --version  Show version number\n";
}
const std::string USAGE = usage_text("vantrel-comp");

// Each case runs in a folder holding the sources "unit.txt" and "unit"; the
// listed files must then hold the given bytes, or be absent (nullopt), or
// merely exist (DEVICE).
struct file_case {
    std::function<void(const vt::temp_dir &)> prepare;
    std::vector<std::string> args;
    int status;
    std::string out, err;
    std::vector<std::pair<std::string, std::optional<std::string>>> files;
};

const std::string SOURCE = "{\nint 1 2\n}\n";
const std::optional<std::string> ABSENT, BLOB = blob().num(1, 2).end(), SOURCE_KEPT = SOURCE;
const std::string DEVICE = "(a link to a device: it must exist, its bytes are not read)";

std::string same(const std::string &name)
{
    return "vantrel-comp: output file '" + name + "' is the same as the input file\n";
}
std::string cannot(const std::string &name, const char *how, int error)
{
    return "vantrel-comp: cannot open '" + name + "' for " + how + ": " + std::strerror(error) + "\n";
}

void check_files(const std::vector<file_case> &cases)
{
    for (const file_case &c : cases) {
        vt::temp_dir dir;
        SCOPED_TRACE(c.args.empty() ? "(no arguments)" : expand(c.args.back() + " " + c.err, dir));
        vt::write_file(dir.file("unit.txt"), SOURCE);
        vt::write_file(dir.file("unit"), SOURCE);
        c.prepare(dir);
        vt::run_result r = comp(dir, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, expand(c.err, dir));
        for (const auto &[name, bytes] : c.files) {
            EXPECT_EQ(vt::file_exists(dir.file(name)), bytes.has_value()) << name;
            if (bytes && *bytes != DEVICE) {
                EXPECT_EQ(vt::read_file(dir.file(name)), *bytes) << name;
            }
        }
    }
}

auto none = [](const vt::temp_dir &) {};
auto broken = [](const vt::temp_dir &d) { vt::write_file(d.file("unit.txt"), "{\n"); };
const std::string no_closing = whole("No closing \"}\" command was found");

TEST(Comp, CommandLineAndFiles)
{
    auto old_output = [&](const vt::temp_dir &d) { broken(d), vt::write_file(d.file("out.dat"), "old"); };
    auto folder = [](const vt::temp_dir &d) { fs::create_directory(d.file("sub")); };
    const std::string version =
        "Vantrel data compiler v" VANTREL_VERSION_STRING "\nlibvantrel v" VANTREL_VERSION_STRING "\n";
    // Windows refuses to open a folder as a file; Linux says what it is.
    const int folder_error = vt::ON_WINDOWS ? EACCES : EISDIR;
    std::vector<file_case> cases = {
        {none, {}, 1, USAGE, "", {}}, {none, {"--help"}, 0, USAGE, "", {}},
        {none, {"--help", "-x", "$S"}, 0, USAGE, "", {{"unit.txt.dat", ABSENT}}},
        {none, {"--version", "$S"}, 0, version, "", {{"unit.txt.dat", ABSENT}}},
        {none, {"-o", "$D/o", "--help"}, 1, "", "vantrel-comp: --help: unknown option\n", {{"o", ABSENT}}},
        {none, {"$S", "--version"}, 1, "", "vantrel-comp: too many operands\n", {}},
        {none, {"-x", "$S"}, 1, "", "vantrel-comp: -x: unknown option\n", {}},
        {none, {"-", "$S"}, 1, "", "vantrel-comp: -: unknown option\n", {}},
        {none, {"--", "$S"}, 1, "", "vantrel-comp: --: unknown option\n", {}},
        {none, {"-o"}, 1, "", "vantrel-comp: -o: missing argument\n", {}},
        {none, {"-o", "$D/o"}, 1, "", "vantrel-comp: missing filename operand\n", {{"o", ABSENT}}},
        {none, {"$S", "-o", "$D/o"}, 1, "", "vantrel-comp: too many operands\n", {{"o", ABSENT}}},
        {none, {"$S", "$D/unit"}, 1, "", "vantrel-comp: too many operands\n", {}},
        {none, {"$S"}, 0, "", "", {{"unit.txt.dat", BLOB}}},
        {none, {"$D/unit"}, 0, "", "", {{"unit.dat", BLOB}, {"unit.txt.dat", ABSENT}}},
        {none, {"-o", "$D/o", "-o", "$D/x", "$S"}, 0, "", "", {{"x", BLOB}, {"o", ABSENT}}},
        {none, {"$D/none"}, 1, "", cannot("$D/none", "reading", ENOENT), {{"none.dat", ABSENT}}},
        {none, {"-o", "$D", "$S"}, 1, "", cannot("$D", "writing", folder_error), {}},
        {none, {"-o", "$D/no/o", "$S"}, 1, "", cannot("$D/no/o", "writing", ENOENT), {}},
        // A failed run leaves no new output file, and an old one as it was.
        {broken, {"$S"}, 1, "", no_closing, {{"unit.txt.dat", ABSENT}}},
        {old_output, {"-o", "$D/out.dat", "$S"}, 1, "", no_closing, {{"out.dat", "old"}}},
        // A folder is no source, and it is refused before the output is made.
        {folder, {"$D/sub"}, 1, "", cannot("$D/sub", "reading", folder_error), {{"sub.dat", ABSENT}}},
        {[&](const vt::temp_dir &d) { folder(d), vt::write_file(d.file("sub.dat"), "old"); }, {"$D/sub"}, 1, "",
         cannot("$D/sub", "reading", folder_error), {{"sub.dat", "old"}}},
        // An existing other file is replaced: only the source itself is refused.
        {[](const vt::temp_dir &d) { vt::write_file(d.file("out.dat"), "old"); }, {"-o", "$D/out.dat", "$S"}, 0,
         "", "", {{"out.dat", BLOB}, {"unit.txt", SOURCE_KEPT}}},
        // The source is never the output.
        {none, {"-o", "$S", "$S"}, 1, "", same("$S"), {{"unit.txt", SOURCE_KEPT}}},
        {none, {"-o", "$D/./unit.txt", "$S"}, 1, "", same("$D/./unit.txt"), {{"unit.txt", SOURCE_KEPT}}},
        {[](const vt::temp_dir &d) { fs::create_hard_link(d.file("unit.txt"), d.file("hard")); },
         {"-o", "$D/hard", "$S"}, 1, "", same("$D/hard"), {{"unit.txt", SOURCE_KEPT}}},
    };
    if (vt::ON_WINDOWS) {
        // Names that differ only in case are one file there.
        cases.push_back({none, {"-o", "$D/UNIT.TXT", "$S"}, 1, "", same("$D/UNIT.TXT"), {{"unit.txt", SOURCE_KEPT}}});
        cases.push_back({none, {"-o", "$D/Unit.Txt", "$D/unit.TXT"}, 1, "", same("$D/Unit.Txt"),
                         {{"unit.txt", SOURCE_KEPT}}});
        // The null device is no regular file: never removed, never refused.
        cases.push_back({none, {"-o", "NUL", "$S"}, 0, "", "", {}});
        cases.push_back({broken, {"-o", "NUL", "$S"}, 1, "", no_closing, {}});
    }
    check_files(cases);
}

// Outputs reached through symbolic links, to devices among them.
TEST(Comp, LinkedAndDeviceOutputs)
{
    VT_SKIP_ON_WINDOWS("needs symbolic links, /dev/null and /dev/full");
    auto null_link = [](const vt::temp_dir &d) { fs::create_symlink("/dev/null", d.file("null")); };
    auto full_link = [](const vt::temp_dir &d) { fs::create_symlink("/dev/full", d.file("full")); };
    auto big_to_full = [&](const vt::temp_dir &d) {
        vt::write_file(d.file("unit.txt"), block(pattern(65492))), full_link(d);
    };
    const std::string no_space = whole("Could not write output: "s + std::strerror(ENOSPC));
    check_files({
        // Outputs that are not regular files are never removed.
        {[&](const vt::temp_dir &d) { broken(d), null_link(d); }, {"-o", "$D/null", "$S"}, 1, "", no_closing,
         {{"null", DEVICE}}},
        {null_link, {"-o", "$D/null", "$S"}, 0, "", "", {{"null", DEVICE}}},
        // The source is never the output, not even through a link.
        {[](const vt::temp_dir &d) { fs::create_symlink(d.file("unit.txt"), d.file("sym")); },
         {"-o", "$D/sym", "$S"}, 1, "", same("$D/sym"), {{"unit.txt", SOURCE_KEPT}}},
        // Writing is checked through the flush and the close.  The device is
        // reached through a link, so that a faulty removal takes only the link.
        {full_link, {"-o", "$D/full", "$S"}, 1, "", no_space, {{"full", DEVICE}}},
        {big_to_full, {"-o", "$D/full", "$S"}, 1, "", no_space, {{"full", DEVICE}}},
    });
}

// The usage and version texts are the whole work of these runs: a failed
// write of them is no success.
TEST(Comp, StandardOutputWriteError)
{
    VT_SKIP_ON_WINDOWS("needs /dev/full");
    const std::string full = "vantrel-comp: write error: "s + std::strerror(ENOSPC) + "\n";
    const std::vector<std::string> runs[] = {
        {"vantrel-comp", "--help"}, {"vantrel-comp", "--version"}, {"vantrel-comp"}};
    for (const std::vector<std::string> &args : runs) {
        SCOPED_TRACE(args.back());
        vt::run_result r = vt::run_program(VANTREL_COMP_PATH, args, "", "/dev/full");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, full);
    }
}

#ifndef _WIN32
// How an output is replaced.  Each row makes the output folder "o" as it is
// before the run, then compiles a good source and, in a fresh folder, a
// failing one, with "o" as the current folder.  Afterwards the folder must
// hold exactly what the row says (bytes, kind and mode of every entry: a
// temporary file left behind shows up there), then the bytes a FIFO's
// reader got and those on standard output.  New files get 0666 less the
// umask of 027.
enum needs { NOTHING, PERMISSIONS, ANOTHER_USER }; // root would be let through; the owner of "o/out"

struct output_row {
    const char *kind;
    std::function<void(const vt::temp_dir &)> make;
    std::string name;                   // the -o argument; "$H" is the descriptor held_file opened
    std::string good, failing;          // the folder and streams afterwards
    std::string good_err = "", failing_err = "no closing";
    needs need = NOTHING;
    std::string source = SOURCE;
    uint64_t file_size_limit = 0;
    std::string stdout_before = "";     // when given, standard output holds it and is opened for appending
    // When given, a shell runs this first and then becomes the compiler;
    // "$$" in the name is then the compiler's own process number.
    std::string shell_first = "";
};

const std::string B = *BLOB;

// A descriptor of the test's own process, another process for the compiler.
int held_file = -1;

// Another user than the one the compiler runs as, owner of the sticky row's
// folder and output.
constexpr uid_t OTHER_USER = 65533;

std::vector<output_row> output_rows()
{
    auto old = [](const vt::temp_dir &d, const std::string &name, fs::perms mode) {
        vt::write_file(d.file(name), "old");
        fs::permissions(d.file(name), mode);
    };
    const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                         fs::perms::group_write;
    const fs::perms r = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const std::string cannot_write = cannot("$D/o/out", "writing", EACCES);
    const std::string long_name(255, 'n'), appended = "standard output: old" + B;
    auto hold = [&](const vt::temp_dir &d) {
        old(d, "o/held", rw);
        held_file = open(d.file("o/held").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    };
    auto sticky = [&](const vt::temp_dir &d) {
        old(d, "o/out", rw | fs::perms::others_read | fs::perms::others_write);
        fs::permissions(d.file("o"), fs::perms::all | fs::perms::sticky_bit);
        for (const char *name : {"o", "o/out"})
            ASSERT_EQ(lchown(d.file(name).c_str(), OTHER_USER, OTHER_USER), 0);
    };
    return {
        {"none", [](const vt::temp_dir &) {}, "$D/o/out", "out 0640 " + B + "\n", ""},
        {"regular", [&](const vt::temp_dir &d) { old(d, "o/out", rw); }, "$D/o/out", "out 0660 " + B + "\n",
         "out 0660 old\n"},
        {"read-only regular", [&](const vt::temp_dir &d) { old(d, "o/out", r); }, "$D/o/out", "out 0444 old\n",
         "out 0444 old\n", cannot_write, cannot_write, PERMISSIONS},
        {"symlink to a file",
         [&](const vt::temp_dir &d) { old(d, "o/target", rw), fs::create_symlink("target", d.file("o/out")); },
         "$D/o/out", "out -> target\ntarget 0660 " + B + "\n", "out -> target\ntarget 0660 old\n"},
        {"symlink to a symlink in another folder",
         [&](const vt::temp_dir &d) {
             old(d, "o/target", rw), fs::create_directory(d.file("o/sub"));
             fs::create_symlink("../target", d.file("o/sub/mid")), fs::create_symlink("sub/mid", d.file("o/out"));
         },
         "$D/o/out", "out -> sub/mid\nsub/\nsub/mid -> ../target\ntarget 0660 " + B + "\n",
         "out -> sub/mid\nsub/\nsub/mid -> ../target\ntarget 0660 old\n"},
        {"chain of three symlinks",
         [&](const vt::temp_dir &d) {
             old(d, "o/target", rw), fs::create_symlink("target", d.file("o/c"));
             fs::create_symlink("c", d.file("o/b")), fs::create_symlink("b", d.file("o/out"));
         },
         "$D/o/out", "b -> c\nc -> target\nout -> b\ntarget 0660 " + B + "\n",
         "b -> c\nc -> target\nout -> b\ntarget 0660 old\n"},
        {"dangling symlink", [](const vt::temp_dir &d) { fs::create_symlink("target", d.file("o/out")); },
         "$D/o/out", "out -> target\ntarget 0640 " + B + "\n", "out -> target\n"},
        {"symlink to /dev/null", [](const vt::temp_dir &d) { fs::create_symlink("/dev/null", d.file("o/out")); },
         "$D/o/out", "out -> /dev/null\n", "out -> /dev/null\n"},
        {"FIFO", [](const vt::temp_dir &d) { mkfifo(d.file("o/out").c_str(), 0600); }, "$D/o/out",
         "out fifo\nread: " + B, "out fifo\n"},
        // Like /dev/stdout, reached through a link of its own, so that code
        // taking the descriptor's file for the output could replace or
        // remove test files only, never a name of the system's.
        {"symlink to /dev/fd/1, a file here",
         [](const vt::temp_dir &d) { fs::create_symlink("/dev/fd/1", d.file("o/out")); },
         "$D/o/out", "out -> /dev/fd/1\nstandard output: " + B, "out -> /dev/fd/1\n"},
        // Descriptor names are the descriptor itself: standard output opened
        // for appending keeps what it holds, after a failure untouched.
        {"/dev/stdout, appending", none, "/dev/stdout", appended, "standard output: old", "", "no closing", NOTHING,
         SOURCE, 0, "old"},
        {"/dev/fd/1, appending", none, "/dev/fd/1", appended, "standard output: old", "", "no closing", NOTHING,
         SOURCE, 0, "old"},
        {"/proc/self/fd/1, appending", none, "/proc/self/fd/1", appended, "standard output: old", "", "no closing",
         NOTHING, SOURCE, 0, "old"},
        {"symlink to /proc/self/fd/1, appending",
         [](const vt::temp_dir &d) { fs::create_symlink("/proc/self/fd/1", d.file("o/out")); }, "$D/o/out",
         "out -> /proc/self/fd/1\n" + appended, "out -> /proc/self/fd/1\nstandard output: old", "", "no closing",
         NOTHING, SOURCE, 0, "old"},
        {"/proc/self/task/T/fd/1, appending", none, "/proc/self/task/$$/fd/1", appended, "standard output: old", "",
         "no closing", NOTHING, SOURCE, 0, "old", ":"},
        {"/proc/P/task/T/fd/1, appending", none, "/proc/$$/task/$$/fd/1", appended, "standard output: old", "",
         "no closing", NOTHING, SOURCE, 0, "old", ":"},
        {"/dev/stderr", none, "/dev/stderr", "", "", B},
        // A closed descriptor is no file, even when the source takes its number.
        {"/dev/fd/3, closed", none, "/dev/fd/3", "", "", cannot("/dev/fd/3", "writing", EBADF),
         cannot("/dev/fd/3", "writing", EBADF), NOTHING, SOURCE, 0, "", "exec 3>&-"},
        {"/dev/stdout, closed", none, "/dev/stdout", "", "", cannot("/dev/stdout", "writing", EBADF),
         cannot("/dev/stdout", "writing", EBADF), NOTHING, SOURCE, 0, "", "exec >&-"},
        // Names under /dev/fd and /proc/self/fd that are no descriptor's.
        {"symlink to /dev/fd/, a folder", [](const vt::temp_dir &d) { fs::create_symlink("/dev/fd/", d.file("o/out")); },
         "$D/o/out", "out -> /dev/fd/\n", "out -> /dev/fd/\n", cannot("$D/o/out", "writing", EISDIR),
         cannot("$D/o/out", "writing", EISDIR)},
        // The file is not found when the blob is written; others than root
        // may not create files in that folder, which is found at once.
        {"symlink to /proc/self/fd/1x",
         [](const vt::temp_dir &d) { fs::create_symlink("/proc/self/fd/1x", d.file("o/out")); }, "$D/o/out",
         "out -> /proc/self/fd/1x\n", "out -> /proc/self/fd/1x\n",
         geteuid() == 0 ? whole("Could not write output: "s + std::strerror(ENOENT))
                        : cannot("$D/o/out", "writing", EACCES),
         geteuid() == 0 ? "no closing" : cannot("$D/o/out", "writing", EACCES)},
        // Another process's descriptor cannot be shared: its file is appended to.
        {"another process's descriptor", hold, "$H", "held 0660 old" + B + "\n", "held 0660 old\n"},
        // Other names under /proc lead to ordinary files, replaced as any.
        {"/proc/self/cwd", [&](const vt::temp_dir &d) { old(d, "o/out", rw); }, "/proc/self/cwd/out",
         "out 0660 " + B + "\n", "out 0660 old\n"},
        // The temporary file's name fits wherever the output's does.
        {"name of 255 bytes", none, "$D/o/" + long_name, long_name + " 0640 " + B + "\n", ""},
        {"folder name of a missing folder", none, "$D/o/new/", "", "", cannot("$D/o/new/", "writing", EISDIR),
         cannot("$D/o/new/", "writing", EISDIR)},
        {"regular in a read-only folder",
         [&](const vt::temp_dir &d) { old(d, "o/out", rw), fs::permissions(d.file("o"), fs::perms::owner_write,
                                                                        fs::perm_options::remove); },
         "$D/o/out", "out 0660 " + B + "\n", "out 0660 old\n", "", "no closing", PERMISSIONS},
        // Nor may another user's file in a sticky folder be replaced.
        {"another user's file in a sticky folder", sticky, "$D/o/out", "out 0666 " + B + "\n", "out 0666 old\n", "",
         "no closing", ANOTHER_USER},
        // Rewritten in place: the blob's room is reserved, and the file size
        // limit heeded, before the first old byte is overwritten.  The old
        // file is longer than the limit, which stops writes past it all the
        // same.
        {"regular in a read-only folder, blob above the file size limit",
         [&](const vt::temp_dir &d) {
             vt::write_file(d.file("o/out"), std::string(6000, 'o'));
             fs::permissions(d.file("o/out"), rw);
             fs::permissions(d.file("o"), fs::perms::owner_write, fs::perm_options::remove);
         },
         "$D/o/out", "out 0660 " + std::string(6000, 'o') + "\n", "out 0660 " + std::string(6000, 'o') + "\n",
         whole("Could not write output: "s + std::strerror(EFBIG)), "no closing", PERMISSIONS, block(pattern(5000)),
         4096},
        {"new file in a read-only folder",
         [](const vt::temp_dir &d) { fs::permissions(d.file("o"), fs::perms::owner_write, fs::perm_options::remove); },
         "$D/o/out", "", "", cannot_write, cannot_write, PERMISSIONS},
        // Writing the temporary file fails: it goes, the old file stays.
        {"regular, blob above the file size limit", [&](const vt::temp_dir &d) { old(d, "o/out", rw); },
         "$D/o/out", "out 0660 old\n", "out 0660 old\n",
         whole("Could not write output: "s + std::strerror(EFBIG)), "no closing", NOTHING,
         block(pattern(5000)), 4096},
    };
}

// Root may write read-only files and folders: as root, the rows that need
// permissions run the compiler as nobody, in a folder given to nobody.
constexpr uid_t NOBODY = 65534;

// What a row gave to another user stays that user's.
void give_to_nobody(const fs::path &folder)
{
    ASSERT_EQ(lchown(folder.c_str(), NOBODY, NOBODY), 0);
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(folder)) {
        struct stat info;
        if (lstat(e.path().c_str(), &info) == 0 && info.st_uid != OTHER_USER) {
            ASSERT_EQ(lchown(e.path().c_str(), NOBODY, NOBODY), 0) << e.path();
        }
    }
}

// The compiler as "vantrel-comp -o NAME SOURCE".  A shell that becomes the
// compiler (exec -a keeps the invocation name the messages begin with)
// runs shell_first, and expands "$$" in the name.  As nobody, SIGXFSZ is at
// its default, as a shell leaves it, whatever this test ignores itself.
vt::run_result run_compiler(const std::string &name, const std::string &source, const std::string &shell_first,
                            const std::string &stdout_path, bool as_nobody, bool append)
{
    if (!as_nobody && shell_first.empty())
        return vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", name, source}, "", stdout_path, append);
    const std::string script = (shell_first.empty() ? "" : shell_first + "; ") + "exec -a vantrel-comp \"$0\" -o " +
                               (shell_first.empty() ? "\"$1\"" : name) + " \"$2\"";
    std::vector<std::string> words = {"bash", "-c", script, VANTREL_COMP_PATH, name, source};
    if (!as_nobody)
        return vt::run_program("/bin/bash", words, "", stdout_path, append);
    const std::vector<std::string> user = {"setpriv",   "--reuid=65534", "--regid=65534", "--clear-groups",
                                           "/usr/bin/env", "--default-signal=XFSZ"};
    words.insert(words.begin(), user.begin(), user.end());
    return vt::run_program("/usr/bin/setpriv", words, "", stdout_path, append);
}

// Runs the rows that need_permissions selects, good and failing source each.
// A row that needs another user runs only as root, who can make one.
void check_outputs(bool need_permissions)
{
    const bool as_nobody = need_permissions && geteuid() == 0;
    const mode_t old_mask = umask(027);
    const fs::path old_folder = fs::current_path();
    for (const output_row &row : output_rows()) {
        if ((row.need != NOTHING) != need_permissions || (row.need == ANOTHER_USER && !as_nobody))
            continue;
        // A shell of this machine that becomes the compiler cannot run under
        // a cross build's emulator, whose /proc is not the guest's anyway.
        if (!row.shell_first.empty() && vt::runs_emulated())
            continue;
        for (bool good : {true, false}) {
            SCOPED_TRACE(row.kind + (good ? ", good source"s : ", failing source"s));
            vt::temp_dir dir;
            vt::write_file(dir.file("unit.txt"), good ? row.source : "{\n");
            fs::create_directory(dir.file("o"));
            row.make(dir);
            // A FIFO's reader is there before the run, so that opening it for
            // writing does not wait.
            const std::string out_name = dir.file("o/out");
            int reader = fs::is_fifo(out_name) ? open(out_name.c_str(), O_RDONLY | O_NONBLOCK) : -1;
            // Standard output is a file with a second name, which sees the
            // bytes only if they go into that very file.
            vt::write_file(dir.file("stdout"), row.stdout_before);
            fs::create_hard_link(dir.file("stdout"), dir.file("stdout-link"));
            rlimit limit{}, saved{};
            if (row.file_size_limit != 0) {
                getrlimit(RLIMIT_FSIZE, &saved);
                limit = saved, limit.rlim_cur = row.file_size_limit;
                signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (as_nobody)
                give_to_nobody(dir.path());
            std::string name = expand(row.name, dir);
            if (name == "$H")
                name = "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(held_file);
            fs::current_path(dir.file("o"));
            vt::run_result r = run_compiler(name, dir.file("unit.txt"), row.shell_first, dir.file("stdout"), as_nobody,
                                            !row.stdout_before.empty());
            fs::current_path(old_folder);
            if (held_file >= 0)
                close(held_file), held_file = -1;
            if (row.file_size_limit != 0)
                setrlimit(RLIMIT_FSIZE, &saved), signal(SIGXFSZ, SIG_DFL);
            fs::permissions(dir.file("o"), fs::perms::owner_all, fs::perm_options::add);
            std::string seen = vt::describe_folder(dir.file("o"));
            if (reader >= 0) {
                char bytes[65536];
                ssize_t got = read(reader, bytes, sizeof bytes);
                if (got > 0)
                    seen += "read: " + std::string(bytes, static_cast<size_t>(got));
                close(reader);
            }
            if (std::string out = vt::read_file(dir.file("stdout-link")); !out.empty())
                seen += "standard output: " + out;
            std::string err = good ? row.good_err : row.failing_err;
            if (err == "no closing")
                err = whole("No closing \"}\" command was found");
            EXPECT_EQ(r.status, err.starts_with("vantrel-comp: ") ? 1 : 0); // a blob on standard error is no message
            EXPECT_EQ(r.err, expand(err, dir));
            EXPECT_EQ(seen, good ? row.good : row.failing);
        }
    }
    umask(old_mask);
}

TEST(Comp, OutputReplacement) { check_outputs(false); }

TEST(Comp, OutputPermissions)
{
    if (geteuid() == 0 && (vt::runs_emulated() || access("/usr/bin/setpriv", X_OK) != 0))
        GTEST_SKIP() << "running as root, which may write read-only files and folders, with no setpriv to run "
                        "the compiler as nobody (or under an emulator); run as another user";
    check_outputs(true);
}
#else
// Symbolic links, FIFOs, file modes and file size limits are POSIX's; the
// replacement itself is checked on Windows by the file table above (an old
// output kept after a failed run, replaced after a good one).
TEST(Comp, OutputReplacement) { GTEST_SKIP() << "needs symbolic links, FIFOs, file modes and size limits"; }
#endif

TEST(Comp, InvocationNameAsGiven)
{
    vt::temp_dir dir;
    vt::write_file(dir.file("unit.txt"), "}\n");
    vt::run_result r = vt::run_program(VANTREL_COMP_PATH, {"./bin/my comp", dir.file("unit.txt")});
    EXPECT_EQ(r.err, "./bin/my comp: " + dir.file("unit.txt") + ":1: No matching start tag\n");
    r = vt::run_program(VANTREL_COMP_PATH, {"./bin/my comp"});
    EXPECT_EQ(r.out, usage_text("./bin/my comp"));
}

// --schema: one schema of every declaration form; each row a source body
// (between "{" and "}"), its status, its message (line numbers from 2) and
// the blob.  An old output stays as it was on every failure.
const std::string SCHEMA = "type  CAL   1\nconst FIVE  5\nconst BIG   0xFFFF_FFFF_FFFF_FFFF\n"
                           "str   name  0x10  max 4\nstr   note  0x11  optional\nint   level 0x20  10..20\n"
                           "int   temp  0x21  -40..85  optional\ndata  cal   0x30  CAL  size 2..4\n"
                           "data  raw   0x31  7  optional\nint   big   0x40  optional\nstr   msg   0x100..0x1FF  table\n";
const std::string REQUIRED = "str name \"ab\"\nint level 10\ndata cal CAL <0102>\n";
blob required() { return std::move(blob().str(0x10, "ab").num(0x20, 10).data(0x30, 1, "\x01\x02")); }

TEST(Comp, SchemaChecks)
{
    struct row {
        std::string body;
        std::string err;
        std::string out = "";
        std::vector<std::string> options = {"--schema", "$D/unit.schema"};
    };
    const std::vector<row> rows = {
        {REQUIRED, "", required().end()},
        {"str 0x10 \"abcd\"\nint 0x20 20\ndata 0x30 1 <01020304>\nint temp 0xFFFF_FFFF_FFFF_FFD8\nint big BIG\n"
         "data raw 7 <>\nstr 0x100 \"a\"\nstr 0x1FF \"b\"\nstr note \"n\"\n",
         "", blob().str(0x10, "abcd").num(0x20, 20).data(0x30, 1, "\x01\x02\x03\x04").num(0x21, uint64_t(-40))
                 .num(0x40, ~uint64_t{0}).data(0x31, 7, "").str(0x100, "a").str(0x1FF, "b").str(0x11, "n").end()},
        {"int levl 10\n", at(2, "levl: name not in the schema")},
        {"int level FIVE\n", at(2, "level: value 5 is out of 10..20")},
        {"int level 21\n", at(2, "level: value 21 is out of 10..20")},
        {"int temp 86\n", at(2, "temp: value 86 is out of -40..85")},
        {"int 0x22 1\n", at(2, "id 0x22 is not in the schema")},
        {"str level \"x\"\n", at(2, "level: a string tag where the schema declares an integer")},
        {"data cal 2 <0102>\n", at(2, "cal: type 0x2 is not CAL (0x1)")},
        {"data raw 8 <>\n", at(2, "raw: type 0x8 is not 0x7")},
        {"str name \"abcde\"\n", at(2, "name: string of 5 bytes is longer than max 4")},
        {"data cal CAL <01>\n", at(2, "cal: data block of 1 bytes is out of size 2..4")},
        {"int level 10\ndata cal CAL begin\n<0102 0304>\n<05>\nend\n", at(3, "cal: data block of 5 bytes is out of size 2..4")},
        {"int level 10\nint 0x20 11\n", at(3, "level: second tag with id 0x20")},
        {"str 0x100 \"a\"\nstr 0x100 \"b\"\n", at(3, "msg: second tag with id 0x100")},
        {"str name \"ab\"\nint level 10\n", at(4, "cal: missing")},
        {"str msg \"a\"\n", at(2, "msg: a table, whose ids are written as numbers")},
        {"int CAL 1\n", at(2, "CAL: declared as type, not as a tag")},
        {"int FIVE 1\n", at(2, "FIVE: declared as const, not as a tag")},
        {"data cal name <0102>\n", at(2, "name: declared as str, not as type")},
        // The schema's checks come before the blob's own limits.
        {"str name \"abcde\"\n", at(2, "name: string of 5 bytes is longer than max 4"), "",
         {"--schema", "$D/unit.schema", "-s", "32"}},
        // Without --schema, names are what they were: malformed numbers.
        {"int level 10\n", at(2, FMT), "", {}},
    };
    for (const row &r : rows) {
        vt::temp_dir dir;
        SCOPED_TRACE(r.body);
        vt::write_file(dir.file("unit.schema"), SCHEMA);
        vt::write_file(dir.file("unit.txt"), "{\n" + r.body + "}\n");
        vt::write_file(dir.file("unit.dat"), "old");
        std::vector<std::string> args = r.options;
        args.insert(args.end(), {"-o", "$D/unit.dat", "$S"});
        vt::run_result got = comp(dir, args);
        EXPECT_EQ(got.err, expand(r.err, dir));
        EXPECT_EQ(got.status, r.err.empty() ? 0 : 1);
        EXPECT_EQ(vt::read_file(dir.file("unit.dat")), r.err.empty() ? r.out : "old");
    }
    // -a, -s and --c-array give with names and a schema what they give with
    // numbers and none.
    const std::string numbers = "{\nstr 0x10 \"ab\"\nint 0x20 10\ndata 0x30 1 <0102>\n}\n";
    for (const std::vector<std::string> &options :
         std::vector<std::vector<std::string>>{{"-a", "64"}, {"-s", "128"}, {"--c-array", "unit", "-a", "16"}}) {
        vt::temp_dir dir;
        SCOPED_TRACE(::testing::PrintToString(options));
        vt::write_file(dir.file("unit.schema"), SCHEMA);
        vt::write_file(dir.file("unit.txt"), "{\n" + REQUIRED + "}\n");
        vt::write_file(dir.file("numbers.txt"), numbers);
        std::vector<std::string> named = options, plain = options;
        named.insert(named.end(), {"--schema", "$D/unit.schema", "-o", "$D/named", "$S"});
        plain.insert(plain.end(), {"-o", "$D/plain", "$D/numbers.txt"});
        EXPECT_EQ(comp(dir, named).status, 0);
        EXPECT_EQ(comp(dir, plain).status, 0);
        EXPECT_EQ(vt::read_file(dir.file("named")), vt::read_file(dir.file("plain")));
    }
}

// A faulty schema, or none to read, is one message with its line and status
// 1, before the source is opened (here it does not exist) or an output is
// touched.
TEST(Comp, SchemaFaults)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"int a 1\nint b 1\n", "$D/unit.schema:2: id declared twice or in overlapping ranges '1'"},
        {"# one\n\nstr x 1 mx 3\n", "$D/unit.schema:3: unknown constraint 'mx'"},
        {"int int 1\n", "$D/unit.schema:1: name the generated C header cannot define 'int': a keyword of C or C++"},
        {"", "cannot read schema '$D/none.schema': " + std::string(std::strerror(ENOENT))},
    };
    for (const auto &[text, message] : rows) {
        vt::temp_dir dir;
        SCOPED_TRACE(message);
        vt::write_file(dir.file("unit.schema"), text);
        vt::write_file(dir.file("unit.dat"), "old");
        const std::string schema = text.empty() ? "$D/none.schema" : "$D/unit.schema";
        for (std::vector<std::string> args : {std::vector<std::string>{"-o", "$D/unit.dat", "$D/absent.txt"},
                                              {"--c-header", "unit", "-o", "$D/unit.dat"}}) {
            args.insert(args.begin(), {"--schema", schema});
            vt::run_result r = comp(dir, args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, expand(prog(message), dir));
            EXPECT_EQ(vt::read_file(dir.file("unit.dat")), "old");
        }
    }
}

// --c-header: the header of the schema above names every number of it;
// a C text holds each against its value and type, and the loader's struct
// members against theirs, compiled under every standard with the strict
// warnings.  Its misuses and the names it cannot
// define are one message each, with no output.
TEST(Comp, CHeader)
{
    vt::temp_dir dir;
    vt::write_file(dir.file("unit.schema"), SCHEMA + "const C 3\n");
    vt::write_file(dir.file("unit.dat"), "old");
    const std::vector<std::pair<std::vector<std::string>, std::string>> misuses = {
        {{"--c-header", "unit", "-o", "$D/unit.dat"}, "--c-header needs --schema FILE"},
        {{"--schema", "$D/unit.schema", "--c-header", "unit"}, "--c-header needs -o FILE"},
        {{"--schema", "$D/unit.schema", "--c-header", "unit", "-o", "$D/unit.dat", "$S"},
         "--c-header writes from the schema alone: no source operand"},
        {{"--c-array", "a", "--schema", "$D/unit.schema", "--c-header", "unit", "-o", "$D/unit.dat"},
         "--c-header and --c-array exclude each other"},
        {{"--c-header", "int", "--schema", "$D/unit.schema", "-o", "$D/unit.dat"},
         "--c-header int: a keyword of C or C++"},
        {{"--schema", "$D/unit.schema", "--c-header", "INT8", "-o", "$D/unit.dat"},
         "--c-header INT8: INT8_CONST_C: a name that <stddef.h> or <stdint.h> may define"},
        {{"--schema", "$D/unit.schema", "--c-header", "u", "-o", "$D/unit.schema"},
         "output file '$D/unit.schema' is the same as the schema file"},
        {{"--schema", "$D/twice.schema", "--c-header", "unit", "-o", "$D/unit.dat"},
         "--c-header unit: struct unit: has_x: a member of the loader's struct twice"},
        {{"--schema", "$D/length.schema", "--c-header", "unit", "-o", "$D/unit.dat"},
         "--c-header unit: struct unit: x_length: a member of the loader's struct twice"},
    };
    vt::write_file(dir.file("twice.schema"), "str x 1 optional\nint has_x 2\n");
    vt::write_file(dir.file("length.schema"), "int x_length 2\nstr x 1\n");
    for (const auto &[args, message] : misuses) {
        vt::run_result r = comp(dir, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, expand(prog(message), dir));
        EXPECT_EQ(vt::read_file(dir.file("unit.dat")), "old");
    }
    vt::run_result r = comp(dir, {"--schema", "$D/unit.schema", "--c-header", "unit", "-o", "$D/unit.h"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string header = vt::read_file(dir.file("unit.h"));
    EXPECT_EQ(header.find("#ifndef unit_SCHEMA_H\n#define unit_SCHEMA_H\n"), header.find("#ifndef")) << header;
    // Each macro's value, and its type's width and sign.
    const std::vector<std::pair<std::string, std::string>> values = {
        {"unit_TYPE_CAL", "1u"}, {"unit_CONST_FIVE", "5u"}, {"unit_CONST_BIG", "18446744073709551615u"},
        {"unit_ID_name", "0x10u"}, {"unit_MAX_name", "4u"}, {"unit_ID_note", "0x11u"}, {"unit_ID_level", "0x20u"},
        {"unit_MIN_level", "10u"}, {"unit_MAX_level", "20u"}, {"unit_ID_temp", "0x21u"}, {"unit_MIN_temp", "-40"},
        {"unit_MAX_temp", "85"}, {"unit_ID_cal", "0x30u"}, {"unit_TYPE_cal", "1u"}, {"unit_MIN_cal", "2u"},
        {"unit_MAX_cal", "4u"}, {"unit_ID_raw", "0x31u"}, {"unit_TYPE_raw", "7u"}, {"unit_ID_big", "0x40u"},
        {"unit_ID_msg", "0x100u"}, {"unit_LAST_msg", "0x1FFu"}, {"unit_DECL_FIVE", "1u"}, {"unit_DECL_msg", "10u"},
        {"unit_CONST_C", "3u"}, {"unit_DECLS", "12u"}};
    const std::vector<std::pair<std::string, std::string>> types = {
        {"unit_ID_name", "uint32_t"}, {"unit_TYPE_cal", "uint32_t"}, {"unit_CONST_BIG", "uint64_t"},
        {"unit_MIN_temp", "int64_t"}, {"unit_MAX_level", "uint64_t"}, {"unit_MAX_cal", "uint32_t"},
        {"unit_DECLS", "uint32_t"}};
    std::string text = "#include \"unit.h\"\n#include \"unit.h\"\n";
    for (const auto &[name, value] : values)
        text += "typedef char check_" + name + "[" + name + " == " + value + " ? 1 : -1];\n";
    for (const auto &[name, type] : types)
        text += "typedef char size_" + name + "[sizeof(" + name + ") == sizeof(" + type + ") && (" + name +
                " * 0 - 1 > 0) == ((" + type + ")-1 > 0) ? 1 : -1];\n";
    text += "uint32_t first(void);\nuint32_t first(void) { return unit_ID_name + unit_TYPE_CAL; }\n";
    // The loader: each member's type, and the load and a table's look-up.
    const std::vector<std::pair<std::string, std::string>> members = {
        {"name", "const char *"}, {"name_length", "uint32_t"}, {"has_note", "int"}, {"level", "uint64_t"},
        {"temp", "int64_t"}, {"has_temp", "int"}, {"cal", "const void *"}, {"cal_size", "uint32_t"},
        {"raw", "const void *"}, {"has_raw", "int"}, {"big", "uint64_t"}};
    text += "static struct unit u;\n";
    for (const auto &[name, type] : members)
        text += "static " + type + " *member_" + name + " = &u." + name + ";\n";
    text += "int load(const void *b, size_t n);\nint load(const void *b, size_t n) {\n"
            "    const char *t; uint32_t length, at; (void)member_name; (void)member_name_length; (void)member_has_note;\n"
            "    (void)member_level; (void)member_temp; (void)member_has_temp; (void)member_cal; (void)member_cal_size;\n"
            "    (void)member_raw; (void)member_has_raw; (void)member_big;\n"
            "    return unit_load(b, n, &u, &at) + unit_get_msg(b, n, 0x100, &t, &length);\n}\n";
    vt::write_file(dir.file("use.c"), text);
    compile_strictly(dir.file("use.c"), {"-std=c99", "-std=c11", "-std=c17", "-std=c2x", "-std=c++17", "-std=c++20"},
                     {"-Wconversion", "-Wsign-conversion", "-I" + dir.path().string(), "-I" VANTREL_LIB_DIR});
}

} // namespace

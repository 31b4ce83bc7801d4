// vantrel-comp run as a user runs it: each case is a source (or a command
// line), the exit status, standard error byte for byte, and the output bytes.
#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "vantrel.h"

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
};

void check(const std::vector<source_case> &cases)
{
    for (const source_case &c : cases) {
        SCOPED_TRACE(c.source.substr(0, 100));
        vt::temp_dir dir;
        vt::write_file(dir.file("unit.txt"), c.source);
        vt::run_result r = comp(dir, {"-o", "$D/unit.dat", "$S"});
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
         {"<1_2>", "", HEX_FMT}, {"<12 3>", "", HEX_FMT}, {"<zz>", "", HEX_FMT}, {"<12", "", open},
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

const std::string USAGE = "Usage: vantrel-comp [OPT]... FILE\nVantrel data compiler.\n\n"
                          "  -o FILE    Set output file name\n  --help     Show this screen\n"
                          "  --version  Show version number\n";

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
    const std::string version = "Vantrel data compiler v0.2.14\nlibvantrel v0.2.14\n";
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
        // A failed run leaves no output file, not even an old one.
        {broken, {"$S"}, 1, "", no_closing, {{"unit.txt.dat", ABSENT}}},
        {old_output, {"-o", "$D/out.dat", "$S"}, 1, "", no_closing, {{"out.dat", ABSENT}}},
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

TEST(Comp, InvocationNameAsGiven)
{
    vt::temp_dir dir;
    vt::write_file(dir.file("unit.txt"), "}\n");
    vt::run_result r = vt::run_program(VANTREL_COMP_PATH, {"./bin/my comp", dir.file("unit.txt")});
    EXPECT_EQ(r.err, "./bin/my comp: " + dir.file("unit.txt") + ":1: No matching start tag\n");
    r = vt::run_program(VANTREL_COMP_PATH, {"./bin/my comp"});
    EXPECT_EQ(r.out, "Usage: ./bin/my comp" + USAGE.substr(19));
}

} // namespace

// --json: the exact line for each kind of tag, text and its escapes, nested
// blocks, faults, files without a blob, several files.  (That every line
// parses and agrees with the listing, over many blobs, is checked by
// json_agreement.py.)
#include <bit>
#include <cstring>

#include "dump_fixture.h"
#include "terminal_text.h"
#include "vantrel.h"

namespace {

using namespace dt;
using namespace std::string_literals;

const std::string ORDER = std::endian::native == std::endian::little ? "little" : "big";

std::string head(const std::string &name, uint32_t length)
{
    return "{\"file\": \"" + name + "\", \"byte_order\": \"" + ORDER + "\", \"length\": " + std::to_string(length) +
           ", \"tags\": [";
}

struct json_case {
    const char *name;
    std::string blob;
    std::string out;
    std::string err;
    int status;
    std::string schema = ""; // --schema's text, when given
};

class Json : public dump_test {};

TEST_F(Json, OneLinePerFile)
{
    const std::string AT = "vantrel-dump: 'j.dat'@0x";
    const json_case cases[] = {
        {"worked example", library_blob(8, {str(1, "abc"), integer(2, 5)}),
         head("j.dat", 72) +
             "{\"tag\": \"string\", \"offset\": 16, \"id\": 1, \"size\": 3, \"text\": \"abc\"}, "
             "{\"tag\": \"integer\", \"offset\": 40, \"id\": 2, \"value\": \"5\", \"hex\": \"0x5\"}]}\n",
         "", 0},
        {"text, escapes, bytes that are not UTF-8, data and a 64-bit value",
         library_blob(8, {str(1, "caf\xC3\xA9"), str(2, "\xFF\x01"), str(3, "q\"\\\n\x1B\x7F\xC2\x9B"),
                          data(4, 7, "\xDE\xAD"), integer(0xFFFFFFFF, ~uint64_t{0})}),
         head("j.dat", 152) +
             "{\"tag\": \"string\", \"offset\": 16, \"id\": 1, \"size\": 5, \"text\": \"caf\xC3\xA9\"}, "
             "{\"tag\": \"string\", \"offset\": 40, \"id\": 2, \"size\": 2, \"hex\": \"FF01\"}, "
             "{\"tag\": \"string\", \"offset\": 64, \"id\": 3, \"size\": 8, "
             "\"text\": \"q\\\"\\\\\\n\\u001b\\u007f\\u009b\"}, "
             "{\"tag\": \"data_block\", \"offset\": 96, \"id\": 4, \"type\": 7, \"size\": 2, \"hex\": \"DEAD\"}, "
             "{\"tag\": \"integer\", \"offset\": 120, \"id\": 4294967295, \"value\": \"18446744073709551615\", "
             "\"hex\": \"0xFFFFFFFFFFFFFFFF\"}]}\n",
         "", 0},
        // Text is escaped to the edges of the C1 range; UTF-8 that is
        // overlong, a surrogate, above U+10FFFF or cut short is hex.
        {"escapes and the edges of UTF-8",
         library_blob(8, {str(1, "\r\t"), str(2, "\xC2\x9F\xC2\xA0"), str(3, "\xC0\x80"), str(4, "\xED\xA0\x80"),
                          str(5, "\xF4\x90\x80\x80"), str(6, "a\xC3")}),
         head("j.dat", 168) +
             "{\"tag\": \"string\", \"offset\": 16, \"id\": 1, \"size\": 2, \"text\": \"\\r\\t\"}, "
             "{\"tag\": \"string\", \"offset\": 40, \"id\": 2, \"size\": 4, \"text\": \"\\u009f\xC2\xA0\"}, "
             "{\"tag\": \"string\", \"offset\": 64, \"id\": 3, \"size\": 2, \"hex\": \"C080\"}, "
             "{\"tag\": \"string\", \"offset\": 88, \"id\": 4, \"size\": 3, \"hex\": \"EDA080\"}, "
             "{\"tag\": \"string\", \"offset\": 112, \"id\": 5, \"size\": 4, \"hex\": \"F4908080\"}, "
             "{\"tag\": \"string\", \"offset\": 136, \"id\": 6, \"size\": 2, \"hex\": \"61C3\"}]}\n",
         "", 0},
        {"nested block", serialize(start_tag(16, 72) + start_tag(16, 48) + integer_tag(24, 5, 2) + end_tag() + end_tag(), false),
         head("j.dat", 72) +
             "{\"tag\": \"start\", \"offset\": 16, \"length\": 48, \"tags\": ["
             "{\"tag\": \"integer\", \"offset\": 32, \"id\": 2, \"value\": \"5\", \"hex\": \"0x5\"}]}]}\n",
         "", 0},
        {"fault inside a nested block",
         serialize(start_tag(16, 72) + start_tag(16, 48) + integer_tag(24, 5, 2) + header(0x7A600007, 8) + end_tag(),
                   false),
         head("j.dat", 72) +
             "{\"tag\": \"start\", \"offset\": 16, \"length\": 48, \"tags\": ["
             "{\"tag\": \"integer\", \"offset\": 32, \"id\": 2, \"value\": \"5\", \"hex\": \"0x5\"}]}], "
             "\"error\": {\"offset\": 64, \"reason\": \"unknown tag: 0x7A600007\"}}\n",
         AT + "40: unknown tag: 0x7A600007\n", 1},
        // The chunk the file ended in is not written, as in the listing.
        {"file ending inside a data block", serialize(start_tag(16, 160) + data_tag(136, 1, 1, 100, "\x01\x02"), false),
         head("j.dat", 160) +
             "{\"tag\": \"data_block\", \"offset\": 16, \"id\": 1, \"type\": 1, \"size\": 100, \"hex\": \"\"}], "
             "\"error\": {\"offset\": 38, \"reason\": \"unexpected end-of-file\"}}\n",
         AT + "26: unexpected end-of-file\n", 1},
        {"file ending inside a string", serialize(start_tag(16, 160) + string_tag(136, 1, 100, "ab"), false),
         head("j.dat", 160) + "], \"error\": {\"offset\": 34, \"reason\": \"unexpected end-of-file\"}}\n",
         AT + "22: unexpected end-of-file\n", 1},
        {"file of 10 bytes", std::string(10, 'x'),
         "{\"file\": \"j.dat\", \"error\": {\"offset\": 0, \"reason\": \"unexpected end-of-file\"}}\n",
         "vantrel-dump: 'j.dat': unexpected end-of-file\n", 1},
        {"names of a schema", library_blob(8, {str(1, "m"), data(3, 1, "\x01"), integer(12, 5), data(4, 9, "")}),
         head("j.dat", 120) +
             "{\"tag\": \"string\", \"offset\": 16, \"id\": 1, \"name\": \"model\", \"size\": 1, \"text\": \"m\"}, "
             "{\"tag\": \"data_block\", \"offset\": 40, \"id\": 3, \"name\": \"cal\", \"type\": 1, "
             "\"type_name\": \"CAL\", \"size\": 1, \"hex\": \"01\"}, "
             "{\"tag\": \"integer\", \"offset\": 64, \"id\": 12, \"name\": \"message\", \"value\": \"5\", "
             "\"hex\": \"0x5\"}, "
             "{\"tag\": \"data_block\", \"offset\": 88, \"id\": 4, \"name\": \"raw\", \"type\": 9, \"size\": 0, "
             "\"hex\": \"\"}]}\n",
         "", 0, "type CAL 1\nstr model 1\ndata cal 3 CAL\nint message 10..20 table\ndata raw 4 9 optional\n"},
        {"violations of a schema, every one", library_blob(8, {integer(0x210, 3), str(1, "too long")}),
         head("j.dat", 80) +
             "{\"tag\": \"integer\", \"offset\": 16, \"id\": 528, \"value\": \"3\", \"hex\": \"0x3\"}, "
             "{\"tag\": \"string\", \"offset\": 40, \"id\": 1, \"name\": \"model\", \"size\": 8, "
             "\"text\": \"too long\"}], "
             "\"error\": {\"offset\": 16, \"reason\": \"id 0x210 is not in the schema\"}, \"violations\": ["
             "{\"offset\": 16, \"reason\": \"id 0x210 is not in the schema\"}, "
             "{\"offset\": 40, \"reason\": \"string of 8 bytes is longer than max 4\", \"name\": \"model\"}, "
             "{\"offset\": 72, \"reason\": \"missing\", \"name\": \"period\"}]}\n",
         AT + "10: id 0x210 is not in the schema\n" + AT + "28: model: string of 8 bytes is longer than max 4\n" +
             AT + "48: period: missing\n",
         1, "str model 1 max 4\nint period 2 10..20\n"},
        {"a blob not well formed: the format's fault alone",
         serialize(start_tag(16, 160) + integer_tag(24, 3, 0x210) + string_tag(112, 1, 90, "ab"), false),
         head("j.dat", 160) +
             "{\"tag\": \"integer\", \"offset\": 16, \"id\": 528, \"value\": \"3\", \"hex\": \"0x3\"}], "
             "\"error\": {\"offset\": 58, \"reason\": \"unexpected end-of-file\"}}\n",
         AT + "3A: unexpected end-of-file\n", 1, "str model 1 max 4\n"},
    };
    for (const json_case &c : cases) {
        SCOPED_TRACE(c.name);
        put("j.dat", c.blob);
        put("j.schema", c.schema);
        vt::run_result r = c.schema.empty() ? dump({"--json", "j.dat"}) : dump({"--json", "--schema", "j.schema", "j.dat"});
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

// The text --json gives a string, by the simplest rule: hex unless every
// character is whole UTF-8, else each character escaped or as it is.
std::string reference_member(const std::string &s)
{
    const auto *b = reinterpret_cast<const uint8_t *>(s.data());
    std::string hex = "\"hex\": \"", text = "\"text\": \"";
    char pair[8];
    bool utf8 = true;
    for (size_t i = 0; i < s.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02X", b[i]);
        hex += pair;
    }
    for (size_t i = 0, length; i < s.size() && utf8; i += length) {
        length = utf8_length(b + i, s.size() - i);
        utf8 = length != 0;
        const char *named = b[i] == '"' ? "\\\"" : b[i] == '\\' ? "\\\\" : b[i] == '\n' ? "\\n"
                          : b[i] == '\r' ? "\\r" : b[i] == '\t' ? "\\t" : nullptr;
        unsigned c1 = length == 2 && b[i] == 0xC2 && b[i + 1] <= 0x9F ? b[i + 1] : 0;
        if (named != nullptr)
            text += named;
        else if (b[i] < 0x20 || b[i] == 0x7F || c1 != 0)
            text += (std::snprintf(pair, sizeof pair, "\\u%04x", c1 != 0 ? c1 : b[i]), pair);
        else
            text.append(s, i, length);
    }
    return (utf8 ? text : hex) + "\"}";
}

// Every character that is not plain, and bytes that are no character, at
// every place in a run of plain bytes (the runs go past the 16-byte blocks
// the text is checked in), and texts longer than the output buffer holds.
TEST_F(Json, TextAgainstTheSimplestRule)
{
    const std::string odd[] = {"\"", "\\", "\n", "\r", "\t", "\x01"s, "\x1F", "\x7F", "\0"s, "\xC2\x80", "\xC2\x9F",
                               "\xC2\xA0", "\xC3\xA9", "\xDF\xBF", "\xE0\xA0\x80", "\xE2\x82\xAC", "\xED\x9F\xBF",
                               "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xC0\x80", "\xC1\xBF",
                               "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80",
                               "\x80", "\xBF", "\xC3", "\xE2\x82", "\xF0\x90\x80", "\xFF"};
    std::vector<std::string> texts;
    for (const std::string &o : odd)
        for (size_t before = 0; before < 52; ++before)
            for (size_t after : {0, 1, 3, 17})
                texts.push_back(std::string(before, 'a') + o + std::string(after, 'z'));
    // Blocks holding several characters that are not plain, with a C1
    // control among them or without, and a byte that is no character after.
    std::string dense, no_c1;
    for (const std::string &o : odd) {
        if (utf8_length(reinterpret_cast<const uint8_t *>(o.data()), o.size()) != o.size())
            continue;
        dense += o;
        no_c1 += o.rfind("\xC2\x80", 0) == 0 || o.rfind("\xC2\x9F", 0) == 0 ? "" : o;
    }
    for (size_t before = 0; before < 16; ++before)
        for (const std::string &t : {no_c1 + no_c1, dense, no_c1 + "\xFF"})
            texts.push_back(std::string(before, 'a') + t);
    for (const std::string &o : {"\"\xC3\xA9"s, "\xFF"s, "\xC2\x85"s})
        for (size_t at : {0, 12000, 23999})
            texts.push_back(std::string(24000, 'x').insert(at, o));
    std::vector<tag_spec> tags;
    std::string expected;
    uint32_t offset = 16;
    for (size_t i = 0; i < texts.size(); ++i) {
        tags.push_back(str(static_cast<uint32_t>(i), texts[i]));
        expected += (i == 0 ? "" : ", ") + "{\"tag\": \"string\", \"offset\": "s + std::to_string(offset) +
                    ", \"id\": " + std::to_string(i) + ", \"size\": " + std::to_string(texts[i].size()) + ", " +
                    reference_member(texts[i]);
        offset += static_cast<uint32_t>((16 + texts[i].size() + 1 + 7) / 8 * 8);
    }
    put("t.dat", library_blob(8, tags));
    vt::run_result r = dump({"--json", "t.dat"});
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out == head("t.dat", offset + 8) + expected + "]}\n") << "the texts differ";
}

TEST_F(Json, SeveralFilesAndNames)
{
    VT_SKIP_ON_WINDOWS("a file name with a quote and a byte that is no UTF-8 cannot be made on Windows");
    std::string blob = library_blob(8, {integer(2, 5)});
    std::string tags = "{\"tag\": \"integer\", \"offset\": 16, \"id\": 2, \"value\": \"5\", \"hex\": \"0x5\"}]}\n";
    put("a.dat", blob);
    put("q\"\xFF.dat", other_order(blob));
    vt::run_result r = dump({"--json", "a.dat", "missing.dat", "q\"\xFF.dat"});
    std::string other = ORDER == "little" ? "big" : "little";
    EXPECT_EQ(r.out, head("a.dat", 48) + tags +
                         "{\"file\": \"missing.dat\", \"error\": {\"reason\": \"could not open: " +
                         std::strerror(ENOENT) + "\"}}\n" +
                         "{\"file\": \"q\\\"\\ufffd.dat\", \"byte_order\": \"" + other +
                         "\", \"length\": 48, \"tags\": [" + tags);
    EXPECT_EQ(r.err, "vantrel-dump: could not open 'missing.dat': "s + std::strerror(ENOENT) + "\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Json, NotWithSource)
{
    put("a.dat", library_blob(8, {}));
    for (auto args : {std::vector<std::string>{"--json", "--source", "a.dat"}, {"--source", "--json", "a.dat"}}) {
        vt::run_result r = dump(args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "vantrel-dump: --source and --json cannot be used together\n");
        EXPECT_EQ(r.status, 1);
    }
}

} // namespace

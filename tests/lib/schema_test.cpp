// The schema reader (one table of lines) and the checker (a property over
// random schemas and the blobs that satisfy them, and their single
// mutations).
#include "vantrel.h"
#include "vantrel_schema.h"

#include "../../comp/comp.h"
#include "schema_cases.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct read_result {
    int code;
    vantrel_schema_error error;
    vantrel_schema schema;
};

read_result read_schema(const std::string &text, std::vector<vantrel_schema_decl> &decls, uint32_t capacity = 64)
{
    decls.assign(capacity, vantrel_schema_decl{});
    read_result r{};
    r.code = vantrel_schema_read(&r.schema, decls.data(), capacity, text.data(), text.size(), &r.error);
    return r;
}

// Each text is read alone; the fault, if any, on the given line.
TEST(SchemaReader, LinesAcceptedAndRefused)
{
    const std::string head = "type T 1\n"; // line 1 of the texts that use a type name
    const struct {
        std::string text;
        uint32_t line;
        int code;
    } cases[] = {
        {"", 0, 0},
        {"\n  # only a comment\n\t\n", 0, 0},
        {"str a 0x100\r\nint b 2\n", 0, 0},
        {"str a 1 max 32 optional # comment\n", 0, 0},
        {"str a 1..999 table\n", 0, 0},
        {"int a 0b1_0 10..60_000\n", 0, 0},
        {"int a 010 -40..85\n", 0, 0},
        {"int a 1 -9223372036854775808..9223372036854775807\n", 0, 0},
        {"int a 1 0..0xFFFF_FFFF_FFFF_FFFF optional\n", 0, 0},
        {"int a 1 7\n", 0, 0},
        {head + "data a 0o3 T size 16\n", 0, 0},
        {"data a 3 0xFFFFFFFF size 0..4\n", 0, 0},
        {"const NO_LIMIT 0xFFFF_FFFF_FFFF_FFFF\n", 0, 0},
        {"str a 1..2 table\nstr b 3\nstr c 0..0 table\n", 0, 0},
        {"blob a 1\n", 1, VANTREL_SE_WORD},
        {"str\n", 1, VANTREL_SE_NAME},
        {"str 9a 1\n", 1, VANTREL_SE_NAME},
        {"str int 1\n", 1, VANTREL_SE_C_NAME},
        {"str uint8_t 1\n", 1, VANTREL_SE_C_NAME},
        {"str a__b 1\n", 1, VANTREL_SE_C_NAME},
        {"str _a 1\n", 1, VANTREL_SE_C_NAME},
        {"str a_ 1\n", 1, VANTREL_SE_C_NAME},
        {"str a 1\n\nint a 2\n", 3, VANTREL_SE_NAME_TWICE},
        {"str " + std::string(65, 'a') + " 1\n", 1, VANTREL_SE_LONG_NAME},
        {"str a 0x\n", 1, VANTREL_SE_NUMBER},
        {"str a 09\n", 1, VANTREL_SE_NUMBER},
        {"int a 1 1..2..3\n", 1, VANTREL_SE_NUMBER},
        {"str a -1\n", 1, VANTREL_SE_NUMBER},
        {"const a 18446744073709551616\n", 1, VANTREL_SE_OVERFLOW},
        {"int a 1 -9223372036854775809..0\n", 1, VANTREL_SE_OVERFLOW},
        {"int a 1 -1..0x8000_0000_0000_0000\n", 1, VANTREL_SE_OVERFLOW},
        {"str a 0x1_0000_0000\n", 1, VANTREL_SE_WIDE},
        {"str a 1 max 0x1_0000_0000\n", 1, VANTREL_SE_WIDE},
        {"str a\n", 1, VANTREL_SE_MISSING_ID},
        {"str a 1\nint b 1\n", 2, VANTREL_SE_ID_TWICE},
        {"str a 5..9 table\nstr b 1..5 table\n", 2, VANTREL_SE_ID_TWICE},
        {"str a 5..9 table\nstr b 6\n", 2, VANTREL_SE_ID_TWICE},
        {"str a 9..5 table\n", 1, VANTREL_SE_REVERSED},
        {"int a 1 60..10\n", 1, VANTREL_SE_REVERSED},
        {"int a 1 5..-5\n", 1, VANTREL_SE_REVERSED},
        {"data a 1 2 size 9..8\n", 1, VANTREL_SE_REVERSED},
        {"str a 1 maxx 3\n", 1, VANTREL_SE_CONSTRAINT},
        {"str a 1 max 3 required\n", 1, VANTREL_SE_CONSTRAINT},
        {"type T 1 2\n", 1, VANTREL_SE_TRAILING},
        {"const C 1 optional\n", 1, VANTREL_SE_TRAILING},
        {"str a 1 optional optional\n", 1, VANTREL_SE_REPEATED},
        {"str a 1 max 3 max 4\n", 1, VANTREL_SE_REPEATED},
        {"int a 1 0..1 2..3\n", 1, VANTREL_SE_REPEATED},
        {"int a 1 max 3\n", 1, VANTREL_SE_MISFIT},
        {"str a 1 size 3\n", 1, VANTREL_SE_MISFIT},
        {"str a 1 0..3\n", 1, VANTREL_SE_MISFIT},
        {"str a 1..3 table optional\n", 1, VANTREL_SE_MISFIT},
        {"data a 1 T\n", 1, VANTREL_SE_TYPE},
        {"const T 1\ndata a 1 T\n", 2, VANTREL_SE_TYPE},
        {head + "type U 1\n", 2, VANTREL_SE_TYPE_TWICE},
        {"data a 1\n", 1, VANTREL_SE_MISSING},
        {"str a 1 max\n", 1, VANTREL_SE_MISSING},
        {"const a\n", 1, VANTREL_SE_MISSING},
        {"str a 0..65536 table\n", 1, VANTREL_SE_TABLE},
        {"str a 1..3\n", 1, VANTREL_SE_NOT_TABLE},
    };
    std::vector<vantrel_schema_decl> decls;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        read_result r = read_schema(c.text, decls);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.error.line, c.line);
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        EXPECT_EQ(std::string(vantrel_schema_error_describe(&r.error, reason)).empty(), c.code == 0);
    }
    // The storage bound, and the marks' bound over several tables.
    EXPECT_EQ(read_schema("str a 1\nstr b 2\nstr c 3\n", decls, 2).code, VANTREL_SE_FULL);
    std::string tables;
    for (uint32_t k = 0; k <= VANTREL_SCHEMA_MARKS_MAX / VANTREL_SCHEMA_TABLE_MAX; ++k)
        tables += "str t" + std::to_string(k) + " " + std::to_string(k * 65536) + ".." +
                  std::to_string(k * 65536 + 65535) + " table\n";
    read_result r = read_schema(tables, decls);
    EXPECT_EQ(r.code, VANTREL_SE_TABLE);
    EXPECT_EQ(r.error.line, 17u);
}

// The number forms are the compiler's: every word reads to the same value
// or the same refusal as comp's read_number.
TEST(SchemaReader, NumbersAgreeWithTheCompiler)
{
    std::mt19937_64 rng(28);
    const std::string alphabet = "0123456789abcdefABCDEFxXbBoO_g";
    for (int round = 0; round < 200000; ++round) {
        std::string word;
        size_t n = 1 + rng() % 24;
        if (rng() % 2)
            word = std::string("0") + "xXbBoO"[rng() % 6];
        while (word.size() < n)
            word += alphabet[rng() % alphabet.size()];
        uint64_t ours = 0, theirs = 0;
        size_t length = 0;
        int code = vantrel_schema_number(word.data(), word.size(), &ours);
        number_status status = read_number(word.c_str(), &theirs, &length);
        SCOPED_TRACE(word);
        ASSERT_EQ(code, status == NUMBER_OK ? 0 : status == NUMBER_FORMAT ? VANTREL_SE_NUMBER : VANTREL_SE_OVERFLOW);
        if (code == 0) {
            ASSERT_EQ(ours, theirs);
            ASSERT_EQ(length, word.size());
        }
    }
}

using vt::build_blob;

struct verdict {
    int code;
    uint64_t offset;
    uint32_t decl;
};

// The one-shot check, and the incremental one over the checking iterator,
// which must agree on the first fault.
verdict check(const std::vector<uint8_t> &blob, const vantrel_schema &s)
{
    std::vector<uint8_t> seen(vantrel_schema_seen_size(&s));
    vantrel_schema_fault fault{};
    verdict v{vantrel_schema_check_blob(blob.data(), blob.size(), &s, seen.data(), &fault), 0, VANTREL_SCHEMA_NONE};
    if (v.code != 0) {
        v.offset = fault.offset;
        v.decl = fault.decl;
        char reason[VANTREL_SCHEMA_REASON_SIZE];
        EXPECT_NE(std::string(vantrel_schema_describe(&s, v.code, v.decl, &fault.tag, reason)), "");
    }
    static vantrel_reader reader;
    vantrel_schema_checker c;
    vantrel_schema_begin(&c, &s, seen.data());
    vantrel_tag t;
    verdict w{0, 0, VANTREL_SCHEMA_NONE};
    vantrel_reader_init(&reader, blob.data(), blob.size(), 0);
    while (w.code == 0 && vantrel_reader_next(&reader, &t) > 0) {
        w.code = t.code == VANTREL_TAG_END && t.depth == 0 ? vantrel_schema_end(&c, &w.decl)
                                                             : vantrel_schema_tag(&c, &t, &w.decl);
        w.offset = t.offset;
    }
    // A blob that is not well formed: the one-shot check reports the
    // format's fault first, where the incremental one may have seen a
    // schema fault before it.
    if (v.code != 0 && v.code < VANTREL_SF_FIRST)
        return v;
    EXPECT_EQ(w.code, v.code);
    if (w.code != 0) {
        EXPECT_EQ(w.offset, v.offset);
        EXPECT_EQ(w.decl, v.decl);
    }
    return v;
}

TEST(SchemaChecker, SatisfyingBlobsPassAndSingleMutationsFailWhereTheyAre)
{
    vt::schema_generator g(2028);
    std::vector<vantrel_schema_decl> storage;
    int mutations[VANTREL_SF_END] = {};
    for (int round = 0; round < 3000; ++round) {
        vt::random_schema s = g.schema();
        read_result r = read_schema(s.text, storage);
        ASSERT_EQ(r.code, 0) << s.text;
        std::vector<uint32_t> owners;
        std::vector<vt::schema_tag> tags = g.satisfying_blob(s, owners);
        ASSERT_EQ(check(build_blob(tags), r.schema).code, 0) << s.text;
        // One mutation of a tag: the fault it must give, where it must.
        vt::schema_mutation m = vt::mutate(g, s, tags, owners);
        if (!m.applied)
            continue;
        if (!m.edge.empty()) {
            ASSERT_EQ(check(m.edge, r.schema).code, 0) << s.text;
        }
        verdict v = check(m.blob, r.schema);
        ASSERT_EQ(v.code, m.code) << s.text;
        ASSERT_EQ(v.offset, m.offset) << s.text;
        ASSERT_EQ(v.decl, m.decl) << s.text;
        ++mutations[m.code];
    }
    for (int code = VANTREL_SF_UNDECLARED; code <= VANTREL_SF_MISSING; ++code)
        EXPECT_GT(mutations[code], 10) << vantrel_schema_fault_text(code);
}

// A nested block is refused at its start tag; a blob that is not well
// formed gets the reader's own fault.
TEST(SchemaChecker, NestedBlockAndFormatFault)
{
    std::vector<vantrel_schema_decl> storage;
    read_result r = read_schema("str a 1 optional\n", storage);
    const uint32_t words[] = {VANTREL_TAG_START, 16, 48, 0, VANTREL_TAG_START, 16, 24, 0, 0, 8, 0, 8};
    std::vector<uint8_t> blob(sizeof words);
    std::memcpy(blob.data(), words, sizeof words);
    verdict v = check(blob, r.schema);
    EXPECT_EQ(v.code, VANTREL_SF_NESTED);
    EXPECT_EQ(v.offset, 16u);
    blob[8] = 40; // the outer block's end tag is no longer where it ends
    const int format = vantrel_check(blob.data(), blob.size(), nullptr, nullptr);
    EXPECT_NE(format, 0);
    EXPECT_EQ(check(blob, r.schema).code, format);
}

} // namespace

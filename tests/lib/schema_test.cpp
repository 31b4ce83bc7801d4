// The schema reader (one table of lines) and the checker (a property over
// random schemas and the blobs that satisfy them, and their single
// mutations).
#include "vantrel.h"
#include "vantrel_schema.h"

#include "../../comp/comp.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A random schema, as a model and as text.
struct model_decl {
    uint32_t kind, id, last, type;
    bool optional, table, is_signed;
    uint64_t low, high; // the value range, a string's max (high), a data size range
};

struct generator {
    std::mt19937_64 rng{2028};
    uint64_t below(uint64_t n) { return n == 0 ? 0 : rng() % n; }

    std::vector<model_decl> schema(std::string &text)
    {
        std::vector<model_decl> decls;
        text = "type T1 1\ntype T2 2 # comment\n\n";
        const uint32_t count = 1 + uint32_t(below(8));
        for (uint32_t k = 0; k < count; ++k) {
            model_decl d{};
            d.kind = 1 + uint32_t(below(3));
            d.table = below(4) == 0;
            d.optional = !d.table && below(3) == 0;
            d.id = 100 * k + uint32_t(below(50));
            d.last = d.table ? d.id + uint32_t(below(4)) : d.id;
            d.high = d.kind == VANTREL_DECL_INTEGER ? UINT64_MAX : UINT32_MAX;
            std::string line = std::string(vantrel_schema_kind_word(d.kind)) + " n" + std::to_string(k) + " " +
                               std::to_string(d.id);
            if (d.table)
                line += ".." + std::to_string(d.last);
            if (d.kind == VANTREL_DECL_DATA) {
                d.type = 1 + uint32_t(below(3));
                line += d.type < 3 ? " T" + std::to_string(d.type) : " 3";
            }
            if (below(2)) {
                if (d.kind == VANTREL_DECL_STRING) {
                    d.high = below(20);
                    line += " max " + std::to_string(d.high);
                } else if (d.kind == VANTREL_DECL_DATA) {
                    d.low = below(10);
                    d.high = d.low + below(2) * below(10);
                    line += " size " + std::to_string(d.low) + (d.high != d.low ? ".." + std::to_string(d.high) : "");
                } else if (below(2)) {
                    d.is_signed = true;
                    int64_t low = -int64_t(below(100)), high = int64_t(below(100)) - 20;
                    if (high < low)
                        std::swap(low, high);
                    d.low = uint64_t(low);
                    d.high = uint64_t(high);
                    line += " " + std::to_string(low) + ".." + std::to_string(high);
                } else {
                    d.low = below(1000);
                    d.high = d.low + below(1000);
                    line += " " + std::to_string(d.low) + ".." + std::to_string(d.high);
                }
            }
            line += d.table ? " table" : d.optional ? " optional" : "";
            text += line + "\n";
            decls.push_back(d);
        }
        return decls;
    }
};

// One tag to write.
struct tag_spec {
    uint32_t code, id, type;
    uint64_t value;
    uint32_t size;
};

tag_spec satisfying(generator &g, const model_decl &d, uint32_t id)
{
    tag_spec t{vantrel_schema_tag_code(d.kind), id, d.type, 0, 0};
    if (d.kind == VANTREL_DECL_INTEGER)
        t.value = d.is_signed ? uint64_t(int64_t(d.low) + int64_t(g.below(d.high - d.low + 1)))
                              : d.low + g.below(d.high - d.low == UINT64_MAX ? UINT64_MAX : d.high - d.low + 1);
    else if (d.kind == VANTREL_DECL_STRING)
        t.size = uint32_t(g.below(std::min<uint64_t>(d.high, 30) + 1));
    else
        t.size = uint32_t(d.low + g.below(std::min<uint64_t>(d.high - d.low, 30) + 1));
    return t;
}

std::vector<uint8_t> build(const std::vector<tag_spec> &tags)
{
    std::vector<uint8_t> buffer(65536);
    vantrel_state state;
    EXPECT_EQ(vantrel_init(&state, buffer.data(), uint32_t(buffer.size()), 8), 0);
    const std::string bytes(64, 'x');
    for (const tag_spec &t : tags) {
        if (t.code == VANTREL_TAG_INTEGER)
            vantrel_add_integer(&state, t.value, t.id);
        else if (t.code == VANTREL_TAG_STRING)
            vantrel_add_string(&state, bytes.data(), t.size, t.id);
        else
            vantrel_add_data_block(&state, bytes.data(), t.size, t.type, t.id);
    }
    vantrel_end(&state);
    buffer.resize(vantrel_get_used_size(&state));
    return buffer;
}

// The offsets of the outer block's tags, and last the end tag's.
std::vector<uint64_t> offsets(const std::vector<uint8_t> &blob)
{
    std::vector<uint64_t> at;
    vantrel_tag t;
    vantrel_checked_first(blob.data(), blob.size(), &t);
    while (vantrel_checked_next(blob.data(), blob.size(), &t) > 0)
        at.push_back(t.offset);
    return at;
}

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
    generator g;
    std::vector<vantrel_schema_decl> storage;
    int mutations[VANTREL_SF_END] = {};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        std::vector<model_decl> model = g.schema(text);
        read_result r = read_schema(text, storage);
        ASSERT_EQ(r.code, 0) << text;
        const uint32_t first = 2; // after the two types
        // Every required tag once, optional ones and table ids maybe.
        std::vector<tag_spec> tags;
        std::vector<uint32_t> owner;
        for (uint32_t k = 0; k < model.size(); ++k)
            for (uint32_t id = model[k].id; id <= model[k].last; ++id)
                if ((!model[k].optional && !model[k].table) || g.below(2)) {
                    tags.push_back(satisfying(g, model[k], id));
                    owner.push_back(k);
                }
        std::vector<size_t> order(tags.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), g.rng);
        std::vector<tag_spec> shuffled;
        std::vector<uint32_t> owners;
        for (size_t i : order) {
            shuffled.push_back(tags[i]);
            owners.push_back(owner[i]);
        }
        verdict v = check(build(shuffled), r.schema);
        ASSERT_EQ(v.code, 0) << text;
        if (shuffled.empty())
            continue;

        // One mutation of tag i: the fault it must give, at tag i.
        const size_t i = g.below(shuffled.size());
        const model_decl &d = model[owners[i]];
        tag_spec &t = shuffled[i];
        int expected = 0;
        uint32_t decl = first + owners[i];
        switch (g.below(6)) {
        case 0:
            t.id = 99999; // no declaration is near
            expected = VANTREL_SF_UNDECLARED;
            decl = VANTREL_SCHEMA_NONE;
            break;
        case 1:
            t.code = t.code == VANTREL_TAG_INTEGER ? VANTREL_TAG_STRING : VANTREL_TAG_INTEGER;
            t.type = 0;
            t.size = 0;
            expected = VANTREL_SF_KIND;
            break;
        case 2:
            shuffled.insert(shuffled.begin() + long(i) + 1, t);
            expected = VANTREL_SF_DUPLICATE;
            break;
        case 3:
            if (d.optional || d.table)
                continue;
            shuffled.erase(shuffled.begin() + long(i));
            expected = VANTREL_SF_MISSING;
            break;
        default:
            // At the edge, then beyond it.
            if (d.kind == VANTREL_DECL_INTEGER && d.high != UINT64_MAX && !(d.is_signed && d.high == INT64_MAX)) {
                t.value = d.high;
                ASSERT_EQ(check(build(shuffled), r.schema).code, 0);
                t.value = d.high + 1;
                expected = VANTREL_SF_RANGE;
            } else if (d.kind == VANTREL_DECL_STRING && d.high < 60) {
                t.size = uint32_t(d.high);
                ASSERT_EQ(check(build(shuffled), r.schema).code, 0);
                t.size = uint32_t(d.high) + 1;
                expected = VANTREL_SF_LENGTH;
            } else if (d.kind == VANTREL_DECL_DATA && d.high < 60) {
                t.size = uint32_t(d.high) + 1;
                expected = VANTREL_SF_SIZE;
                if (g.below(2)) {
                    t.size = uint32_t(d.low);
                    t.type = d.type % 3 + 1;
                    expected = VANTREL_SF_TYPE;
                }
            } else {
                continue;
            }
            break;
        }
        const std::vector<uint8_t> blob = build(shuffled);
        const std::vector<uint64_t> at = offsets(blob);
        verdict m = check(blob, r.schema);
        const uint64_t where = expected == VANTREL_SF_MISSING ? at.back()
                             : expected == VANTREL_SF_DUPLICATE ? at[i + 1]
                                                                 : at[i];
        ASSERT_EQ(m.code, expected) << text << " tag " << i;
        ASSERT_EQ(m.offset, where) << text;
        ASSERT_EQ(m.decl, decl) << text;
        ++mutations[expected];
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

// The loader vantrel-comp --c-header writes, compiled and run on the host,
// against vantrel-dump --schema --json: for random schemas, their
// satisfying blobs, single mutations, cuts and changed bytes, and the
// reader's table of malformed and valid blobs, both give the same verdict,
// the same fault (the code the dump's reason is of) at the same offset, and
// on an accepted blob the struct and the table look-ups hold exactly the
// values the dump lists.  One driver a schema, compiled in two units.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "blob_cases.h"
#include "schema_cases.h"
#include "test_support.h"

namespace {

// What an accepted tag holds, as the driver prints it: "ID VALUE", VALUE
// an integer's decimal bits, or a string's or data block's bytes in hex.
using values = std::multiset<std::string>;

// A driver for schema s: for each file, "= code offset", then on 0 one line a
// value the struct or a table look-up gives.
std::string driver(const vt::random_schema &s)
{
    std::string text = "#include <stdio.h>\n#include <stdlib.h>\n#include \"ls.h\"\nint other(void);\n"
                       "static void put(uint32_t id, const void *p, uint32_t n) {\n"
                       "    const unsigned char *b = (const unsigned char *)p; uint32_t i;\n"
                       "    printf(\"%lu \", (unsigned long)id);\n"
                       "    for (i = 0; i < n; ++i) printf(\"%02X\", b[i]);\n"
                       "    printf(\"\\n\");\n}\n"
                       "int main(int argc, char **argv) {\n    int f;\n"
                       "    for (f = 1; f < argc; ++f) {\n"
                       "        static unsigned char buf[1 << 20];\n        struct ls s;\n"
                       "        const char *t; const void *d; uint64_t v; uint32_t n, id, at = 0;\n"
                       "        FILE *in = fopen(argv[f], \"rb\");\n"
                       "        size_t size = in != NULL ? fread(buf, 1, sizeof buf, in) : 0;\n"
                       "        int code = ls_load(buf, size, &s, &at);\n"
                       "        if (in != NULL) fclose(in);\n"
                       "        printf(\"= %d %lu\\n\", code, code != 0 ? (unsigned long)at : 0ul);\n"
                       "        if (code != 0) continue;\n"
                       "        (void)t, (void)d, (void)v, (void)n, (void)id;\n";
    for (size_t k = 0; k < s.decls.size(); ++k) {
        const vt::model_decl &d = s.decls[k];
        const std::string m = "s.n" + std::to_string(k), id = "ls_ID_n" + std::to_string(k);
        if (d.table) {
            text += "        for (id = " + id + "; id <= ls_LAST_n" + std::to_string(k) + "; ++id)\n";
            text += d.kind == VANTREL_DECL_STRING ? "            if (ls_get_n" + std::to_string(k) +
                                                        "(buf, size, id, &t, &n) == VANTREL_OK) put(id, t, n);\n"
                    : d.kind == VANTREL_DECL_DATA
                        ? "            if (ls_get_n" + std::to_string(k) +
                              "(buf, size, id, &d, &n) == VANTREL_OK) put(id, d, n);\n"
                        : "            if (ls_get_n" + std::to_string(k) +
                              "(buf, size, id, &v) == VANTREL_OK) printf(\"%lu %llu\\n\", (unsigned long)id, "
                              "(unsigned long long)v);\n";
            continue;
        }
        text += "        if (" + (d.optional ? "s.has_n" + std::to_string(k) : std::string("1")) + ") ";
        text += d.kind == VANTREL_DECL_STRING ? "put(" + id + ", " + m + ", " + m + "_length);\n"
                : d.kind == VANTREL_DECL_DATA ? "put(" + id + ", " + m + ", " + m + "_size);\n"
                                              : "printf(\"%lu %llu\\n\", (unsigned long)" + id +
                                                    ", (unsigned long long)(uint64_t)" + m + ");\n";
    }
    return text + "    }\n    return other() == (int)ls_DECLS ? 0 : 1;\n}\n";
}

// The dump's JSON member `key` of an object text: a number, or a string's
// bytes with its escapes undone, or "" when absent.
std::string member(const std::string &object, const std::string &key)
{
    const size_t at = object.find("\"" + key + "\": ");
    if (at == std::string::npos)
        return "";
    size_t from = at + key.size() + 4;
    if (object[from] != '"')
        return object.substr(from, object.find_first_of(",}", from) - from);
    std::string bytes;
    for (++from; object[from] != '"'; ++from) {
        if (object[from] != '\\') {
            bytes += object[from];
            continue;
        }
        const char c = object[++from];
        if (c != 'u') {
            bytes += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'b' ? '\b' : c == 'f' ? '\f' : c;
            continue;
        }
        // The dump escapes code points below U+00A0 only: one or two bytes.
        const unsigned point = static_cast<unsigned>(std::stoul(object.substr(from + 1, 4), nullptr, 16));
        from += 4;
        if (point >= 0x80)
            bytes += static_cast<char>(0xC0 | (point >> 6));
        bytes += static_cast<char>(point >= 0x80 ? 0x80 | (point & 0x3F) : point);
    }
    return bytes;
}

// A payload as the driver prints it: its bytes in upper-case hex, from
// the dump's "hex" or its "text".
std::string payload(const std::string &tag)
{
    const std::string hex = member(tag, "hex"), text = member(tag, "text");
    if (!hex.empty() || text.empty())
        return hex;
    std::string out;
    char digits[3];
    for (const char c : text)
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(c)), out += digits;
    return out;
}

// The fault code a reason of the dump at `offset` is of: a format fault's
// begins with the reader's text (the longest that fits; of two codes with
// one text, the blob's own start tag's at offset 0, the other's elsewhere),
// a schema fault's holds what vantrel_schema_describe writes for its code.
int code_of(const std::string &reason, uint64_t offset)
{
    int found = -1;
    size_t length = 0;
    for (int code = 1; code < VANTREL_E_COUNT; ++code) {
        const std::string text = vantrel_fault_text(code);
        if (reason.rfind(text, 0) == 0 && (text.size() > length || (text.size() == length && offset != 0)))
            found = code, length = text.size();
    }
    if (found > 0)
        return found;
    const std::vector<std::pair<std::string, int>> shapes = {
        {" is not in the schema", VANTREL_SF_UNDECLARED}, {" tag where the schema declares ", VANTREL_SF_KIND},
        {"type ", VANTREL_SF_TYPE}, {"value ", VANTREL_SF_RANGE}, {"string of ", VANTREL_SF_LENGTH},
        {"data block of ", VANTREL_SF_SIZE}, {"second tag with id ", VANTREL_SF_DUPLICATE},
        {"missing", VANTREL_SF_MISSING}, {"nested block", VANTREL_SF_NESTED}};
    for (const auto &[shape, code] : shapes)
        if (reason.find(shape) != std::string::npos)
            return code;
    return -1;
}

TEST(CompLoader, AgreesWithTheDump)
{
    vt::schema_generator g(29);
    size_t accepted = 0, refused = 0;
    for (int round = 0; round < 6; ++round) {
        vt::temp_dir dir;
        const vt::random_schema s = g.schema();
        SCOPED_TRACE(s.text);
        vt::write_file(dir.file("s.schema"), s.text);
        vt::run_result r = vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "--schema", dir.file("s.schema"),
                                                               "--c-header", "ls", "-o", dir.file("ls.h")});
        ASSERT_EQ(r.status, 0) << r.err;
        vt::write_file(dir.file("driver.c"), driver(s));
        vt::write_file(dir.file("other.c"), "#include \"ls.h\"\nint other(void);\n"
                                            "int other(void) { return (int)ls_schema()->count; }\n");
        r = vt::run_program(VANTREL_TEST_CC, {VANTREL_TEST_CC, "-std=c99", "-Wall", "-Wextra", "-Wpedantic",
                                              "-Wconversion", "-Wsign-conversion", "-Werror", "-I" + dir.path().string(),
                                              "-I" VANTREL_LIB_DIR, "-o", dir.file("driver"), dir.file("driver.c"),
                                              dir.file("other.c")});
        ASSERT_EQ(r.status, 0) << r.err;

        // The blobs: satisfying ones with their edges, single mutations, cuts
        // and changed bytes of them, and the reader's case table.
        std::vector<std::string> blobs;
        for (int n = 0; n < 12; ++n) {
            std::vector<uint32_t> owners;
            const std::vector<vt::schema_tag> tags = g.satisfying_blob(s, owners);
            const std::vector<uint8_t> blob = vt::build_blob(tags);
            blobs.emplace_back(blob.begin(), blob.end());
            std::string changed = blobs.back();
            changed[g.below(changed.size())] = static_cast<char>(g.below(256));
            blobs.push_back(changed);
            blobs.push_back(blobs.front().substr(0, g.below(blobs.front().size())));
            for (int k = 0; k < 4; ++k) {
                const vt::schema_mutation m = vt::mutate(g, s, tags, owners);
                if (m.applied)
                    blobs.emplace_back(m.blob.begin(), m.blob.end());
                if (m.applied && !m.edge.empty())
                    blobs.emplace_back(m.edge.begin(), m.edge.end());
            }
        }
        for (const vtcpp::malformed_case &c : vtcpp::malformed_cases()) {
            vtcpp::blob_writer w;
            c.write(w);
            blobs.push_back(w.bytes.substr(0, c.cut));
        }
        for (const vtcpp::valid_case &v : vtcpp::valid_cases())
            blobs.push_back(vtcpp::in_order(v, round % 2 == 1));

        std::vector<std::string> args = {"vantrel-dump", "--schema", dir.file("s.schema"), "--json"},
                                 run = {"driver"};
        for (size_t i = 0; i < blobs.size(); ++i) {
            vt::write_file(dir.file(std::to_string(i) + ".dat"), blobs[i]);
            args.push_back(dir.file(std::to_string(i) + ".dat"));
            run.push_back(args.back());
        }
        const vt::run_result dumped = vt::run_program(VANTREL_DUMP_PATH, args);
        const vt::run_result loaded = vt::run_program(dir.file("driver"), run);
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        std::vector<std::string> lines;
        for (size_t at = 0, next; (next = loaded.out.find('\n', at)) != std::string::npos; at = next + 1)
            lines.push_back(loaded.out.substr(at, next - at));
        size_t line = 0, json = 0;
        for (size_t i = 0; i < blobs.size(); ++i) {
            SCOPED_TRACE("blob " + std::to_string(i));
            const size_t end = dumped.out.find('\n', json);
            ASSERT_NE(end, std::string::npos);
            const std::string object = dumped.out.substr(json, end - json);
            json = end + 1;
            int code = -1;
            unsigned long offset = 0;
            ASSERT_LT(line, lines.size());
            ASSERT_EQ(std::sscanf(lines[line++].c_str(), "= %d %lu", &code, &offset), 2);
            const size_t error = object.find("\"error\": {");
            if (error != std::string::npos) {
                const std::string fault = object.substr(error, object.find('}', error) - error + 1);
                EXPECT_EQ(code, code_of(member(fault, "reason"), std::stoull(member(fault, "offset")))) << object;
                // The loader's offset is 32 bits, as vantrel_check's: beyond, 0xFFFFFFFF.
                EXPECT_EQ(offset, std::min(std::stoull(member(fault, "offset")), 0xFFFFFFFFull)) << object;
                ++refused;
                continue;
            }
            ASSERT_EQ(code, 0) << object;
            ++accepted;
            values listed, filled;
            for (size_t at = object.find("{\"tag\": "); at != std::string::npos; at = object.find("{\"tag\": ", at + 1)) {
                const std::string tag = object.substr(at, object.find('}', at) - at + 1);
                const std::string kind = member(tag, "tag");
                listed.insert(member(tag, "id") + " " + (kind == "integer" ? member(tag, "value") : payload(tag)));
            }
            while (line < lines.size() && lines[line][0] != '=')
                filled.insert(lines[line++]);
            EXPECT_EQ(filled, listed) << object;
        }
    }
    // Both sides of the verdict were tried.
    EXPECT_GT(accepted, 20u);
    EXPECT_GT(refused, 100u);
}

} // namespace

// vantrel-dump --schema as properties over random schemas (the checker's
// own generator): a blob that satisfies its schema lists with status 0 and
// every declared tag's name, --source --schema compiles back with
// vantrel-comp --schema to the same bytes, and a single mutation gives the
// one diagnostic it must, at its offset, naming its declaration.  Then the
// refusals of the option itself.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dump_fixture.h"
#include "schema_cases.h"

namespace {

using namespace dt;

std::string bytes_of(const std::vector<uint8_t> &blob) { return std::string(blob.begin(), blob.end()); }

// As the messages show offsets, or (lower) as the listing shows ids.
std::string hex(uint64_t value, bool lower = false)
{
    char text[24];
    std::snprintf(text, sizeof text, lower ? "%llx" : "%llX", static_cast<unsigned long long>(value));
    return text;
}

// Under a memory checker each run costs some half a second.
int rounds()
{
    const char *wrapper = std::getenv("VANTREL_TEST_WRAPPER");
    return wrapper != nullptr && *wrapper != '\0' ? 15 : 120;
}

class DumpSchema : public dump_test {};

TEST_F(DumpSchema, SatisfyingBlobsListAndCompileBackAndMutationsFailWhereTheyAre)
{
    vt::schema_generator g(28);
    int mutations = 0;
    for (int round = 0; round < rounds(); ++round) {
        vt::random_schema s = g.schema();
        SCOPED_TRACE(s.text);
        put("s.schema", s.text);
        std::vector<uint32_t> owners;
        std::vector<vt::schema_tag> tags = g.satisfying_blob(s, owners);
        const std::vector<uint8_t> blob = vt::build_blob(tags);
        put("b.dat", bytes_of(blob));

        vt::run_result listed = dump({"--schema", "s.schema", "b.dat"});
        ASSERT_EQ(listed.err, "");
        ASSERT_EQ(listed.status, 0);
        // Each tag's line names its declaration after its id.
        size_t at = 0;
        for (size_t i = 0; i < tags.size(); ++i) {
            at = listed.out.find(" id=0x" + hex(tags[i].id, true) + " n" + std::to_string(owners[i]) + ",", at);
            ASSERT_NE(at, std::string::npos) << listed.out;
        }

        vt::run_result source = dump_once({"--source", "--schema", "s.schema", "b.dat"}, "b.txt");
        ASSERT_EQ(source.status, 0) << source.err;
        vt::run_result compiled = vt::run_program(
            VANTREL_COMP_PATH, {"vantrel-comp", "--schema", "s.schema", "-o", "again.dat", "b.txt"});
        ASSERT_EQ(compiled.status, 0) << compiled.err << vt::read_file("b.txt");
        ASSERT_EQ(vt::read_file("again.dat"), bytes_of(blob)) << vt::read_file("b.txt");

        vt::schema_mutation m = vt::mutate(g, s, tags, owners);
        if (!m.applied)
            continue;
        if (!m.edge.empty()) {
            put("edge.dat", bytes_of(m.edge));
            ASSERT_EQ(dump_once({"--schema", "s.schema", "edge.dat"}).status, 0);
        }
        put("m.dat", bytes_of(m.blob));
        vt::run_result r = dump({"--schema", "s.schema", "m.dat"});
        std::string expected = "vantrel-dump: 'm.dat'@0x" + hex(m.offset) + ": ";
        if (m.decl != VANTREL_SCHEMA_NONE)
            expected += "n" + std::to_string(m.decl - vt::FIRST_TAG_DECL) + ": ";
        // One line: a wrong tag of a declared id counts as seen, so it is
        // not also missing; but a required one whose id changed is.
        ASSERT_EQ(r.err.rfind(expected, 0), 0u) << r.err;
        const size_t first_end = r.err.find('\n') + 1;
        const std::string rest = r.err.substr(first_end);
        const uint64_t end_tag = vt::outer_offsets(m.blob).back();
        ASSERT_EQ(rest, m.also_missing == VANTREL_SCHEMA_NONE
                            ? ""
                            : "vantrel-dump: 'm.dat'@0x" + hex(end_tag) + ": n" +
                                  std::to_string(m.also_missing - vt::FIRST_TAG_DECL) + ": missing\n")
            << r.err;
        ASSERT_EQ(r.status, 1);
        // The listing stays whole.
        ASSERT_NE(r.out.find("[end]\n"), std::string::npos);
        ++mutations;
    }
    EXPECT_GT(mutations, rounds() / 2);
}

TEST_F(DumpSchema, OptionRefusals)
{
    put("b.dat", bytes_of(vt::build_blob({})));
    const struct {
        std::string schema;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {"str a 1\nint b 2 maxx\n", {"--schema", "bad.schema", "b.dat"},
         "vantrel-dump: bad.schema:2: unknown constraint 'maxx'\n"},
        {"", {"--schema", "none.schema", "b.dat"},
         "vantrel-dump: cannot read schema 'none.schema': No such file or directory\n"},
        {"", {"--schema"}, "vantrel-dump: --schema: missing argument\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.err);
        if (!c.schema.empty())
            put("bad.schema", c.schema);
        vt::run_result r = dump_once(c.args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, 1);
    }
}

} // namespace

// The round trip as a property: random sources compiled by vantrel-comp,
// written back by vantrel-dump --source and compiled again give the same
// bytes, and the blob's other-order twin is written as the same source.
// Fixed seed, bounded count.
#include <algorithm>
#include <cstdlib>

#include "dump_fixture.h"
#include "random_source.h"

namespace {

using namespace dt;

// Under a memory checker (VANTREL_TEST_WRAPPER) each run costs some half a
// second, so fewer sources are checked there.
int source_count()
{
    const char *wrapper = std::getenv("VANTREL_TEST_WRAPPER");
    return wrapper != nullptr && *wrapper != '\0' ? 40 : 200;
}

vt::run_result compile(const std::string &source_file, const std::string &output)
{
    return vt::run_program(VANTREL_COMP_PATH, {"vantrel-comp", "-o", output, source_file});
}

class SourceRoundTrip : public dump_test {};

TEST_F(SourceRoundTrip, RandomSourcesCompileBackToTheSameBytes)
{
    vt::source_generator g;
    g.rng.seed(7070);
    size_t tags_seen = 0, bytes_seen = 0, lines_seen = 0;
    const int count = source_count();
    for (int i = 0; i < count; ++i) {
        // Half the strings from every byte but zero, half from an alphabet
        // heavy in escapes, blanks and the source's punctuation.
        g.any_string_bytes = i % 2 == 0;
        std::vector<vt::random_tag> tags;
        std::string source = make_source(g, tags);
        put("first.txt", source);
        vt::run_result comp = compile("first.txt", "first.dat");
        ASSERT_EQ(comp.status, 0) << comp.err << "\nsource:\n" << source;
        std::string blob = vt::read_file("first.dat");
        put("twin.dat", other_order(blob));

        vt::run_result back = dump({"--source", "first.dat"});
        ASSERT_EQ(back.err, "") << "source:\n" << source;
        ASSERT_EQ(back.status, 0);
        put("second.txt", back.out);
        comp = compile("second.txt", "second.dat");
        ASSERT_EQ(comp.status, 0) << comp.err << "\nwritten back:\n" << back.out;
        ASSERT_EQ(vt::read_file("second.dat"), blob) << "source:\n" << source << "\nwritten back:\n" << back.out;

        vt::run_result twin = dump({"--source", "twin.dat"});
        ASSERT_EQ(twin.err, "");
        ASSERT_EQ(twin.status, 0);
        ASSERT_EQ(twin.out, back.out);

        tags_seen += tags.size();
        bytes_seen += blob.size();
        lines_seen += static_cast<size_t>(std::count(back.out.begin(), back.out.end(), '\n'));
    }
    // The generator must really reach big blobs and many tags.
    EXPECT_GT(tags_seen, size_t(count) * 3);
    EXPECT_GT(bytes_seen, size_t(count) * 4000);
    EXPECT_GT(lines_seen, tags_seen + 2 * size_t(count));
}

} // namespace

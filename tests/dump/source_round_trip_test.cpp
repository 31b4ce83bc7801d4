// The round trip as a property: random sources compiled by vantrel-comp,
// written back by vantrel-dump --source and compiled again give the same
// bytes, and the blob's other-order twin is written as the same source.
// Fixed seed, bounded count.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// The sources of one run over several files, by file: each begins after its
// "name:" header line.  A source line is "{", "}" or indented, and a string
// holds no raw line feed, so a header cannot be mistaken for source.
std::map<std::string, std::string> split_by_header(const std::string &text)
{
    std::map<std::string, std::string> sources;
    std::string *current = nullptr;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == ':' && line[0] != ' ' && line[0] != '{' && line[0] != '}') {
            current = &sources[line.substr(0, line.size() - 1)];
            continue;
        }
        // The blank line that separates one file from the next.
        if (line.empty())
            continue;
        if (current != nullptr)
            *current += line + "\n";
    }
    return sources;
}

class SourceRoundTrip : public dump_test {};

// Each source is compiled once to a blob and once more from what
// vantrel-dump --source writes of it; the blobs and their other-order twins
// are all written back by a single vantrel-dump run, which keeps the test
// quick under emulators and memory checkers.
TEST_F(SourceRoundTrip, RandomSourcesCompileBackToTheSameBytes)
{
    vt::source_generator g;
    g.rng.seed(7070);
    const int count = source_count();
    std::vector<std::string> sources, blobs;
    std::vector<std::string> dump_args = {"--source"};
    size_t tags_seen = 0, bytes_seen = 0, lines_seen = 0;
    for (int i = 0; i < count; ++i) {
        // Half the strings from every byte but zero, half from an alphabet
        // heavy in escapes, blanks and the source's punctuation.
        g.any_string_bytes = i % 2 == 0;
        std::vector<vt::random_tag> tags;
        sources.push_back(make_source(g, tags));
        std::string n = std::to_string(i);
        put("first" + n + ".txt", sources.back());
        vt::run_result comp = compile("first" + n + ".txt", "first" + n + ".dat");
        ASSERT_EQ(comp.status, 0) << comp.err << "\nsource:\n" << sources.back();
        blobs.push_back(vt::read_file("first" + n + ".dat"));
        put("twin" + n + ".dat", other_order(blobs.back()));
        dump_args.push_back("first" + n + ".dat");
        dump_args.push_back("twin" + n + ".dat");
        tags_seen += tags.size();
        bytes_seen += blobs.back().size();
    }

    vt::run_result back = dump(dump_args);
    ASSERT_EQ(back.err, "");
    ASSERT_EQ(back.status, 0);
    std::map<std::string, std::string> written = split_by_header(back.out);
    ASSERT_EQ(written.size(), 2 * size_t(count));

    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        const std::string &source = written["first" + n + ".dat"];
        ASSERT_EQ(written["twin" + n + ".dat"], source) << "source " << i << ":\n" << sources[i];
        put("second.txt", source);
        vt::run_result comp = compile("second.txt", "second.dat");
        ASSERT_EQ(comp.status, 0) << comp.err << "\nwritten back:\n" << source;
        ASSERT_EQ(vt::read_file("second.dat"), blobs[i]) << "source:\n" << sources[i] << "\nwritten back:\n" << source;
        lines_seen += static_cast<size_t>(std::count(source.begin(), source.end(), '\n'));
    }
    // The generator must really reach big blobs and many tags.
    EXPECT_GT(tags_seen, size_t(count) * 3);
    EXPECT_GT(bytes_seen, size_t(count) * 4000);
    EXPECT_GT(lines_seen, tags_seen + 2 * size_t(count));
}

} // namespace

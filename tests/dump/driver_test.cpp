// The command line: options, several files with their headers, files that
// fail among others, and standard output that cannot be written.
#include <cerrno>
#include <cstring>
#include <utility>

#include "dump_fixture.h"
#include "vantrel.h"
#include "vantrel_version.h"

namespace {

using namespace dt;

const std::string HELP = "Usage: vantrel-dump [OPT]... [--] FILE...\n"
                         "Vantrel data dump utility.\n"
                         "\n"
                         "  --help     Show this screen\n"
                         "\n"
                         "  --warn-start-reserved\n"
                         "             Warn only if the reserved field in the start tag is\n"
                         "             not zero\n"
                         "\n"
                         "  --source   Write each blob as data compiler source\n"
                         "\n"
                         "  --json     Write each file as one line of JSON\n"
                         "\n"
                         "  --schema FILE\n"
                         "             Show the names of the schema FILE beside ids and\n"
                         "             types, and check each blob against it\n"
                         "\n"
                         "  --version  Show version number\n";
const std::string VERSION = "Vantrel data dump v" VANTREL_VERSION_STRING "\nlibvantrel v" VANTREL_VERSION_STRING "\n";

// a.dat and b.dat: the same blob in the two byte orders.
const std::string A = "[start]\n  [string] id=0x1, size=3, data=\"abc\"\n  [integer] id=0x2, data=5/0x5\n[end]\n";
const std::string X = "[start]\n  [data_block] id=0x3, type=0x7, size=2, data=<DEAD>\n[end]\n";
// open.dat ends inside its string's characters, in their second chunk.
const std::string OPEN = "[start]\n  [string] id=0x1, size=100, data=\"" + std::string(64, 'o');
const std::string OPEN_ERR = "vantrel-dump: 'open.dat'@0x63: unexpected end-of-file\n";
// nres.dat: a nested start tag with reserved 1.
const std::string NRES = "[start]\n  [start]\n  [end]\n[end]\n";
const std::string NRES_ERR = "vantrel-dump: 'nres.dat'@0x20: reserved field in start tag is not zero (value: 0x1)\n";

std::string could_not_open_because(const std::string &name, int error)
{
    return "vantrel-dump: could not open '" + name + "': " + std::strerror(error) + "\n";
}

std::string could_not_open(const std::string &name) { return could_not_open_because(name, ENOENT); }

std::string unknown_option(const std::string &option) { return "vantrel-dump: unknown option: \"" + option + "\"\n"; }

class Driver : public dump_test {
protected:
    Driver()
    {
        std::string worked = library_blob(8, {str(1, "abc"), integer(2, 5)});
        put("a.dat", worked);
        put("b.dat", other_order(worked));
        put("-x", library_blob(8, {data(3, 7, "\xDE\xAD")}));
        put("open.dat", serialize(start_tag(16, 0x100) + string_tag(0x80, 1, 100, std::string(67, 'o')), false));
        put("nres.dat", serialize(start_tag(16, 0x30) + start_tag(0x18, 0x18, 1) + end_tag() + end_tag(), true));
        put("short.dat", std::string(15, '\0'));
    }
};

struct run_case {
    std::vector<std::string> args;
    std::string out, err;
    int status;
};

std::string joined(const std::vector<std::string> &args)
{
    std::string s;
    for (const std::string &a : args)
        s += " [" + a + "]";
    return s;
}

TEST_F(Driver, Options)
{
    const run_case cases[] = {
        {{}, HELP, "", 1},
        {{"--help"}, HELP, "", 0},
        {{"--help", "a.dat", "-q"}, HELP, "", 0},
        {{"--version"}, VERSION, "", 0},
        {{"--version", "--help"}, VERSION, "", 0},
        {{"--warn-start-reserved", "--help"}, "", unknown_option("--help"), 1},
        {{"--warn-start-reserved", "--version"}, "", unknown_option("--version"), 1},
        {{"-"}, "", unknown_option("-"), 1},
        {{"-x"}, "", unknown_option("-x"), 1},
        {{"-q", "a.dat"}, "", unknown_option("-q"), 1},
        {{"--Warn-start-reserved", "a.dat"}, "", unknown_option("--Warn-start-reserved"), 1},
        {{"--warn-start-reserved=1", "a.dat"}, "", unknown_option("--warn-start-reserved=1"), 1},
        {{"--warn-start-reserved", "-", "a.dat"}, "", unknown_option("-"), 1},
        {{"--"}, "", "", 0},
        {{"--warn-start-reserved"}, "", "", 0},
        {{"--warn-start-reserved", "--"}, "", "", 0},
        {{"--", "-x"}, X, "", 0},
        {{"a.dat", "-x"}, "a.dat:\n" + A + "\n-x:\n" + X, "", 0},
        {{"--", "--", "a.dat"}, "--:\n\na.dat:\n" + A, could_not_open("--"), 1},
        {{"nres.dat"}, "[start]\n", NRES_ERR, 1},
        {{"--warn-start-reserved", "nres.dat"}, NRES, NRES_ERR, 0},
        {{"--warn-start-reserved", "--", "nres.dat", "a.dat"}, "nres.dat:\n" + NRES + "\na.dat:\n" + A, NRES_ERR, 0},
        {{"a.dat", "--warn-start-reserved", "nres.dat"},
         "a.dat:\n" + A + "\n--warn-start-reserved:\n\nnres.dat:\n[start]\n",
         could_not_open("--warn-start-reserved") + NRES_ERR, 1},
    };
    for (const run_case &c : cases) {
        SCOPED_TRACE(joined(c.args));
        vt::run_result r = dump(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

TEST_F(Driver, SeveralFiles)
{
    const run_case cases[] = {
        {{"a.dat"}, A, "", 0},
        {{"b.dat"}, A, "", 0},
        {{"a.dat", "b.dat"}, "a.dat:\n" + A + "\nb.dat:\n" + A, "", 0},
        {{"b.dat", "a.dat", "b.dat"}, "b.dat:\n" + A + "\na.dat:\n" + A + "\nb.dat:\n" + A, "", 0},
        {{"missing.dat", "a.dat"}, "missing.dat:\n\na.dat:\n" + A, could_not_open("missing.dat"), 1},
        {{"a.dat", "missing.dat"}, "a.dat:\n" + A + "\nmissing.dat:\n", could_not_open("missing.dat"), 1},
        {{"missing.dat"}, "", could_not_open("missing.dat"), 1},
        {{""}, "", could_not_open(""), 1},
        {{"open.dat"}, OPEN, OPEN_ERR, 1},
        {{"a.dat", "open.dat", "b.dat"}, "a.dat:\n" + A + "\nopen.dat:\n" + OPEN + "\nb.dat:\n" + A, OPEN_ERR, 1},
        {{"short.dat", "a.dat"}, "short.dat:\n\na.dat:\n" + A, "vantrel-dump: 'short.dat': unexpected end-of-file\n",
         1},
        {{"a.dat", "open.dat", "short.dat", "missing.dat", "b.dat"},
         "a.dat:\n" + A + "\nopen.dat:\n" + OPEN + "\nshort.dat:\n\nmissing.dat:\n\nb.dat:\n" + A,
         OPEN_ERR + "vantrel-dump: 'short.dat': unexpected end-of-file\n" + could_not_open("missing.dat"), 1},
        // A folder: Linux opens it and is told what it is, Windows refuses it.
        {{"."}, "", could_not_open_because(".", vt::ON_WINDOWS ? EACCES : EISDIR), 1},
    };
    for (const run_case &c : cases) {
        SCOPED_TRACE(joined(c.args));
        vt::run_result r = dump(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

TEST_F(Driver, InvocationNameStartsEveryMessage)
{
    vt::run_result r = vt::run_program(VANTREL_DUMP_PATH, {"dumper", "open.dat", "missing.dat"});
    EXPECT_EQ(r.out, "open.dat:\n" + OPEN + "\nmissing.dat:\n");
    EXPECT_EQ(r.err, "dumper: 'open.dat'@0x63: unexpected end-of-file\ndumper: could not open 'missing.dat': " +
                         std::string(std::strerror(ENOENT)) + "\n");
    r = vt::run_program(VANTREL_DUMP_PATH, {"dumper"});
    EXPECT_EQ(r.out.substr(0, 35), "Usage: dumper [OPT]... [--] FILE...");
}

// The buffers are not on the stack: the dump runs under a stack limit of
// 320 KiB in every rendering.
TEST_F(Driver, SmallStack)
{
    VT_SKIP_ON_WINDOWS("the stack limit is set by a POSIX shell");
    if (vt::runs_emulated())
        GTEST_SKIP() << "the shell would run under the emulator";
    for (const char *option : {"--warn-start-reserved", "--json", "--source"}) {
        SCOPED_TRACE(option);
        vt::run_result r = vt::run_program(
            "/bin/sh", {"sh", "-c", "ulimit -s 320 && exec \"$0\" \"$@\"", VANTREL_DUMP_PATH, option, "a.dat", "b.dat"});
        EXPECT_EQ(r.out, dump_once({option, "a.dat", "b.dat"}).out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

// Standard output on a full device: the failure is reported once and the
// status is 1, whether it shows while listing or only when the buffered
// rest is written at the end.
TEST_F(Driver, WriteErrors)
{
    VT_SKIP_ON_WINDOWS("no device that refuses every write, like /dev/full, on Windows");
    const uint32_t mib = 1 << 20;
    put("big.dat", library_blob(8, {data(1, 1, std::string(mib, '\x5A'))}));
    // Faults that a walk going on after the failed write would report.
    put("big-cut.dat", serialize(start_tag(16, 3 * mib) + data_tag(2 * mib, 1, 1, 2 * mib, std::string(mib, 'Z')),
                                 false));
    put("big-bad.dat", serialize(start_tag(16, mib + 56) + data_tag(mib + 24, 1, 1, mib, std::string(mib + 4, 'Z')) +
                                     header(0x7A600007, 8) + end_tag(),
                                 false));
    layout many = start_tag(16, 16 + 3000 * 24 + 16);
    for (int i = 0; i < 3000; ++i)
        many = std::move(many) + integer_tag(24, i, 1);
    put("many-bad.dat", serialize(many + header(0x7A600007, 8) + end_tag(), false));
    const std::string full = std::string("vantrel-dump: write error: ") + std::strerror(ENOSPC) + "\n";
    const run_case cases[] = {
        {{"a.dat"}, "", full, 1},
        {{"a.dat", "b.dat"}, "", full, 1},
        {{"--help"}, "", full, 1},
        {{"--version"}, "", full, 1},
        {{}, "", full, 1},
        // The listing goes out before the next file is opened.
        {{"a.dat", "missing.dat"}, "", full, 1},
        {{"open.dat"}, "", OPEN_ERR + full, 1},
        // The listing stops at the failure: the later file is not looked at.
        {{"big.dat", "missing.dat"}, "", full, 1},
        {{"big-cut.dat"}, "", full, 1},
        {{"big-bad.dat"}, "", full, 1},
        {{"many-bad.dat"}, "", full, 1},
        {{"--"}, "", "", 0},
    };
    for (const run_case &c : cases) {
        SCOPED_TRACE(joined(c.args));
        vt::run_result r = dump(c.args, "/dev/full");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

} // namespace

// Inputs that cannot seek: what the walk can do on them and the one thing
// it cannot (the listing of every other test blob through a pipe is
// compared with its file listing by the fixture).
#include "dump_fixture.h"
#include "vantrel.h"

namespace {

using namespace dt;

// More than the walk's input buffer holds, so the bytes cannot be kept.
constexpr uint32_t LONG = 300 * 1024;

std::string letters(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

class Pipe : public dump_test {
protected:
    void SetUp() override
    {
        if (!pipes_available())
            GTEST_SKIP() << "named pipes fed from the test: native POSIX builds only";
    }
};

// A string of 24 bytes whose size runs over the data block after it: a
// file seeks back to the data block, a pipe cannot.
TEST_F(Pipe, TagRunningFarPastItsSize)
{
    const uint32_t data_tag_size = 20 + LONG + 4;
    put("p.dat", serialize(start_tag(16, 16 + 24 + data_tag_size + 8) + string_tag(24, 1, LONG, "abc") + zeros(5) +
                               data_tag(data_tag_size, 2, 3, LONG, letters(LONG)) + zeros(4) + end_tag(),
                           false));
    std::string payload = std::string("abc") + std::string(5, '\0') +
                          serialize(header(VANTREL_TAG_DATA_BLOCK, data_tag_size) + w32(2) + w32(3) + w32(LONG), false) +
                          letters(LONG - 28);
    std::string string_line = "  [string] id=0x1, size=" + std::to_string(LONG) + ", data=\"" + payload + "\"\n";
    for (char &c : string_line)
        if (static_cast<unsigned char>(c) >= 0x80)
            c = '.';

    vt::run_result file = dump_once({"p.dat"});
    EXPECT_EQ(file.out.substr(0, 8 + string_line.size()), "[start]\n" + string_line);
    EXPECT_EQ(file.err, "");
    EXPECT_EQ(file.status, 0);

    vt::run_result piped = dump_through_pipes({"p.dat"});
    EXPECT_EQ(piped.out, "[start]\n" + string_line);
    EXPECT_EQ(piped.err, "vantrel-dump: 'p.dat'@0x10: tag runs past its tag_size, and the input cannot seek back\n");
    EXPECT_EQ(piped.status, 1);
}

// JSON looks at a string's bytes before writing them: a string longer than
// the input buffer is gathered in memory, from a pipe as from a file.
TEST_F(Pipe, JsonStringLongerThanTheBuffer)
{
    put("s.dat", library_blob(8, {str(1, letters(LONG)), integer(2, 5)}));
    vt::run_result r = dump({"--json", "s.dat"});
    EXPECT_EQ(r.out, "{\"file\": \"s.dat\", \"byte_order\": \"" +
                         std::string(std::endian::native == std::endian::little ? "little" : "big") +
                         "\", \"length\": " + std::to_string(16 + 24 + LONG + 24 + 8) +
                         ", \"tags\": [{\"tag\": \"string\", \"offset\": 16, \"id\": 1, \"size\": " +
                         std::to_string(LONG) + ", \"text\": \"" + letters(LONG) +
                         "\"}, {\"tag\": \"integer\", \"offset\": " + std::to_string(16 + 24 + LONG) +
                         ", \"id\": 2, \"value\": \"5\", \"hex\": \"0x5\"}]}\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

// Fill skipped forwards, blobs of 5 MiB and a string that runs back over
// bytes still buffered: the pipe lists what the file lists.
TEST_F(Pipe, ForwardMovesAndShortBackwardMoves)
{
    put("big.dat", library_blob(VANTREL_ALIGN_MAX, {str(1, "abc"), data(2, 7, letters(LONG))}));
    put("back.dat", serialize(start_tag(16, 16 + 24 + 24 + 8) + string_tag(24, 1, 40, "abcd") + zeros(4) +
                                  integer_tag(24, 5, 2) + end_tag(),
                              false));
    for (const char *name : {"big.dat", "back.dat"}) {
        SCOPED_TRACE(name);
        vt::run_result r = dump({name});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

} // namespace

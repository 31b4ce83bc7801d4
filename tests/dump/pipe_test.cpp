// Inputs that cannot seek: what the walk can do on them and the one thing
// it cannot (the listing of every other test blob through a pipe is
// compared with its file listing by the fixture).
#include <condition_variable>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// The input buffer's edges.  A tag whose payload runs past its size can be
// come back to on a pipe while the whole tag, from its first byte to its
// payload's last, fits in the buffer; one byte more cannot.  A tag too
// long for the buffer is dropped up to the chunk that no longer fits, so
// coming back to its end lands on the buffer's first byte.  Fill skipped
// forwards, blobs of 5 MiB and a string that runs back over bytes still
// buffered list on a pipe as from the file.
TEST_F(Pipe, MovesAtTheBuffersEdges)
{
    const uint32_t BUFFER = 256 * 1024;
    const std::string CANNOT = "vantrel-dump: 'm.dat'@0x10: tag runs past its tag_size, and the input cannot seek back\n";
    const struct {
        const char *name;
        std::string blob;
        std::string pipe_err; // "": the pipe lists as the file does
    } cases[] = {
        {"a tag spanning exactly the input buffer",
         serialize(start_tag(16, 16 + 24 + BUFFER - 24 + 8) + string_tag(24, 1, BUFFER - 16, "abc") + zeros(5) +
                       data_tag(BUFFER - 24, 2, 3, BUFFER - 44, letters(BUFFER - 44)) + end_tag(),
                   false),
         ""},
        {"a tag one byte longer than the input buffer",
         serialize(start_tag(16, 16 + 24 + BUFFER - 16 + 8) + string_tag(24, 1, BUFFER - 15, "abc") + zeros(5) +
                       data_tag(BUFFER - 16, 2, 3, BUFFER - 36, letters(BUFFER - 36)) + end_tag(),
                   false),
         CANNOT},
        {"a backward move onto the buffer's first byte",
         serialize(start_tag(16, 16 + BUFFER - 48 + 24 + 40 + 8) + string_tag(BUFFER - 48, 1, BUFFER, letters(BUFFER - 64)) +
                       integer_tag(24, 5, 2) + data_tag(40, 7, 3, 20, letters(20)) + end_tag(),
                   false),
         ""},
        {"blob of 5 MiB, alignment 1 MiB", library_blob(VANTREL_ALIGN_MAX, {str(1, "abc"), data(2, 7, letters(LONG))}),
         ""},
        {"a string running back over bytes still buffered",
         serialize(start_tag(16, 16 + 24 + 24 + 8) + string_tag(24, 1, 40, "abcd") + zeros(4) + integer_tag(24, 5, 2) +
                       end_tag(),
                   false),
         ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        put("m.dat", c.blob);
        vt::run_result r = c.pipe_err.empty() ? dump({"m.dat"}) : dump_once({"m.dat"});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        if (!c.pipe_err.empty()) {
            vt::run_result piped = dump_through_pipes({"m.dat"});
            EXPECT_EQ(piped.err, c.pipe_err);
            EXPECT_EQ(piped.status, 1);
        }
    }
}

// A writer that keeps its pipe open (a serial line, a socket) gets its
// listing: each read takes what has arrived, and the dump is done at the
// blob's end tag, before the writer closes.
TEST_F(Pipe, ListedBeforeTheWriterCloses)
{
#ifndef _WIN32
    put("a.dat", library_blob(8, {str(1, "abc"), integer(2, 5)}));
    const std::string blob = vt::read_file("a.dat");
    for (const char *option : {"--warn-start-reserved", "--json"}) {
        SCOPED_TRACE(option);
        vt::run_result file = dump_once({option, "a.dat"});
        ASSERT_EQ(mkfifo("live", 0600), 0);
        std::mutex lock;
        std::condition_variable changed;
        bool listed = false, closed = false;
        std::thread writer([&] {
            int fd = open("live", O_WRONLY);
            if (fd >= 0 && write(fd, blob.data(), blob.size()) != static_cast<ssize_t>(blob.size()))
                ADD_FAILURE() << "could not write the pipe";
            std::unique_lock<std::mutex> held(lock);
            changed.wait_for(held, std::chrono::seconds(10), [&] { return listed; });
            closed = true;
            if (fd >= 0)
                close(fd);
        });
        vt::run_result live = dump_once({option, "live"});
        {
            std::lock_guard<std::mutex> held(lock);
            EXPECT_FALSE(closed) << "listed only once the writer closed the pipe";
            listed = true;
        }
        changed.notify_one();
        writer.join();
        std::remove("live");
        std::string expected = file.out;
        if (std::string(option) == "--json")
            expected.replace(expected.find("a.dat"), 5, "live");
        EXPECT_EQ(live.out, expected);
        EXPECT_EQ(live.err, "");
        EXPECT_EQ(live.status, 0);
    }
#endif
}

} // namespace

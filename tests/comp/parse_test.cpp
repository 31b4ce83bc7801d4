// The reader and parsers called in-process: where the cursor ends, what is
// stored before a failure, capacities the program's own lines never reach,
// and comp_main run twice in one process.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "comp.h"
#include "test_support.h"

namespace {

// Standard error of f(), byte for byte.
template <typename F> std::string stderr_of(F f)
{
    std::fflush(stderr);
    FILE *capture = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(capture), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text(static_cast<size_t>(std::ftell(capture)), '\0');
    std::rewind(capture);
    text.resize(std::fread(text.data(), 1, text.size(), capture));
    std::fclose(capture);
    return text;
}

enum parser { P64, P32, STR, HEX };

struct parse_case {
    parser which;
    std::string text;
    uint32_t capacity;
    int64_t result;     // the value or byte count; 1 or -1 after a message
    std::string stored; // bytes in the destination (byte parsers)
    size_t cursor;      // where the cursor ends, as an offset into text
    std::string error;  // the message after "p: s:9: "
};

TEST(CompParse, CursorsAndCapacities)
{
    const std::vector<parse_case> cases = {
        {P64, "7   0x10", 0, 7, "", 4, ""}, {P64, "0x10", 0, 16, "", 4, ""},
        {P64, "12abc rest", 0, 1, "", 0, "Formatting error in integer argument"},
        {P32, "4294967295  x", 0, 4294967295, "", 12, ""},
        // A number too large for 32 bits has been stepped over all the same.
        {P32, "4294967296 x", 0, 1, "", 11, "0x100000000: Integer does not fit in 32 bits"},
        {STR, "\"abc\"", 3, 3, "abc", 5, ""}, {STR, "\"\\t\\n\\\\\"", 3, 3, "\t\n\\", 8, ""},
        {STR, "\"abcd\"", 3, -1, "abc", 0, "String argument is too long"},
        {STR, "\"\\t\\t\\t\\t\"", 3, -1, "\t\t\t", 0, "String argument is too long"},
        {STR, "\"\" x", 0, 0, "", 3, ""}, {STR, "\"ab\"   next", 8, 2, "ab", 7, ""},
        {STR, "\"ab\\q\"", 8, -1, "ab", 0, "Unrecognized escape sequence"},
        {HEX, "<0102>", 2, 2, "\1\2", 6, ""}, {HEX, "<01>xyz", 8, 1, "\1", 4, ""},
        {HEX, "<010203>", 2, -1, "\1\2", 0, "Hex string argument is too long"},
        {HEX, "<0102 >", 2, -1, "\1\2", 0, "Hex string argument is too long"},
        {HEX, "<>", 0, 0, "", 2, ""}, {HEX, "< >", 0, -1, "", 0, "Hex string argument is too long"},
        {HEX, "<01 2>", 8, -1, "\1", 0, "Formatting error in hex string argument"},
    };
    for (const parse_case &c : cases) {
        SCOPED_TRACE(c.text);
        comp_context ctx{};
        ctx.prog_name = "p", ctx.in_name = "s", ctx.in_shown = {"s", nullptr}, ctx.line_no = 9;
        std::string line = c.text;
        char *cursor = line.data();
        uint8_t dest[16] = {};
        uint64_t value = 0xAAAA;
        uint32_t value32 = 0xAAAA;
        int64_t result = 0;
        std::string err = stderr_of([&] {
            switch (c.which) {
            case P64: result = parse64(&ctx, &value, &cursor); break;
            case P32: result = parse32(&ctx, &value32, &cursor), value = value32; break;
            case STR: result = parse_str(&ctx, &cursor, dest, c.capacity); break;
            case HEX: result = parse_hex(&ctx, &cursor, dest, c.capacity); break;
            }
        });
        bool integer = c.which == P64 || c.which == P32;
        bool ok = c.error.empty();
        EXPECT_EQ(integer && ok ? static_cast<int64_t>(value) : result, c.result);
        if (integer && !ok) {
            EXPECT_EQ(value, 0xAAAAu); // written only on success
        }
        EXPECT_EQ(std::string(reinterpret_cast<char *>(dest), c.stored.size()), c.stored);
        EXPECT_EQ(static_cast<size_t>(cursor - line.data()), c.cursor);
        EXPECT_EQ(err, ok ? "" : "p: s:9: " + c.error + "\n");
    }
}

TEST(CompParse, ReadLinePiecesAndNumbers)
{
    const std::string source = "\n  # c\n  a b \r\n" + std::string(5000, 'x') + "\n\tlast";
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {3, "a b"}, {4, std::string(4094, 'x')}, {5, std::string(906, 'x')}, {6, "last"}};
    FILE *in = std::tmpfile();
    std::fwrite(source.data(), 1, source.size(), in);
    std::rewind(in);
    char line_buf[4096];
    comp_context ctx{};
    ctx.in_file = in, ctx.line_buf = line_buf, ctx.line_size = sizeof line_buf;
    std::vector<std::pair<uint32_t, std::string>> got;
    for (char *line; (line = read_line(&ctx)) != nullptr;)
        got.emplace_back(ctx.line_no, line);
    std::fclose(in);
    EXPECT_EQ(got, expected);
}

// What an in-place rewrite reserves for --c-array is what is written, for
// each shape of the last line and names and numbers of any length.
TEST(CompParse, CArrayTextSize)
{
    const std::vector<uint8_t> bytes(1000, 0x5A);
    for (const std::string &name : {std::string("a"), std::string(300, 'n')})
        for (uint32_t size : {0u, 1u, 11u, 12u, 13u, 24u, 1000u})
            for (uint32_t alignment : {8u, 1048576u}) {
                SCOPED_TRACE(std::to_string(name.size()) + " " + std::to_string(size) + " " + std::to_string(alignment));
                FILE *out = std::tmpfile();
                ASSERT_NE(out, nullptr);
                EXPECT_EQ(write_c_array(out, name.c_str(), bytes.data(), size, alignment), 0);
                EXPECT_EQ(static_cast<uint64_t>(std::ftell(out)), c_array_text_size(name.c_str(), size, alignment));
                std::fclose(out);
            }
}

TEST(CompParse, RunsTwiceInOneProcess)
{
    vt::temp_dir dir;
    std::string src = dir.file("unit.txt"), out = dir.file("unit.dat");
    vt::write_file(src, "{\nstr 1 \"abc\"\ndata 2 3 begin\n<01>\nend\n}\n");
    std::vector<std::string> blobs;
    for (int run = 0; run < 2; ++run) {
        char *argv[] = {const_cast<char *>("vantrel-comp"), const_cast<char *>("-o"), out.data(), src.data(),
                        nullptr};
        EXPECT_EQ(comp_main(4, argv), 0);
        blobs.push_back(vt::read_file(out));
    }
    EXPECT_EQ(blobs[0].size(), 16u + 24 + 24 + 8);
    EXPECT_EQ(blobs[0], blobs[1]);
    vt::write_file(src, "{\n");
    char *argv[] = {const_cast<char *>("c"), src.data(), nullptr};
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(comp_main(2, argv), 1); }),
              "c: " + src + ": No closing \"}\" command was found\n");
    EXPECT_FALSE(vt::file_exists(src + ".dat"));
}

} // namespace

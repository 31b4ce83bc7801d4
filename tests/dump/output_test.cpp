// The listing's hand-made number and hex formatting against snprintf, at
// every digit-count boundary, and the output buffer's blocks.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "output.h"
#include "test_support.h"

namespace {

std::vector<uint64_t> boundary_values()
{
    std::vector<uint64_t> values{0, 1, 9, UINT64_MAX, UINT64_MAX - 1, 0x8000000000000000u, 0x7FFFFFFFFFFFFFFFu};
    for (uint64_t p = 10; p <= 10000000000000000000u / 10 * 10; p *= 10) {
        values.insert(values.end(), {p - 1, p, p + 1});
        if (p > UINT64_MAX / 10)
            break;
    }
    for (int bit = 1; bit < 64; ++bit) {
        uint64_t v = uint64_t{1} << bit;
        values.insert(values.end(), {v - 1, v, v + 1});
    }
    return values;
}

template <typename F> std::string made(F format)
{
    char text[64];
    return std::string(text, format(text));
}

TEST(Output, NumbersAsPrintfWritesThem)
{
    for (uint64_t v : boundary_values()) {
        char expected[64];
        SCOPED_TRACE(v);
        std::snprintf(expected, sizeof expected, "%" PRIu64, v);
        EXPECT_EQ(made([&](char *at) { return format_unsigned(at, v); }), expected);
        std::snprintf(expected, sizeof expected, "%" PRId64, static_cast<int64_t>(v));
        EXPECT_EQ(made([&](char *at) { return format_signed(at, static_cast<int64_t>(v)); }), expected);
        std::snprintf(expected, sizeof expected, "%" PRIX64, v);
        EXPECT_EQ(made([&](char *at) { return format_hex(at, v); }), expected);
        std::snprintf(expected, sizeof expected, "%" PRIx64, v);
        EXPECT_EQ(made([&](char *at) { return format_hex_lower(at, v); }), expected);
    }
}

TEST(Output, BytesAsHexPairs)
{
    uint8_t bytes[300];
    for (size_t i = 0; i < sizeof bytes; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    for (size_t count : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17}, size_t{64}, size_t{300}}) {
        std::string expected;
        char pair[3];
        for (size_t i = 0; i < count; ++i) {
            std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
            expected += pair;
        }
        std::string text(2 * count + 1, '#');
        char *end = format_bytes_hex(text.data(), bytes, count);
        EXPECT_EQ(end - text.data(), static_cast<std::ptrdiff_t>(2 * count));
        EXPECT_EQ(text.substr(0, 2 * count), expected);
        EXPECT_EQ(text.back(), '#'); // nothing written past the end
    }
}

// Text longer than the buffer goes out in whole blocks, in order; a failed
// write is kept with its errno and later writes are dropped.
TEST(Output, BlocksAndFailure)
{
    FILE *stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    char buffer[OUTPUT_ROOM_MAX];
    dump_output out;
    output_init(&out, stream, buffer, sizeof buffer);
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += std::to_string(i) + ",";
    output_write(&out, text.data(), text.size());
    output_indent(&out, 20);
    EXPECT_EQ(output_flush(&out), 0);
    std::string written(text.size() + 64, '\0');
    std::rewind(stream);
    written.resize(std::fread(written.data(), 1, written.size(), stream));
    std::fclose(stream);
    EXPECT_EQ(written, text + std::string(40, ' '));

    if (vt::ON_WINDOWS)
        GTEST_SKIP() << "no device that refuses every write, like /dev/full, on Windows";
    FILE *full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    output_init(&out, full, buffer, sizeof buffer);
    output_write(&out, text.data(), text.size());
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.error, ENOSPC);
    EXPECT_EQ(output_flush(&out), 1);
    std::fclose(full);
}

} // namespace

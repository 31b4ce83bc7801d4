// A mapped file that shrinks under the dump: the read of a lost page is
// caught and reported by run_guarding_maps, not a crash.
#include <cstdio>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform.h"

namespace {

struct probe {
    const uint8_t *bytes;
    size_t at;
};

int read_byte(void *arg)
{
    auto *p = static_cast<probe *>(arg);
    return *static_cast<const volatile uint8_t *>(p->bytes + p->at);
}

TEST(MapGuard, ShrunkFileFaultsAreCaught)
{
    std::string path = testing::TempDir() + "map_guard.dat";
    FILE *f = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    const size_t size = 3 * static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::string bytes(size, '\x5A');
    ASSERT_EQ(std::fwrite(bytes.data(), 1, size, f), size);
    ASSERT_EQ(std::fflush(f), 0);
    size_t mapped = 0;
    const uint8_t *map = stream_map(f, &mapped);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(mapped, size);
    probe last{map, size - 1};
    EXPECT_EQ(run_guarding_maps(read_byte, &last), 0x5A);
    ASSERT_EQ(ftruncate(fileno(f), 0), 0);
    EXPECT_EQ(run_guarding_maps(read_byte, &last), -1);
    // The guard is gone with the call and comes back with the next one.
    EXPECT_EQ(run_guarding_maps(read_byte, &last), -1);
    stream_unmap(map, mapped);
    std::fclose(f);
    std::remove(path.c_str());
}

} // namespace

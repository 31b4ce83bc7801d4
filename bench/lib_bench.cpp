// Builder costs beside a plain memcpy of the same payload bytes.  Small tags
// go into a 64 KiB buffer (the compiler's blob size, cache resident), so the
// figures are the builder's and not the memory bus's.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "vantrel.h"

namespace {

constexpr uint32_t small_buffer = 64u << 10;

void BM_add_integer(benchmark::State &state)
{
    std::vector<uint8_t> buffer(small_buffer);
    vantrel_state s{};
    vantrel_init(&s, buffer.data(), small_buffer, 8);
    uint64_t value = 0;
    for (auto _ : state) {
        if (vantrel_add_integer(&s, value++, 7) != 0)
            vantrel_init(&s, buffer.data(), small_buffer, 8);
    }
    benchmark::DoNotOptimize(buffer.data());
}
BENCHMARK(BM_add_integer);

void BM_memcpy_integer(benchmark::State &state)
{
    std::vector<uint8_t> buffer(small_buffer);
    uint64_t fields[3] = {};
    uint32_t at = 0;
    for (auto _ : state) {
        fields[1]++;
        std::memcpy(buffer.data() + at, fields, sizeof fields);
        at = at + 24 > small_buffer - 24 ? 0 : at + 24;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_memcpy_integer);

// Data blocks and strings of state.range(0) bytes, and their bare copies.
void BM_add_data_block(benchmark::State &state)
{
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    const uint32_t buffer_size = size < small_buffer / 4 ? small_buffer : 2 * size + 64;
    std::vector<uint8_t> buffer(buffer_size), data(size, 0x5A);
    vantrel_state s{};
    vantrel_init(&s, buffer.data(), buffer_size, 8);
    for (auto _ : state) {
        if (vantrel_add_data_block(&s, data.data(), size, 1, 2) != 0) {
            vantrel_init(&s, buffer.data(), buffer_size, 8);
            vantrel_add_data_block(&s, data.data(), size, 1, 2);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}
BENCHMARK(BM_add_data_block)->Arg(4096)->Arg(1 << 20);

void BM_add_string(benchmark::State &state)
{
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> buffer(small_buffer);
    std::vector<char> text(size, 'a');
    vantrel_state s{};
    vantrel_init(&s, buffer.data(), small_buffer, 8);
    for (auto _ : state) {
        if (vantrel_add_string(&s, text.data(), size, 3) != 0)
            vantrel_init(&s, buffer.data(), small_buffer, 8);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}
BENCHMARK(BM_add_string)->Arg(16);

void BM_memcpy(benchmark::State &state)
{
    const uint32_t size = static_cast<uint32_t>(state.range(0));
    const uint32_t buffer_size = size < small_buffer / 4 ? small_buffer : 2 * size + 64;
    std::vector<uint8_t> buffer(buffer_size), data(size, 0x5A);
    uint32_t at = 0;
    const uint32_t step = (size + 27) & ~7u;
    for (auto _ : state) {
        std::memcpy(buffer.data() + at + 20, data.data(), size);
        at = at + 2 * step > buffer_size ? 0 : at + step;
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}
BENCHMARK(BM_memcpy)->Arg(16)->Arg(4096)->Arg(1 << 20);

} // namespace

BENCHMARK_MAIN();

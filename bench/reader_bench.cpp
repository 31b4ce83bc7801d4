// The C reader (vantrel_reader.h) and vantrel::reader over it, on 64 MiB
// blobs built with the C library: one of small integer tags, one of 4 KiB
// data blocks.  Validation reads only headers
// and fields, so data blocks go by at memory-latency speed, not copy speed;
// iteration then steps the checked blob without checking again.
//   reader_bench [benchmark flags]
//   reader_bench --write-blob=PATH   writes the small-tag blob and exits
//                                    (reader_vs_dump.sh lists it)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "vantrel.h"
#include "vantrel.hpp"

namespace {

constexpr uint32_t blob_size = 64u << 20;
constexpr uint32_t data_block_size = 4096;

struct test_blob {
    std::vector<std::byte> bytes;
    std::size_t tags = 0;
};

// Fills a 64 MiB buffer with as many tags as fit; `add` places one.
template <typename Add> test_blob make_blob(Add add)
{
    test_blob b;
    b.bytes.resize(blob_size);
    vantrel_state s{};
    if (vantrel_init(&s, b.bytes.data(), blob_size, 8) != 0)
        return {};
    while (add(&s, static_cast<uint32_t>(b.tags)) == 0)
        ++b.tags;
    vantrel_end(&s);
    b.bytes.resize(vantrel_get_used_size(&s));
    return b;
}

const test_blob &small_tags()
{
    static const test_blob b = make_blob(
        [](vantrel_state *s, uint32_t n) { return vantrel_add_integer(s, uint64_t{n} * 0x9E3779B97F4A7C15u, n); });
    return b;
}

const test_blob &data_blocks()
{
    static const std::vector<std::byte> payload(data_block_size, std::byte{0x5A});
    static const test_blob b = make_blob([](vantrel_state *s, uint32_t n) {
        return vantrel_add_data_block(s, payload.data(), data_block_size, 1, n);
    });
    return b;
}

// A copy in the other byte order, swapped field by field.
const test_blob &small_tags_swapped()
{
    static const test_blob b = [] {
        test_blob copy = small_tags();
        auto swap32 = [&copy](std::size_t at) {
            uint32_t v;
            std::memcpy(&v, copy.bytes.data() + at, 4);
            v = __builtin_bswap32(v);
            std::memcpy(copy.bytes.data() + at, &v, 4);
        };
        for (std::size_t at : {0, 4, 8, 12})
            swap32(at);
        std::size_t at = VANTREL_START_MIN;
        for (std::size_t n = 0; n < copy.tags; ++n, at += VANTREL_INTEGER_MIN) {
            uint64_t v;
            std::memcpy(&v, copy.bytes.data() + at + VANTREL_INTEGER_VALUE, 8);
            v = __builtin_bswap64(v);
            std::memcpy(copy.bytes.data() + at + VANTREL_INTEGER_VALUE, &v, 8);
            for (uint32_t field : {VANTREL_HDR_TAG, VANTREL_HDR_TAG_SIZE, VANTREL_INTEGER_ID, VANTREL_INTEGER_RESERVED})
                swap32(at + field);
        }
        swap32(at + VANTREL_HDR_TAG_SIZE);
        return copy;
    }();
    return b;
}

void report(benchmark::State &state, const test_blob &b)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * b.bytes.size()));
    state.counters["tags"] = static_cast<double>(b.tags);
    state.counters["per_tag"] = benchmark::Counter(static_cast<double>(state.iterations() * b.tags),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void validate(benchmark::State &state, const test_blob &b)
{
    for (auto _ : state) {
        vantrel::reader r(b.bytes);
        if (!r.ok())
            state.SkipWithError("blob refused");
        benchmark::DoNotOptimize(r);
    }
    report(state, b);
}

void iterate(benchmark::State &state, const test_blob &b)
{
    vantrel::reader r(b.bytes);
    if (!r.ok())
        state.SkipWithError("blob refused");
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const vantrel::tag &t : r)
            sum += t.value + t.id + t.bytes.size();
        benchmark::DoNotOptimize(sum);
    }
    report(state, b);
}

void c_validate(benchmark::State &state, const test_blob &b)
{
    for (auto _ : state) {
        uint32_t offset;
        const char *reason;
        if (vantrel_check(b.bytes.data(), b.bytes.size(), &offset, &reason) != 0)
            state.SkipWithError("blob refused");
    }
    report(state, b);
}

// Checked once, then stepped without checks, as vantrel::reader iterates.
void c_iterate(benchmark::State &state, const test_blob &b)
{
    if (vantrel_check(b.bytes.data(), b.bytes.size(), nullptr, nullptr) != 0)
        state.SkipWithError("blob refused");
    for (auto _ : state) {
        uint64_t sum = 0;
        vantrel_tag t;
        vantrel_checked_first(b.bytes.data(), b.bytes.size(), &t);
        while (vantrel_checked_next(b.bytes.data(), b.bytes.size(), &t) > 0)
            sum += t.value + t.id + t.size;
        benchmark::DoNotOptimize(sum);
    }
    report(state, b);
}

// The checking iterator: checks and hands out each tag in one pass.
void c_walk(benchmark::State &state, const test_blob &b)
{
    static vantrel_reader r;
    for (auto _ : state) {
        uint64_t sum = 0;
        vantrel_tag t;
        vantrel_reader_init(&r, b.bytes.data(), b.bytes.size(), 0);
        while (vantrel_reader_next(&r, &t) > 0)
            sum += t.value + t.id + t.size;
        benchmark::DoNotOptimize(sum);
    }
    report(state, b);
}

// A settings blob of 1,000 integer tags; a look-up of the last one walks
// all of them.
const test_blob &thousand_settings()
{
    static const test_blob b = [] {
        test_blob t;
        t.bytes.resize(16 + 1000 * 24 + 8);
        vantrel_state s{};
        vantrel_init(&s, t.bytes.data(), static_cast<uint32_t>(t.bytes.size()), 8);
        for (uint32_t id = 1; id <= 1000; ++id)
            t.tags += vantrel_add_integer(&s, id, id) == 0 ? 1 : 0;
        vantrel_end(&s);
        return t;
    }();
    return b;
}

// Checks the blob and looks the last id up, as a caller that has not checked
// does on every look-up.
void BM_c_lookup_last_of_1000_checking(benchmark::State &state)
{
    const test_blob &b = thousand_settings();
    for (auto _ : state) {
        uint64_t value = 0;
        if (vantrel_get_integer(b.bytes.data(), b.bytes.size(), 1000, &value) != VANTREL_OK)
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(value);
    }
}

// Looks the last id up in a blob checked once before.
void BM_c_lookup_last_of_1000_checked(benchmark::State &state)
{
    const test_blob &b = thousand_settings();
    if (vantrel_check(b.bytes.data(), b.bytes.size(), nullptr, nullptr) != 0)
        state.SkipWithError("blob refused");
    for (auto _ : state) {
        uint64_t value = 0;
        if (vantrel_checked_get_integer(b.bytes.data(), b.bytes.size(), 1000, &value) != VANTREL_OK)
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_c_lookup_last_of_1000_checking);
BENCHMARK(BM_c_lookup_last_of_1000_checked);

void BM_c_validate_small_tags(benchmark::State &state) { c_validate(state, small_tags()); }
void BM_c_validate_small_tags_swapped(benchmark::State &state) { c_validate(state, small_tags_swapped()); }
void BM_c_iterate_small_tags(benchmark::State &state) { c_iterate(state, small_tags()); }
void BM_c_iterate_small_tags_swapped(benchmark::State &state) { c_iterate(state, small_tags_swapped()); }
void BM_c_walk_small_tags(benchmark::State &state) { c_walk(state, small_tags()); }
void BM_c_walk_data_blocks(benchmark::State &state) { c_walk(state, data_blocks()); }
void BM_c_validate_data_blocks(benchmark::State &state) { c_validate(state, data_blocks()); }
void BM_c_iterate_data_blocks(benchmark::State &state) { c_iterate(state, data_blocks()); }
BENCHMARK(BM_c_validate_small_tags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_validate_small_tags_swapped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_iterate_small_tags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_iterate_small_tags_swapped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_walk_small_tags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_walk_data_blocks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_validate_data_blocks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_c_iterate_data_blocks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_validate_small_tags(benchmark::State &state) { validate(state, small_tags()); }
void BM_validate_small_tags_swapped(benchmark::State &state) { validate(state, small_tags_swapped()); }
void BM_iterate_small_tags(benchmark::State &state) { iterate(state, small_tags()); }
void BM_iterate_small_tags_swapped(benchmark::State &state) { iterate(state, small_tags_swapped()); }
void BM_validate_data_blocks(benchmark::State &state) { validate(state, data_blocks()); }
void BM_iterate_data_blocks(benchmark::State &state) { iterate(state, data_blocks()); }
BENCHMARK(BM_validate_small_tags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_validate_small_tags_swapped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_iterate_small_tags)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_iterate_small_tags_swapped)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_validate_data_blocks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_iterate_data_blocks)->Unit(benchmark::kMillisecond)->UseRealTime();

int write_blob(const char *path)
{
    const test_blob &b = small_tags();
    FILE *out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::perror(path);
        return 1;
    }
    bool written = std::fwrite(b.bytes.data(), 1, b.bytes.size(), out) == b.bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(path);
        return 1;
    }
    std::printf("%zu bytes, %zu tags\n", b.bytes.size(), b.tags);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    constexpr std::string_view write_flag = "--write-blob=";
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).starts_with(write_flag))
            return write_blob(argv[i] + write_flag.size());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

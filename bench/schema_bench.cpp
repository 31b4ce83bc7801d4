// The schema check beside the format check, on two shapes of blob:
//  - tables: 64 MiB of about a million tags (the most a schema's marks
//    allow), integers, strings and data blocks in 16 tables of 65536 ids,
//    in id order: the look-up stays on one declaration for long runs;
//  - singles: 4096 individually declared tags (every fourth optional),
//    once in id order and once shuffled: the look-up moves on every tag,
//    to the next declaration or by its binary search.
//   build/bench/schema_bench --benchmark_min_time=1 --benchmark_repetitions=5
// Target: the format check and the schema check together at most 1.5x
// the format check alone.
#include "vantrel.h"
#include "vantrel_schema.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char *const kinds[16] = {"int", "str", "data", "int", "str", "data", "int", "int",
                               "str", "data", "int", "str", "int", "data", "str", "int"};

struct fixture {
    std::string text;
    std::vector<vantrel_schema_decl> decls;
    vantrel_schema schema{};
    std::vector<uint8_t> blob, seen;

    // The schema points into text and decls: moved, their buffers stay.
    fixture() = default;
    fixture(const fixture &) = delete;
    fixture(fixture &&) = default;

    // Reads the schema text, then writes `count` tags into a blob of at
    // most `capacity` bytes: the n-th of them with id_of(n) and kind_of(id).
    template <class Id, class Kind>
    void make(uint32_t capacity, uint32_t count, Id id_of, Kind kind_of)
    {
        decls.resize(vantrel_schema_count(text.data(), text.size()));
        vantrel_schema_error error;
        if (vantrel_schema_read(&schema, decls.data(), uint32_t(decls.size()), text.data(), text.size(), &error) != 0)
            std::abort();
        blob.resize(capacity);
        vantrel_state state;
        vantrel_init(&state, blob.data(), uint32_t(blob.size()), 8);
        const std::string bytes(200, 'x');
        for (uint32_t n = 0; n < count; ++n) {
            const uint32_t id = id_of(n);
            const char kind = kind_of(id);
            int32_t full = kind == 'i'   ? vantrel_add_integer(&state, id % 1000000, id)
                         : kind == 's' ? vantrel_add_string(&state, bytes.data(), 8 + id % 48, id)
                                       : vantrel_add_data_block(&state, bytes.data(), 40 + id % 160, 7, id);
            if (full != 0)
                break;
        }
        vantrel_end(&state);
        blob.resize(vantrel_get_used_size(&state));
        seen.resize(vantrel_schema_seen_size(&schema));
        vantrel_schema_fault fault;
        if (vantrel_check(blob.data(), blob.size(), nullptr, nullptr) != 0 ||
            vantrel_schema_check(blob.data(), blob.size(), &schema, seen.data(), &fault) != 0) {
            std::fprintf(stderr, "schema_bench: the blob does not satisfy its schema (%d)\n", fault.code);
            std::abort();
        }
    }
};

std::string constraint(char kind)
{
    return kind == 'd' ? " 7 size 0..200" : kind == 'i' ? " 0..1000000" : " max 64";
}

fixture &tables()
{
    static fixture f = [] {
        fixture t;
        for (int k = 0; k < 16; ++k)
            t.text += std::string(kinds[k]) + " t" + std::to_string(k) + " " + std::to_string(k * 65536) + ".." +
                      std::to_string(k * 65536 + 65535) + constraint(kinds[k][0]) + " table\n";
        t.make(64u << 20, 16u * 65536u, [](uint32_t n) { return n; }, [](uint32_t id) { return kinds[id >> 16][0]; });
        return t;
    }();
    return f;
}

// Ids 16 apart, so that no two declarations could be one table.
constexpr uint32_t singles_count = 4096;
char single_kind(uint32_t id) { return kinds[(id / 16) % 16][0]; }

fixture singles(bool shuffled)
{
    fixture s;
    for (uint32_t n = 0; n < singles_count; ++n)
        s.text += std::string(kinds[n % 16]) + " s" + std::to_string(n) + " " + std::to_string(16 * n + 16) +
                  constraint(kinds[n % 16][0]) + (n % 4 == 3 ? " optional\n" : "\n");
    // 1021 is prime to 4096: n -> n * 1021 mod 4096 visits every id once.
    s.make(
        1u << 20, singles_count, [shuffled](uint32_t n) { return 16 * ((shuffled ? n * 1021 : n) % singles_count) + 16; },
        [](uint32_t id) { return single_kind(id - 16); });
    return s;
}

fixture &singles_in_order()
{
    static fixture f = singles(false);
    return f;
}

fixture &singles_shuffled()
{
    static fixture f = singles(true);
    return f;
}

template <fixture &(*data)()> void BM_check(benchmark::State &state)
{
    fixture &f = data();
    for (auto _ : state)
        benchmark::DoNotOptimize(vantrel_check(f.blob.data(), f.blob.size(), nullptr, nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.blob.size()));
}

template <fixture &(*data)()> void BM_schema_check(benchmark::State &state)
{
    fixture &f = data();
    vantrel_schema_fault fault;
    for (auto _ : state)
        benchmark::DoNotOptimize(vantrel_schema_check(f.blob.data(), f.blob.size(), &f.schema, f.seen.data(), &fault));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.blob.size()));
}

template <fixture &(*data)()> void BM_check_and_schema(benchmark::State &state)
{
    fixture &f = data();
    vantrel_schema_fault fault;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            vantrel_schema_check_blob(f.blob.data(), f.blob.size(), &f.schema, f.seen.data(), &fault));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.blob.size()));
}

} // namespace

BENCHMARK(BM_check<tables>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_schema_check<tables>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_check_and_schema<tables>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_check<singles_in_order>)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_schema_check<singles_in_order>)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_check_and_schema<singles_in_order>)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_check<singles_shuffled>)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_schema_check<singles_shuffled>)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_check_and_schema<singles_shuffled>)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

// The schema check beside the format check on a 64 MiB blob of about a
// million tags (the most a schema's marks allow): integers, strings and
// data blocks in 16 tables of 65536 ids, in id order.
//   build/bench/schema_bench --benchmark_min_time=2
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

struct fixture {
    std::string text;
    std::vector<vantrel_schema_decl> decls;
    vantrel_schema schema{};
    std::vector<uint8_t> blob, seen;

    fixture()
    {
        const char *kinds[16] = {"int", "str", "data", "int", "str", "data", "int", "int",
                                 "str", "data", "int", "str", "int", "data", "str", "int"};
        for (int k = 0; k < 16; ++k) {
            text += std::string(kinds[k]) + " t" + std::to_string(k) + " " + std::to_string(k * 65536) + ".." +
                    std::to_string(k * 65536 + 65535) + (kinds[k][0] == 'd' ? " 7 size 0..200" : "") +
                    (kinds[k][0] == 'i' ? " 0..1000000" : "") + (kinds[k][0] == 's' ? " max 64" : "") + " table\n";
        }
        decls.resize(16);
        vantrel_schema_error error;
        if (vantrel_schema_read(&schema, decls.data(), 16, text.data(), text.size(), &error) != 0)
            std::abort();
        blob.resize(64u << 20);
        vantrel_state state;
        vantrel_init(&state, blob.data(), uint32_t(blob.size()), 8);
        const std::string bytes(200, 'x');
        for (uint32_t id = 0; id < 16u * 65536u; ++id) {
            const char kind = kinds[id >> 16][0];
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

fixture &data()
{
    static fixture f;
    return f;
}

void BM_check(benchmark::State &state)
{
    fixture &f = data();
    for (auto _ : state)
        benchmark::DoNotOptimize(vantrel_check(f.blob.data(), f.blob.size(), nullptr, nullptr));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.blob.size()));
}

void BM_schema_check(benchmark::State &state)
{
    fixture &f = data();
    vantrel_schema_fault fault;
    for (auto _ : state)
        benchmark::DoNotOptimize(vantrel_schema_check(f.blob.data(), f.blob.size(), &f.schema, f.seen.data(), &fault));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.blob.size()));
}

void BM_check_and_schema(benchmark::State &state)
{
    fixture &f = data();
    vantrel_schema_fault fault;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            vantrel_schema_check_blob(f.blob.data(), f.blob.size(), &f.schema, f.seen.data(), &fault));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.blob.size()));
}

} // namespace

BENCHMARK(BM_check)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_schema_check)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_check_and_schema)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

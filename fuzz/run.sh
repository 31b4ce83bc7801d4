#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a
# fixed time, two at a time.  Fails on any finding; a crashing input is left
# in the build folder as crash-*.
# Usage: fuzz/run.sh [seconds-per-target] [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${2:-build-fuzz}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON -DVANTREL_SANITIZE=ON \
    -DVANTREL_WERROR=ON -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target fuzz_all

# Seed corpora: real blobs and sources made by the seed generator.
seeds=$build/fuzz/seeds
rm -rf "$seeds"
"$build/fuzz/make_seeds" "$seeds" examples/device-settings.txt examples/string-table.txt \
    examples/firmware-payloads.txt tests/cross/numbers.txt examples/device-settings.schema

run_one() { # target
    local t=$1 corpus=$build/fuzz/corpus/$1
    mkdir -p "$corpus"
    [[ -d $seeds/$t ]] && cp -n "$seeds/$t"/* "$corpus"/ 2>/dev/null || true
    (cd "$build/fuzz" && ./"$t" -max_total_time="$seconds" -print_final_stats=1 \
        -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 "corpus/$t" >"$t.log" 2>&1)
}

status=0
pids=()
names=()
for t in $(cat "$build/fuzz/targets.txt"); do
    run_one "$t" &
    pids+=($!)
    names+=("$t")
    if ((${#pids[@]} >= jobs)); then
        wait "${pids[0]}" || { echo "FINDING in ${names[0]}"; tail -40 "$build/fuzz/${names[0]}.log"; status=1; }
        pids=("${pids[@]:1}")
        names=("${names[@]:1}")
    fi
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || { echo "FINDING in ${names[$i]}"; tail -40 "$build/fuzz/${names[$i]}.log"; status=1; }
done

for t in $(cat "$build/fuzz/targets.txt"); do
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz/$t.log" | grep -o '[0-9]*$' || echo 0)
    rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$build/fuzz/$t.log" | grep -o '[0-9]*$' || echo 0)
    cov=$(grep -o 'cov: [0-9]*' "$build/fuzz/$t.log" | tail -n1 || true)
    printf 'fuzz %-12s %10s runs %8s exec/s %s\n' "$t" "$runs" "$rate" "$cov"
done
exit $status

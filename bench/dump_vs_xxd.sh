#!/usr/bin/env bash
# Times vantrel-dump listing a blob of data blocks whose bytes total 64 MiB
# beside `xxd -p` on the same 64 MiB of bytes, both writing to /dev/null:
# whole-process wall times, RUNS interleaved runs each, medians.  The target
# is vantrel-dump at least 8 times faster.
# Usage: bench/dump_vs_xxd.sh [build-dir] [runs]    (default: build 7)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-7}
dump=$build/dump/vantrel-dump
[[ -x $dump ]] || { echo "no $dump: build first" >&2; exit 1; }
command -v xxd >/dev/null || { echo "xxd is needed (Debian package xxd)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The generator links the built library.
libdir=$(dirname "$(find "$build/lib" -maxdepth 1 -name 'libvantrel.so*' | head -n1)")
${CXX:-c++} -std=c++20 -O2 -Ilib bench/dump_make_blob.cpp -L"$libdir" -lvantrel \
    -Wl,-rpath,"$(cd "$libdir" && pwd)" -o "$work/make_blob"
"$work/make_blob" "$work/blob.dat" "$work/raw.bin" 64

# Both must have listed every byte: 64 data block lines, 2 hex digits a byte.
lines=$("$dump" "$work/blob.dat" | grep -c '^  \[data_block\]')
[[ $lines == 64 ]] || { echo "vantrel-dump listed $lines data blocks, not 64" >&2; exit 1; }
[[ $(xxd -p "$work/raw.bin" | tr -d '\n' | wc -c) == $((2 * 64 << 20)) ]] ||
    { echo "xxd -p output has the wrong size" >&2; exit 1; }

elapsed() { # command... ; prints wall seconds
    local t0=$EPOCHREALTIME
    "$@" >/dev/null
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

dump_times=()
xxd_times=()
for ((i = 0; i < runs; i++)); do
    dump_times+=("$(elapsed "$dump" "$work/blob.dat")")
    xxd_times+=("$(elapsed xxd -p "$work/raw.bin")")
done
dump_median=$(printf '%s\n' "${dump_times[@]}" | median)
xxd_median=$(printf '%s\n' "${xxd_times[@]}" | median)
echo "vantrel-dump runs (s): ${dump_times[*]}"
echo "xxd -p runs (s):       ${xxd_times[*]}"
awk -v d="$dump_median" -v x="$xxd_median" 'BEGIN {
    printf "64 MiB of data block bytes, median of %d: vantrel-dump %.3f s, xxd -p %.3f s, ratio %.2fx (target 8x)\n", '"$runs"', d, x, x / d
    exit (x / d >= 8) ? 0 : 1 }'

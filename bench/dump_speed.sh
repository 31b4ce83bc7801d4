#!/usr/bin/env bash
# vantrel-dump beside `xxd -p` on the same files, both writing to /dev/null,
# RUNS interleaved runs each, medians of whole-process wall times:
#   - the 64 MiB blob of small tags (integers and short strings) that
#     reader_bench writes; target: vantrel-dump at least 3x faster;
#   - 64 MiB of data blocks (xxd reads the same bytes without tags);
#     target: at least 8x faster.
# Also ns per tag, system calls per MiB of blob (strace -c, if installed),
# CPU times (user + system) beside the listing's and xxd -p's of
#   - --json on both blobs and on 64 MiB of strings in three shapes (ASCII,
#     heavy in escapes and non-ASCII UTF-8, prose with one character in ten
#     multibyte; see dump_make_blob.cpp); target: at most 2x the listing;
#   - --source on the data blocks; target: at most 1.5x the listing;
# and the peak resident size listing a 1 GiB blob from a file and from a
# pipe (target: under 4 MiB).  With BEFORE=path/to/another/vantrel-dump its
# figures are taken in the same run, side by side.
# Usage: bench/dump_speed.sh [build-dir] [runs]      (default: build 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
dump=$build/dump/vantrel-dump
bench=$build/bench/reader_bench
[[ -x $dump ]] || { echo "no $dump: build first" >&2; exit 1; }
[[ -x $bench ]] || { echo "no $bench (Google Benchmark missing?): it writes the small-tag blob" >&2; exit 1; }
command -v xxd >/dev/null || { echo "xxd is needed (Debian package xxd)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

dumps=("$dump")
[[ -n ${BEFORE:-} ]] && dumps+=("$BEFORE")

libdir=$(dirname "$(find "$build/lib" -maxdepth 1 -name 'libvantrel.so*' | head -n1)")
${CXX:-c++} -std=c++20 -O2 -Ilib bench/dump_make_blob.cpp -L"$libdir" -lvantrel \
    -Wl,-rpath,"$(cd "$libdir" && pwd)" -o "$work/make_blob"
"$work/make_blob" "$work/data.dat" "$work/data.raw" 64
tags=$("$bench" --write-blob="$work/small.dat" | awk '{ print $3 }')

elapsed() { # command... ; prints wall seconds
    local t0=$EPOCHREALTIME
    "$@" >/dev/null
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}
cpu() { # command... ; prints user + system CPU seconds
    local TIMEFORMAT='%3U %3S' t
    t=$( { time "$@" >/dev/null 2>&1; } 2>&1)
    awk -v t="$t" 'BEGIN { split(t, a, " "); printf "%.3f\n", a[1] + a[2] }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# side_by_side NAME BLOB XXD_INPUT TARGET TAGS
side_by_side() {
    local name=$1 blob=$2 raw=$3 target=$4 count=$5 i d
    local -a xxd_times=()
    local -A dump_times=()
    for ((i = 0; i < runs; i++)); do
        for d in "${dumps[@]}"; do dump_times[$d]+="$(elapsed "$d" "$blob") "; done
        xxd_times+=("$(elapsed xxd -p "$raw")")
    done
    local x mib
    x=$(printf '%s\n' "${xxd_times[@]}" | median)
    mib=$(awk -v b="$(stat -c %s "$blob")" 'BEGIN { print b / 1048576 }')
    printf '%s, median of %d runs: xxd -p %.3f s\n' "$name" "$runs" "$x"
    for d in "${dumps[@]}"; do
        local m calls=""
        m=$(printf '%s\n' ${dump_times[$d]} | median)
        if command -v strace >/dev/null; then
            strace -c -o "$work/strace.txt" "$d" "$blob" >/dev/null
            calls=$(awk -v mib="$mib" '$NF == "total" { printf ", %.1f system calls per MiB", $(NF-2) / mib }' \
                "$work/strace.txt")
        fi
        awk -v d="$m" -v x="$x" -v n="$count" -v who="$d" -v calls="$calls" 'BEGIN {
            printf "  %s: %.3f s, xxd -p time / its time = %.2f", who, d, x / d
            if (n > 0) printf ", %.1f ns per tag", d * 1e9 / n
            printf "%s\n", calls }'
    done
    m=$(printf '%s\n' ${dump_times[$dump]} | median)
    awk -v d="$m" -v x="$x" -v t="$target" 'BEGIN {
        printf "  target %sx: %s\n", t, (x / d >= t) ? "met" : "MISSED"; exit (x / d >= t) ? 0 : 1 }' || status=1
}

# beside_listing NAME BLOB XXD_INPUT OPTION LIMIT: CPU seconds of the
# listing, of the dump with OPTION and of xxd -p, medians of interleaved
# runs; the target is OPTION at most LIMIT times the listing.
beside_listing() {
    local name=$1 blob=$2 raw=$3 option=$4 limit=$5 i d
    local -a xxd_times=()
    local -A list_times=() option_times=()
    for ((i = 0; i < runs; i++)); do
        for d in "${dumps[@]}"; do
            list_times[$d]+="$(cpu "$d" "$blob") "
            option_times[$d]+="$(cpu "$d" "$option" "$blob") "
        done
        xxd_times+=("$(cpu xxd -p "$raw")")
    done
    local x
    x=$(printf '%s\n' "${xxd_times[@]}" | median)
    printf '%s, CPU seconds (user + system), median of %d runs: xxd -p %.3f s\n' "$name" "$runs" "$x"
    for d in "${dumps[@]}"; do
        local l o lb ob
        l=$(printf '%s\n' ${list_times[$d]} | median)
        o=$(printf '%s\n' ${option_times[$d]} | median)
        lb=$("$d" "$blob" | wc -c)
        ob=$("$d" "$option" "$blob" | wc -c)
        awk -v l="$l" -v o="$o" -v lb="$lb" -v ob="$ob" -v who="$d" -v opt="$option" 'BEGIN {
            printf "  %s: listing %.3f s, %s %.3f s: %s / listing = %.2f (bytes %.2f)\n",
                who, l, opt, o, opt, o / l, ob / lb }'
    done
    l=$(printf '%s\n' ${list_times[$dump]} | median)
    o=$(printf '%s\n' ${option_times[$dump]} | median)
    awk -v l="$l" -v o="$o" -v t="$limit" -v opt="$option" 'BEGIN {
        printf "  target %s at most %sx the listing: %s\n", opt, t, (o <= t * l) ? "met" : "MISSED"
        exit (o <= t * l) ? 0 : 1 }' || status=1
}

status=0
side_by_side "64 MiB of small tags ($tags tags)" "$work/small.dat" "$work/small.dat" 3 "$tags"
side_by_side "64 MiB of data blocks" "$work/data.dat" "$work/data.raw" 8 0
beside_listing "64 MiB of small tags" "$work/small.dat" "$work/small.dat" --json 2
beside_listing "64 MiB of data blocks" "$work/data.dat" "$work/data.raw" --json 2
beside_listing "64 MiB of data blocks" "$work/data.dat" "$work/data.raw" --source 1.5
rm -f "$work/small.dat"
for shape in ascii escapes prose; do
    "$work/make_blob" --strings "$shape" "$work/strings.dat" 64
    beside_listing "64 MiB of strings, $shape" "$work/strings.dat" "$work/strings.dat" --json 2
done
rm -f "$work/strings.dat"

# Memory: a 1 GiB blob, listed from the file and through a pipe.
rm -f "$work/data.dat" "$work/data.raw"
"$work/make_blob" "$work/big.dat" "$work/big.raw" 1024
rm -f "$work/big.raw"
for d in "${dumps[@]}"; do
    # The status is not looked at: an older dump fails on a pipe.
    file_kib=$( { /usr/bin/time -f %M "$d" "$work/big.dat" >/dev/null; } 2>&1 | tail -n1 || true)
    pipe_kib=$( { cat "$work/big.dat" | /usr/bin/time -f %M "$d" /dev/stdin >/dev/null; } 2>&1 | tail -n1 || true)
    echo "1 GiB blob, peak resident size: $d: from the file $file_kib KiB, from a pipe $pipe_kib KiB"
    if [[ $d == "$dump" ]] && ((file_kib >= 4096 || pipe_kib >= 4096)); then
        echo "  target under 4 MiB: MISSED"
        status=1
    fi
done
exit $status

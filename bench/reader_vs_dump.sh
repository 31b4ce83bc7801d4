#!/usr/bin/env bash
# Times vantrel::reader and vantrel-dump on the same 64 MiB blob of small
# integer tags: the reader validating and iterating it (reader_bench), and
# vantrel-dump listing it to /dev/null.
# Usage: bench/reader_vs_dump.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
bench=$build/bench/reader_bench
dump=$build/dump/vantrel-dump
[[ -x $bench ]] || { echo "$0: $bench not built (Google Benchmark missing?)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

blob=$work/small-tags.dat
echo "blob: $("$bench" --write-blob="$blob")"
"$bench" --benchmark_filter='_small_tags/' --benchmark_min_time=1

if [[ -x $dump ]]; then
    bytes=$(stat -c %s "$blob")
    tags=$(( (bytes - 24) / 24 ))
    start=$(date +%s%N)
    "$dump" "$blob" >/dev/null
    ns=$(( $(date +%s%N) - start ))
    awk -v ns="$ns" -v bytes="$bytes" -v tags="$tags" 'BEGIN {
        printf "vantrel-dump listing to /dev/null: %.0f ms, %.1f MB/s, %.1f ns per tag\n",
               ns / 1e6, bytes / (ns / 1e9) / 1e6, ns / tags }'
else
    echo "vantrel-dump not built in $build: no dump figures"
fi

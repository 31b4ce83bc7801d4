#!/usr/bin/env bash
# Whole-process time of vantrel-comp on a source whose one data block fills
# the 65536-byte blob (65492 bytes of hex in begin/end lines of 2046 bytes),
# beside xxd -r -p decoding the same hex digits.  The two commands take
# turns, run after run; the medians are printed.
# Usage: bench/comp_vs_xxd.sh [path/to/vantrel-comp] [runs]
#        (defaults: build/comp/vantrel-comp, 31)
set -euo pipefail
comp=${1:-build/comp/vantrel-comp}
runs=${2:-31}
command -v xxd >/dev/null || { echo "xxd is needed" >&2; exit 1; }
[[ -x $comp ]] || { echo "no vantrel-comp at $comp" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 16 bytes of start tag, 20 + 65492 of data block, 8 of end tag: 65536.
bytes=65492
head -c "$bytes" /dev/urandom >"$work/data.bin"
{ od -An -v -tx1 "$work/data.bin" | tr -d ' \n' | fold -w 4092; echo; } >"$work/digits.hex"
{
    printf '{\ndata 1 0 begin\n'
    sed 's/.*/<&>/' "$work/digits.hex"
    printf 'end\n}\n'
} >"$work/source.txt"

# Both must produce the same bytes before their times mean anything.
"$comp" -o "$work/out.dat" "$work/source.txt"
xxd -r -p "$work/digits.hex" "$work/xxd.bin"
[[ $(stat -c %s "$work/out.dat") == 65536 ]] || { echo "blob is not 65536 bytes" >&2; exit 1; }
tail -c +37 "$work/out.dat" | head -c "$bytes" | cmp -s - "$work/data.bin" ||
    { echo "vantrel-comp stored other bytes" >&2; exit 1; }
cmp -s "$work/xxd.bin" "$work/data.bin" || { echo "xxd decoded other bytes" >&2; exit 1; }

# Microseconds from bash itself: no extra process inside the timed span.
comp_times=()
xxd_times=()
for ((i = 0; i < runs; i++)); do
    t0=${EPOCHREALTIME/[.,]/}
    "$comp" -o "$work/out.dat" "$work/source.txt"
    t1=${EPOCHREALTIME/[.,]/}
    xxd -r -p "$work/digits.hex" "$work/xxd.bin"
    t2=${EPOCHREALTIME/[.,]/}
    comp_times+=($((t1 - t0)))
    xxd_times+=($((t2 - t1)))
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ms() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }
echo "source: $(stat -c %s "$work/source.txt") bytes, $(wc -l <"$work/digits.hex") hex lines; blob 65536 bytes; $runs runs each"
echo "vantrel-comp  median $(ms "$(median "${comp_times[@]}")") ms"
echo "xxd -r -p     median $(ms "$(median "${xxd_times[@]}")") ms"

#!/usr/bin/env bash
# Builds tests/package/blobs_consumer, a project that embeds blobs with
# vantrel_add_blobs(), runs its program, edits a blob source, rebuilds and
# sees the change.
# Usage: check_blobs_consumer.sh package PREFIX      (find_package in PREFIX)
#        check_blobs_consumer.sh subproject SOURCE_DIR (add_subdirectory)
set -euo pipefail
mode=$1
where=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_blobs_consumer ($mode): $*" >&2; exit 1; }

cp -r "$here/blobs_consumer" "$work/project"
# The README's C++ snippet, the block that includes <unit_blobs.h>, compiled
# as it is written and run.
readme=$(cd "$here/../.." && pwd)/README.md
{
    echo '#include <cstdio>'
    awk '/^```cpp$/ { block = ""; inside = 1; next }
         inside && /^```$/ { inside = 0; if (block ~ /unit_blobs\.h/) printf "%s", block; next }
         inside { block = block $0 "\n" }' "$readme"
    echo 'int main() { std::printf("%llu\n", static_cast<unsigned long long>(value.value_or(0))); }'
} >"$work/project/readme_snippet.cpp"
grep -q 'vantrel::reader' "$work/project/readme_snippet.cpp" || fail "no C++ snippet with unit_blobs.h in the README"
build=$work/build
case $mode in
    package) how=(-DCMAKE_PREFIX_PATH="$where") ;;
    subproject) how=(-DVANTREL_SOURCE_DIR="$where") ;;
    *) fail "unknown mode" ;;
esac
flags="-Wall -Wextra -Wpedantic -Werror"
cmake -S "$work/project" -B "$build" "${how[@]}" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    >"$work/log" 2>&1 || { cat "$work/log"; fail "configure"; }
build_and_run() {
    cmake --build "$build" -j 2 >>"$work/log" 2>&1 || { cat "$work/log"; fail "build"; }
    "$build/blobs_consumer" || fail "the program refused its blobs"
}

expected="settings: 80 bytes, int 16, str unit four
strings_table: hello world
firmware: 3264 bytes, int 0x1234, data 3000 bytes
sensor: load 0, model unit five, period_ms 250, offset_c none"
[[ $(build_and_run) == "$expected" ]] || fail "first build: $(build_and_run)"
[[ $("$build/readme_snippet") == 16 ]] || fail "the README's C++ snippet read $("$build/readme_snippet")"
# The blob-file target: the source at alignment 32 beside the others.
[[ $(stat -c %s "$build/calibration.dat") == 96 && -f $build/settings.dat && -f $build/firmware.dat ]] ||
    fail "blob files missing or of the wrong size"
[[ $(cat "$build/calibration.listing") == $'[start]\n  [integer] id=0x1, data=258/0x102\n[end]' ]] ||
    fail "vantrel::vantrel-dump listed: $(cat "$build/calibration.listing")"

# An edit of a source rebuilds its blob and the program that holds it.
sed -i 's/^int 1 16$/int 1 32/' "$work/project/blobs/settings.txt"
[[ $(build_and_run) == "${expected/int 16/int 32}" ]] || fail "after the edit: $(build_and_run)"

# An edit of the schema rebuilds the blob (refused now, with the compiler's
# message) and, once the source satisfies it again, the loader header.
schema=$work/project/blobs/sensor.schema
sed -i 's/10\.\.60000/10..100/' "$schema"
cmake --build "$build" >"$work/log" 2>&1 && fail "a blob out of its schema's range was built"
grep -q 'period_ms: value 250 is out of 10..100' "$work/log" || { cat "$work/log"; fail "no schema message"; }
sed -i 's/10\.\.100/10..60000/; s/-40\.\.85/-40..90/' "$schema"
sed -i 's/^int period_ms 250$/int period_ms 250\nint offset_c 21/' "$work/project/blobs/sensor-unit.txt"
expected=${expected/offset_c none/offset_c given}
[[ $(build_and_run) == "${expected/int 16/int 32}" ]] || fail "after the schema's edit: $(build_and_run)"
grep -q 'define sensor_MAX_offset_c INT64_C(90)' "$build/sensor_blobs_include/sensor.h" ||
    fail "the loader header was not regenerated"

if [[ $mode == package ]]; then
    # The installed program runs with no help from the environment.
    cmake --install "$build" --prefix "$work/installed" >>"$work/log" 2>&1 || fail "install"
    [[ $(env -u LD_LIBRARY_PATH "$work/installed/bin/blobs_consumer") == "${expected/int 16/int 32}" ]] ||
        fail "the installed program does not run"
fi
if [[ $mode == subproject ]]; then
    # Inside another project vantrel builds no tests, benchmarks or install rules.
    [[ ! -e $build/vantrel/tests && ! -e $build/vantrel/bench ]] || fail "tests or benchmarks were configured"
    # ... and builds the library and the two programs only.
    extra=$(find "$build/vantrel" -type f \( -name 'example_*' -o -name 'libvantrel.a' \))
    [[ -z $extra && -x $build/vantrel/comp/vantrel-comp && -x $build/vantrel/dump/vantrel-dump ]] ||
        fail "built more or less than the library and the two programs: $extra"
    cmake --install "$build" --prefix "$work/installed" >>"$work/log" 2>&1 || fail "install"
    leaked=$(find "$work/installed" -name '*vantrel*')
    [[ -z $leaked ]] || fail "vantrel's install rules ran: $leaked"
fi
echo "blobs consumer ($mode): ok"

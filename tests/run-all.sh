#!/usr/bin/env bash
# Builds and tests everything CI checks, warnings as errors:
#   gcc       g++ build, all tests
#   sanitize  clang build under AddressSanitizer + UndefinedBehaviorSanitizer
#   s390x     big-endian cross build, all tests under qemu-user, and the
#             cross-endian blob check against the gcc build
#   i686      32-bit x86 cross build, all tests under qemu-user
#   valgrind  the end-to-end tests of the gcc build under memcheck
#   fuzz      every fuzz target for FUZZ_SECONDS (default 60) seconds
# Usage: tests/run-all.sh [build-root]      (default: build-ci)
# STAGES="gcc sanitize" tests/run-all.sh runs only the stages named.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-build-ci}
jobs=$(nproc 2>/dev/null || echo 2)
stages=${STAGES:-gcc sanitize s390x i686 valgrind fuzz}
passed=()
times=()
start=$SECONDS
stage_start=$SECONDS

# Records a stage as passed with the seconds it took.
stage_passed() {
    local took=$((SECONDS - stage_start))
    passed+=("$1")
    times+=("$1 $took s")
    echo "=== stage $1 passed in $took s"
    stage_start=$SECONDS
}

want() { [[ " $stages " == *" $1 "* ]]; }
fail() { echo "FAILED: $*"; exit 1; }

build_and_test() { # name, cmake arguments...
    local name=$1; shift
    echo "=== stage $name"
    cmake -S . -B "$root/$name" -DVANTREL_WERROR=ON "$@" >"$root/$name.configure.log" 2>&1 ||
        { cat "$root/$name.configure.log"; fail "stage $name (configure)"; }
    cmake --build "$root/$name" -j "$jobs" || fail "stage $name (build)"
    ctest --test-dir "$root/$name" -j "$jobs" --output-on-failure --timeout 600 ||
        fail "stage $name (tests)"
    stage_passed "$name"
}

# The cross stages need qemu-user and the cross compilers.
ensure_cross_tools() {
    local missing=()
    command -v qemu-s390x >/dev/null || missing+=(qemu-user)
    command -v s390x-linux-gnu-g++ >/dev/null || missing+=(g++-s390x-linux-gnu)
    command -v i686-linux-gnu-g++ >/dev/null || missing+=(g++-i686-linux-gnu)
    ((${#missing[@]} == 0)) && return 0
    echo "=== installing ${missing[*]}"
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq >/dev/null &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            -o DPkg::Lock::Timeout=300 "${missing[@]}" >"$root/apt.log" 2>&1 ||
        { tail -20 "$root/apt.log"; fail "could not install ${missing[*]}"; }
}

# The gcc stage compiles the reader for a bare-metal Cortex-M0.
ensure_bare_metal_tools() {
    command -v arm-none-eabi-gcc >/dev/null && [[ -f /usr/include/newlib/string.h ]] && return 0
    echo "=== installing gcc-arm-none-eabi libnewlib-dev"
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq >/dev/null &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            -o DPkg::Lock::Timeout=300 gcc-arm-none-eabi libnewlib-dev >"$root/apt-arm.log" 2>&1 ||
        { tail -20 "$root/apt-arm.log"; fail "could not install gcc-arm-none-eabi libnewlib-dev"; }
}

mkdir -p "$root"
if want gcc; then
    ensure_bare_metal_tools
    build_and_test gcc -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
fi
if want sanitize; then
    build_and_test sanitize -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DVANTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
fi
if want s390x || want i686; then
    ensure_cross_tools
fi
if want s390x; then
    build_and_test s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x.cmake -DVANTREL_BUILD_BENCH=OFF
    want gcc || fail "the s390x stage compares against the gcc stage's build"
    tests/cross/check_endian.sh "$root/gcc" "$root/s390x" \
        examples/device-settings.txt examples/string-table.txt examples/firmware-payloads.txt \
        tests/cross/numbers.txt ||
        fail "cross-endian check"
fi
if want i686; then
    build_and_test i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686.cmake -DVANTREL_BUILD_BENCH=OFF
fi
if want valgrind; then
    echo "=== stage valgrind"
    want gcc || fail "the valgrind stage runs the gcc stage's tests"
    # Any memcheck error or leak changes the exit status and standard error
    # the end-to-end tests compare, so they fail.
    VANTREL_TEST_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all" \
        ctest --test-dir "$root/gcc" -j "$jobs" --output-on-failure -L e2e --timeout 900 ||
        fail "stage valgrind"
    stage_passed valgrind
fi
if want fuzz; then
    echo "=== stage fuzz"
    fuzz/run.sh "${FUZZ_SECONDS:-60}" "$root/fuzz" || fail "stage fuzz"
    stage_passed fuzz
fi
printf 'stage times: %s\n' "$(IFS=,; echo "${times[*]}")"
echo "all ${#passed[@]} test stages passed in $((SECONDS - start)) s: ${passed[*]}"

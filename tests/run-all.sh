#!/usr/bin/env bash
# Builds and tests everything CI checks: a g++ build and a clang build under
# AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors.
# Usage: tests/run-all.sh [build-root]   (default: build-ci)
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-build-ci}
jobs=$(nproc 2>/dev/null || echo 2)
passed=()

stage() { # name, cmake arguments...
    local name=$1; shift
    echo "=== stage $name"
    cmake -S . -B "$root/$name" -DVANTREL_WERROR=ON "$@" >"$root.$name.configure.log" 2>&1 ||
        { cat "$root.$name.configure.log"; echo "FAILED: stage $name (configure)"; exit 1; }
    cmake --build "$root/$name" -j "$jobs" ||
        { echo "FAILED: stage $name (build)"; exit 1; }
    ctest --test-dir "$root/$name" -j "$jobs" --output-on-failure ||
        { echo "FAILED: stage $name (tests)"; exit 1; }
    passed+=("$name")
}

mkdir -p "$root"
stage gcc -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
stage sanitize -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=Debug
echo "all ${#passed[@]} test stages passed: ${passed[*]}"

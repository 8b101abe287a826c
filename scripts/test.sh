#!/usr/bin/env bash
# Sets up a fresh machine, builds Kavonet twice and runs the whole test suite in both:
#   build/       g++, optimised with debug info
#   build-asan/  clang with AddressSanitizer + UBSan, plus the libFuzzer targets (smoke runs)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

run_suite build -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DKAVONET_SANITIZE=ON -DKAVONET_FUZZ=ON -DKAVONET_BENCH=OFF

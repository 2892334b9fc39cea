#!/usr/bin/env bash
# Builds and runs every test of pcmwrap: the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded playback tests under ThreadSanitizer, the
# fuzz targets over their corpus, and the optimised build with its install test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

stage() { printf '\n==== %s ====\n' "$*"; }

stage "sanitizers: AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan -j "$jobs" --no-tests=error

stage "threads: ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --preset tsan -j "$jobs" --no-tests=error

stage "fuzzing: corpus replay and short runs"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs" --no-tests=error

stage "optimised build"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs" --no-tests=error

#!/usr/bin/env bash
# Builds the program and the whole test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (Debug, assertions on) in build-asan/ and runs
# it with CTest. Any sanitizer report fails the test that triggered it.
#
#   scripts/sanitize.sh [CTEST ARGS...]     e.g. scripts/sanitize.sh -R Load
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-asan"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTARVEX_SANITIZE=ON -DTARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
# Leaks are reported as well; a report ends the process with a failure.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600 "$@"

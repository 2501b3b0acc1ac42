#!/usr/bin/env bash
# Builds the AddressSanitizer + UndefinedBehaviorSanitizer preset and runs the tests not
# labelled heavy under it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

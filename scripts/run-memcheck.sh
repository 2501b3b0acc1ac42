#!/usr/bin/env bash
# Runs the tests not labelled heavy under valgrind memcheck, one process per test case as
# ctest runs them, and fails on any invalid read or write, use of uninitialised memory, bad
# free, or definitely or indirectly lost block.
#
# Usage: scripts/run-memcheck.sh [build folder]
#   Without an argument it builds the default preset and checks build/default; with one it
#   checks that (already built, RelWithDebInfo or Debug, without sanitizers) build folder.
#
# Left out, and why:
#   - tests labelled heavy: many processes or large inputs, minutes under valgrind;
#   - the checks that run scripts, not our code: layers (Python), platform.system_access_only_here
#     and frame.exports_only (CMake scripts reading the sources and the symbol table);
#   - placeholders of test executables that were not built (*_NOT_BUILT);
#   - the SLOW_UNDER_MEMCHECK list below: cases whose work is repeated thousands of times and
#     that other cases of the same code already cover in a smaller form.
# Child processes are started with exec (the tavctl tool, example callers, and the child bodies
# of a test binary started anew) and are not traced (--trace-children=no): the same code runs
# in the parent processes of other cases, which are checked.
#
# tests/hostile/valgrind.supp holds suppressions for noise of third-party libraries only.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

if [ $# -ge 1 ]; then
  build_dir=$(cd "$1" && pwd)
else
  bash scripts/install-deps.sh
  cmake --preset default >/dev/null
  cmake --build --preset default
  build_dir=$source_dir/build/default
fi

if ! command -v valgrind >/dev/null; then
  echo "run-memcheck: valgrind is not installed" >&2
  exit 1
fi

# Test names (regular expressions) left out because they are slow under valgrind.
SLOW_UNDER_MEMCHECK=(
)

exclude='^layers$|^platform\.system_access_only_here$|^frame\.exports_only$|_NOT_BUILT$'
for name in "${SLOW_UNDER_MEMCHECK[@]}"; do exclude+="|$name"; done

valgrind_options=(
  --error-exitcode=97
  --leak-check=full
  --show-leak-kinds=definite,indirect
  --errors-for-leak-kinds=definite,indirect
  --trace-children=no
  --num-callers=40
  "--suppressions=$source_dir/tests/hostile/valgrind.supp"
)

results=$build_dir/Testing/Temporary
rm -f "$results"/MemoryChecker.*.log

status=0
ctest --test-dir "$build_dir" -T memcheck -LE heavy -E "$exclude" -j2 --timeout 900 \
  --output-on-failure \
  --overwrite MemoryCheckCommand="$(command -v valgrind)" \
  --overwrite MemoryCheckCommandOptions="${valgrind_options[*]}" || status=$?

# Show every report that found something (ctest itself only names the test).
found=0
for log in "$results"/MemoryChecker.*.log; do
  [ -e "$log" ] || continue
  if grep -qE 'ERROR SUMMARY: [1-9]|(definitely|indirectly) lost: [1-9]' "$log"; then
    found=1
    echo "==== $log"
    head -c 20000 "$log"
  fi
done
if [ $found -ne 0 ] && [ $status -eq 0 ]; then status=1; fi
if [ $status -ne 0 ]; then
  echo "run-memcheck: memcheck found problems or a test failed (status $status)" >&2
fi
exit $status

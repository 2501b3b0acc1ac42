#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target (or the ones named) for a bounded
# time each, one after the other. Each run works on a copy of the target's seed corpus in a
# scratch folder, so the repository is never modified. Any finding (crash, sanitizer report,
# failed check, timeout, leak) fails the script; its reproducer is kept under
# build/fuzz/findings/<target>/.
#
#   scripts/run-fuzz.sh [seconds-per-target] [target ...]
#
# Seconds per target: the first argument, else CORVEL_FUZZ_SECONDS, else 30.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${CORVEL_FUZZ_SECONDS:-30}
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
all_targets=(fuzz_markup fuzz_config fuzz_rewrite_walk fuzz_nesting fuzz_utf fuzz_timestamp fuzz_obfuscation fuzz_prefs fuzz_swtag)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

build=$PWD/build/fuzz
scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvel-run-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failed=()
for target in "${targets[@]}"; do
  work=$scratch/$target
  mkdir -p "$work/corpus" "$work/tmp" "$work/artifacts"
  cp -R "fuzz/corpus/$target/." "$work/corpus/"
  dict=()
  [ -f "fuzz/dict/$target.dict" ] && dict=(-dict="$PWD/fuzz/dict/$target.dict")
  echo "==== $target: ${seconds}s"
  status=0
  # The target makes its own scratch folder inside TMPDIR; the current directory is the
  # work folder, so nothing lands anywhere else.
  (cd "$work" && TMPDIR=$work/tmp timeout --signal=TERM --kill-after=30 $((seconds + 120)) \
      nice "$build/out/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/" "${dict[@]}" "$work/corpus") \
      >"$work/log" 2>&1 || status=$?
  grep -a -E '^#[0-9]+[[:space:]]+(INITED|DONE)|stat::number_of_executed_units|stat::peak_rss_mb' "$work/log" || true
  if [ "$status" -ne 0 ] || ls "$work/artifacts/"* >/dev/null 2>&1; then
    echo "==== $target: FINDING (exit $status)"
    tail -n 60 "$work/log"
    mkdir -p "$build/findings/$target"
    cp -R "$work/artifacts/." "$build/findings/$target/" 2>/dev/null || true
    cp "$work/log" "$build/findings/$target/log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzz: findings in ${failed[*]} (reproducers in $build/findings)" >&2
  exit 1
fi
echo "run-fuzz: ${#targets[@]} targets ran ${seconds}s each without a finding"

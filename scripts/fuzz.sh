#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang) and runs each one for a bounded time, starting
# from its seed corpus in tests/fuzz/corpus/<target>. Fails on any crash, leak, hang or sanitizer report.
# The committed corpus stays as it is: every run works on a scratch copy, which is kept (with the input
# that failed) when something is found and removed otherwise.
# FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-30}"

scripts/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz

# Leaks count as failures, and undefined behaviour stops the run (the build also makes it fatal).
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/zarnvote-fuzz.XXXXXX")"
failed=()
for source in tests/fuzz/fuzz_*.cpp; do
  target="$(basename "$source" .cpp)"
  seeds="tests/fuzz/corpus/$target"
  work="$scratch/$target"
  mkdir -p "$work/corpus"
  if [ ! -d "$seeds" ] || [ -z "$(ls -A "$seeds")" ]; then
    echo "$target: no seed corpus in $seeds"
    failed+=("$target")
    continue
  fi
  cp -R "$seeds/." "$work/corpus/"

  echo "$target: fuzzing for ${seconds}s"
  # -timeout: one input running 10 s is a hang; -rss_limit_mb: runaway memory is a failure too.
  if build/fuzz/tests/fuzz/"$target" "$work/corpus" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$work/" >"$work/log" 2>&1; then
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added))' "$work/log" | sed "s/^/  /"
  else
    echo "$target: FAILED; the end of its log ($work/log):"
    tail -n 60 "$work/log"
    for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$artifact" ] || continue
      echo "  input that failed, $artifact:"
      head -c 512 "$artifact" | od -A d -c | sed "s/^/    /"
    done
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzing found problems in: ${failed[*]} (scratch folder kept: $scratch)"
  exit 1
fi
rm -rf "$scratch"
echo "Fuzzing: every target ran ${seconds}s without a finding."

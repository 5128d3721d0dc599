#!/usr/bin/env bash
# Runs each libFuzzer harness for a time budget on its seed corpus.
#   fuzz/run.sh BUILD_DIR SECONDS [HARNESS...]
# New inputs go to BUILD_DIR/fuzz-work/<harness>/corpus (the seeds in
# fuzz/corpus/ are only read); a crash, leak or time-out leaves its input in
# BUILD_DIR/fuzz-work/<harness>/ as crash-*, leak-* or timeout-* and fails the
# run. The last line sums up: "N passed, N failed".
set -uo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(dispatch registry_text typelib resources arguments display_stream)

passed=0
failed=0
for h in "${harnesses[@]}"; do
  work="$build/fuzz-work/$h"
  mkdir -p "$work/corpus"
  log="$work/last.log"
  # Leaks are checked per input; -timeout catches a hang, -rss_limit_mb a runaway allocation.
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/bin/fuzz_$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$here/corpus/$h" >"$log" 2>&1
  status=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  if [ $status -eq 0 ]; then
    echo "fuzz $h: ${seconds}s, $execs executions, no crash, leak or hang"
    passed=$((passed + 1))
  else
    echo "fuzz $h: FAILED after $execs executions (log $log):"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written|^[a-z].*\(0x" "$log" | head -20
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]

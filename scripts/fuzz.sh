#!/bin/sh
# Builds the libFuzzer targets (fuzz preset, clang) and runs each for a bounded time from the
# committed seed corpus, printing the executions per target.
#   scripts/fuzz.sh [seconds-per-target] [target...]     (default 60 s, every target)
# New interesting inputs go to build/fuzz/corpus/<target> (the committed corpus is not touched);
# a crash stops the run with the reproducer in build/fuzz/artifacts/<target>/.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"option_string resource_name resource_expression logical_names formatted_scan identity scpi xdr hislip_header"}

./scripts/setup.sh clang-14 libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for t in $targets; do
  work="build/fuzz/corpus/$t"
  artifacts="build/fuzz/artifacts/$t"
  mkdir -p "$work" "$artifacts"
  log="build/fuzz/$t.log"
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build/fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz $t: $runs executions in ${seconds} s, $cov, no crash"
  else
    echo "fuzz $t: FAILED, see $log and $artifacts"
    tail -40 "$log"
    status=1
  fi
done
exit $status

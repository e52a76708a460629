#!/usr/bin/env bash
# Runs the fuzz targets of the native build (build/native/fuzz_*): each replays its
# corpus (tests/fuzz/corpus/NAME), then fuzzes for SECONDS with the corpus as seeds, and
# prints its executions, executions per second (of the clock and of its CPU time) and the
# coverage it reached.
#   usage: tools/fuzz.sh SECONDS [NAME ...]   (default: every target)
# New inputs go to build/native/fuzz/NAME, never into the checked-in corpus; a finding
# is written to build/native/fuzz/findings/NAME-* and makes the run fail. Add it to the
# corpus once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz.sh SECONDS [NAME ...]}
shift
dir=build/native
work=$dir/fuzz
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in tests/fuzz/*_fuzz.cpp; do
    n=$(basename "$f" _fuzz.cpp)
    names+=("$n")
  done
fi
mkdir -p "$work/findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
# While fuzzing, one "@@repeat" input in four is expanded, to 32 KB: a quadratic path
# of one takes several times its time bound, a linear one a few milliseconds, and the
# fuzzer keeps its pace. The corpus replay of the test run expands every one to 256 KB.
export QM_FUZZ_EXPAND_KB=${QM_FUZZ_EXPAND_KB:-32}
status=0
total=0
rows=()
for n in "${names[@]}"; do
  exe=$dir/fuzz_$n
  [ -x "$exe" ] || { echo "fuzz: $exe is not built (tools/build-native.sh)" >&2; status=1; continue; }
  mkdir -p "$work/$n"
  log=$work/$n.log
  # The time bound of each input is the target's own; -timeout only ends a run that
  # hangs outright.
  # The CPU time it had as well: on a shared machine the executions per CPU second say
  # more of the target than those per second of the clock.
  TIMEFORMAT="%U %S"
  if { time "$exe" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/findings/$n-" "$work/$n" "tests/fuzz/corpus/$n" >"$log" 2>&1; } 2>"$work/$n.cpu"; then
    result=ok
  else
    result="FINDING (see $log)"
    status=1
  fi
  cpu=$(awk '{printf "%.1f", $1 + $2}' "$work/$n.cpu")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 | awk '{print $2 " edges, " $4 " features"}')
  total=$((total + ${runs:-0}))
  per_cpu=$(awk -v r="${runs:-0}" -v c="$cpu" 'BEGIN { printf "%d", (c > 0 ? r / c : 0) }')
  rows+=("$(printf '%-12s %10s runs %7s/s %7s/cpu-s  %-28s %s' "$n" "${runs:-?}" "${rate:-?}" "$per_cpu" "${cov:-?}" "$result")")
  echo "${rows[-1]}"
done
echo "fuzz: ${#names[@]} targets, ${seconds} s each, $total runs in all (load average now: $(cut -d' ' -f1 /proc/loadavg))"
exit $status

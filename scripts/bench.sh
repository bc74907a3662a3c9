#!/usr/bin/env bash
# Runs the benchmarks of the builds under BUILD_ROOT and prints one table.
#   bench.sh BUILD_ROOT [BENCHMARK_ARGS...]
# Every benchmark program, whatever it runs on, ends its output with one line
# per figure in the agreed form
#   BENCH|figure|value|baseline|unit        (baseline "-" when there is none)
# and this script collects those lines from all of them: figure, value,
# baseline and value / baseline. The programs' full output goes to
# BUILD_ROOT/bench/logs/. To add a kind of benchmark program, add a line to
# the list of runners below. Extra arguments go to every program (for
# example --benchmark_filter=compare).
set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_ROOT [BENCHMARK_ARGS...]" >&2
  exit 2
fi
# The Wine environment wants absolute paths; make hands a relative folder.
root=$(cd "$1" && pwd) || exit 2
shift

logs="$root/bench/logs"
mkdir -p "$logs"
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
failed=0

# run_bench PROGRAM [RUNNER...]: runs PROGRAM (through RUNNER when given),
# keeps its output and collects its rows.
run_bench() {
  local program=$1
  shift
  local name log
  name=$(basename "$program")
  log="$logs/$name.log"
  echo "bench: $name (log $log)"
  if ! "$@" "$program" "${bench_args[@]}" >"$log" 2>&1; then
    echo "bench: $name failed; end of $log:" >&2
    tail -n 20 "$log" >&2
    failed=1
  fi
  grep '^BENCH|' "$log" | sed "s/^BENCH|/$name|/" >>"$rows"
}

bench_args=("$@")
shopt -s nullglob
found=0

# Runners: native programs of the bench build.
for program in "$root"/bench/bin/bench_*; do
  [ -x "$program" ] || continue
  found=1
  run_bench "$program"
done
# Windows programs of the win64 build, under that build's Wine environment
# (the only Windows build this machine can run).
win_programs=("$root"/win64/bin/bench_*.exe)
if [ ${#win_programs[@]} -gt 0 ] && [ -x "$root/win64/wine-run" ]; then
  found=1
  source_dir=$(cd "$(dirname "$0")/.." && pwd)
  if bash "$source_dir/scripts/wine-env.sh" start "$root/win64/wine"; then
    for program in "${win_programs[@]}"; do
      run_bench "$program" "$root/win64/wine-run"
    done
    bash "$source_dir/scripts/wine-env.sh" stop "$root/win64/wine"
  else
    echo "bench: the Wine environment of $root/win64 did not start" >&2
    failed=1
  fi
fi

if [ $found -eq 0 ]; then
  echo "bench: no benchmark programs under $root (run 'make bench')" >&2
  exit 1
fi

echo
awk -F'|' '
  BEGIN { printf "%-16s %-34s %12s %12s %7s\n", "program", "figure", "value", "baseline", "ratio" }
  {
    ratio = "-"
    if ($3 != "-" && $4 != "-" && $4 + 0 > 0) ratio = sprintf("%.2f", $3 / $4)
    printf "%-16s %-34s %9s %-2s %9s %-2s %7s\n", $1, $2, $3, $5, $4, ($4 == "-" ? "" : $5), ratio
  }' "$rows"
exit $failed

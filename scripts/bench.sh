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
  # Windows programs are named with their build: both builds have them.
  case $program in
    */win64/bin/*) name="win64/$name" ;;
    */win32/bin/*) name="win32/$name" ;;
  esac
  log="$logs/${name//\//-}.log"
  echo "bench: $name (log $log)"
  if ! "$@" "$program" "${bench_args[@]}" >"$log" 2>&1; then
    echo "bench: $name failed; end of $log:" >&2
    tail -n 20 "$log" >&2
    failed=1
  fi
  grep '^BENCH|' "$log" | sed "s@^BENCH|@$name|@" >>"$rows"
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
# Windows programs of the two Windows builds, each under its own Wine
# environment: build/win64 under Debian's Wine, build/win32 (what users
# get) under the WoW64 Wine; a build whose Wine is missing is left out with
# one line that says why.
source_dir=$(cd "$(dirname "$0")/.." && pwd)
for build in win64 win32; do
  win_programs=("$root/$build"/bin/bench_*.exe)
  [ ${#win_programs[@]} -gt 0 ] && [ -x "$root/$build/wine-run" ] || continue
  if ! why=$(bash "$source_dir/scripts/wine-env.sh" missing "$root/$build/wine"); then
    echo "bench: $build left out: $why" >&2
    continue
  fi
  found=1
  if bash "$source_dir/scripts/wine-env.sh" start "$root/$build/wine"; then
    for program in "${win_programs[@]}"; do
      run_bench "$program" "$root/$build/wine-run"
    done
    bash "$source_dir/scripts/wine-env.sh" stop "$root/$build/wine"
  else
    echo "bench: the Wine environment of $root/$build did not start" >&2
    failed=1
  fi
done

if [ $found -eq 0 ]; then
  echo "bench: no benchmark programs under $root (run 'make bench')" >&2
  exit 1
fi

echo
awk -F'|' '
  BEGIN { printf "%-24s %-44s %12s %12s %7s\n", "program", "figure", "value", "baseline", "ratio" }
  {
    ratio = "-"
    if ($3 != "-" && $4 != "-" && $4 + 0 > 0) ratio = sprintf("%.2f", $3 / $4)
    printf "%-24s %-44s %9s %-2s %9s %-2s %7s\n", $1, $2, $3, $5, $4, ($4 == "-" ? "" : $5), ratio
  }' "$rows"
exit $failed

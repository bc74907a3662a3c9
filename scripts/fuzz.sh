#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build.
#   fuzz.sh BUILD_DIR SECONDS [RUNS [WORKERS]]
# Each target BUILD_DIR/bin/fuzz_NAME starts from the checked-in seeds in
# tests/fuzz/corpus/fuzz_NAME/, copied into the working corpus
# BUILD_DIR/corpus/fuzz_NAME/ (which keeps what earlier runs found; the seeds
# themselves are never written). WORKERS processes (default 2, one per core)
# fuzz that corpus side by side, each picking up what the others add; with
# RUNS they stop after RUNS executions in all (each its share), and in any
# case after SECONDS. Crash inputs go to BUILD_DIR/artifacts/.
# Prints executions and the coverage of the resulting corpus per target;
# exits non-zero when any target crashed, leaked, hung or drew a sanitizer
# report, or fell short of RUNS.
set -u

if [ $# -lt 2 ] || [ $# -gt 4 ]; then
  echo "usage: $0 BUILD_DIR SECONDS [RUNS [WORKERS]]" >&2
  exit 2
fi
build=$1
seconds=$2
runs=${3:-0}
workers=${4:-2}
source_dir=$(cd "$(dirname "$0")/.." && pwd)

shopt -s nullglob
targets=("$build"/bin/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz_* binaries in $build/bin (run 'make fuzz-build')" >&2
  exit 1
fi

# Undefined behaviour stops the run like a crash, so the input is kept.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

# The last value of a "stat::NAME:" line of a log.
stat() {
  sed -n "s/^stat::$1: *//p" "$2" | tail -n 1
}

mkdir -p "$build/artifacts" "$build/logs"
failed=0
summary=()
for binary in "${targets[@]}"; do
  [ -x "$binary" ] || continue
  name=$(basename "$binary")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  if [ -d "$source_dir/tests/fuzz/corpus/$name" ]; then
    cp -n "$source_dir/tests/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  fi

  limit=()
  if [ "$runs" -gt 0 ]; then
    limit=(-runs=$(( (runs + workers - 1) / workers )))
  fi
  echo "fuzz: $name, $workers workers, ${runs:-0} runs, at most ${seconds}s (corpus $corpus, logs $build/logs/$name-*.log)"
  started=$(date +%s)
  pids=()
  for ((w = 1; w <= workers; w++)); do
    # Inputs up to 20 KB reach the largest header area (16 KB) with rooms
    # after it, and room moves of more than one 4 KB piece. Every worker
    # reads the corpus again now and then (-reload), so each goes on from
    # what the others found.
    "$binary" "$corpus" "${limit[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=20 -max_len=20480 -reload=1 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
      >"$build/logs/$name-$w.log" 2>&1 &
    pids+=($!)
  done

  # Workers are judged as they end; after a failure the others are stopped,
  # since the finding is what matters and they would run on for minutes.
  declare -A worker_of=()
  for ((w = 1; w <= workers; w++)); do
    worker_of[${pids[$((w - 1))]}]=$w
  done
  declare -A stopped=()
  execs=0
  verdict=ok
  remaining=("${pids[@]}")
  while [ ${#remaining[@]} -gt 0 ]; do
    pid=
    wait -n -p pid "${remaining[@]}"
    rc=$?
    w=${worker_of[$pid]}
    left=()
    for other in "${remaining[@]}"; do
      [ "$other" != "$pid" ] && left+=("$other")
    done
    remaining=("${left[@]}")
    log="$build/logs/$name-$w.log"
    done_here=$(stat number_of_executed_units "$log")
    execs=$((execs + ${done_here:-0}))
    [ -n "${stopped[$w]:-}" ] && continue
    # libFuzzer exits non-zero on a crash, leak, timeout or out-of-memory;
    # a report that a sanitizer printed without stopping counts as well.
    bad=
    if [ $rc -ne 0 ]; then
      bad="failed (worker $w, exit $rc)"
    elif grep -qE 'runtime error:|ERROR: (Address|Leak|Undefined)Sanitizer' "$log"; then
      bad="failed (worker $w, sanitizer report)"
    fi
    if [ -n "$bad" ]; then
      verdict=$bad
      echo "fuzz: $name $bad; end of $log:" >&2
      tail -n 40 "$log" >&2
      for other in "${remaining[@]}"; do
        if kill -0 "$other" 2>/dev/null; then
          stopped[${worker_of[$other]}]=1
          kill -TERM "$other" 2>/dev/null
        fi
      done
    fi
  done
  elapsed=$(( $(date +%s) - started ))
  if [ "$verdict" = ok ] && [ "$execs" -lt "$runs" ]; then
    verdict="short (${execs} of ${runs} executions in ${seconds}s)"
  fi
  if [ "$verdict" != ok ]; then
    failed=1
    for artifact in "$build/artifacts/$name"-*; do
      echo "fuzz: artifact $artifact" >&2
    done
  fi

  # The coverage of what the run leaves: every unit of the corpus once.
  inited=$("$binary" "$corpus" -runs=0 -rss_limit_mb=2048 -max_len=20480 2>&1 |
           grep -E '^#[0-9]+.*INITED' | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$inited")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$inited")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$inited")
  files=$(find "$corpus" -type f | wc -l)
  rate=$(( elapsed > 0 ? execs / elapsed : execs ))
  summary+=("$(printf '%-16s %12s %7ss %9s %6s %6s %6s %6s  %s' "$name" "$execs" "$elapsed" \
    "$rate" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$files" "$verdict")")
done

printf '%-16s %12s %8s %9s %6s %6s %6s %6s  %s\n' target executions time execs/s \
  cov ft corpus files result
for line in "${summary[@]}"; do
  echo "$line"
done
exit $failed

#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a fixed time each.
#   fuzz.sh BUILD_DIR SECONDS
# Each target BUILD_DIR/bin/fuzz_NAME starts from the checked-in seeds in
# tests/fuzz/corpus/fuzz_NAME/, copied into the working corpus
# BUILD_DIR/corpus/fuzz_NAME/ (which keeps what earlier runs found; the seeds
# themselves are never written). Crash inputs go to BUILD_DIR/artifacts/.
# Prints executions and coverage per target; exits non-zero when any target
# crashed, leaked, hung or drew a sanitizer report.
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$1
seconds=$2
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

mkdir -p "$build/artifacts" "$build/logs"
failed=0
summary=()
for binary in "${targets[@]}"; do
  [ -x "$binary" ] || continue
  name=$(basename "$binary")
  corpus="$build/corpus/$name"
  log="$build/logs/$name.log"
  mkdir -p "$corpus"
  if [ -d "$source_dir/tests/fuzz/corpus/$name" ]; then
    cp -n "$source_dir/tests/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  fi

  echo "fuzz: $name for ${seconds}s (corpus $corpus, log $log)"
  # One job: the machine has two cores, and the other builds share them.
  # Inputs up to 20 KB reach the largest header area (16 KB) with rooms
  # after it, and room moves of more than one 4 KB piece.
  "$binary" "$corpus" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -max_len=20480 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    >"$log" 2>&1
  rc=$?

  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  final=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$final")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$final")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$final")

  # libFuzzer exits non-zero on a crash, leak, timeout or out-of-memory;
  # a report that a sanitizer printed without stopping counts as well.
  verdict=ok
  if [ $rc -ne 0 ]; then
    verdict="failed (exit $rc)"
  elif grep -qE 'runtime error:|ERROR: (Address|Leak|Undefined)Sanitizer' "$log"; then
    verdict="failed (sanitizer report)"
  fi
  if [ "$verdict" != ok ]; then
    failed=1
    echo "fuzz: $name $verdict; end of $log:" >&2
    tail -n 40 "$log" >&2
    for artifact in "$build/artifacts/$name"-*; do
      echo "fuzz: artifact $artifact" >&2
    done
  fi
  summary+=("$(printf '%-20s %12s %10s %8s %8s %8s  %s' "$name" "${execs:-?}" "${rate:-?}" \
    "${cov:-?}" "${ft:-?}" "${corp:-?}" "$verdict")")
done

printf '%-20s %12s %10s %8s %8s %8s  %s\n' target executions execs/s cov ft corpus result
for line in "${summary[@]}"; do
  echo "$line"
done
exit $failed

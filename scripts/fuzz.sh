#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target; SECONDS (default 60) is the total time,
# shared between the targets. A longer run: scripts/fuzz.sh 600.
# Every fuzzer begins with the inputs committed in tests/fuzz/corpus/NAME (never written to) and
# with what earlier runs in this build tree found (build/fuzz/corpus/NAME, where new inputs go).
# To keep a long run's findings, minimise both into a fresh folder:
#   build/fuzz/tests/fuzz/NAME -merge=1 -use_counters=0 NEW build/fuzz/corpus/NAME tests/fuzz/corpus/NAME
# and put NEW in place of tests/fuzz/corpus/NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
total="${1:-60}"
targets=(resolve_root_key_fuzz registry_ops_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# A use after free shows within the input that frees: a quarantine of 16 MiB (256 by default)
# holds the frees of hundreds of inputs and keeps the process small and its memory in cache.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}"
# The class's fuzzer gets nine tenths: it has far more to explore, while the root-key parser's
# few branches are covered within seconds.
shares=(1 9)
# One worker per core, sharing the target's corpus folder; each worker runs the target's whole
# time, and the executions of all workers are summed.
workers=$(nproc)
build="$PWD/build/fuzz"
for i in "${!targets[@]}"; do
  target="${targets[$i]}"
  seconds=$(( total * shares[i] / 10 ))
  [ "$seconds" -ge 1 ] || seconds=1
  corpus="$build/corpus/$target"
  seeds="$PWD/tests/fuzz/corpus/$target"
  logs="$build/logs/$target"
  mkdir -p "$corpus"
  rm -rf "$logs"
  mkdir -p "$logs"
  echo "== fuzzing $target for ${seconds}s with $workers workers (load average $(cut -d' ' -f1-3 /proc/loadavg))"
  status=0
  # The workers write their output to fuzz-N.log in the current folder.
  (cd "$logs" && "$build/tests/fuzz/$target" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/$target-" \
    -jobs="$workers" -workers="$workers" >/dev/null 2>&1) || status=$?
  # The parent does not always pass a worker's failure on: a finding shows in the worker's log.
  ! grep -qE '^(==[0-9]+== ?ERROR|SUMMARY: )' "$logs"/fuzz-*.log || status=1
  for log in "$logs"/fuzz-*.log; do
    echo "-- $(basename "$log")"
    tail -n 8 "$log"
  done
  runs=$(cat "$logs"/fuzz-*.log | sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' | awk '{ s += $1 } END { print s + 0 }')
  echo "== $target: $runs executions in ${seconds}s by $workers workers"
  [ "$status" -eq 0 ] || { echo "== $target FAILED: see $logs and build/fuzz/$target-*" >&2; exit 1; }
done

#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target; SECONDS (default 60) is the total time,
# shared between the targets. A longer run: scripts/fuzz.sh 3600.
set -euo pipefail
cd "$(dirname "$0")/.."
total="${1:-60}"
targets=(resolve_root_key_fuzz registry_ops_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# The class's fuzzer gets the larger share: it has far more to explore.
shares=(1 3)
for i in "${!targets[@]}"; do
  target="${targets[$i]}"
  seconds=$(( total * shares[i] / 4 ))
  [ "$seconds" -ge 1 ] || seconds=1
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzzing $target for ${seconds}s"
  "build/fuzz/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" 2>&1 | tail -n 12
done

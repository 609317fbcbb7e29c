#!/usr/bin/env bash
# Measures every figure of bench/RESULTS.md in one run, one script after the other (builds the
# win64 and win32 presets first), and keeps the whole output in
# build/win64/bench-artifacts/evidence.txt. About 20 minutes. Not part of the test run: timings
# and sizes are evidence, not pass/fail.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done
out=build/win64/bench-artifacts
mkdir -p "$out"
{
  for figure in size startup memory trim_pass trim_native idle_cpu; do
    echo "=== bench/$figure.sh"
    "bench/$figure.sh"
    echo
  done
} 2>&1 | tee "$out/evidence.txt"

#!/usr/bin/env bash
# Measures every figure of bench/RESULTS.md in one run, one script after the other (builds the
# win64 and win32 presets first; the figures under Wine for both architectures), and keeps the
# whole output in build/win64/bench-artifacts/evidence.txt. About 35 minutes. Not part of the
# test run: timings and sizes are evidence, not pass/fail.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib32.sh
for preset in win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done
out=build/win64/bench-artifacts
mkdir -p "$out"
{
  for figure in size trim_native; do
    echo "=== bench/$figure.sh"
    "bench/$figure.sh"
    echo
  done
  # The figures under Wine, for each architecture, each beside the baselines of its own
  # architecture (the minimal tray program and the browser baseline of the same build). The x86
  # figures need a kernel and a Wine that run 32-bit programs.
  presets=(win64)
  if wine_runs_32bit; then presets+=(win32); else echo "$NO_32BIT_LINE"; fi
  for preset in "${presets[@]}"; do
    for figure in startup memory trim_pass idle_cpu; do
      echo "=== bench/$figure.sh ($preset)"
      VARNLET_BUILD="$PWD/build/$preset" "bench/$figure.sh"
      "build/$preset/wine-run" --stop
      echo
    done
    echo "=== bench/trim_pass.sh 11 2 20 1000 ($preset)"
    VARNLET_BUILD="$PWD/build/$preset" bench/trim_pass.sh 11 2 20 1000
    "build/$preset/wine-run" --stop
    echo
  done
} 2>&1 | tee "$out/evidence.txt"

#!/usr/bin/env bash
# Runs every test layer: native unit tests (with sanitizers), the Windows tests and end-to-end
# tests under Wine, the 32-bit build, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

echo "== native: unit tests (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2 --timeout 300

echo "== win64: unit, Win32 and end-to-end tests under Wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64
build/win64/wine-run --prepare
ctest --preset win64 --timeout 300

echo "== win32: built and linked (32-bit Wine cannot run on this kernel)"
cmake --preset win32 >/dev/null
cmake --build --preset win32

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing (bounded)"
  scripts/fuzz.sh "${VARNLET_FUZZ_SECONDS:-60}"
fi
echo "All tests passed."

#!/usr/bin/env bash
# Runs every test layer: native unit tests (with sanitizers), the Windows tests and end-to-end
# tests under Wine, the 32-bit build, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# Whatever fails, leave no Xvfb or wineserver of the win64 tree behind (they would hold our output).
trap '[ ! -x build/win64/wine-run ] || build/win64/wine-run --stop' EXIT

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
# The 64-bit resource test reads the 32-bit exe as a file.
VARNLET_SHIP_EXE="$PWD/build/win32/src/varnlet.exe" build/win64/wine-run build/win64/tests/win_ship/ship_win_tests.exe \
  --gtest_brief=1 </dev/null
build/win64/wine-run --stop

echo "== soak: one minute of Varnlet under Wine with stand-ins coming and going"
bench/soak.sh 1
build/win64/wine-run --stop

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing (bounded)"
  scripts/fuzz.sh "${VARNLET_FUZZ_SECONDS:-60}"
fi
echo "All tests passed."

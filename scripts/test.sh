#!/usr/bin/env bash
# Runs every test layer: native unit tests (with sanitizers), the checks on the code (layers,
# format, static analysis), the Windows tests and end-to-end
# tests under Wine for x64 and then x86, a one-minute soak of each, the release checks (two x64
# builds byte for byte, then signed and verified), and a bounded fuzzing run.
# Where the kernel cannot run 32-bit code, the x86 build is built but not run, and one line says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
source scripts/lib32.sh
# Whatever fails, leave no Xvfb or wineserver of a build tree behind (they would hold our output).
stop_wine() {
  local tree
  for tree in build/win64 build/win32; do [ ! -x "$tree/wine-run" ] || "$tree/wine-run" --stop; done
}
trap stop_wine EXIT

echo "== native: unit tests (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2 --timeout 300

echo "== the code itself: layers, format, clang-tidy, cppcheck"
scripts/check.sh

# One Windows architecture: build, run every Wine layer, then a one-minute soak.
windows() {
  local preset="$1"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  "build/$preset/wine-run" --prepare
  ctest --preset "$preset" --timeout 300
  echo "== $preset: soak, one minute of Varnlet under Wine with stand-ins coming and going"
  VARNLET_BUILD="$PWD/build/$preset" bench/soak.sh 1
  "build/$preset/wine-run" --stop
}

echo "== win64: unit, contract, Win32, About window, resource, end-to-end and install tests under Wine"
windows win64

if wine_runs_32bit; then
  echo "== win32: the same tests for the x86 program under 32-bit Wine (WoW64)"
  windows win32
else
  echo "== win32: $NO_32BIT_LINE"
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
  # The 64-bit resource test reads the 32-bit exe as a file.
  VARNLET_SHIP_EXE="$PWD/build/win32/src/varnlet.exe" build/win64/wine-run \
    build/win64/tests/win_ship/ship_win_tests.exe --gtest_brief=1 </dev/null
  build/win64/wine-run --stop
fi

echo "== release: two builds of the x64 packages compared byte for byte, then signed and verified"
scripts/reproduce.sh --sign x64

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing (bounded)"
  scripts/fuzz.sh "${VARNLET_FUZZ_SECONDS:-60}"
fi
echo "All tests passed."

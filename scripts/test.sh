#!/usr/bin/env bash
# Runs every test layer, one step after the other, and only then judges: native unit tests (with
# sanitizers), the checks on the code (layers, format, static analysis), the Windows tests and
# end-to-end tests under Wine for x64 and then x86, a one-minute soak of each, the release checks
# (two plain builds of fresh clones byte for byte for x64 and x86, then signed with a key in a
# SoftHSM2 token, time-stamped by a local authority and verified), and a bounded fuzzing run.
# A step that fails does not stop the next; the run ends with a table of the steps and exits
# non-zero when any failed.
# Where the kernel cannot run 32-bit code (or VARNLET_NO_32BIT=1 rehearses that), the x86 build is
# built but not run, and one line says so. Where it can, the tests that start a 32-bit program run
# a second time as if it could not, so both paths of each are exercised on every machine.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib32.sh

# Whatever happens, leave no Xvfb or wineserver of a build tree behind (they would hold our output).
stop_wine() {
  local tree
  for tree in build/win64 build/win32; do [ ! -x "$tree/wine-run" ] || "$tree/wine-run" --stop; done
}
trap stop_wine EXIT

names=() results=() times=()
# step NAME COMMAND...: runs the command in a subshell that stops at its first error, and records
# the outcome and the seconds it took.
step() {
  local name="$1" start=$SECONDS rc
  shift
  echo "== $name"
  ( set -euo pipefail; "$@" )
  rc=$?
  names+=("$name")
  times+=($((SECONDS - start)))
  if [ "$rc" -eq 0 ]; then results+=(passed); else results+=("failed (exit $rc)"); fi
}
skip() {
  names+=("$1") results+=("skipped: $2") times+=(0)
}

native() {
  cmake --preset native >/dev/null
  cmake --build --preset native
  ctest --preset native -j2 --timeout 300
}

build_windows() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

wine_tests() {
  "build/$1/wine-run" --prepare
  ctest --preset "$1" --timeout 300
  "build/$1/wine-run" --stop
}

soak() {
  VARNLET_BUILD="$PWD/build/$1" bench/soak.sh 1
  "build/$1/wine-run" --stop
}

# The tests that start a 32-bit program beside the 64-bit one.
STARTS_32BIT='^(win\.ProcessAdapter\.OnePassTrimsTheMozillaStandInsOnly|e2e\.start_trim_close)$'
without_32bit() {
  VARNLET_NO_32BIT=1 build/win64/wine-run --prepare
  VARNLET_NO_32BIT=1 ctest --preset win64 --timeout 300 -R "$STARTS_32BIT"
  build/win64/wine-run --stop
}

# Without 32-bit Wine the 64-bit resource test reads the 32-bit exe as a file.
x86_resources() {
  VARNLET_SHIP_EXE="$PWD/build/win32/src/varnlet.exe" build/win64/wine-run \
    build/win64/tests/win_ship/ship_win_tests.exe --gtest_brief=1 </dev/null
  build/win64/wine-run --stop
}

step "set-up (scripts/deps.sh)" scripts/deps.sh
step "native: unit tests (ASan + UBSan)" native
step "code: layers, format, clang-tidy, cppcheck" scripts/check.sh
step "win64: build" build_windows win64
step "win64: tests under Wine" wine_tests win64
step "win64: one-minute soak" soak win64
if wine_runs_32bit; then
  step "win64: 32-bit tests again, without 32-bit" without_32bit
  step "win32: build" build_windows win32
  step "win32: tests under 32-bit Wine" wine_tests win32
  step "win32: one-minute soak" soak win32
else
  skip "win64: 32-bit tests again, without 32-bit" "the tests above already ran without 32-bit"
  step "win32: build" build_windows win32
  step "win32: resources of the x86 exe" x86_resources
  skip "win32: tests under 32-bit Wine" "this kernel cannot run 32-bit programs"
  skip "win32: one-minute soak" "this kernel cannot run 32-bit programs"
fi
step "release: built twice, compared; token-signed, stamped" scripts/reproduce.sh --sign x64 x86
step "fuzzing (${VARNLET_FUZZ_SECONDS:-60} s)" scripts/fuzz.sh "${VARNLET_FUZZ_SECONDS:-60}"

passed=0 failed=0
echo
printf '%-52s %-50s %7s\n' step result seconds
for i in "${!names[@]}"; do
  printf '%-52s %-50s %7s\n' "${names[$i]}" "${results[$i]}" "${times[$i]}"
  case "${results[$i]}" in passed) passed=$((passed + 1)) ;; failed*) failed=$((failed + 1)) ;; esac
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The checks CI makes on the code itself, in one command: one format (clang-format,
# .clang-format), and static analysis with zero findings (clang-tidy with
# .clang-tidy over the native build's compile commands for src/, and cppcheck over src/). The
# layering rule is the build's own (src/CMakeLists.txt).
#   scripts/check.sh          check everything
#   scripts/check.sh --fix    reformat every C++ file in place first
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
step() { echo "== $1"; }
fail() { echo "$1" >&2; status=1; }

mapfile -t cxx < <(git ls-files '*.cpp' '*.h' '*.cc' '*.hpp')
step "format (${#cxx[@]} files)"
if [ "${1:-}" = --fix ]; then clang-format -i "${cxx[@]}"; fi
clang-format --dry-run --Werror "${cxx[@]}" || fail "format: run scripts/check.sh --fix"

step "clang-tidy (src/, native build)"
[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null
mapfile -t sources < <(python3 -c '
import json, os
seen = sorted({e["file"] for e in json.load(open("build/native/compile_commands.json"))
               if os.path.relpath(e["file"]).startswith("src/")})
print("\n".join(seen))')
# A few files a run, one run a core.
printf '%s\0' "${sources[@]}" | xargs -0 -n 4 -P "$(nproc)" clang-tidy -p build/native --quiet 2>/dev/null ||
  fail "clang-tidy found something (above)"

step "cppcheck (src/)"
cppcheck -j "$(nproc)" --enable=warning,style,performance,portability --std=c++20 --language=c++ --inline-suppr --quiet \
  --error-exitcode=1 -I src -I build/native/src/generated src || fail "cppcheck found something (above)"

[ "$status" -eq 0 ] && echo "checks: all clean"
exit "$status"

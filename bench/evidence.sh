#!/usr/bin/env bash
# Measures every figure of bench/RESULTS.md in one run, one script after the other, and writes
# that file anew: a table of each figure, its value, its target or baseline, and the command that
# measures it alone. Builds the win64 and win32 presets first; the figures under Wine are taken for
# x64 and, where 32-bit programs run, for x86, each beside the baselines of its own architecture.
# The scripts' whole output stays in build/win64/bench-artifacts/evidence/ (evidence.txt, and one
# file a figure). With --before REV, Varnlet as it was at REV is built in a clone of its own
# (build/before/) and measured in the same run beside today's: its size, start-up, memory, timer
# ticks and idle CPU. About 35 minutes on 2 cores, 80 with --before. Not part of the test run:
# timings and sizes are evidence, not pass/fail; a script that fails leaves its rows saying so,
# and the run goes on.
# Usage: bench/evidence.sh [--before REV]   measure, then write bench/RESULTS.md
#        bench/evidence.sh --table          write bench/RESULTS.md again from the last run's output
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib32.sh
out=build/win64/bench-artifacts/evidence
if [ "${1:-}" != --table ]; then
  before_rev=""
  if [ "${1:-}" = --before ]; then
    before_rev="$(git rev-parse --verify --short "${2:?--before needs a revision}^{commit}")"
  fi
  began=$SECONDS
  commit="$(git rev-parse --short HEAD)"
  git diff --quiet HEAD -- src res cmake CMakeLists.txt bench/*.cpp bench/*.h || commit="$commit with uncommitted changes"
  for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" >/dev/null
  done
  if [ -n "$before_rev" ]; then
    # The program alone, from a clone at that revision (kept for the next run at the same one),
    # stripped as the packages strip it.
    if [ "$(git -C build/before/src rev-parse HEAD 2>/dev/null)" != "$(git rev-parse "$before_rev^{commit}")" ]; then
      rm -rf build/before
      git clone -q --no-checkout . build/before/src
      git -C build/before/src checkout -q "$(git rev-parse "$before_rev^{commit}")"
    fi
    for preset in win64 win32; do
      (cd build/before/src && cmake --preset "$preset" -DVARNLET_TESTS=OFF >/dev/null &&
        cmake --build --preset "$preset" --target varnlet >/dev/null)
      mkdir -p "build/before/$preset"
      "$(sed -nE 's/^CMAKE_STRIP:FILEPATH=(.*)/\1/p' "build/before/src/build/$preset/CMakeCache.txt")" --strip-all \
        -o "build/before/$preset/varnlet.exe" "build/before/src/build/$preset/src/varnlet.exe"
    done
    export VARNLET_BEFORE_DIR="$PWD/build/before" VARNLET_BEFORE="$before_rev"
  fi
  rm -rf "$out"
  mkdir -p "$out"
  {
    echo "commit=\"$commit\""
    echo "day=$(date -u '+%Y-%m-%d')"
    echo "machine=\"nproc $(nproc), $(lscpu | sed -nE 's/^Model name: *//p' | head -1)," \
      "$(free -g | awk '/^Mem:/ { print $2 }') GiB, $(. /etc/os-release && echo "$PRETTY_NAME")," \
      "$(wine --version 2>/dev/null), load average $(cut -d' ' -f1-3 /proc/loadavg) at the start\""
    echo "before=\"$before_rev\""
  } >"$out/run.sh"

  # measure NAME 'COMMAND AS SHOWN' COMMAND...: runs one figure's script, its output to the screen,
  # to $out/NAME.txt and to $out/evidence.txt; $out/steps.txt keeps NAME, whether the script
  # passed, and the command as a reader would type it.
  measure() {
    local name="$1" as_shown="$2" status=0
    shift 2
    echo "=== $as_shown ($(date -u +%H:%M:%S))" | tee -a "$out/evidence.txt"
    "$@" >"$out/$name.txt" 2>&1 || status=$?
    tee -a "$out/evidence.txt" <"$out/$name.txt"
    [ "$status" = 0 ] || echo "=== $as_shown FAILED with $status" | tee -a "$out/evidence.txt"
    printf '%s\t%s\t%s\n' "$name" "$status" "$as_shown" >>"$out/steps.txt"
  }

  measure size 'bench/size.sh' bench/size.sh
  measure native 'bench/trim_native.sh' bench/trim_native.sh
  arches=(x64)
  if wine_runs_32bit; then arches+=(x86); else echo "$NO_32BIT_LINE" | tee -a "$out/evidence.txt"; fi
  for arch in "${arches[@]}"; do
    preset=$([ "$arch" = x64 ] && echo win64 || echo win32)
    prefix=$([ "$arch" = x64 ] && echo "" || echo "VARNLET_BUILD=build/win32 ")
    for figure in "startup 10" "memory 3" "trim_pass" "trim_pass 11 2 20 1000" "wakeups 60" "idle_cpu 3"; do
      read -r script args <<<"$figure"
      name="$script${args:+-${args// /-}}-$arch"
      measure "$name" "${prefix}bench/$script.sh${args:+ $args}" \
        env VARNLET_BUILD="$PWD/build/$preset" "bench/$script.sh" $args
      "build/$preset/wine-run" --stop || true
    done
  done
  echo "minutes=$(((SECONDS - began + 30) / 60))" >>"$out/run.sh"
fi

# --- The table, from the scripts' own lines -------------------------------------------------------

# pick NAME EXPRESSION: the first group of the sed expression in the first line of NAME's output
# that matches it.
pick() { { sed -nE "s/$2/\1/p" "$out/$1.txt" 2>/dev/null || true; } | head -1; }
# after NAME PREFIX: the rest of the first line of NAME's output that starts with PREFIX, taken as
# plain text (a revision's name may hold characters a pattern would read).
after() { awk -v p="$2" 'index($0, p) == 1 { print substr($0, length(p) + 1); exit }' "$out/$1.txt" 2>/dev/null || true; }
# Thousands apart, as in 184 320.
grouped() { sed -E ':a; s/([0-9])([0-9]{3})($|[^0-9.])/\1 \2\3/; ta' <<<"$1"; }
# Two decimals of a ratio.
r2() { awk -v x="$1" 'BEGIN { printf "%.2f", x }'; }
# verdict VALUE LIMIT: "met" when VALUE <= LIMIT.
verdict() { awk -v x="$1" -v t="$2" 'BEGIN { print (x != "" && x + 0 <= t + 0) ? "met" : "**not met**" }'; }

[ -f "$out/run.sh" ] && [ -f "$out/steps.txt" ] || { echo "no run in $out: bench/evidence.sh first" >&2; exit 1; }
before=""
source "$out/run.sh"
# How the scripts name the build before the change, and how the table does.
bname="before this change${before:+ ($before)}"
bshort="before${before:+ ($before)}"
declare -A shown failed
while IFS=$'\t' read -r name status as_shown; do
  shown[$name]="$as_shown" failed[$name]="$status"
done <"$out/steps.txt"
arches=(x64)
[ -z "${shown[startup-10-x86]:-}" ] || arches+=(x86)
rows=()
# row NAME FIGURE VALUE TARGET: a row of the table, unless NAME's script failed or gave no value.
row() {
  local name="$1" figure="$2" value="$3" target="$4"
  if [ "${failed[$name]:-1}" != 0 ] || [ -z "$value" ]; then
    value="not measured: the script failed (\`$out/$name.txt\`)" target=""
  fi
  rows+=("| $figure | $value | $target | \`${shown[$name]:-}\` |")
}
# ", before (REV): TEXT" when there is a before figure.
beside() { [ -z "$before" ] || [ -z "$1" ] || echo ", $bshort: $1"; }

for pair in win64:x64:192 win32:x86:248; do
  IFS=: read -r preset arch limit <<<"$pair"
  bytes=$(pick size "^$preset: varnlet\.exe ([0-9]+) bytes.*")
  kib=$(pick size "^$preset: varnlet\.exe [0-9]+ bytes \(([0-9.]+) KiB\).*")
  minimal=$(pick size "^$preset: .*minimal tray program [0-9]+ bytes \(([0-9.]+) KiB\).*")
  ratio=$(pick size "^$preset: .*; ratio ([0-9.]+)$")
  bkib=$(after size "$preset: $bname: varnlet.exe " | sed -nE 's/^[0-9]+ bytes \(([0-9.]+) KiB\)$/\1/p')
  row size "$arch: the stripped exe" "$kib KiB ($(grouped "$bytes") bytes)$(beside "${bkib:+$bkib KiB}")" \
    "at most $limit KiB: $(verdict "${kib:-x}" "$limit"); minimal tray program $minimal KiB ($(r2 "$ratio") times)"
  imports=$(pick size "^$preset: varnlet\.exe imports: (.*)$")
  row size "$arch: DLLs imported" "${imports//.dll/}" \
    "system DLLs only: $(grep -q "^$preset: varnlet\.exe imports:" "$out/size.txt" && ! grep -q 'not a system DLL' "$out/size.txt" && echo met || echo '**not met**')"
done

# Google Benchmark's aggregate lines: "BM_Timer1Pass/50_median  3400 ns  3400 ns  5" (CPU time is
# the second), in µs.
native_cpu() {
  pick native "^$1\/$2_median +[0-9.]+ [a-z]+ +([0-9.]+ [a-z]+) .*" |
    awk '{ f = $2 == "ns" ? 0.001 : $2 == "ms" ? 1000 : 1; printf "%.1f µs", $1 * f }'
}
for processes in 50 500 5000; do
  limit_ratio=$(pick native "^$processes processes \(median\): ratio pass\/limit ([0-9.e+-]+) .*")
  raw_ratio=$(pick native "^$processes processes \(median\): .*pass\/raw loop ([0-9.e+-]+).*")
  row native "native: one trimming pass over the in-memory table, $(grouped "$processes") processes (CPU time, median of 5)" \
    "$(native_cpu BM_Timer1Pass "$processes")" \
    "limit $(native_cpu BM_Limit "$processes") ($(r2 "$limit_ratio") times, at most 1.10: $(verdict "$limit_ratio" 1.10)); raw loop $(native_cpu BM_RawLoop "$processes") ($(r2 "$raw_ratio") times)"
done
[ "${#arches[@]}" -eq 2 ] || rows+=("| x86: the figures under Wine | not measured: $NO_32BIT_LINE | | |")

for arch in "${arches[@]}"; do
  n=startup-10-$arch
  ms() { after "$n" "$1: " | sed -nE 's/^([0-9.]+) ms .*/\1/p'; }
  rat() { after "$n" "ratio $1: "; }
  v=$(ms Varnlet) u=$(ms 'Varnlet unelevated') m=$(ms 'minimal tray program (baseline)')
  c=$(ms 'control baseline (minimal + the browser control, sent nowhere)')
  w=$(ms 'browser baseline (minimal + the browser control, at the same page)')
  bv=$(ms "Varnlet $bname") bu=$(ms "Varnlet $bname, unelevated")
  row "$n" "$arch: start to tray icon added, elevated as Wine starts every program (median of 10)" \
    "$v ms$(beside "${bv:+$bv ms}")" \
    "control baseline $c ms ($(r2 "$(rat 'Varnlet / control baseline')") times, at most 1.25: $(verdict "$(rat 'Varnlet / control baseline')" 1.25)$(b=$(rat 'before / control baseline') && beside "${b:+$(r2 "$b") times}")); minimal tray program $m ms ($(r2 "$(rat 'Varnlet / minimal')") times)"
  row "$n" "$arch: the same, unelevated (the user's limited token)" "$u ms$(beside "${bu:+$bu ms}")" \
    "browser baseline $w ms ($(r2 "$(rat 'Varnlet unelevated / browser baseline')") times, at most 1.25: $(verdict "$(rat 'Varnlet unelevated / browser baseline')" 1.25)$(b=$(rat 'before unelevated / browser baseline') && beside "${b:+$(r2 "$b") times}"))"

  n=memory-3-$arch
  kib() { echo "$(grouped "$1") KiB"; }
  for config in elevated unelevated; do
    who=Varnlet bwho="Varnlet $bname" base="control baseline" label="elevated"
    if [ "$config" = unelevated ]; then
      who="Varnlet unelevated" bwho="Varnlet $bname, unelevated" base="browser baseline" label="unelevated"
    fi
    # "WHO: working set W, private P; minimal beside it: working set W, private P; ratios a and b;
    # BASELINE beside it: working set W, private P; ratios c and d": its numbers.
    read -r ws pb mws mpb rws rpb bws bpb rbws rbpb < <(after "$n" "at 60 s: $who: " | grep -oE '[0-9.]+' | xargs) || true
    read -r ews epb _ < <(after "$n" "at 10 s: $who: " | grep -oE '[0-9.]+' | xargs) || true
    read -r bfws bfpb _ _ _ _ _ _ bfrws bfrpb < <(after "$n" "at 60 s: $bwho: " | grep -oE '[0-9.]+' | xargs) || true
    row "$n" "$arch: working set at 60 s, $label (median of 3)" \
      "${ws:+$(kib "$ws") (at 10 s: $(kib "$ews"))}$(beside "${bfws:+$(kib "$bfws")}")" \
      "$base $(kib "$bws") ($(r2 "$rbws") times, at most 1.25: $(verdict "$rbws" 1.25)$(beside "${bfrws:+$(r2 "$bfrws") times}")); minimal tray program $(kib "$mws") ($(r2 "$rws") times)"
    row "$n" "$arch: private bytes at 60 s, $label (median of 3)" \
      "${pb:+$(kib "$pb") (at 10 s: $(kib "$epb"))}$(beside "${bfpb:+$(kib "$bfpb")}")" \
      "$base $(kib "$bpb") ($(r2 "$rbpb") times, at most 1.25: $(verdict "$rbpb" 1.25)$(beside "${bfrpb:+$(r2 "$bfrpb") times}")); minimal tray program $(kib "$mpb") ($(r2 "$rpb") times)"
  done

  for n in trim_pass-$arch trim_pass-11-2-20-1000-$arch; do
    among=$(pick "$n" '^relay trace of one pass among ([0-9]+) processes:.*')
    opened=$(pick "$n" '^relay trace of one pass among [0-9]+ processes: (.*)$')
    row "$n" "$arch: processes one trimming pass opens, among $(grouped "$among")" "${opened//OpenProcess/\`OpenProcess\`}" \
      "the Mozilla stand-ins only"
    loop() { pick "$n" "^$1: +median ([0-9.]+) ms.*"; }
    pl=$(pick "$n" '^ratio pass \/ limit \(medians\): ([0-9.]+).*')
    pr=$(pick "$n" '^ratio pass \/ raw loop \(medians\): ([0-9.]+).*')
    row "$n" "$arch: one \`Timer1_Timer\` pass under Wine, among $(grouped "$among") processes (median)" \
      "$(loop 'Timer1_Timer pass') ms" \
      "limit (one listing, then the Mozilla processes only) $(loop limit) ms ($(r2 "$pl") times, at most 1.10: $(verdict "$pl" 1.10)); raw loop $(loop 'raw loop') ms ($(r2 "$pr") times); the list of processes alone $(loop 'the list alone') ms"
  done

  n=wakeups-60-$arch
  row "$n" "$arch: timer ticks a minute, idle, as Wine serves them" \
    "$(after "$n" 'Varnlet: ')$(beside "$(after "$n" "Varnlet $bname: ")")" \
    "no target: Wine serves each tick at its own instant and ignores the tolerance"

  n=idle_cpu-3-$arch
  seconds=$(pick "$n" '^figure: CPU seconds over ([0-9]+) idle seconds.*')
  row "$n" "$arch: CPU time over $seconds idle seconds, 20 stand-ins running" \
    "$(after "$n" 'Varnlet: ')$(beside "$(after "$n" "Varnlet $bname: ")")" \
    "minimal tray program $(pick "$n" '^minimal tray program \(baseline\): ([0-9.]+ s) .*'); the wineserver $(pick "$n" '^wineserver with Varnlet running: ([0-9.]+ s a minute);.*') with Varnlet, $(pick "$n" '.*without Varnlet: ([0-9.]+ s a minute)$') after it ended; no target"
done

{
  echo "# Varnlet: measured figures"
  echo
  echo "Written by \`bench/evidence.sh\`, which takes every figure below in one run and rewrites this"
  echo "file; do not edit it by hand. Each command measures its figure alone, from the repository's"
  echo "root once \`cmake --build --preset win64\` (and \`--preset win32\`, for sizes and x86) has"
  echo "built; a figure \"before\" is Varnlet built at that revision, measured in the same run"
  echo "(\`bench/evidence.sh --before REV\`). What the figures, their baselines and their targets are:"
  echo "[docs/testing.md](../docs/testing.md#figures)."
  echo
  echo "Measured at $commit, $day, in $minutes minutes: $machine."
  echo "The scripts' whole output: \`$out/\`."
  echo
  echo "| figure | value | target or baseline | command |"
  echo "|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
} >bench/RESULTS.md
echo "bench/RESULTS.md written ($minutes minutes)"

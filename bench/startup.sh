#!/usr/bin/env bash
# Figure: time from process start to the tray icon being added, for Varnlet, for Varnlet with
# the browser control unavailable (ieframe disabled, so the About window's hidden browser is not
# loaded), for the minimal tray program and for the same hosting the browser control and sending
# it to the same page (the browser baseline), alternating, REPS times each (default 10).
# Measured in Wine's relay trace with +timestamp (one clock for all processes, 1 ms steps): from
# the launcher's call of CreateProcessW to the return of the first Shell_NotifyIcon call (NIM_ADD).
# Targets: Varnlet at most 1.5 times the minimal program and 1.25 times the browser baseline.
# Usage: bench/startup.sh [REPS]
source "$(dirname "$0")/common.sh"
reps="${1:-10}"
machine
relay_only 'KERNEL32.CreateProcessW;SHELL32.Shell_NotifyIconA;SHELL32.Shell_NotifyIconW'
# Wine's desktop process (the shell with its tray) ends some seconds after the last program has
# ended, and the next start would then include starting it again: keep one idle program up so
# every run finds the shell running, as on Windows.
start_standin keepalive/idle.exe 1800
wait_for 30 bash -c "[ -n \"\$('$WR' '$TOOL' pids idle.exe)\" ]" || fail "the idle program did not start"

# Starts $2 (a Unix path) through the probe with the relay trace on, waits for its icon (tip $3),
# closes it through its window class $4, and prints the milliseconds from start to icon added.
# $1 names the run; extra environment comes from $5 (e.g. WINEDLLOVERRIDES=...).
one_run() {
  local name="$1" exe="$2" tip="$3" class="$4" trace="$ART/$1.relay" start added
  env ${5:-} WINEDEBUG=err-all,+timestamp,+pid,+relay "$WR" "$PROBE" spawn "$(winpath "$exe")" 600 \
    >/dev/null 2>"$trace"
  wait_icon "$tip" 60 || fail "$name: no icon"
  tool post "$class" 16 0 0 >/dev/null
  wait_for 30 bash -c "! '$WR' '$TOOL' find '$class' >/dev/null" || fail "$name: did not end"
  sleep 0.5
  start=$(sed -nE 's/^ *([0-9]+\.[0-9]+):.*Call KERNEL32\.CreateProcessW\(.*/\1/p' "$trace" | head -1)
  # Wine names the module as the program imported it: shell32 or SHELL32.
  added=$(sed -nE 's/^ *([0-9]+\.[0-9]+):.*Ret +shell32\.Shell_NotifyIcon[AW]\(\) .*/\1/Ip' "$trace" | head -1)
  grep -aiE 'Call shell32\.Shell_NotifyIcon[AW]\(' "$trace" | head -1 | grep -qE '\(0+,' \
    || fail "$name: the first icon call is not NIM_ADD"
  awk -v a="$start" -v b="$added" 'BEGIN { printf "%.0f\n", (b - a) * 1000 }'
}

: >"$ART/varnlet.ms"
: >"$ART/nobrowser.ms"
: >"$ART/minimal.ms"
: >"$ART/browser.ms"
# The first run of each warms the disk cache and Wine's; it is not counted.
for i in $(seq 0 "$reps"); do
  v=$(one_run varnlet "$EXE" "$VARNLET_TITLE" Varnlet.Form1)
  n=$(one_run nobrowser "$EXE" "$VARNLET_TITLE" Varnlet.Form1 'WINEDLLOVERRIDES=mscoree=;ieframe=')
  m=$(one_run minimal "$MINIMAL" 'Minimal tray' "$MINIMAL_CLASS")
  w=$(one_run browser "$BROWSER" 'Browser tray' "$BROWSER_CLASS")
  [ "$i" -eq 0 ] && { say "warm-up run: varnlet $v ms, without browser $n ms, minimal $m ms, browser baseline $w ms"; continue; }
  echo "$v" >>"$ART/varnlet.ms"
  echo "$n" >>"$ART/nobrowser.ms"
  echo "$m" >>"$ART/minimal.ms"
  echo "$w" >>"$ART/browser.ms"
  say "run $i: varnlet $v ms, without browser $n ms, minimal $m ms, browser baseline $w ms"
done
v=$(median <"$ART/varnlet.ms")
n=$(median <"$ART/nobrowser.ms")
m=$(median <"$ART/minimal.ms")
w=$(median <"$ART/browser.ms")
echo "figure: start to tray icon added, median of $reps runs each" \
  "(targets: at most 1.5 x minimal, at most 1.25 x the browser baseline)"
echo "Varnlet: $v ms (runs: $(sort -g "$ART/varnlet.ms" | tr '\n' ' '))"
echo "Varnlet without the browser control: $n ms (runs: $(sort -g "$ART/nobrowser.ms" | tr '\n' ' '))"
echo "minimal tray program (baseline): $m ms (runs: $(sort -g "$ART/minimal.ms" | tr '\n' ' '))"
echo "browser baseline (minimal + browser control at the same page): $w ms (runs: $(sort -g "$ART/browser.ms" | tr '\n' ' '))"
echo "ratio Varnlet / minimal: $(ratio "$v" "$m"); without the browser: $(ratio "$n" "$m")"
echo "ratio Varnlet / browser baseline: $(ratio "$v" "$w")"

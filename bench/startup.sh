#!/usr/bin/env bash
# Figure: time from process start to the tray icon being added, for Varnlet as Wine starts it
# (elevated, as Wine starts every program) and unelevated (with the user's limited token, through
# the probe), each beside the baseline that does the same work: the control baseline (the minimal
# tray program hosting the browser control it sends nowhere, which is what an elevated Varnlet did
# before it stopped making the control) and the browser baseline (the same sending the control to
# the same page, what an unelevated Varnlet does). The minimal tray program is shown for
# information. Where VARNLET_BEFORE_DIR holds Varnlet's exe before a change (bench/common.sh), it is
# measured the same two ways. Alternating, REPS times each (default 10).
# Measured in Wine's relay trace with +timestamp (one clock for all processes, 1 ms steps): from the
# probe's call of CreateProcessW (CreateProcessAsUserW, unelevated) that starts the program to the
# return of its first Shell_NotifyIcon call (NIM_ADD).
# Targets: Varnlet at most 1.25 times the baseline of the same work, elevated and unelevated.
# Usage: bench/startup.sh [REPS]
source "$(dirname "$0")/common.sh"
reps="${1:-10}"
machine
relay_only 'KERNEL32.CreateProcessW;KERNEL32.CreateProcessAsUserW;ADVAPI32.CreateProcessAsUserW;SHELL32.Shell_NotifyIconA;SHELL32.Shell_NotifyIconW'
# Wine's desktop process (the shell with its tray) ends some seconds after the last program has
# ended, and the next start would then include starting it again: keep one idle program up so
# every run finds the shell running, as on Windows.
start_standin keepalive/idle.exe 3600
wait_for 30 bash -c "[ -n \"\$('$WR' '$TOOL' pids idle.exe)\" ]" || fail "the idle program did not start"

# Starts $2 (a Unix path) through the probe with the relay trace on, unelevated when $5 is
# "limited", waits for its icon (tip $3), closes it through its window class $4, and prints the
# milliseconds from start to icon added. $1 names the run.
one_run() {
  local name="$1" exe="$2" tip="$3" class="$4" trace="$ART/$1.relay" start added spawn=spawn
  [ "${5:-}" = limited ] && spawn=spawn-limited
  WINEDEBUG=err-all,+timestamp,+pid,+relay "$WR" "$PROBE" "$spawn" "$(winpath "$exe")" 600 >/dev/null 2>"$trace" ||
    fail "$name: could not start"
  wait_icon "$tip" 60 || fail "$name: no icon"
  tool post "$class" 16 0 0 >/dev/null
  wait_for 30 bash -c "! '$WR' '$TOOL' find '$class' >/dev/null" || fail "$name: did not end"
  sleep 0.5
  # The probe's call, whose application name is the program's: not those that started the probe.
  start=$(grep -aE 'Call [A-Za-z0-9]+\.CreateProcess(AsUser)?W\(' "$trace" | grep -aF "$(basename "$exe")\"," |
    sed -nE 's/^ *([0-9]+\.[0-9]+):.*/\1/p' | head -1)
  # Wine names the module as the program imported it: shell32 or SHELL32.
  added=$(sed -nE 's/^ *([0-9]+\.[0-9]+):.*Ret +shell32\.Shell_NotifyIcon[AW]\(\) .*/\1/Ip' "$trace" | head -1)
  grep -aiE 'Call shell32\.Shell_NotifyIcon[AW]\(' "$trace" | head -1 | grep -qE '\(0+,' \
    || fail "$name: the first icon call is not NIM_ADD"
  awk -v a="$start" -v b="$added" 'BEGIN { printf "%.0f\n", (b - a) * 1000 }'
}

# name, exe, tip, class, how it is started; the label each result line carries.
runs=("varnlet|$EXE|$VARNLET_TITLE|$VARNLET_MAIN_WINDOW_CLASS|" "unelevated|$EXE|$VARNLET_TITLE|$VARNLET_MAIN_WINDOW_CLASS|limited")
[ -z "$BEFORE_EXE" ] || runs+=("before|$BEFORE_EXE|$VARNLET_TITLE|$VARNLET_MAIN_WINDOW_CLASS|"
  "before-unelevated|$BEFORE_EXE|$VARNLET_TITLE|$VARNLET_MAIN_WINDOW_CLASS|limited")
runs+=("minimal|$MINIMAL|Minimal tray|$MINIMAL_CLASS|" "control|$CONTROL|Control tray|$CONTROL_CLASS|"
  "browser|$BROWSER|Browser tray|$BROWSER_CLASS|")
declare -A label=([varnlet]="Varnlet" [unelevated]="Varnlet unelevated" [before]="Varnlet $BEFORE_NAME"
  [before-unelevated]="Varnlet $BEFORE_NAME, unelevated" [minimal]="minimal tray program (baseline)"
  [control]="control baseline (minimal + the browser control, sent nowhere)"
  [browser]="browser baseline (minimal + the browser control, at the same page)")
for run in "${runs[@]}"; do : >"$ART/${run%%|*}.ms"; done
# The first run of each warms the disk cache and Wine's; it is not counted.
for i in $(seq 0 "$reps"); do
  line=""
  for run in "${runs[@]}"; do
    IFS='|' read -r name exe tip class how <<<"$run"
    ms=$(one_run "$name" "$exe" "$tip" "$class" "$how")
    line+="$name $ms ms, "
    [ "$i" -eq 0 ] || echo "$ms" >>"$ART/$name.ms"
  done
  say "$([ "$i" -eq 0 ] && echo "warm-up run" || echo "run $i"): ${line%, }"
done
echo "figure: start to tray icon added, median of $reps runs each" \
  "(targets: at most 1.25 x the baseline of the same work)"
declare -A med
for run in "${runs[@]}"; do
  name=${run%%|*}
  med[$name]=$(median <"$ART/$name.ms")
  echo "${label[$name]}: ${med[$name]} ms (runs: $(sort -g "$ART/$name.ms" | tr '\n' ' '))"
done
echo "ratio Varnlet / control baseline: $(ratio "${med[varnlet]}" "${med[control]}")"
echo "ratio Varnlet unelevated / browser baseline: $(ratio "${med[unelevated]}" "${med[browser]}")"
echo "ratio Varnlet / minimal: $(ratio "${med[varnlet]}" "${med[minimal]}")"
if [ -n "$BEFORE_EXE" ]; then
  echo "ratio before / control baseline: $(ratio "${med[before]}" "${med[control]}")"
  echo "ratio before unelevated / browser baseline: $(ratio "${med[before-unelevated]}" "${med[browser]}")"
fi

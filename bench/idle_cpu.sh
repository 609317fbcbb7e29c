#!/usr/bin/env bash
# Figure: CPU time that Varnlet spends over idle minutes (default 5) with 20 stand-in Mozilla
# processes running, beside the minimal tray program over the same minutes; where VARNLET_BEFORE_DIR
# holds Varnlet's exe before a change (bench/common.sh), the same minutes once more for it, after
# today's has ended (two copies cannot run at once); and the prefix's wineserver, which does the
# kernel's share of every process call under Wine, with Varnlet and then for one minute without it.
# CPU time: user + system of the Linux process (/proc/PID/stat). As Wine starts it: elevated.
# Usage: bench/idle_cpu.sh [MINUTES]
source "$(dirname "$0")/common.sh"
minutes="${1:-5}"
machine
windows=1
[ -z "$BEFORE_EXE" ] || windows=2
start_standins 20 $((windows * (minutes * 60 + 60) + 240))
server=$(wineserver_pid) || fail "no wineserver for $PREFIX"

launch m 'Minimal tray' "$MINIMAL"
wait_launched
ml=$(linux_pid "$MINIMAL") || fail "no Linux process for the minimal program"

# Idle minutes of the Varnlet of exe $1: sets WINDOW to "its CPU seconds, the minimal program's,
# the wineserver's, the seconds measured".
idle_window() {
  local v vl v0 m0 s0 t0 v1 m1 s1 t1
  launch v "$VARNLET_TITLE" "$1"
  wait_launched
  vl=$(linux_pid "$1") || fail "no Linux process for Varnlet"
  # Past the start-up: the first passes, and an unelevated About window's page request.
  sleep 15
  v0=$(cpu_seconds "$vl") m0=$(cpu_seconds "$ml") s0=$(cpu_seconds "$server") t0=$SECONDS
  sleep $((minutes * 60))
  v1=$(cpu_seconds "$vl") m1=$(cpu_seconds "$ml") s1=$(cpu_seconds "$server") t1=$SECONDS
  kill -0 "$v" || fail "Varnlet ended during the idle minutes"
  close_and_wait $VARNLET_MAIN_WINDOW_CLASS "$v"
  WINDOW=$(awk -v a="$v0" -v b="$v1" -v c="$m0" -v d="$m1" -v e="$s0" -v f="$s1" -v t=$((t1 - t0)) \
    'BEGIN { printf "%.2f %.2f %.2f %d\n", b - a, d - c, f - e, t }')
}
idle_window "$EXE"
read -r vcpu mcpu scpu seconds <<<"$WINDOW"
if [ -n "$BEFORE_EXE" ]; then
  idle_window "$BEFORE_EXE"
  read -r bcpu _ _ bseconds <<<"$WINDOW"
fi
sleep 5
s2=$(cpu_seconds "$server") t2=$SECONDS
sleep 60
s3=$(cpu_seconds "$server") t3=$SECONDS
close_and_wait "$MINIMAL_CLASS" "$m"

per_minute() { awk -v c="$1" -v s="$2" 'BEGIN { printf "%.3f", c * 60 / s }'; }
core() { awk -v c="$1" -v s="$2" 'BEGIN { printf "%.2f", c * 100 / s }'; }
echo "figure: CPU seconds over $seconds idle seconds with 20 stand-ins running (no target)"
echo "Varnlet: $vcpu s ($(per_minute "$vcpu" "$seconds") s a minute, $(core "$vcpu" "$seconds")% of one core)"
[ -z "$BEFORE_EXE" ] ||
  echo "Varnlet $BEFORE_NAME: $bcpu s ($(per_minute "$bcpu" "$bseconds") s a minute, $(core "$bcpu" "$bseconds")% of one core)"
echo "minimal tray program (baseline): $mcpu s ($(per_minute "$mcpu" "$seconds") s a minute)"
echo "wineserver with Varnlet running: $(per_minute "$scpu" "$seconds") s a minute;" \
  "without Varnlet: $(awk -v a="$s2" -v b="$s3" -v s=$((t3 - t2)) 'BEGIN { printf "%.3f", (b - a) * 60 / s }') s a minute"

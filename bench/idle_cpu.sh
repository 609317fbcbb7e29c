#!/usr/bin/env bash
# Figure: CPU time that Varnlet spends over idle minutes (default 5) with 20 stand-in Mozilla
# processes running, beside the minimal tray program over the same minutes; and the prefix's
# wineserver, which does the kernel's share of every process call under Wine, with Varnlet and
# then for one minute without it. CPU time: user + system of the Linux process (/proc/PID/stat).
# Usage: bench/idle_cpu.sh [MINUTES]
source "$(dirname "$0")/common.sh"
minutes="${1:-5}"
machine
start_standins 20 $((minutes * 60 + 240))
server=$(wineserver_pid) || fail "no wineserver for $PREFIX"

launch m 'Minimal tray' "$MINIMAL"
launch v "$VARNLET_TITLE" "$EXE"
wait_launched
vl=$(linux_pid "$EXE") || fail "no Linux process for Varnlet"
ml=$(linux_pid "$MINIMAL") || fail "no Linux process for the minimal program"
# Past the start-up: the About window's page load and the first passes.
sleep 15
v0=$(cpu_seconds "$vl") m0=$(cpu_seconds "$ml") s0=$(cpu_seconds "$server") t0=$SECONDS
sleep $((minutes * 60))
v1=$(cpu_seconds "$vl") m1=$(cpu_seconds "$ml") s1=$(cpu_seconds "$server") t1=$SECONDS
kill -0 "$v" || fail "Varnlet ended during the idle minutes"
close_and_wait Varnlet.Form1 "$v"
sleep 5
s2=$(cpu_seconds "$server") t2=$SECONDS
sleep 60
s3=$(cpu_seconds "$server") t3=$SECONDS
close_and_wait "$MINIMAL_CLASS" "$m"

d() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
per_minute() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { printf "%.3f", (b - a) * 60 / s }'; }
echo "figure: CPU seconds over $((t1 - t0)) idle seconds with 20 stand-ins running (no target)"
echo "Varnlet: $(d "$v0" "$v1") s ($(per_minute "$v0" "$v1" $((t1 - t0))) s a minute," \
  "$(awk -v a="$v0" -v b="$v1" -v s=$((t1 - t0)) 'BEGIN { printf "%.2f", (b - a) * 100 / s }')% of one core)"
echo "minimal tray program (baseline): $(d "$m0" "$m1") s ($(per_minute "$m0" "$m1" $((t1 - t0))) s a minute)"
echo "wineserver with Varnlet running: $(per_minute "$s0" "$s1" $((t1 - t0))) s a minute;" \
  "without Varnlet: $(per_minute "$s2" "$s3" $((t3 - t2))) s a minute"

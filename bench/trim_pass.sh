#!/usr/bin/env bash
# Figure: one Timer1_Timer pass over the real process table under Wine, with STANDINS (default
# 20) stand-in Mozilla processes (copies of standin.exe named after the build's target processes)
# beside Wine's own, and as many more named notepad.exe as make PROCESSES in all
# (default: none more). First the relay trace of one pass: which processes it opens (the
# Mozilla stand-ins only, expected). Then the pass against two loops in the same process,
# alternating: the raw loop that opens every process, and the limit that opens the Mozilla
# processes only from a list known beforehand. Target: the pass at most 1.10 times the limit.
# Usage: bench/trim_pass.sh [ROUNDS [PASSES_PER_ROUND [STANDINS [PROCESSES]]]]
#        (bench/trim_pass.sh 11 2 20 1000: 20 stand-ins among a thousand processes, a few minutes)
source "$(dirname "$0")/common.sh"
machine
standins=${3:-20}
PASS="$B/bench/trim_pass_wine.exe"
# The program's own count stands for the measuring process that will run beside the stand-ins.
others=$((${4:-0} - standins - $("$WR" "$PASS" count | tr -d '\r')))
[ "$others" -gt 0 ] || others=0
# They must outlive the figure: a pass over a thousand takes a second or more.
start_standins "$standins" $((600 + (standins + others) * 2)) "$others"

relay_only 'KERNEL32.CreateToolhelp32Snapshot;KERNEL32.OpenProcess'
WINEDEBUG=err-all,+relay "$WR" "$PASS" once >/dev/null 2>"$ART/relay.log"
opened=$(opens_per_pass "$ART/relay.log")
mozilla=$(for name in "${VARNLET_TARGET_NAMES[@]}"; do tool pids "$name"; done | tr -d '\r' |
  while read -r h; do echo $((16#$h)); done | sort -n | xargs)
echo "relay trace of one pass among $("$WR" "$PASS" count | tr -d '\r') processes: $(wc -l <<<"$opened") snapshot," \
  "$(wc -w <<<"$opened") OpenProcess calls, $([ "$opened" = "$mozilla" ] && echo "exactly the $standins Mozilla stand-ins" ||
    echo "NOT the $standins Mozilla stand-ins ($mozilla)")"

echo "figure: one Timer1_Timer pass under Wine against the limit and the raw loop (target: pass / limit at most 1.10)"
"$WR" "$PASS" "${1:-31}" "${2:-10}" | tr -d '\r'

#!/usr/bin/env bash
# Figure: one Timer1_Timer pass over the real process table under Wine, with STANDINS (default
# 20) stand-in Mozilla processes (copies of standin.exe named firefox.exe, thunderbird.exe,
# xulrunner.exe) beside Wine's own, against a raw loop of the same system calls in the same
# process, alternating.
# Target: at most 1.10 times the raw loop.
# Usage: bench/trim_pass.sh [ROUNDS [PASSES_PER_ROUND [STANDINS]]]
#        (bench/trim_pass.sh 11 2 1000: the pass at a thousand processes, a few minutes)
source "$(dirname "$0")/common.sh"
machine
standins=${3:-20}
# They must outlive the figure: a pass over a thousand takes a second or more.
start_standins "$standins" $((600 + standins * 2))
echo "figure: one Timer1_Timer pass under Wine against a raw loop of the same calls (target: at most 1.10)"
"$WR" "$B/bench/trim_pass_wine.exe" "${1:-31}" "${2:-10}" | tr -d '\r'

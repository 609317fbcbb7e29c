#!/usr/bin/env bash
# Figure: the native Google Benchmark of one trimming pass over the in-memory process table
# (Linux, optimised build) against the limit (open and trim the Mozilla processes only, from a
# list known beforehand) and the raw loop that opens every process. Target: pass / limit at most
# 1.10.
# Builds the native-release preset when needed.
# Usage: bench/trim_native.sh [REPETITIONS]
set -euo pipefail
cd "$(dirname "$0")/.."
echo "machine: nproc $(nproc), $(lscpu | sed -nE 's/^Model name: *//p' | head -1)," \
  "$(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target trim_bench >/dev/null
echo "figure: native trimming pass against the limit and the raw loop (target: pass / limit at most 1.10)"
build/native-release/bench/trim_bench --benchmark_repetitions="${1:-5}" --benchmark_report_aggregates_only=true \
  --benchmark_color=false

#!/usr/bin/env bash
# Builds Varnlet for 64-bit Windows and runs it under Wine: on your display when there is one,
# otherwise on a private Xvfb, writing a screenshot of the screen into the build folder.
# Usage: scripts/run.sh [seconds]   (without seconds it runs until Ctrl+C or "Salir")
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target varnlet
build=build/win64
seconds="${1:-}"

"$build/wine-run" "$build/src/varnlet.exe" &
pid=$!
stop() { kill "$pid" 2>/dev/null || true; "$build/wine-run" --stop; }
trap stop INT TERM

if [ -z "${DISPLAY:-}" ]; then
  sleep 6
  shot="$PWD/$build/varnlet-screenshot.png"
  DISPLAY="$(cat "$build/.display")" import -window root "$shot"
  echo "No display: Varnlet runs on a private Xvfb ($(cat "$build/.display")). Screenshot written to $shot"
fi
if [ -n "$seconds" ]; then
  sleep "$seconds"
  stop
else
  echo "Varnlet is running (pid $pid). Press Ctrl+C to stop it."
  wait "$pid" || true
  "$build/wine-run" --stop
fi

#!/usr/bin/env bash
# Builds Varnlet for 64-bit Windows and runs it under Wine: on your display when there is one,
# otherwise on a private Xvfb, writing a screenshot of the screen into the build folder once the
# tray icon is there.
# Usage: scripts/run.sh [seconds]   (without seconds it runs until Ctrl+C or "Salir")
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset win64 >/dev/null
# e2e_tool reads the tray's tips, to know when the icon is there.
cmake --build --preset win64 --target varnlet e2e_tool
build=build/win64
# The only Wine layer on your display: every test runs on the build tree's own Xvfb.
wine_run() { "$build/wine-run" --desktop "$@"; }
seconds="${1:-}"
icon_wait=60

# The prefix first: made on a fresh machine, it would otherwise show Wine's "configuration is
# being updated" window where Varnlet's icon should be.
wine_run --prepare
wine_run "$build/src/varnlet.exe" &
pid=$!
stop() { kill "$pid" 2>/dev/null || true; "$build/wine-run" --stop; }
trap stop INT TERM

tips() { wine_run "$build/tests/e2e/e2e_tool.exe" tray-tips 2>/dev/null | tr -d '\r'; }
# The program's tip, as the build defines it.
source "$build/varnlet-facts.sh"
deadline=$((SECONDS + icon_wait))
until tips | grep -qxF "$VARNLET_TITLE"; do
  if [ "$SECONDS" -ge "$deadline" ] || ! kill -0 "$pid" 2>/dev/null; then
    echo "Varnlet's tray icon did not appear within ${icon_wait} s." >&2
    stop
    exit 1
  fi
  sleep 0.5
done

if [ -z "${DISPLAY:-}" ]; then
  # The start-up balloon follows the icon; the picture should show both.
  for _ in $(seq 20); do tips | grep -q 'Este mensaje' && break; sleep 0.5; done
  sleep 1
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

#!/usr/bin/env bash
# Shows the About window under Wine on the build tree's Xvfb, waits for it to appear, and keeps a
# screenshot of the screen. The program closes the window once the screenshot exists.
# Usage: screenshot.sh WINE_RUN EXE SHOT.png DISPLAY_FILE
set -u
wine_run=$1 exe=$2 shot=$3 display_file=$4
done_file="$shot.done"
# The caption holds the build's title (VARNLET_TITLE), which the build tree's facts give; of its
# characters, "." and "+" mean more in a pattern.
source "$(dirname "$display_file")/varnlet-facts.sh"
caption="^Acerca de $(printf '%s' "$VARNLET_TITLE" | sed 's/[.+]/\\&/g')\$"
rm -f "$shot" "$done_file"

# Without a window manager on Xvfb nobody would draw the frame and caption: let Wine draw them
# for this program alone.
"$wine_run" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$exe")\\X11 Driver" /v Managed /d N /f \
  >/dev/null 2>&1

"$wine_run" "$exe" "Z:${done_file//\//\\}" &
pid=$!
found=""
for _ in $(seq 300); do
  if [ -s "$display_file" ]; then
    DISPLAY="$(cat "$display_file")"
    export DISPLAY
    if xdotool search --onlyvisible --name "$caption" >/dev/null 2>&1; then
      found=1
      break
    fi
  fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$found" ]; then
  echo "The About window did not appear." >&2
  touch "$done_file"
  wait "$pid"
  exit 1
fi
sleep 1  # let it paint: the picture is an artefact to look at, not a verdict
import -window root "$shot"
touch "$done_file"
status=0
wait "$pid" || status=$?
rm -f "$done_file"
[ -s "$shot" ] || { echo "No screenshot was written." >&2; exit 1; }
echo "Screenshot: $shot"
exit "$status"

#!/usr/bin/env bash
# Figure: how often Varnlet's timers wake it under Wine: the ticks of its two timers over SECONDS
# idle seconds (default 60) after its start, per minute. Each tick is counted by the first call of
# the pass it runs, in Wine's relay trace with +timestamp: a Timer1 tick takes the process list
# (CreateToolhelp32Snapshot), a Timer2 tick trims the own process (K32EmptyWorkingSet on its
# pseudo-handle). Also the distinct instants they fall on: ticks less than 20 ms apart count once.
# Wine serves every timer at its own instant and ignores a coalescing tolerance, so this counts the
# timers' messages; that Windows may serve a tick with other programs' timers, within the tolerance,
# shows in no figure here. Where VARNLET_BEFORE_DIR holds Varnlet's exe before a change
# (bench/common.sh), the same for it, after today's has ended. No target.
# Usage: bench/wakeups.sh [SECONDS]
source "$(dirname "$0")/common.sh"
seconds="${1:-60}"
machine
relay_only 'KERNEL32.CreateToolhelp32Snapshot;KERNEL32.K32EmptyWorkingSet'

# Runs the Varnlet of exe $1 for the idle seconds and sets TICKS to "Timer1-ticks Timer2-ticks
# instants" per minute, from the trace $ART/$2.relay.
ticks() {
  local exe="$1" trace="$ART/$2.relay" v
  WINEDEBUG=err-all,+timestamp,+relay "$WR" "$exe" 2>"$trace" &
  v=$!
  BACKGROUND+=($v)
  wait_icon "$VARNLET_TITLE" || fail "$2: no tray icon"
  sleep $((seconds + 8))
  close_and_wait $VARNLET_MAIN_WINDOW_CLASS "$v"
  # The window opens 2 s after the start-up's own trim, past the start-up passes.
  TICKS=$(OWN="$OWN_TRIM_CALL" LIST="$SNAPSHOT_CALL" awk -v span="$seconds" '
    BEGIN { own = ENVIRON["OWN"]; list = ENVIRON["LIST"] }
    { t = $1 + 0 }
    $0 ~ own || $0 ~ list { if (!start) start = t + 2 }
    !start || t <= start || t > start + span { next }
    $0 ~ list { one++; at[++n] = t }
    $0 ~ own { two++; at[++n] = t }
    END {
      for (i = 1; i <= n; i++) if (i == 1 || at[i] - at[i - 1] >= 0.020) instants++
      f = 60 / span
      printf "%.1f %.1f %.1f\n", one * f, two * f, instants * f
    }' "$trace")
}

echo "figure: timer ticks a minute over $seconds idle seconds, and the distinct instants they fall on (no target)"
ticks "$EXE" varnlet
read -r one two instants <<<"$TICKS"
echo "Varnlet: $(awk -v a="$one" -v b="$two" 'BEGIN { print a + b }') ticks a minute (Timer1 $one, Timer2 $two)," \
  "on $instants instants"
if [ -n "$BEFORE_EXE" ]; then
  ticks "$BEFORE_EXE" before
  read -r one two instants <<<"$TICKS"
  echo "Varnlet $BEFORE_NAME: $(awk -v a="$one" -v b="$two" 'BEGIN { print a + b }') ticks a minute" \
    "(Timer1 $one, Timer2 $two), on $instants instants"
fi

#!/usr/bin/env bash
# Varnlet starts hidden, refuses a second instance, trims the stand-ins firefox.exe,
# thunderbird.exe and xulrunner.exe of both architectures at start and on every 5-second tick
# (and itself every 3 seconds), never trims notepad.exe, and ends on WM_CLOSE.
source "$(dirname "$0")/lib.sh"

# mine/ holds stand-ins of the program's architecture, other/ those of the other one.
standins=(mine/firefox.exe mine/notepad.exe other/firefox.exe other/thunderbird.exe other/xulrunner.exe other/notepad.exe)
for s in "${standins[@]}"; do start_standin "$s" 120 "${s%%/*}"; done
# The decimal id of the stand-in $1.
pid_of() {
  local h
  h=$(tool pids "${1//\//\\}" | head -1 | tr -d '\r')
  [ -n "$h" ] && echo $((16#$h))
}
all_started() {
  for s in "${standins[@]}"; do pid_of "$s" >/dev/null || return 1; done
}
wait_for 30 all_started || fail "stand-ins did not start"
declare -A pid
for s in "${standins[@]}"; do pid[$s]=$(pid_of "$s"); done
say "stand-ins ($ARCH in mine/): $(for s in "${standins[@]}"; do printf '%s %s, ' "$s" "${pid[$s]}"; done)"

relay_only "$TRIM_CALLS"
WINEDEBUG=err-all,+relay "$WR" "$EXE" 2>"$ART/relay.log" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the main form's window exists" wait_for 30 tool find Varnlet.Form1
check "the main form stays hidden" test "$(tool find Varnlet.Form1 | tr -d '\r' | cut -d' ' -f2)" = 0

# A second start ends at once with exit code 0, without trimming anything.
set +e
WINEDEBUG=err-all,+relay timeout 60 "$WR" "$EXE" 2>"$ART/second-relay.log"
second=$?
set -e
check "a second instance exits with code 0" test "$second" -eq 0
check "the second instance trims nothing" test "$(trims_from_relay "$ART/second-relay.log" | wc -l)" -eq 0
check "the first instance still runs" kill -0 "$varnlet"

# Count from the first trim: the load before it (the About window and its browser) takes a while.
check "the first pass ran" wait_for 60 grep -q 'Call KERNEL32.K32EmptyWorkingSet' "$ART/relay.log"
sleep 11
check "WM_CLOSE is posted" tool post Varnlet.Form1 16 0 0
check "WM_CLOSE ends the program" wait_gone 30 "$varnlet"
check "the window is gone" window_gone Varnlet.Form1

trims_from_relay "$ART/relay.log" >"$ART/trims.txt"
own=$(grep -cx own "$ART/trims.txt" || true)
trims_of() { grep -cx "$1" "$ART/trims.txt" || true; }
ff=$(trims_of "${pid[mine/firefox.exe]}")
say "over ~12 s: own trims $own, firefox.exe trims $ff"
check "the first trim is the program's own" test "$(head -1 "$ART/trims.txt")" = own
check "firefox.exe is trimmed at start and on later ticks" test "$ff" -ge 2 -a "$ff" -le 4
for s in other/firefox.exe other/thunderbird.exe other/xulrunner.exe; do
  check "$s of the other architecture is trimmed as often" test "$(trims_of "${pid[$s]}")" -eq "$ff"
done
check "the program trims itself at start and every 3 s" test "$own" -ge 3 -a "$own" -le 6
check "notepad.exe of either architecture is never trimmed" \
  test "$(trims_of "${pid[mine/notepad.exe]}")" -eq 0 -a "$(trims_of "${pid[other/notepad.exe]}")" -eq 0
check "the own trim precedes the first firefox.exe trim" \
  test "$(grep -nx own "$ART/trims.txt" | head -1 | cut -d: -f1)" -lt "$(grep -nx "${pid[mine/firefox.exe]}" "$ART/trims.txt" | head -1 | cut -d: -f1)"
check "every OpenProcess asks for 0x1100 or less" opens_ask_trim_rights_only "$ART/relay.log"
check "every process handle opened was closed" bash -c "! grep -q '^leak' '$ART/trims.txt'"

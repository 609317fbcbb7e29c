#!/usr/bin/env bash
# Varnlet starts hidden, refuses a second instance, trims a stand-in of every target process the
# build names (VARNLET_TARGET_NAMES) at start and on every tick of Timer1 (and itself on every
# tick of Timer2), opens nothing but them (notepad.exe never, nor Wine's own processes), and ends
# on WM_CLOSE. With "other", the stand-ins are of the other architecture (beside one of the first
# name of its own), and are trimmed as often; where 32-bit programs cannot run, that part is
# skipped.
# Usage: start_trim_close.sh [other]
[ "${1:-}" != other ] || E2E_CASE=other_arch
source "$(dirname "$0")/lib.sh"

# mine/ holds stand-ins of the program's architecture, other/ those of the other one. The first
# target stands for them all where the checks need one.
first="mine/${VARNLET_TARGET_NAMES[0]}" others=()
if [ "${1:-}" = other ]; then
  [ "$OTHER_RUNS" = 1 ] || skip_test "32-bit programs cannot run here: no stand-ins of the other architecture"
  others=("${VARNLET_TARGET_NAMES[@]/#/other/}")
  standins=("$first" "${others[@]}" other/notepad.exe)
else
  standins=("${VARNLET_TARGET_NAMES[@]/#/mine/}" mine/notepad.exe)
fi
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
wait_for 120 all_started || fail "stand-ins did not start"
declare -A pid
for s in "${standins[@]}"; do pid[$s]=$(pid_of "$s"); done
say "stand-ins ($ARCH in mine/): $(for s in "${standins[@]}"; do printf '%s %s, ' "$s" "${pid[$s]}"; done)"

relay_only "$TRIM_CALLS;USER32.SetTimer"
start_varnlet +timestamp,+relay relay.log
check "the main form's window exists" wait_for 120 tool find $VARNLET_MAIN_WINDOW_CLASS
check "the main form stays hidden" test "$(tool find $VARNLET_MAIN_WINDOW_CLASS | tr -d '\r' | cut -d' ' -f2)" = 0

# A second start ends at once with exit code 0, without trimming anything.
if [ "${1:-}" != other ]; then
  second=0
  WINEDEBUG=err-all,+relay timeout 60 "$WR" "$EXE" 2>"$ART/second-relay.log" || second=$?
  check "a second instance exits with code 0" test "$second" -eq 0
  check "the second instance trims nothing" test "$(trims_from_relay "$ART/second-relay.log" | wc -l)" -eq 0
  check "the first instance still runs" kill -0 "$varnlet"
fi

# The trace itself says when enough has happened: three own trims (at start and on two ticks of
# Timer2) and two of every Mozilla stand-in (at start and on a tick of Timer1).
trims_of() { grep -c "^$1\( \|$\)" "$2" || true; }
enough_trims() {
  local s
  trims_from_relay "$ART/relay.log" >"$WORK/trims"
  [ "$(trims_of own "$WORK/trims")" -ge 3 ] || return 1
  for s in "${standins[@]}"; do
    [[ "$s" == */notepad.exe ]] || [ "$(trims_of "${pid[$s]}" "$WORK/trims")" -ge 2 ] || return 1
  done
}
check "the program trims itself and the Mozilla stand-ins at start and on later ticks" wait_for 180 enough_trims
check "WM_CLOSE is posted" tool post $VARNLET_MAIN_WINDOW_CLASS 16 0 0
check "WM_CLOSE ends the program" wait_gone 60 "$varnlet"
check "the window is gone" window_gone $VARNLET_MAIN_WINDOW_CLASS

# Each line: who was trimmed, then when (the trace's seconds).
trims_from_relay "$ART/relay.log" >"$ART/trims.txt"
own=$(trims_of own "$ART/trims.txt")
ff=$(trims_of "${pid[$first]}" "$ART/trims.txt")
# At most one pass at start and one a tick, however late the ticks come on a loaded machine: a
# timer started at S with interval I has had at most (T - S) / I ticks by the time T of the last
# trim (a late tick is not doubled up).
at_most() {
  local interval_hex set_at last
  interval_hex=$(printf '%x' "$2")
  set_at=$(sed -nE "s/^ *([0-9]+\.[0-9]+):.*Call USER32\.SetTimer\([0-9a-f]+,[0-9a-f]+,0*$interval_hex,.*/\1/Ip" "$ART/relay.log" | head -1)
  last=$(awk -v who="$1" '$1 == who { t = $2 } END { print t }' "$ART/trims.txt")
  awk -v s="$set_at" -v t="$last" -v i="$2" 'BEGIN { print 1 + int((t - s) * 1000 / i) }'
}
say "own trims $own (at most $(at_most own "$VARNLET_TIMER2_INTERVAL")), $first trims $ff" \
  "(at most $(at_most "${pid[$first]}" "$VARNLET_TIMER1_INTERVAL"))"
check "the first trim is the program's own" test "$(head -1 "$ART/trims.txt" | cut -d' ' -f1)" = own
check "$first is trimmed at start and on later ticks, no more often than every $VARNLET_TIMER1_INTERVAL ms" \
  test "$ff" -ge 2 -a "$ff" -le "$(at_most "${pid[$first]}" "$VARNLET_TIMER1_INTERVAL")"
for s in "${standins[@]}"; do
  [[ "$s" != "$first" && "$s" != */notepad.exe ]] || continue
  check "$s is trimmed as often" test "$(trims_of "${pid[$s]}" "$ART/trims.txt")" -eq "$ff"
done
check "the program trims itself at start and on later ticks, no more often than every $VARNLET_TIMER2_INTERVAL ms" \
  test "$own" -ge 3 -a "$own" -le "$(at_most own "$VARNLET_TIMER2_INTERVAL")"
for s in "${standins[@]}"; do
  [[ "$s" == */notepad.exe ]] || continue
  check "$s is never trimmed" test "$(trims_of "${pid[$s]}" "$ART/trims.txt")" -eq 0
done
check "the own trim precedes the first $first trim" \
  test "$(grep -n '^own ' "$ART/trims.txt" | head -1 | cut -d: -f1)" -lt "$(grep -n "^${pid[$first]} " "$ART/trims.txt" | head -1 | cut -d: -f1)"
# Each pass lists the processes without opening them and opens the Mozilla stand-ins only.
opens_per_pass "$ART/relay.log" >"$ART/opens.txt"
mozilla=$(for s in "${standins[@]}"; do [[ "$s" == */notepad.exe ]] || echo "${pid[$s]}"; done | sort -n | xargs)
say "passes $(wc -l <"$ART/opens.txt"), each to open: $mozilla"
check "every pass opens the Mozilla stand-ins and nothing else (no notepad.exe, none of Wine's)" \
  test "$(sort -u "$ART/opens.txt")" = "$mozilla" -a "$(wc -l <"$ART/opens.txt")" -ge 2
check "every OpenProcess asks for 0x1100 or less" opens_ask_trim_rights_only "$ART/relay.log"
check "every trim is of a handle opened for that process, whose path was read through it" \
  bash -c "! grep -qE '^(unknown|unqueried)' '$ART/trims.txt'"
check "every process handle opened was closed" bash -c "! grep -q '^leak' '$ART/trims.txt'"

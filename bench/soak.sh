#!/usr/bin/env bash
# Soak run: Varnlet under Wine for MINUTES (default 10) while stand-in Mozilla processes start
# and end every few seconds (each lives 4 to 17 s). Reports the program's handle count (counted
# in the system handle table) and private bytes at the start and the end, every 30 s between, and
# how many times each stand-in was trimmed (Wine's relay trace, each K32EmptyWorkingSet paired
# with the OpenProcess that made its handle).
# Fails when Varnlet ends or crashes, when its handle count grows by more than 4 or its private
# bytes by more than 256 KiB from the start (10 s after start-up) to the end, when a process
# handle it opened is never closed, or when it does not exit cleanly on WM_CLOSE.
# Usage: bench/soak.sh [MINUTES]
source "$(dirname "$0")/common.sh"
minutes="${1:-10}"
handle_tolerance=4 private_tolerance_kib=256
machine
echo "soak: $minutes minutes"

relay_only "$TRIM_CALLS"
WINEDEBUG=err-all,+timestamp,+relay "$WR" "$EXE" 2>"$ART/relay.log" &
v=$!
BACKGROUND+=($v)
wait_icon 'Varnlet!' || fail "no tray icon"
vw=$(windows_pid varnlet.exe)
[ -n "$vw" ] || fail "no varnlet.exe process"
vl=$(linux_pid "$EXE") || fail "no Linux process for Varnlet"

# Prints "handles private-KiB" of Varnlet.
sample() {
  local handles
  handles=$("$WR" "$PROBE" handles "$vw" | tr -d '\r')
  echo "$handles $(($(status_kib "$vl" RssAnon) + $(status_kib "$vl" VmSwap)))"
}
alive() { kill -0 "$v" 2>/dev/null || fail "Varnlet ended during the soak"; }

sleep 10
start=$(sample)
say "start: handles ${start% *}, private bytes ${start#* } KiB"
echo "0 $start" >"$ART/samples.txt"
: >"$ART/standins.txt"
t0=$SECONDS
end=$((t0 + minutes * 60))
next_sample=$((t0 + 30))
n=0
while [ "$SECONDS" -lt "$end" ]; do
  alive
  name=${MOZILLA_NAMES[RANDOM % 3]}
  life=$((4 + RANDOM % 14))
  mkdir -p "$WORK/k$n"
  cp "$STANDIN" "$WORK/k$n/$name"
  # Into a file, not a pipe: the stand-in inherits the probe's output and would hold a pipe open.
  "$WR" "$PROBE" spawn "$(winpath "$WORK/k$n/$name")" "$life" >"$WORK/pid" 2>/dev/null || true
  read -r pid started < <(tr -d '\r' <"$WORK/pid") || fail "could not start stand-in $n"
  echo "$((16#$pid)) $name $life $started" >>"$ART/standins.txt"
  n=$((n + 1))
  if [ "$SECONDS" -ge "$next_sample" ]; then
    s=$(sample)
    echo "$((SECONDS - t0)) $s" >>"$ART/samples.txt"
    say "at $((SECONDS - t0)) s: handles ${s% *}, private bytes ${s#* } KiB, $n stand-ins started"
    next_sample=$((next_sample + 30))
  fi
  sleep $((1 + RANDOM % 3))
done
# Let the last stand-ins end and a pass or two see the table without them.
sleep 25
alive
finish=$(sample)
echo "$((SECONDS - t0)) $finish" >>"$ART/samples.txt"
say "end: handles ${finish% *}, private bytes ${finish#* } KiB"

tool post Varnlet.Form1 16 0 0 || fail "no window to close"
set +e
wait "$v"
status=$?
set -e
trims_from_relay "$ART/relay.log" >"$ART/trims.txt"

# Wine reuses process ids within minutes, so a trim belongs to the stand-in that had its id at
# the trim's time (trace and probe read the same clock).
echo "stand-in trims (pid name lifetime started-at trims):"
awk 'NR == FNR { if ($1 != "own" && $1 != "leak") { tp[++t] = $1; tt[t] = $2 } next }
     { n = 0; for (i = 1; i <= t; i++) if (tp[i] == $1 && tt[i] >= $4 && tt[i] <= $4 + $3 + 1) n++
       printf "  %s %s %ss %.1f %d\n", $1, $2, $3, $4 - first, n }
     FNR == 1 { first = $4 }' "$ART/trims.txt" "$ART/standins.txt" | tee "$ART/standin-trims.txt"
total=$(grep -cvE '^(own|leak)' "$ART/trims.txt" || true)
own=$(grep -c '^own' "$ART/trims.txt" || true)
counted=$(awk '{ s += $5 } END { print s + 0 }' "$ART/standin-trims.txt")
say "$n stand-ins started; $total trims of stand-ins, $own of Varnlet itself"
never=$(awk '$5 == 0 && $3 + 0 >= 11' "$ART/standin-trims.txt" | wc -l)

echo "soak result over $minutes min: handles ${start% *} -> ${finish% *} (tolerance +$handle_tolerance)," \
  "private bytes ${start#* } -> ${finish#* } KiB (tolerance +$private_tolerance_kib KiB)"
check "Varnlet exits with code 0 on WM_CLOSE" test "$status" -eq 0
check "the handle count does not grow" test "${finish% *}" -le $((${start% *} + handle_tolerance))
check "private bytes do not grow" test "${finish#* }" -le $((${start#* } + private_tolerance_kib))
check "every process handle opened was closed" bash -c "! grep -q '^leak' '$ART/trims.txt'"
check "every trim falls in the life of a stand-in with that id" test "$counted" -eq "$total"
[ "$never" -eq 0 ] || say "note: $never stand-ins living 11 s or more were never trimmed"

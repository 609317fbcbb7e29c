#!/usr/bin/env bash
# Soak run: Varnlet under Wine for MINUTES (default 10) while AT_ONCE (default 5) stand-in
# Mozilla processes are kept alive, each living a few seconds to a few minutes (a third 4 to
# 17 s, the rest 30 to 300 s, never beyond the run), of both architectures where 32-bit programs
# run. Reports the program's handle count (counted in the system handle table), private bytes and
# GDI and USER objects once it has settled (its fourth own trim), at 1, 10, 30 and 60 minutes and
# at the end, and how many times each stand-in was trimmed (Wine's relay trace, each
# K32EmptyWorkingSet paired with the OpenProcess that made its handle and the path query on it).
# Fails when Varnlet ends or crashes, when its handle count grows by more than 4, its GDI or USER
# objects by more than 4 or its private bytes by more than 256 KiB from the start to the end, when
# a process handle it opened is never closed, when a trim is not of a stand-in through a handle
# opened for it and whose path was read, when a stand-in that lived a Timer1 interval or more was
# never trimmed, or when it does not exit cleanly on WM_CLOSE.
# Usage: bench/soak.sh [MINUTES] [AT_ONCE]     (bench/soak.sh 60 40: about 1 000 stand-ins)
source "$(dirname "$0")/common.sh"
source "$root/scripts/lib32.sh"
minutes="${1:-10}" at_once="${2:-5}"
handle_tolerance=4 gui_tolerance=4 private_tolerance_kib=256
machine
echo "soak: $minutes minutes, $at_once stand-ins at once"
# The other architecture's stand-in (32-bit beside a 64-bit build, and the reverse) where it runs.
kinds=(own)
if [ "$ARCH" = x64 ] && ! wine_runs_32bit; then
  echo "$NO_32BIT_LINE: stand-ins are 64-bit only"
else
  kinds+=(other)
fi

relay_only "$TRIM_CALLS"
WINEDEBUG=err-all,+timestamp,+relay "$WR" "$EXE" 2>"$ART/relay.log" &
v=$!
BACKGROUND+=($v)
wait_icon "$VARNLET_TITLE" || fail "no tray icon"
vw=$(windows_pid varnlet.exe)
[ -n "$vw" ] || fail "no varnlet.exe process"
vl=$(linux_pid "$EXE") || fail "no Linux process for Varnlet"

# Prints "handles private-KiB gdi user" of Varnlet.
sample() {
  local handles gui
  handles=$("$WR" "$PROBE" handles "$vw" | tr -d '\r')
  gui=$("$WR" "$PROBE" gui "$vw" | tr -d '\r')
  [ -n "$handles" ] && [ -n "$gui" ] || fail "the probe could not count the handles and GUI objects of Varnlet"
  echo "$handles $(($(status_kib "$vl" RssAnon) + $(status_kib "$vl" VmSwap))) $gui"
}
show() { echo "handles $1, private bytes $2 KiB, GDI objects $3, USER objects $4"; }
alive() { kill -0 "$v" 2>/dev/null || fail "Varnlet ended during the soak"; }

# The start is measured once the program has settled: its fourth own trim, 9 s after the first.
wait_for 120 traced_more "$ART/relay.log" "$OWN_TRIM_CALL" 3 || fail "Varnlet did not trim itself on its timer"
start=$(sample)
say "start: $(show $start)"
echo "0 $start" >"$ART/samples.txt"
: >"$ART/standins.txt"
t0=$SECONDS
end=$((t0 + minutes * 60))
milestones=(1 10 30 60)
m=0
n=0
ends=() # the planned end (in $SECONDS) of every stand-in alive
while [ "$SECONDS" -lt "$end" ]; do
  alive
  now=$SECONDS
  live=()
  for e in "${ends[@]}"; do [ "$e" -gt "$now" ] && live+=("$e"); done
  ends=("${live[@]}")
  # All that are missing in one probe run: starting the probe is what takes time under Wine.
  batch=() lives=() names=() batch_kinds=()
  while [ $((${#ends[@]} + ${#lives[@]})) -lt "$at_once" ] && [ $((end - SECONDS)) -ge 4 ]; do
    name=${VARNLET_TARGET_NAMES[RANDOM % ${#VARNLET_TARGET_NAMES[@]}]}
    kind=${kinds[RANDOM % ${#kinds[@]}]}
    if [ $((RANDOM % 3)) -eq 0 ]; then life=$((4 + RANDOM % 14)); else life=$((30 + RANDOM % 271)); fi
    [ "$life" -le $((end - SECONDS)) ] || life=$((end - SECONDS))
    k=$((n + ${#lives[@]}))
    mkdir -p "$WORK/k$k"
    if [ "$kind" = other ]; then cp "$STANDIN_OTHER" "$WORK/k$k/$name"; else cp "$STANDIN" "$WORK/k$k/$name"; fi
    batch+=("$(winpath "$WORK/k$k/$name")" "$life")
    lives+=("$life") names+=("$name") batch_kinds+=("$kind")
  done
  if [ "${#lives[@]}" -gt 0 ]; then
    # Into a file, not a pipe: the stand-ins inherit the probe's output and would hold a pipe open.
    "$WR" "$PROBE" spawn "${batch[@]}" >"$WORK/pid" 2>/dev/null || true
    i=0
    while read -r pid started; do
      echo "$((16#$pid)) ${names[i]} ${lives[i]} $started ${batch_kinds[i]}" >>"$ART/standins.txt"
      ends+=($((SECONDS + lives[i])))
      i=$((i + 1))
    done < <(tr -d '\r' <"$WORK/pid")
    [ "$i" -eq "${#lives[@]}" ] || fail "started $i of ${#lives[@]} stand-ins"
    n=$((n + i))
  fi
  if [ "$m" -lt "${#milestones[@]}" ] && [ $((SECONDS - t0)) -ge $((milestones[m] * 60)) ]; then
    s=$(sample)
    echo "$((SECONDS - t0)) $s" >>"$ART/samples.txt"
    say "at ${milestones[m]} min: $(show $s), $n stand-ins started"
    m=$((m + 1))
  fi
  sleep 1
done
# Let the last stand-ins end and two passes see the table without them.
no_standins() { [ "$(count_mozilla_standins)" -eq 0 ]; }
wait_for 120 no_standins || fail "the stand-ins did not end"
wait_for 60 traced_more "$ART/relay.log" "$SNAPSHOT_CALL" $(($(traced "$ART/relay.log" "$SNAPSHOT_CALL") + 1)) ||
  fail "no two passes after the stand-ins ended"
alive
finish=$(sample)
echo "$((SECONDS - t0)) $finish" >>"$ART/samples.txt"
say "end: $(show $finish)"

tool post $VARNLET_MAIN_WINDOW_CLASS 16 0 0 || fail "no window to close"
set +e
wait "$v"
status=$?
set -e
trims_from_relay "$ART/relay.log" >"$ART/trims.txt"

# A trim is right when the trace shows that the thread opened its handle for that id and read the
# image path through it (trims_from_relay); it counts for the stand-in of that id started last
# before it (Wine reuses process ids within minutes; the trace and the probe read the same clock).
# A trim the trace does not back, or of an id no stand-in had, is stray.
echo "stand-in trims (pid name lifetime started-at architecture trims):"
awk 'NR == FNR { pid[FNR] = $1; at[FNR] = $4; line[FNR] = $0; n = FNR; next }
     $1 == "own" || $1 == "leak" { next }
     { owner = 0
       for (i = 1; i <= n; i++) if (pid[i] == $1 && (!owner || at[i] <= $2)) owner = i
       if (owner) trims[owner]++; else stray++ }
     END { for (i = 1; i <= n; i++) { split(line[i], f, " ")
             printf "  %s %s %ss %.1f %s %d\n", f[1], f[2], f[3], f[4] - at[1], f[5], trims[i] + 0 }
           print stray + 0 > "/dev/stderr" }' "$ART/standins.txt" "$ART/trims.txt" \
  >"$ART/standin-trims.txt" 2>"$ART/stray.txt"
# Every line in a long run would drown the figures: the first 20 and those never trimmed.
head -20 "$ART/standin-trims.txt"
awk '$6 == 0' "$ART/standin-trims.txt" | sed 's/^/  never trimmed:/'
total=$(grep -cvE '^(own|leak)' "$ART/trims.txt" || true)
own=$(grep -c '^own' "$ART/trims.txt" || true)
stray=$(cat "$ART/stray.txt")
say "$n stand-ins started; $total trims of stand-ins, $own of Varnlet itself"
# A stand-in that lived a whole interval of Timer1 met at least one pass.
tick=$((VARNLET_TIMER1_INTERVAL / 1000))
never=$(awk -v tick="$tick" '$6 == 0 && $3 + 0 >= tick' "$ART/standin-trims.txt" | wc -l)

read -r h0 p0 g0 u0 <<<"$start"
read -r h1 p1 g1 u1 <<<"$finish"
echo "soak result over $minutes min with $at_once at once: handles $h0 -> $h1 (tolerance +$handle_tolerance)," \
  "private bytes $p0 -> $p1 KiB (tolerance +$private_tolerance_kib KiB), GDI objects $g0 -> $g1," \
  "USER objects $u0 -> $u1 (tolerance +$gui_tolerance each)"
check "Varnlet exits with code 0 on WM_CLOSE" test "$status" -eq 0
check "the handle count does not grow" test "$h1" -le $((h0 + handle_tolerance))
check "private bytes do not grow" test "$p1" -le $((p0 + private_tolerance_kib))
check "GDI objects do not grow" test "$g1" -le $((g0 + gui_tolerance))
check "USER objects do not grow" test "$u1" -le $((u0 + gui_tolerance))
check "every process handle opened was closed" bash -c "! grep -q '^leak' '$ART/trims.txt'"
check "every trim is of a stand-in, through a handle opened for it and whose path was read ($stray are not)" test "$stray" -eq 0
check "every stand-in that lived $tick s or more was trimmed ($never were not)" test "$never" -eq 0

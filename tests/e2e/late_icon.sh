#!/usr/bin/env bash
# Varnlet started while the notification area does not answer yet, as at a logon under load: a
# stand-in in front of the shell's tray refuses the first requests, then leaves the real one.
# The icon still arrives (on the retry timer, and at TaskbarCreated), with the start-up balloon,
# and its menu works. Then a shell that took the add although it answered too late: the retry's
# update finds the icon and keeps it, adding nothing. The end of the session ends the program.
source "$(dirname "$0")/lib.sh"

relay_only 'SHELL32.Shell_NotifyIconA;USER32.SetTimer;USER32.KillTimer'
# The tray calls of a relay trace, one "message:result" per call, in order.
tray_calls() {
  sed -nE -e 's/.*Call shell32\.Shell_NotifyIconA\(0*([0-9a-f]+),.*/\1/Ip' \
    -e 's/.*Ret +shell32\.Shell_NotifyIconA\(\) retval=0*([0-9a-f]*) .*/=\1/Ip' "$1" |
    paste -sd' ' | sed -E 's/ =/:/g; s/:( |$)/:0\1/g'
}
# True when the trace $1 begins with the calls $2.
calls_begin() { [[ "$(tray_calls "$1")" == "$2"* ]]; }
# Starts the stand-in tray with the given arguments, and once it stands in front of the shell's,
# Varnlet, tracing to $ART/$1.
start_behind_stand_in() {
  local log="$1"
  shift
  tool refusing-tray "$@" >"$WORK/$log.tray" &
  BACKGROUND+=($!)
  check "the stand-in stands in front of the shell's tray" wait_for 60 grep -q ready "$WORK/$log.tray"
  start_varnlet +relay "$log"
}
refused() { [ "$(grep -ciE 'Ret +shell32\.Shell_NotifyIconA\(\) retval=0+ ' "$ART/relay.log")" -ge "$1" ]; }

# Five refusals: the add at start, one try at TaskbarCreated and one on the timer (an update,
# then an add, each).
start_behind_stand_in relay.log 5
check "the first add is refused" wait_for 60 refused 1
check "the retry timer runs every 5 s" grep -qiE "$(set_timer_call $RETRY_TIMER $RETRY_MS)" "$ART/relay.log"
check "the window hears TaskbarCreated without an icon" tool post-registered $VARNLET_MAIN_WINDOW_CLASS TaskbarCreated
check "the icon arrives" wait_for 60 varnlet_icons 1
say "tray calls: $(tray_calls "$ART/relay.log")"
# The add refused; two tries (update, add) refused; then the update finds nothing, the add goes
# through with its version, and the balloon follows.
check "each try updates first, then adds" calls_begin "$ART/relay.log" "0:0 1:0 0:0 1:0 0:0 1:0 0:1 4:1 1:1"
check "the start-up balloon is shown once the icon is there" wait_for 60 balloon_shown
check "and the retry timer is killed" grep -qiE "$(kill_timer_call $RETRY_TIMER)" "$ART/relay.log"
screenshot late-icon-and-balloon
# A right click on the late icon shows the menu (else the pick fails).
pick salir
check "Salir ends the program" wait_gone 60 "$varnlet"
check "and removes the icon" varnlet_icons 0

# A shell that took the add but answered too late.
start_behind_stand_in relay-timed-out.log 1 timed-out
check "the icon is there although its add was refused" wait_for 60 varnlet_icons 1
check "the next try finds it" wait_for 60 grep -qiE "$(notify_call $NIM_SETVERSION)" "$ART/relay-timed-out.log"
say "tray calls: $(tray_calls "$ART/relay-timed-out.log")"
check "the update finds the icon: no second add, the balloon follows" \
  calls_begin "$ART/relay-timed-out.log" "0:0 1:1 4:1 1:1"
check "the end of the session is posted" tool post $VARNLET_MAIN_WINDOW_CLASS 0x16 1 1
check "and ends the program" wait_gone 60 "$varnlet"
check "with its icon" varnlet_icons 0

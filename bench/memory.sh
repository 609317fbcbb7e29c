#!/usr/bin/env bash
# Figure: working set and private bytes 10 s after start and after a minute, for Varnlet as Wine
# starts it (elevated) and unelevated (with the user's limited token, through the probe), each
# beside the baseline that does the same work, running at the same time: the control baseline (the
# minimal tray program hosting the browser control it sends nowhere, what an elevated Varnlet did
# before it stopped making the control) and the browser baseline (the same sending it to the same
# page, an unelevated Varnlet's work); the minimal tray program runs beside both, for information.
# Where VARNLET_BEFORE_DIR holds Varnlet's exe before a change (bench/common.sh), it is measured the
# same two ways, in rounds of its own (two copies cannot run at once). ROUNDS rounds (default 3);
# medians. Targets: at most 1.25 times the baseline of the same work.
# Working set: GetProcessMemoryInfo from another process (proc_probe), which under Wine is the
# Linux VmRSS. Private bytes: Wine answers 0 for another process, so this reads what Wine reports
# for a process's own private bytes, RssAnon + VmSwap of /proc/PID/status.
# Usage: bench/memory.sh [ROUNDS] [SECONDS]
source "$(dirname "$0")/common.sh"
rounds="${1:-3}" late="${2:-60}" early=10
machine

# Prints "working-set-KiB private-KiB" of Linux process $1, Windows process $2.
sample() {
  local ws
  ws=$("$WR" "$PROBE" mem "$2" | tr -d '\r' | cut -d' ' -f1)
  echo "$((ws / 1024)) $(($(status_kib "$1" RssAnon) + $(status_kib "$1" VmSwap)))"
}

# One round: Varnlet's exe $2, unelevated when $3 is "limited", beside the minimal program and the
# baseline of class $5 (exe $4, tip $6); appends to $ART/$1.<moment>.
round() {
  local config="$1" exe="$2" how="$3" base="$4" class="$5" tip="$6" v m b vw mw bw vl ml bl start
  start=$SECONDS
  launch m 'Minimal tray' "$MINIMAL"
  launch b "$tip" "$base"
  if [ "$how" = limited ]; then
    spawn_limited "$exe"
    LAUNCHED_TIPS+=("$VARNLET_TITLE")
  else
    launch v "$VARNLET_TITLE" "$exe"
  fi
  wait_launched
  vw=$(windows_pid varnlet.exe)
  mw=$(windows_pid minimal_tray.exe)
  bw=$(windows_pid "$(basename "$base")")
  vl=$(linux_pid "$exe") || fail "no Linux process for Varnlet"
  BACKGROUND+=("$vl")
  ml=$(linux_pid "$MINIMAL") || fail "no Linux process for the minimal program"
  bl=$(linux_pid "$base") || fail "no Linux process for the baseline"
  # Under load the icons can take longer than the first moment: then sample at once.
  [ $((early - (SECONDS - start))) -le 0 ] || sleep $((early - (SECONDS - start)))
  echo "$(sample "$vl" "$vw") $(sample "$ml" "$mw") $(sample "$bl" "$bw")" >>"$ART/$config.early"
  [ $((late - (SECONDS - start))) -le 0 ] || sleep $((late - (SECONDS - start)))
  echo "$(sample "$vl" "$vw") $(sample "$ml" "$mw") $(sample "$bl" "$bw")" >>"$ART/$config.late"
  say "$config round: at ${early}s $(tail -1 "$ART/$config.early"), at ${late}s $(tail -1 "$ART/$config.late")" \
    "(KiB: Varnlet working set, private; minimal working set, private; baseline working set, private)"
  # Each by its Linux process: an unelevated Varnlet's launcher has ended at its start.
  close_and_wait $VARNLET_MAIN_WINDOW_CLASS "$vl"
  close_and_wait "$MINIMAL_CLASS" "$ml"
  close_and_wait "$class" "$bl"
}

configs=(varnlet unelevated)
[ -z "$BEFORE_EXE" ] || configs+=(before before-unelevated)
for r in $(seq "$rounds"); do
  for config in "${configs[@]}"; do
    exe=$EXE
    case "$config" in before*) exe=$BEFORE_EXE ;; esac
    case "$config" in
      *unelevated) round "$config" "$exe" limited "$BROWSER" "$BROWSER_CLASS" 'Browser tray' ;;
      *) round "$config" "$exe" "" "$CONTROL" "$CONTROL_CLASS" 'Control tray' ;;
    esac
  done
done

col() { cut -d' ' -f"$2" "$1" | median; }
echo "figure: memory in KiB, median of $rounds rounds (targets: at most 1.25 x the baseline of the same work)"
declare -A label=([varnlet]="Varnlet" [unelevated]="Varnlet unelevated" [before]="Varnlet $BEFORE_NAME"
  [before-unelevated]="Varnlet $BEFORE_NAME, unelevated")
for moment in early late; do
  at=$([ "$moment" = early ] && echo "${early} s" || echo "${late} s")
  for config in "${configs[@]}"; do
    f="$ART/$config.$moment"
    baseline=$(case "$config" in *unelevated) echo "browser baseline" ;; *) echo "control baseline" ;; esac)
    echo "at $at: ${label[$config]}: working set $(col "$f" 1), private $(col "$f" 2);" \
      "minimal beside it: working set $(col "$f" 3), private $(col "$f" 4);" \
      "ratios $(ratio "$(col "$f" 1)" "$(col "$f" 3)") and $(ratio "$(col "$f" 2)" "$(col "$f" 4)");" \
      "$baseline beside it: working set $(col "$f" 5), private $(col "$f" 6);" \
      "ratios $(ratio "$(col "$f" 1)" "$(col "$f" 5)") and $(ratio "$(col "$f" 2)" "$(col "$f" 6)")"
  done
done

#!/usr/bin/env bash
# Figure: working set and private bytes 10 s after start and after a minute, for Varnlet and for
# the two baselines running beside it (the minimal tray program, and the same hosting the browser
# control sent to the same page); then the same for Varnlet with the browser control unavailable
# (ieframe disabled), to show how much of the figure the About window's hidden browser accounts
# for. ROUNDS rounds (default 3); medians. Targets: at most 1.5 times the minimal program, the
# browser control aside, and at most 1.25 times the browser baseline.
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

# One round: Varnlet (environment $2) beside the baselines; appends to $ART/$1.<moment>.
round() {
  local config="$1" v m b vw mw bw start
  start=$SECONDS
  launch m 'Minimal tray' "$MINIMAL"
  launch b 'Browser tray' "$BROWSER"
  # $2: zero or more VAR=value words, split on purpose.
  launch v "$VARNLET_TITLE" "$EXE" ${2:-}
  wait_launched
  vw=$(windows_pid varnlet.exe)
  mw=$(windows_pid minimal_tray.exe)
  bw=$(windows_pid browser_tray.exe)
  vl=$(linux_pid "$EXE") || fail "no Linux process for Varnlet"
  ml=$(linux_pid "$MINIMAL") || fail "no Linux process for the minimal program"
  bl=$(linux_pid "$BROWSER") || fail "no Linux process for the browser baseline"
  # Under load the icons can take longer than the first moment: then sample at once.
  [ $((early - (SECONDS - start))) -le 0 ] || sleep $((early - (SECONDS - start)))
  echo "$(sample "$vl" "$vw") $(sample "$ml" "$mw") $(sample "$bl" "$bw")" >>"$ART/$config.early"
  [ $((late - (SECONDS - start))) -le 0 ] || sleep $((late - (SECONDS - start)))
  echo "$(sample "$vl" "$vw") $(sample "$ml" "$mw") $(sample "$bl" "$bw")" >>"$ART/$config.late"
  say "$config round: at ${early}s $(tail -1 "$ART/$config.early"), at ${late}s $(tail -1 "$ART/$config.late")" \
    "(KiB: Varnlet working set, private; minimal working set, private; browser baseline working set, private)"
  close_and_wait Varnlet.Form1 "$v"
  close_and_wait "$MINIMAL_CLASS" "$m"
  close_and_wait "$BROWSER_CLASS" "$b"
}

for r in $(seq "$rounds"); do
  round varnlet
  round nobrowser 'WINEDLLOVERRIDES=mscoree=;ieframe='
done

col() { cut -d' ' -f"$2" "$1" | median; }
echo "figure: memory in KiB, median of $rounds rounds (targets: at most 1.5 x minimal, the browser control" \
  "aside; at most 1.25 x the browser baseline)"
for moment in early late; do
  at=$([ "$moment" = early ] && echo "${early} s" || echo "${late} s")
  for config in varnlet nobrowser; do
    f="$ART/$config.$moment"
    label=$([ "$config" = varnlet ] && echo "Varnlet" || echo "Varnlet without the browser control")
    echo "at $at: $label: working set $(col "$f" 1), private $(col "$f" 2);" \
      "minimal beside it: working set $(col "$f" 3), private $(col "$f" 4);" \
      "ratios $(ratio "$(col "$f" 1)" "$(col "$f" 3)") and $(ratio "$(col "$f" 2)" "$(col "$f" 4)");" \
      "browser baseline beside it: working set $(col "$f" 5), private $(col "$f" 6);" \
      "ratios $(ratio "$(col "$f" 1)" "$(col "$f" 5)") and $(ratio "$(col "$f" 2)" "$(col "$f" 6)")"
  done
  echo "at $at: the browser control accounts for working set" \
    "$(($(col "$ART/varnlet.$moment" 1) - $(col "$ART/nobrowser.$moment" 1))) KiB, private" \
    "$(($(col "$ART/varnlet.$moment" 2) - $(col "$ART/nobrowser.$moment" 2))) KiB"
done

# Shared helpers of the end-to-end scripts. Sourced; expects VARNLET_BUILD (a Windows build
# tree, x64 or x86) and VARNLET_ARTIFACTS (where traces and screenshots are kept).
set -euo pipefail
: "${VARNLET_BUILD:?set VARNLET_BUILD to the build tree}"
B="$VARNLET_BUILD"
# The build's architecture, as the build itself wrote it.
ARCH="$(cat "$B/varnlet-arch")"
# The registry view the program sees: on 64-bit Windows a 32-bit program's HKLM\SOFTWARE is
# redirected (to WOW6432Node) for keys such as ...\CurrentVersion\Run.
if [ "$ARCH" = x86 ]; then VIEW=/reg:32; else VIEW=/reg:64; fi
# Whether stand-ins of the other architecture can run: an x86 build always has 64-bit processes
# beside it; an x64 build has 32-bit ones only where the kernel runs 32-bit code and no rehearsal
# (VARNLET_NO_32BIT=1) says otherwise.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib32.sh"
if [ "$ARCH" = x86 ] || wine_runs_32bit; then OTHER_RUNS=1; else OTHER_RUNS=0; fi
# The pseudo-handle of the own process, as the relay trace prints it.
if [ "$ARCH" = x86 ]; then OWN_HANDLE=ffffffff; else OWN_HANDLE=ffffffffffffffff; fi
WR="$B/wine-run"
PREFIX="${VARNLET_WINEPREFIX:-$B/wineprefix}"
EXE="$B/src/varnlet.exe"
TOOL="$B/tests/e2e/e2e_tool.exe"
STANDIN="$B/tests/win/standin.exe"
STANDIN_OTHER="$B/tests/win/standin-other.exe"
NAME="$(basename "$0" .sh)"
ART="${VARNLET_ARTIFACTS:-$B/e2e-artifacts}/$NAME"
rm -rf "$ART"
mkdir -p "$ART"
WORK="$(mktemp -d /tmp/varnlet-e2e.XXXXXX)"
BACKGROUND=()

cleanup() {
  local p
  for p in "${BACKGROUND[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

say() { echo "[$NAME] $*"; }
fail() { echo "[$NAME] FAIL: $*" >&2; exit 1; }
check() {
  local what="$1"
  shift
  if "$@"; then say "ok: $what"; else fail "$what"; fi
}

tool() { "$WR" "$TOOL" "$@"; }

# The Windows form of a Unix path (Wine maps / to Z:).
winpath() { echo "Z:${1//\//\\}"; }

# Starts a copy of the stand-in as $WORK/$1 (a path relative to $WORK) that lives $2 seconds
# (120 by default); with $3 "other", the stand-in built for the other architecture.
start_standin() {
  mkdir -p "$(dirname "$WORK/$1")"
  if [ "${3:-}" = other ]; then cp "$STANDIN_OTHER" "$WORK/$1"; else cp "$STANDIN" "$WORK/$1"; fi
  "$WR" "$WORK/$1" "${2:-120}" >/dev/null 2>&1 &
  BACKGROUND+=($!)
}

# Starts the program in the background, traced with Wine's debug channels $1 into $ART/$2, from
# the exe $3 (the build's by default); `varnlet` holds its process id.
start_varnlet() {
  WINEDEBUG="err-all,$1" "$WR" "${3:-$EXE}" 2>"$ART/$2" &
  varnlet=$!
  BACKGROUND+=($varnlet)
}
# start_varnlet, then waits for its icon.
start_varnlet_shown() {
  start_varnlet "$@"
  check "the program starts and shows its icon" wait_for 60 varnlet_icons 1
}

# `reg` in the program's own registry view.
reg_view() { "$WR" reg "$@" "$VIEW"; }

# Restricts Wine's relay trace to the given semicolon-separated calls.
relay_only() {
  "$WR" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$1" /f >/dev/null 2>&1
}

# Waits until the command succeeds, for $1 seconds but never less than a minute: on a loaded
# machine Wine and the program may take many times as long, and a wait ends as soon as its
# condition holds, so a generous limit costs a passing test nothing. The limit only catches hangs.
wait_for() {
  local seconds="$1"
  shift
  [ "$seconds" -ge 60 ] || seconds=60
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# Waits up to $1 seconds for the process to end.
wait_gone() {
  local seconds="$1" pid="$2"
  wait_for "$seconds" bash -c "! kill -0 $pid 2>/dev/null"
}

# How many icons of the shell's tray have the tip $1.
tray_tip_count() { tool tray-tips | tr -d '\r' | grep -cxF "$1" || true; }
# True when the tray shows exactly $1 icons with the tip "Varnlet!".
varnlet_icons() { [ "$(tray_tip_count 'Varnlet!')" -eq "$1" ]; }
# True when a window of class $1 exists and is visible; window_gone when none exists.
window_shown() { tool find "$1" | tr -d '\r' | grep -q ' 1$'; }
window_gone() { ! tool find "$1" >/dev/null; }
# The popup menu's window (class #32768) shown, or hidden again.
menu_shown() { window_shown '#32768'; }
menu_closed() { ! window_shown '#32768'; }

# Opens the tray menu with a right click on the icon and, once it shows, sends it the given
# virtual keys (WM_KEYDOWN to the menu window itself, so that no other window's focus takes them).
tray_menu_keys() {
  DISPLAY="$(cat "$B/.display")" xdotool mousemove 12 32 click 3
  wait_for 60 menu_shown || fail "the tray menu did not open"
  local key
  for key in "$@"; do tool post '#32768' 0x100 "$key" 0; done
}

# Opens the tray menu and picks an item with the menu's own keys (the separator is skipped).
pick() {
  case "$1" in
    about) tray_menu_keys 0x28 0x0d ;;
    autostart) tray_menu_keys 0x28 0x28 0x0d ;;
    salir) tray_menu_keys 0x26 0x0d ;;
  esac
}

# Under Wine every file is the Unix user's, who is no administrator, so "Iniciar con Windows"
# refuses with a box (class #32770) that says others may replace the exe, and writes nothing.
# Waits for that box and closes it.
autostart_refused() {
  wait_for 20 window_shown '#32770' &&
    tool texts '#32770' | tr -d '\r' | grep -qF 'Otros usuarios de este equipo pueden cambiar' &&
    tool post '#32770' 16 0 0 && wait_for 20 window_gone '#32770'
}

screenshot() {
  DISPLAY="$(cat "$B/.display")" import -window root "$ART/$1.png"
  say "screenshot: $ART/$1.png"
}

# Reads a relay trace and prints one line per trim: "own" for the pseudo-handle, else the
# trimmed process id in decimal, pairing each handle with the id it was opened for. Also prints
# "leak <pid>" for every process handle not closed by the end of the trace. A trace taken with
# +timestamp gives each trim line its time as a second field.
trims_from_relay() {
  local kind a t pid=""
  declare -A owner=()
  while read -r kind a t; do
    case "$kind" in
      open) pid=$((16#$a)) ;;
      ret) [ $((16#$a)) -ne 0 ] && owner[$((16#$a))]=$pid ;;
      trim)
        if [ "$a" = "$OWN_HANDLE" ]; then echo "own${t:+ $t}"; else echo "${owner[$((16#$a))]:-unknown}${t:+ $t}"; fi ;;
      close) unset "owner[$((16#$a))]" ;;
    esac
  done < <(sed -nE \
    -e 's/^ *([0-9]+\.[0-9]+:)?.*Call KERNEL32\.OpenProcess\([0-9a-f]+,[0-9a-f]+,([0-9a-f]+)\).*/open \2/p' \
    -e 's/^ *([0-9]+\.[0-9]+:)?.*Ret +KERNEL32\.OpenProcess\(\) retval=([0-9a-f]+).*/ret \2/p' \
    -e 's/^ *(([0-9]+\.[0-9]+):)?.*Call KERNEL32\.K32EmptyWorkingSet\(([0-9a-f]+)\).*/trim \3 \2/p' \
    -e 's/^ *([0-9]+\.[0-9]+:)?.*Call KERNEL32\.CloseHandle\(([0-9a-f]+)\).*/close \2/p' "$1")
  local h
  for h in "${!owner[@]}"; do echo "leak ${owner[$h]}"; done
}

# Succeeds when the relay trace $1 holds at least one OpenProcess and every one asks for no right
# beyond PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_SET_QUOTA (0x1100).
opens_ask_trim_rights_only() {
  local masks m
  masks=$(sed -nE 's/.*Call KERNEL32\.OpenProcess\(([0-9a-f]+),.*/\1/p' "$1" | sort -u)
  [ -n "$masks" ] || return 1
  for m in $masks; do [ $((16#$m & ~0x1100)) -eq 0 ] || { echo "OpenProcess asked for $m" >&2; return 1; }; done
}

# Reads a relay trace and prints one line per process snapshot (one a pass): the decimal ids of
# the processes opened after it, in increasing order (an empty line when it opened none).
opens_per_pass() {
  local a line
  sed -nE -e 's/.*Call KERNEL32\.CreateToolhelp32Snapshot\(.*/pass/p' \
    -e 's/.*Call KERNEL32\.OpenProcess\([0-9a-f]+,[0-9a-f]+,([0-9a-f]+)\).*/\1/p' "$1" |
    { while read -r a; do if [ "$a" = pass ]; then echo; else printf '%d ' $((16#$a)); fi; done; echo; } |
    sed 1d | while read -r line; do tr ' ' '\n' <<<"$line" | sort -n | xargs; done
}

TRIM_CALLS='KERNEL32.CreateToolhelp32Snapshot;KERNEL32.OpenProcess;KERNEL32.K32EmptyWorkingSet;KERNEL32.CloseHandle;KERNEL32.QueryFullProcessImageNameA'

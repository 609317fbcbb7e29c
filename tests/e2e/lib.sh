# Shared helpers of the end-to-end scripts. Sourced; expects VARNLET_BUILD (a Windows build
# tree, x64 or x86) and VARNLET_ARTIFACTS (where traces and screenshots are kept).
set -euo pipefail
: "${VARNLET_BUILD:?set VARNLET_BUILD to the build tree}"
B="$VARNLET_BUILD"
# The product's facts as the build wrote them (cmake/ProductFacts.cmake): VARNLET_TITLE,
# VARNLET_SHORT_NAME, VARNLET_VERSION, VARNLET_TARGET_NAMES, the intervals, the window classes
# (VARNLET_MAIN_WINDOW_CLASS, VARNLET_ABOUT_WINDOW_CLASS), the tray's numbers, and the keys under
# HKLM (VARNLET_RUN_KEY with VARNLET_RUN_VALUE, VARNLET_UNINSTALL_KEY, VARNLET_PRODUCT_KEY).
source "$B/varnlet-facts.sh"
# The title as an extended regular expression matches it (window titles).
TITLE_RE="$(sed -E 's/[.+]/\\&/g' <<<"$VARNLET_TITLE")"
# The build's architecture, as the build itself wrote it.
ARCH="$(cat "$B/varnlet-arch")"
# The registry view the program sees, and the other one: on 64-bit Windows a 32-bit program's HKLM\SOFTWARE is
# redirected (to WOW6432Node) for keys such as ...\CurrentVersion\Run.
if [ "$ARCH" = x86 ]; then VIEW=/reg:32 OTHER_VIEW=/reg:64; else VIEW=/reg:64 OTHER_VIEW=/reg:32; fi
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
# Where the packages of this build install, and what they leave in the system.
if [ "$ARCH" = x86 ]; then PROGRAM_FILES='Program Files (x86)'; else PROGRAM_FILES='Program Files'; fi
UNINSTALL_ROOT="${VARNLET_UNINSTALL_KEY%\\*}"
# Wine puts an all-users shortcut in the user's Start menu.
SHORTCUTS=("$PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$VARNLET_TITLE.lnk"
           "$PREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$VARNLET_TITLE.lnk")
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
# A script that runs more than one case names the case in E2E_CASE, for its own artefacts.
NAME="$(basename "$0" .sh)${E2E_CASE:+.$E2E_CASE}"
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
# The string value $2 of the key $1 in that view, empty when there is none.
reg_string() { reg_view query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -nE "s/^ +$2 +REG_SZ +(.*)\$/\\1/p"; }
# True when that view has no such key (or value): reg's own "not found", not any failure of it.
absent() {
  local status=0
  reg_view query "$@" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 1 ]
}
# The start-up value that "Iniciar con Windows" and the installers write.
run_value() { reg_string "$VARNLET_RUN_KEY" "$VARNLET_RUN_VALUE"; }

# Restricts Wine's relay trace to the given semicolon-separated calls.
relay_only() {
  "$WR" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$1" /f >/dev/null 2>&1
}

# Waits until the command succeeds, for at most $1 seconds. Give a generous limit where Wine and
# the program may be slow: a wait ends as soon as its condition holds, so a generous limit costs a
# passing test nothing. The hang guard of a script as a whole is ctest's TIMEOUT.
wait_for() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# A part that this machine cannot run is reported skipped, not passed: ctest takes this exit code
# as a skip (SKIP_RETURN_CODE in CMakeLists.txt), and the line says why.
SKIP_CODE=77
skip_test() {
  echo "[$NAME] skipped: $*"
  exit "$SKIP_CODE"
}

# Waits up to $1 seconds for the process to end.
wait_gone() {
  local seconds="$1" pid="$2"
  wait_for "$seconds" bash -c "! kill -0 $pid 2>/dev/null"
}

# How many icons of the shell's tray have the tip $1.
tray_tip_count() { tool tray-tips | tr -d '\r' | grep -cxF "$1" || true; }
# True when the tray shows exactly $1 icons with the program's tip.
varnlet_icons() { [ "$(tray_tip_count "$VARNLET_TITLE")" -eq "$1" ]; }
# True while the shell shows the start-up balloon: the shell makes a window with a tooltip of its
# text for it, and destroys it when the program takes the balloon away.
balloon_shown() { tool tray-tips | tr -d '\r' | grep -q 'Este mensaje desaparecer'; }
balloon_gone() { ! balloon_shown; }
# True when a window of class $1 exists and is visible; window_gone when none exists.
window_shown() { tool find "$1" | tr -d '\r' | grep -q ' 1$'; }
window_gone() { ! tool find "$1" >/dev/null; }
# The popup menu's window (class #32768) shown, or hidden again.
menu_shown() { window_shown '#32768'; }
menu_closed() { ! window_shown '#32768'; }

# Relay-trace patterns (extended regular expressions, matched without case: Wine writes some DLL
# names in lower case). Wine prints every argument in hex, padded with zeros.
arg() { printf '0*%x' "$1"; }
# The start-up balloon is taken away VARNLET_BALLOON_SHOW_TIME after it showed; the icon is tried
# again every VARNLET_ICON_RETRY_INTERVAL while the shell refuses it.
BALLOON_TIMER=$VARNLET_BALLOON_TIMER_ID
RETRY_TIMER=$VARNLET_ICON_RETRY_TIMER_ID RETRY_MS=$VARNLET_ICON_RETRY_INTERVAL
NIM_ADD=0 NIM_MODIFY=1 NIM_DELETE=2 NIM_SETFOCUS=3 NIM_SETVERSION=4
# SetTimer(window, id $1, interval $2 ms if given, ...) and KillTimer(window, id $1).
set_timer_call() { echo "Call USER32\.SetTimer\([0-9a-f]+,$(arg "$1"),${2:+$(arg "$2"),}"; }
kill_timer_call() { echo "Call USER32\.KillTimer\([0-9a-f]+,$(arg "$1")\)"; }
# Shell_NotifyIconA(message $1, record), and its return $1 (1 done, 0 refused).
notify_call() { echo "Call SHELL32\.Shell_NotifyIconA\($(arg "$1"),"; }
notify_ret() { echo "Ret +SHELL32\.Shell_NotifyIconA\(\) retval=$(arg "$1") "; }
POPUP_CALL='Call USER32\.TrackPopupMenuEx\('
OWN_TRIM_CALL="Call KERNEL32\.K32EmptyWorkingSet\($OWN_HANDLE\)"
SNAPSHOT_CALL='Call KERNEL32\.CreateToolhelp32Snapshot\(' # one a trimming pass
# How many lines of the trace $1 match the pattern $2; traced_more: more than $3 of them.
traced() { grep -ciE "$2" "$1" || true; }
traced_more() { [ "$(traced "$1" "$2")" -gt "$3" ]; }

# The tray icon's callback message, for its icon, with the notifications $@, posted to
# the program's window as the shell would send them.
notify_program() { tool post "$VARNLET_MAIN_WINDOW_CLASS" "$VARNLET_TRAY_CALLBACK_MESSAGE" "$VARNLET_TRAY_ICON_ID" "$@"; }
# Waits until the program has handled every message posted or sent to its window so far: posts a
# balloon shown and hidden (NIN_BALLOONSHOW, NIN_BALLOONHIDE) after them and waits for their
# effect, one more KillTimer of the balloon timer in the trace $1 (traced with SetTimer and
# KillTimer). What did not happen by then did not happen at all.
messages_handled() {
  local before
  before=$(traced "$1" "$(kill_timer_call $BALLOON_TIMER)")
  notify_program 1026 1027 && wait_for 60 traced_more "$1" "$(kill_timer_call $BALLOON_TIMER)" "$before"
}

# xdotool on the build tree's Xvfb (never the desktop's display).
xdo() { DISPLAY="$(cat "$B/.display")" xdotool "$@"; }

# Opens the tray menu with a right click on the icon and, once it shows, sends it the given
# virtual keys (WM_KEYDOWN to the menu window itself, so that no other window's focus takes them).
tray_menu_keys() {
  xdo mousemove 12 32 click 3
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

# Under Wine every file is the Unix user's, an account that is no administrators' group and the
# only one with rights on it, so "Iniciar con Windows" refuses with a box (class #32770) that says
# the exe belongs to a user account, and writes nothing. Waits for that box, checks that it also
# holds the text given (if any), and closes it.
# The reason follows where the tree lies: Wine gives a file the Unix user as owner, and lets every
# user change it when the Unix folder is world-writable (a clone under /tmp).
autostart_refused() {
  wait_for 60 window_shown '#32770' &&
    tool texts '#32770' | tr -d '\r' |
    grep -qE 'pertenece a una cuenta de usuario|Otros usuarios de este equipo pueden cambiar' &&
    { [ -z "${1:-}" ] || tool texts '#32770' | tr -d '\r' | grep -qF "$1"; } &&
    tool post '#32770' 16 0 0 && wait_for 60 window_gone '#32770'
}

# Wine keeps no owner or list on a file: every file is the Unix user's. The installers the tests
# run carry checks that read owners and lists from a model instead (modelled_security.cpp): one
# "path|SDDL" a line, the longest listed path at or above an object deciding, folders the checks
# make added as they were made. model_security writes the system's own folders as Windows has
# them: the drive's root (every signed-in user may make folders in it, which then give them
# Modify) and Program Files (TrustedInstaller's).
export VARNLET_SECURITY_MODEL="$(winpath "$WORK/security-model")"
TRUSTED_INSTALLER=S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464
A_USER=S-1-5-21-1-2-3-1001
model_security() {
  local pf='D:PAI(A;;FA;;;'$TRUSTED_INSTALLER')(A;;0x1301bf;;;SY)(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)'
  {
    echo 'C:\|O:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;0x1301bf;;;AU)(A;;0x4;;;AU)'
    echo "C:\\Program Files|O:$TRUSTED_INSTALLER$pf"
    echo "C:\\Program Files (x86)|O:$TRUSTED_INSTALLER$pf"
  } >"$WORK/security-model"
}
# A folder a standard user made under the root, with the rights that gives: the user's, Modify for
# every signed-in user.
model_user_folder() { echo "$1|O:${A_USER}D:AI(A;OICIID;0x1301bf;;;AU)(A;OICI;FA;;;$A_USER)" >>"$WORK/security-model"; }

screenshot() {
  DISPLAY="$(cat "$B/.display")" import -window root "$ART/$1.png"
  say "screenshot: $ART/$1.png"
}

# Reads a relay trace and prints one line per trim, judged by what the trace says of its handle:
# "own" for the pseudo-handle; the decimal id of the process when the same thread opened the
# handle for it (Ret OpenProcess) and read its path through it (Ret QueryFullProcessImageNameA
# non-zero) before the trim; "unqueried <id>" when the path was not read, "unknown" when no open
# made the handle. Also "leak <id>" for every process handle not closed by the end. A trace taken
# with +timestamp gives each trim its time as a second field. Lines of other processes (Wine's
# launcher) and threads have their own thread id, and are kept apart by it.
trims_from_relay() {
  awk -v own="$OWN_HANDLE" '
    function hex(s, n, i) { for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return n + 0 }
    function arg(k, a) { a = $0; sub(/^[^(]*\(/, "", a); sub(/\).*/, "", a); split(a, f, ","); a = tolower(f[k]); sub(/^0+/, "", a); return a }
    function retval(v) { v = $0; sub(/.* retval=/, "", v); sub(/ .*/, "", v); sub(/^0+/, "", v); return v }
    function who(w) { return t == "" ? w : w " " t }
    BEGIN { sub(/^0+/, "", own) }
    match($0, /[0-9a-f]+:(Call|Ret) +KERNEL32\.(OpenProcess|QueryFullProcessImageNameA|K32EmptyWorkingSet|CloseHandle)\(/) {
      t = substr($0, 1, RSTART - 1); sub(/^ */, "", t); sub(/:.*/, "", t)
      line = substr($0, RSTART); tid = substr(line, 1, index(line, ":") - 1)
      if (line ~ /Call KERNEL32\.OpenProcess/) opening[tid] = hex(arg(3))
      else if (line ~ /Ret +KERNEL32\.OpenProcess/) { h = retval(); if (h != "") { owner[tid, h] = opening[tid]; read[tid, h] = 0 } }
      else if (line ~ /Call KERNEL32\.QueryFull/) querying[tid] = arg(1)
      else if (line ~ /Ret +KERNEL32\.QueryFull/) { if (retval() != "" && (tid, querying[tid]) in owner) read[tid, querying[tid]] = 1 }
      else if (line ~ /Call KERNEL32\.K32EmptyWorkingSet/) {
        h = arg(1)
        if (h == own) print who("own")
        else if (!((tid, h) in owner)) print who("unknown")
        else print who((read[tid, h] ? "" : "unqueried ") owner[tid, h])
      } else if (line ~ /Call KERNEL32\.CloseHandle/) { h = arg(1); delete owner[tid, h]; delete read[tid, h] }
    }
    END { for (k in owner) print "leak " owner[k] }' "$1"
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

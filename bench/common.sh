# Shared by the evidence scripts: the end-to-end helpers (tests/e2e/lib.sh: wine-run, e2e_tool,
# stand-ins, relay traces) and what measuring needs. Sourced. Works on a Windows build tree
# (VARNLET_BUILD, default build/win64; build/win32 for x86); keeps traces in
# <build>/bench-artifacts/<script>/.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export VARNLET_BUILD="${VARNLET_BUILD:-$root/build/win64}"
export VARNLET_ARTIFACTS="${VARNLET_ARTIFACTS:-$VARNLET_BUILD/bench-artifacts}"
source "$root/tests/e2e/lib.sh"
PROBE="$B/bench/proc_probe.exe"
MINIMAL_CLASS=Varnlet.MinimalTray
# The baselines that host the browser control: sent to the same page (an unelevated Varnlet's
# work), and sent nowhere (an elevated Varnlet's work before it stopped making the control).
BROWSER_CLASS=Varnlet.BrowserTray
CONTROL_CLASS=Varnlet.ControlTray
# Measure what ships: the stripped exe of the packages, not the build's RelWithDebInfo one, whose
# DWARF sections (about 2 MiB) Wine reads into private memory at load. The baselines are stripped
# the same way.
EXE="$B/packaging/stage/varnlet.exe"
MINIMAL="$WORK/minimal/minimal_tray.exe"
BROWSER="$WORK/minimal/browser_tray.exe"
CONTROL="$WORK/minimal/control_tray.exe"
for f in "$EXE" "$PROBE" "$B/bench/minimal_tray.exe" "$B/bench/browser_tray.exe" "$B/bench/control_tray.exe" "$TOOL"; do
  [ -f "$f" ] || fail "$f is missing: cmake --preset win64 && cmake --build --preset win64"
done
# Varnlet as it was before a change, measured beside today's where VARNLET_BEFORE_DIR holds its
# stripped exes, <preset>/varnlet.exe (bench/evidence.sh --before REV builds them); VARNLET_BEFORE
# names the revision. The two never run at once: the second copy would end at its start.
BEFORE_EXE=""
if [ -n "${VARNLET_BEFORE_DIR:-}" ]; then
  before="$VARNLET_BEFORE_DIR/$(basename "$B")/varnlet.exe"
  [ -f "$before" ] || fail "$before is missing: bench/evidence.sh --before REV builds it"
  mkdir -p "$WORK/before"
  BEFORE_EXE="$WORK/before/varnlet.exe"
  cp "$before" "$BEFORE_EXE"
fi
BEFORE_NAME="before this change${VARNLET_BEFORE:+ ($VARNLET_BEFORE)}"
mkdir -p "$WORK/minimal"
for f in "$MINIMAL" "$BROWSER" "$CONTROL"; do
  "$(sed -nE 's/^CMAKE_STRIP:FILEPATH=(.*)/\1/p' "$B/CMakeCache.txt")" --strip-all -o "$f" "$B/bench/$(basename "$f")"
done
# Start the prefix's wineserver now, so that no later pipeline waits on its inherited output.
"$WR" "$TOOL" find Varnlet.None >/dev/null 2>&1 || true

# One line on where a figure comes from.
machine() {
  echo "machine: nproc $(nproc), $(lscpu | sed -nE 's/^Model name: *//p' | head -1), $(wine --version 2>/dev/null)," \
    "$(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# a / b with three decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "nan"; else printf "%.3f\n", a / b }'; }

# Kibibytes of a /proc/PID/status field (0 when absent).
status_kib() { sed -nE "s/^$2:[[:space:]]+([0-9]+) kB/\1/p" "/proc/$1/status" | head -1 | grep . || echo 0; }

# The Windows process id (hex) of the only process whose image is NAME.
windows_pid() { tool pids "$1" | tr -d '\r' | head -1; }

# Waits for a program's tray icon with tip $1.
wait_icon() { wait_for "${2:-60}" bash -c "'$WR' '$TOOL' tray-tips | tr -d '\r' | grep -qxF '$1'"; }

# launch VAR TIP PROGRAM [ENV...]: starts PROGRAM under Wine (with ENV) in the background, the
# launcher's pid in VAR (killed at exit if still running); wait_launched then waits for the tray
# icon of every program launched since, by its tip. Starting them all before waiting lets them
# start side by side.
LAUNCHED_TIPS=()
launch() {
  local var="$1" tip="$2" program="$3"
  shift 3
  env "$@" "$WR" "$program" >/dev/null 2>&1 &
  printf -v "$var" '%s' "$!"
  BACKGROUND+=($!)
  LAUNCHED_TIPS+=("$tip")
}
wait_launched() {
  local tip
  for tip in "${LAUNCHED_TIPS[@]}"; do wait_icon "$tip" || fail "no tray icon with the tip $tip"; done
  LAUNCHED_TIPS=()
}

# Starts the Windows program $1 (a Unix path) through the probe with the user's limited token, as
# an unelevated start would (Wine starts every program elevated); returns once it is started.
spawn_limited() { "$WR" "$PROBE" spawn-limited "$(winpath "$1")" - >/dev/null 2>&1 || fail "could not start $1 unelevated"; }

# Asks the window of class $1 to close and waits up to 30 s for the Linux process $2 to end.
close_and_wait() {
  tool post "$1" 16 0 0 || true
  wait_gone 30 "$2" || fail "the program of $1 did not end"
}

# The Linux pid of the Wine process that runs the Windows program $1 (a Unix path), found by its
# command line: the Windows path for a 64-bit program, which runs in a process of its own beside
# the launcher (start.exe) that the shell's $! names; the Unix path for a 32-bit one.
linux_pid() {
  local want p cmd
  want="$(winpath "$1")"
  for p in $(pgrep -f -- "$(basename "$1")"); do
    cmd=$(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null) || continue
    case "$cmd" in "$want"* | "$1"*) echo "$p"; return 0 ;; esac
  done
  return 1
}

# CPU seconds (user + system) a Linux process has used.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f\n", ($12 + $13) / hz }' "/proc/$1/stat"; }

# The Linux pid of this prefix's wineserver: the one working in the prefix's server folder,
# .../server-<device>-<inode of the prefix> in hexadecimal.
wineserver_pid() {
  local dir p
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$PREFIX")" "$(stat -c %i "$PREFIX")")
  for p in $(pgrep -x 'wineserver(64)?'); do
    [ "$(basename "$(readlink "/proc/$p/cwd")")" = "$dir" ] && { echo "$p"; return 0; }
  done
  return 1
}

# How many stand-ins with a Mozilla name (the build's VARNLET_TARGET_NAMES, from lib.sh) run.
count_mozilla_standins() {
  local n=0 name
  for name in "${VARNLET_TARGET_NAMES[@]}"; do n=$((n + $(tool pids "$name" | grep -c .))); done
  echo "$n"
}
# True when $1 stand-ins with a Mozilla name and $2 (default 0) named notepad.exe run.
standins_up() { [ "$(count_mozilla_standins)" -eq "$1" ] && [ "$(tool pids notepad.exe | grep -c .)" -eq "${2:-0}" ]; }
# Starts $1 stand-ins named after the Mozilla programs and $3 (default 0) named notepad.exe,
# living $2 seconds, and waits for them.
# A running probe starts them a hundred at a time: each program started from the shell costs a
# Wine launcher of its own, which at a thousand would take minutes.
start_standins() {
  local count=$1 all=$(($1 + ${3:-0})) i name dir batch=()
  for ((i = 0; i < all; i++)); do
    if [ "$i" -lt "$count" ]; then name=${VARNLET_TARGET_NAMES[i % ${#VARNLET_TARGET_NAMES[@]}]} dir=s$i; else name=notepad.exe dir=o$i; fi
    mkdir -p "$WORK/$dir"
    # Wine names every process run from one file after the first path it ran from, hard links
    # included, so each name has a copy of its own, linked into the folders.
    [ -f "$WORK/$name" ] || cp "$STANDIN" "$WORK/$name"
    ln -f "$WORK/$name" "$WORK/$dir/$name" 2>/dev/null || cp "$STANDIN" "$WORK/$dir/$name"
    batch+=("$(winpath "$WORK/$dir/$name")" "$2")
    if [ "${#batch[@]}" -eq 200 ] || [ "$i" -eq $((all - 1)) ]; then
      # Into a file, not a pipe: the stand-ins inherit the probe's output and would hold a pipe open.
      "$WR" "$PROBE" spawn "${batch[@]}" >"$WORK/spawned" 2>/dev/null || fail "could not start the stand-ins"
      batch=()
    fi
  done
  local up=0
  wait_for $((60 + all / 2)) standins_up "$count" "${3:-0}" && up=1
  # The probe's children are not this shell's: end them with the script all the same.
  BACKGROUND+=($(pgrep -f "$(basename "$WORK")" || true))
  [ "$up" = 1 ] || fail "the $all stand-ins did not start"
}

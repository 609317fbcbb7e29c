#!/usr/bin/env bash
# "Iniciar con Windows" adds no exe that others may replace to the start of Windows: under Wine
# every file is the Unix user's, who is no administrator, so the switch refuses with a box that
# says why and what to do, and writes nothing; a value another copy wrote meanwhile stays, and the
# box names what it starts; a value already there (an installer's, or an earlier version's unquoted
# one) shows the mark on, and the switch removes it from the program's own registry view.
# "Acerca de..." shows the About window modally while the timers go on trimming, and shows it again
# after closing it. Every Wine process is elevated, so the banner gets no browser control and is
# never sent to the advertising page, neither at start nor on opening.
source "$(dirname "$0")/lib.sh"
has_run_value() { reg_view query "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" >/dev/null 2>&1; }
no_run_value() { ! has_run_value; }
# No value in the other architecture's view of the same key.
only_own_view() { ! "$WR" reg query "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" "$OTHER_VIEW" >/dev/null 2>&1; }
start() { start_varnlet_shown +relay,+ieframe "trace-$1.log" "${2:-$EXE}"; }
navigations() { grep -c 'WebBrowser_Navigate' "$1" || true; }
# The control being made shows in the trace (create_webbrowser), and so would a navigation.
browsers_made() { grep -c 'create_webbrowser' "$1" || true; }
own_trims() { traced "$1" "$OWN_TRIM_CALL"; }

reg_view delete "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /f >/dev/null 2>&1 || true
relay_only 'KERNEL32.K32EmptyWorkingSet;USER32.KillTimer'
start first
check "elevated, the About window gets no browser control at start" test "$(browsers_made "$ART/trace-first.log")" -eq 0
check "and is not sent to the page" test "$(navigations "$ART/trace-first.log")" -eq 0

pick autostart
check "Iniciar con Windows from a folder others may change says so, and closes" autostart_refused
check "no Run value is written, in either view" eval "no_run_value && only_own_view"
# Another copy's value, written while the program runs: switched on again, the program keeps it.
other='"C:\Program Files\Other\varnlet.exe"'
reg_view add "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /t REG_SZ /d "$other" /f >/dev/null 2>&1
pick autostart
check "switched on again, the box names the program the value there starts" \
  autostart_refused 'Se mantiene el valor de inicio que ya existe'
check "and that value stays as it was" eval 'reg_view query "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" | grep -qF "$other"'
pick autostart
check "the mark showed it: the next click removes it" wait_for 60 no_run_value
# Let the program take its balloon away (Wine never reports it shown), so it covers neither the
# icon nor the menu.
notify_program 1026
check "the balloon is taken away" wait_for 60 balloon_gone
tray_menu_keys
screenshot menu-unchecked
tool post '#32768' 0x100 0x1b 0
wait_for 60 menu_closed || fail "Esc leaves the menu open"
pick salir
check "Salir ends the program" wait_gone 60 "$varnlet"

# The value as an earlier version wrote it for a copy in a folder with spaces, unquoted: the mark
# shows it, and the switch removes it, from the program's own view only.
spaced="C:\\Program Files\\My Apps\\varnlet.exe"
reg_view add "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /t REG_SZ /d "$spaced" /f >/dev/null 2>&1
start second
pick autostart
check "the mark was on from the start: the next click removes the value" wait_for 60 no_run_value
check "nothing of it is left in the other view" only_own_view

# About: modal, trimming goes on, and it opens again after a close, never requesting the page.
before=$(own_trims "$ART/trace-second.log")
pick about
check "Acerca de... shows the About window" wait_for 60 window_shown $VARNLET_ABOUT_WINDOW_CLASS
check "the timers trim while it is open" \
  wait_for 60 traced_more "$ART/trace-second.log" "$OWN_TRIM_CALL" $((before + 1))
check "the About window is still open" window_shown $VARNLET_ABOUT_WINDOW_CLASS
screenshot about
check "showing it does not request the page" test "$(navigations "$ART/trace-second.log")" -eq 0
check "the About window closes" tool post $VARNLET_ABOUT_WINDOW_CLASS 16 0 0
check "and unloads" wait_for 60 window_gone $VARNLET_ABOUT_WINDOW_CLASS
pick about
check "Acerca de... shows it again" wait_for 60 window_shown $VARNLET_ABOUT_WINDOW_CLASS
tool post $VARNLET_ABOUT_WINDOW_CLASS 16 0 0
wait_for 60 window_gone $VARNLET_ABOUT_WINDOW_CLASS || fail "the About window stays"
check "nor does showing it again, still without a browser control" \
  eval '[ "$(browsers_made "$ART/trace-second.log")" -eq 0 ] && [ "$(navigations "$ART/trace-second.log")" -eq 0 ]'

pick salir
check "Salir ends the program" wait_gone 60 "$varnlet"
check "and removes the icon" varnlet_icons 0

# Salir chosen from the tray while the About window is open: the end comes inside the window's
# loop, and nothing of the program runs after the icon is deleted.
relay_only "$TRIM_CALLS;shell32.Shell_NotifyIconA;RegOpenKeyExA;RegCreateKeyA;RegQueryValueExA;RegSetValueExA;RegDeleteValueA;RegCloseKey"
start third
pick about
check "the About window is open" wait_for 60 window_shown $VARNLET_ABOUT_WINDOW_CLASS
pick salir
check "Salir ends the program" wait_gone 60 "$varnlet"
code=0
wait "$varnlet" || code=$?
check "Salir with the About window open ends the program with code 0" test "$code" -eq 0
check "and removes the icon" varnlet_icons 0
trace="$ART/trace-third.log"
check "the start-up read the registry (the trace sees registry calls)" grep -q 'RegQueryValueExA' "$trace"
deleted=$(grep -niE 'Call shell32.Shell_NotifyIconA\(0*2,' "$trace" | head -1 | cut -d: -f1)
check "the icon was deleted" test -n "$deleted"
check "no process or registry call follows the icon's deletion" \
  bash -c "! tail -n +$deleted '$trace' | grep -E 'Call [A-Za-z0-9]+\.(OpenProcess|K32|Reg[A-Z])'"

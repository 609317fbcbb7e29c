#!/usr/bin/env bash
# The installer installs silently under Program Files (a 32-bit one under "Program Files (x86)")
# without starting the program and, unless asked with /AUTOSTART=1, without the start-up value;
# with it, the value holds the installed exe's path and the installed program starts with its
# mark on. An exe that another process holds (sharing reads only, as a copy in another session
# does) fails the silent install, which then changes nothing. A silent upgrade over the running
# program closes it (the Restart Manager is asked first; Wine's closes nothing, so the WM_CLOSE
# fallback does) and starts it again, once. An uninstaller that cannot delete the held exe
# leaves it for the next restart and says so with exit code 3010.
# The silent uninstaller stops the program and leaves nothing behind: no files, no
# shortcut, no uninstall key, no "Varnlet" value under Run in the program's registry view. Then
# the installer with its pages, in Spanish where Windows speaks Spanish and in English where it
# speaks English: the start-up choice comes ticked, and the finish page starts the program. Last,
# the portable zip: unpacked, it runs as it is and leaves nothing behind once it is closed and its
# folder deleted.
# Usage: install.sh SETUP.EXE STRIPPED_VARNLET.EXE ZIP
source "$(dirname "$0")/lib.sh"
setup="$1" packaged="$2" zip="$3"

if [ "$ARCH" = x86 ]; then program_files='Program Files (x86)'; else program_files='Program Files'; fi
dir="$PREFIX/drive_c/$program_files/Varnlet"
windir="C:\\$program_files\\Varnlet"
shortcut="$PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Varnlet!.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnlet'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
if [ "$VIEW" = /reg:64 ]; then OTHER_VIEW=/reg:32; else OTHER_VIEW=/reg:64; fi

query() { reg_view query "$@" >/dev/null 2>&1; }
absent() {
  local status=0
  reg_view query "$@" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 1 ]
}
run_value() { reg_view query "$run_key" /v Varnlet 2>/dev/null | tr -d '\r' | sed -nE 's/^ +Varnlet +REG_SZ +(.*)$/\1/p'; }
icon_shown() { [ "$(tray_tip_count 'Varnlet!')" -eq 1 ]; }
icon_gone() { [ "$(tray_tip_count 'Varnlet!')" -eq 0 ]; }
nothing_installed() { [ ! -e "$dir" ] && [ ! -e "$shortcut" ]; }
installed() { query "$uninstall_key" /v UninstallString && [ -s "$dir/varnlet.exe" ]; }
xdo() { DISPLAY="$(cat "$B/.display")" xdotool "$@"; }
# "Iniciar con Windows" from the tray menu, picked from the keyboard.
switch_autostart() { tray_menu_keys 0x28 0x28 0x0d; }
# A page of the interactive installer, once its window has settled.
page() { sleep 1.5; screenshot "installer-$1"; }
# Holds the installed exe open, sharing reads only, until the test kills the holder.
hold_exe() {
  "$WR" "$TOOL" hold "$windir\\varnlet.exe" 600 >"$WORK/held" 2>/dev/null &
  holder=$!
  BACKGROUND+=($holder)
  wait_for 30 grep -q held "$WORK/held"
}
release_exe() { kill -9 "$holder"; wait "$holder" 2>/dev/null || true; }
varnlet_count() { tool pids 'Varnlet\varnlet.exe' | grep -c . || true; }
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'

# What an earlier, interrupted run may have left in the shared prefix.
rm -rf "$dir" "$shortcut"
reg_view delete "$uninstall_key" /f >/dev/null 2>&1 || true
reg_view delete "$run_key" /v Varnlet /f >/dev/null 2>&1 || true
check "no Varnlet runs before the test" bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"

check "the installer runs silently and succeeds" "$WR" "$(winpath "$setup")" /S
check "the program is installed under $program_files" cmp "$packaged" "$dir/varnlet.exe"
check "with its read-me and uninstaller" test -s "$dir/LEAME.txt" -a -s "$dir/uninstall.exe"
check "a Start-menu shortcut is made" test -s "$shortcut"
check "Add/Remove Programs lists it" bash -c "'$WR' reg query '$uninstall_key' /v DisplayName $VIEW | tr -d '\r' | grep -q 'REG_SZ *Varnlet!\$'"
check "with its uninstaller" bash -c "'$WR' reg query '$uninstall_key' /v UninstallString $VIEW | tr -d '\r' | grep -qF '\"$windir\\uninstall.exe\"'"
check "a silent install without /AUTOSTART=1 writes no start-up value" absent "$run_key" /v Varnlet
sleep 1
check "a silent install does not start the program" bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"

check "the installer runs silently again with /AUTOSTART=1" "$WR" "$(winpath "$setup")" /S /AUTOSTART=1
# As "Iniciar con Windows" would: the exe's full path, quoted, in the program's own view.
check "which writes the Run value with the installed exe's path, quoted" test "$(run_value)" = "\"$windir\\varnlet.exe\""
check "in the program's own registry view only" bash -c "! '$WR' reg query '$run_key' /v Varnlet $OTHER_VIEW >/dev/null 2>&1"

# An older version, its exe held open: the install must fail and leave everything as it was.
echo old-varnlet >"$dir/varnlet.exe"
reg_view add "$uninstall_key" /v DisplayVersion /d 0.9 /f >/dev/null
reg_view delete "$run_key" /v Varnlet /f >/dev/null
check "another process holds the installed exe" hold_exe
status=0
"$WR" "$(winpath "$setup")" /S /AUTOSTART=1 || status=$?
check "a silent install that cannot replace the exe fails (exit code $status)" test "$status" -ne 0
check "the held exe is unchanged" test "$(cat "$dir/varnlet.exe")" = old-varnlet
check "Add/Remove Programs still shows the old version" bash -c "'$WR' reg query '$uninstall_key' /v DisplayVersion $VIEW | tr -d '\r' | grep -q 'REG_SZ *0.9\$'"
check "and the Run value is not written" absent "$run_key" /v Varnlet
release_exe
check "once the exe is free, the same install succeeds" "$WR" "$(winpath "$setup")" /S /AUTOSTART=1
check "and replaces it" cmp "$packaged" "$dir/varnlet.exe"

"$WR" "$windir\\varnlet.exe" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the installed program's window exists" wait_for 60 tool find Varnlet.Form1
check "its tray icon shows the tip Varnlet!" wait_for 60 icon_shown
screenshot installed-running
switch_autostart
check "its mark was on: Iniciar con Windows removes the value" wait_for 10 absent "$run_key" /v Varnlet
switch_autostart
check "switching it on again is refused: Wine reports the installed exe as the Unix user's" autostart_refused
check "and writes nothing" absent "$run_key" /v Varnlet

# A silent upgrade over the running program, with the calls that close it traced.
relay_only 'KERNEL32.LoadLibraryExW;rstrtmgr.RmStartSession;rstrtmgr.RmRegisterResources;rstrtmgr.RmShutdown;rstrtmgr.RmRestart;rstrtmgr.RmEndSession'
check "a silent upgrade over the running program succeeds" \
  env WINEDEBUG=err-all,+relay "$WR" "$(winpath "$setup")" /S 2>"$ART/upgrade-relay.log"
check "it closed the running program" wait_gone 60 "$varnlet"
check "and started it again" wait_for 60 tool find Varnlet.Form1
check "with its tray icon" wait_for 60 icon_shown
check "exactly one Varnlet runs" test "$(varnlet_count)" -eq 1
check "the Restart Manager was loaded from System32 by its full path" \
  grep -qiE 'LoadLibraryExW\(.*L"C:\\\\windows\\\\system32\\\\rstrtmgr\.dll",0+,0+8\)' "$ART/upgrade-relay.log"
check "and asked to close every copy, then to restart them" bash -c "grep -oE 'Call rstrtmgr\.Rm[A-Za-z]+' '$ART/upgrade-relay.log' | cut -d. -f2 | tr '\n' ' ' | grep -qx 'RmStartSession RmRegisterResources RmShutdown RmRestart RmEndSession '"

# The uninstaller copies itself to the temporary folder and returns at once; wait for its work.
check "the uninstaller starts silently" "$WR" "$windir\\uninstall.exe" /S
check "it ends the running program" wait_for 60 window_gone Varnlet.Form1
check "the program's window is gone" bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"
check "its tray icon is gone" wait_for 10 icon_gone
check "the program folder and the shortcut are removed" wait_for 60 nothing_installed
check "the uninstall key is removed" wait_for 10 absent "$uninstall_key"
check "the Run value is removed" absent "$run_key" /v Varnlet
check "the Run key itself stays" query "$run_key"

# An exe nothing can close: the uninstaller removes the rest, leaves the exe to the next restart
# and exits 3010. It runs here as its own copy in the temporary folder runs, which is the process
# whose exit code tells (uninstall.exe itself returns as soon as it started that copy).
check "the installer installs silently again" "$WR" "$(winpath "$setup")" /S
check "another process holds the installed exe" hold_exe
cp "$dir/uninstall.exe" "$WORK/un.exe"
status="$(tool run "$(winpath "$WORK/un.exe") /S _?=$windir" | tr -d '\r')"
check "the uninstaller that cannot delete the exe exits 3010, restart required (got $status)" test "$status" = 3010
check "it removes the rest" bash -c "[ ! -e '$dir/LEAME.txt' ] && [ ! -e '$dir/uninstall.exe' ] && [ ! -e '$shortcut' ]"
check "and the uninstall key" absent "$uninstall_key"
check "the held exe waits for the next restart" bash -c "'$WR' reg query '$session_manager' /v PendingFileRenameOperations | grep -qi 'Varnlet.varnlet\.exe'"
# With its pages: the finish page says that Windows must restart ("later" chosen), and Finish
# ends it with the same code.
tool run "$(winpath "$WORK/un.exe") _?=$windir" >"$WORK/un-status" &
uninstaller=$!
BACKGROUND+=($uninstaller)
check "the uninstaller shows its pages" wait_for 60 xdo search --name '^Varnlet! Uninstall'
xdo search --name '^Varnlet! Uninstall' windowfocus
page uninstall-confirm
xdo key Return
page uninstall-finish
xdo key Return
check "its finish page, left as it comes, ends it" wait_gone 30 "$uninstaller"
check "with exit code 3010 too" test "$(tr -d '\r' <"$WORK/un-status")" = 3010
release_exe
# Nothing of this may happen at the prefix's next start.
"$WR" reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
rm -rf "$dir"

# Windows in English: the installer speaks English.
"$WR" "$(winpath "$setup")" >/dev/null 2>&1 &
setup_pid=$!
BACKGROUND+=($setup_pid)
check "where Windows speaks English, the installer does too" wait_for 60 xdo search --name '^Varnlet! Setup$'
kill -9 "$setup_pid"
wait_for 30 bash -c "! DISPLAY=$(cat "$B/.display") xdotool search --name '^Varnlet! Setup$' >/dev/null" || fail "the installer stays"

# Windows in Spanish, with its pages answered from the keyboard as they come: "Siguiente" on the
# welcome page, "Siguiente" on the components with the start-up choice ticked, "Instalar" on the
# folder page, "Terminar" with the offer to start the program ticked.
LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8 "$WR" "$(winpath "$setup")" >/dev/null 2>&1 &
setup_pid=$!
BACKGROUND+=($setup_pid)
# The title is "Instalación de Varnlet!"; the "ó" is matched loosely, as the window's title
# encoding and xdotool's locale decide its bytes.
check "where Windows speaks Spanish, the installer does too" wait_for 60 xdo search --name '^Instalaci.+n de Varnlet!$'
# With no window manager, nothing gives the new window the keyboard by itself.
xdo search --name '^Instalaci.+n de Varnlet!$' windowfocus
page welcome
xdo key Return
page components
xdo key Return
page folder
xdo key Return
check "the installer installs" wait_for 60 installed
page finish
check "the start-up choice, ticked as it comes, writes the Run value" test "$(run_value)" = "\"$windir\\varnlet.exe\""
check "the finish page does not start the program by itself" bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"
xdo key Return
check "the installer ends" wait_gone 30 "$setup_pid"
check "Finish starts the installed program" wait_for 60 tool find Varnlet.Form1
check "with its tray icon" wait_for 60 icon_shown
check "the running program is the installed one" bash -c "'$WR' '$TOOL' pids 'Varnlet\\varnlet.exe' | grep -q ."
check "the uninstaller starts silently again" "$WR" "$windir\\uninstall.exe" /S
check "it ends the program started by the installer" wait_for 60 bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"
check "and leaves nothing behind" wait_for 60 nothing_installed
check "not even the uninstall key" wait_for 10 absent "$uninstall_key"
check "nor the Run value" absent "$run_key" /v Varnlet

# The portable zip: the exe and its read-me, nothing else; it runs from wherever it is unpacked.
mkdir "$WORK/portable"
unzip -q "$zip" -d "$WORK/portable"
check "the zip holds the program and its read-me only" test "$(cd "$WORK/portable" && ls | tr '\n' ' ')" = "LEAME.txt varnlet.exe "
check "the zip's program is the packaged one" cmp "$packaged" "$WORK/portable/varnlet.exe"
"$WR" "$(winpath "$WORK/portable/varnlet.exe")" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the unpacked program shows its tray icon" wait_for 60 icon_shown
check "it ends on WM_CLOSE, as after Salir" tool post Varnlet.Form1 16 0 0
check "and is gone" wait_gone 30 "$varnlet"
check "with its icon" wait_for 10 icon_gone
check "it wrote no start-up value" absent "$run_key" /v Varnlet

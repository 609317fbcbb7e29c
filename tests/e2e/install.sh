#!/usr/bin/env bash
# The installer installs silently under Program Files (a 32-bit one under "Program Files (x86)")
# without starting the program and, unless asked with /AUTOSTART=1, without the start-up value;
# with it, the value holds the installed exe's path and the installed program starts with its
# mark on. The silent uninstaller stops the program and leaves nothing behind: no files, no
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
switch_autostart() { xdo mousemove 12 32 click 3; sleep 1; xdo key Down Down Return; }
# A page of the interactive installer, once its window has settled.
page() { sleep 1.5; screenshot "installer-$1"; }

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

"$WR" "$windir\\varnlet.exe" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the installed program's window exists" wait_for 60 tool find Varnlet.Form1
check "its tray icon shows the tip Varnlet!" wait_for 60 icon_shown
screenshot installed-running
switch_autostart
check "its mark was on: Iniciar con Windows removes the value" wait_for 10 absent "$run_key" /v Varnlet
switch_autostart
check "and writes it again" wait_for 10 query "$run_key" /v Varnlet

# The uninstaller copies itself to the temporary folder and returns at once; wait for its work.
check "the uninstaller starts silently" "$WR" "$windir\\uninstall.exe" /S
check "it ends the running program" wait_gone 60 "$varnlet"
check "the program's window is gone" bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"
check "its tray icon is gone" wait_for 10 icon_gone
check "the program folder and the shortcut are removed" wait_for 60 nothing_installed
check "the uninstall key is removed" wait_for 10 absent "$uninstall_key"
check "the Run value is removed" absent "$run_key" /v Varnlet
check "the Run key itself stays" query "$run_key"

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

#!/usr/bin/env bash
# The MSI as an administrator deploys it: "msiexec /i ... /qn AUTOSTART=1" installs per machine
# under Program Files (x86: "Program Files (x86)") with a Start-menu shortcut, an Add/Remove
# Programs entry with version and publisher and the start-up value; the installed program starts
# with its mark on; "msiexec /x ... /qn" leaves nothing behind, not even a start-up value the
# program wrote itself. Without AUTOSTART=1 no value is written, and a later version, built here
# from the same sources, replaces the installed one.
# Usage: msi.sh PACKAGE.MSI STRIPPED_VARNLET.EXE LEAME.TXT
source "$(dirname "$0")/lib.sh"
msi="$1" packaged="$2" readme="$3"
here="$(cd "$(dirname "$0")/../.." && pwd)"

if [ "$ARCH" = x86 ]; then program_files='Program Files (x86)'; else program_files='Program Files'; fi
dir="$PREFIX/drive_c/$program_files/Varnlet"
windir="C:\\$program_files\\Varnlet"
# Wine puts an all-users shortcut in the user's Start menu.
shortcuts=("$PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Varnlet!.lnk"
           "$PREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Varnlet!.lnk")
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
if [ "$VIEW" = /reg:64 ]; then OTHER_VIEW=/reg:32; else OTHER_VIEW=/reg:64; fi
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
code="$(product_code "$msi")"

absent() {
  local status=0
  reg_view query "$@" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 1 ]
}
entry() { reg_view query "$uninstall\\$code" /v "$1" 2>/dev/null | tr -d '\r' | sed -nE "s/^ +$1 +REG_SZ +(.*)\$/\\1/p"; }
run_value() { reg_view query "$run_key" /v Varnlet 2>/dev/null | tr -d '\r' | sed -nE 's/^ +Varnlet +REG_SZ +(.*)$/\1/p'; }
has_run_value() { [ -n "$(run_value)" ]; }
shortcut_made() { [ -s "${shortcuts[0]}" ] || [ -s "${shortcuts[1]}" ]; }
nothing_left() {
  [ ! -e "$dir" ] && [ ! -e "${shortcuts[0]}" ] && [ ! -e "${shortcuts[1]}" ] && absent "$uninstall\\$code" &&
    absent "$run_key" /v Varnlet && absent 'HKLM\SOFTWARE\Varnlet'
}
icon_shown() { [ "$(tray_tip_count 'Varnlet!')" -eq 1 ]; }
xdo() { DISPLAY="$(cat "$B/.display")" xdotool "$@"; }
switch_autostart() { tray_menu_keys 0x28 0x28 0x0d; }
msiexec() { "$WR" msiexec "$@" >/dev/null 2>&1; }

# What an earlier, interrupted run may have left in the shared prefix.
msiexec /x "$(winpath "$msi")" /qn || true
reg_view delete "$run_key" /v Varnlet /f >/dev/null 2>&1 || true
check "no Varnlet runs before the test" bash -c "! '$WR' '$TOOL' find Varnlet.Form1 >/dev/null"

check "msiexec /i /qn AUTOSTART=1 installs" msiexec /i "$(winpath "$msi")" /qn AUTOSTART=1
check "the program under $program_files" cmp "$packaged" "$dir/varnlet.exe"
check "with its read-me" cmp "$readme" "$dir/LEAME.txt"
check "a Start-menu shortcut Varnlet!" shortcut_made
check "Add/Remove Programs lists Varnlet!" test "$(entry DisplayName)" = 'Varnlet!'
check "with its version" test "$(entry DisplayVersion)" = '1.0'
check "and publisher" test -n "$(entry Publisher)"
check "the Run value holds the installed exe's path, quoted" test "$(run_value)" = "\"$windir\\varnlet.exe\""
check "in the program's own registry view only" bash -c "! '$WR' reg query '$run_key' /v Varnlet $OTHER_VIEW >/dev/null 2>&1"

"$WR" "$windir\\varnlet.exe" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the installed program shows its tray icon" wait_for 60 icon_shown
switch_autostart
check "its mark was on: Iniciar con Windows removes the value" wait_for 10 absent "$run_key" /v Varnlet
switch_autostart
check "switching it on again is refused: Wine reports the installed exe as the Unix user's" autostart_refused
# What the program's own switch writes where Windows lets it (the installer's folder), for the
# uninstall to remove.
reg_view add "$run_key" /v Varnlet /t REG_SZ /d "\"$windir\\varnlet.exe\"" /f >/dev/null 2>&1
check "the value as the program's switch writes it" has_run_value
check "Salir ends it" tool post Varnlet.Form1 16 0 0
check "and it is gone" wait_gone 30 "$varnlet"
check "msiexec /x /qn uninstalls" msiexec /x "$(winpath "$msi")" /qn
check "and leaves nothing behind" nothing_left

check "without AUTOSTART=1 it installs" msiexec /i "$(winpath "$msi")" /qn
check "and writes no start-up value" absent "$run_key" /v Varnlet
# The next version: the same sources with a higher version, so another product code.
python3 "$here/packaging/make_msi.py" "$WORK/next.msi" "$ARCH" 1.1 Varn "$packaged" "$readme" \
  "$here/res/varnlet.ico" 315532800 || fail "the next version's MSI cannot be built"
next="$(product_code "$WORK/next.msi")"
check "the next version has another product code" test -n "$next" -a "$next" != "$code"
check "and installs over the installed one" msiexec /i "$(winpath "$WORK/next.msi")" /qn
check "which it replaces" absent "$uninstall\\$code"
code="$next"
check "Add/Remove Programs lists the next version" test "$(entry DisplayVersion)" = '1.1'
check "msiexec /x /qn uninstalls it" msiexec /x "$(winpath "$WORK/next.msi")" /qn
check "and leaves nothing behind" nothing_left

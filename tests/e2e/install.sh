#!/usr/bin/env bash
# The installer installs silently under Program Files (a 32-bit one under "Program Files (x86)")
# without starting the program and, unless asked with /AUTOSTART=1, without the start-up value;
# with it, the value holds the installed exe's path and the installed program starts with its
# mark on. An exe that another process holds (sharing reads only, as a copy in another session
# does) fails the silent install, which then changes nothing. A silent upgrade over the running
# program closes it (the Restart Manager is asked first; Wine's closes nothing, so the WM_CLOSE
# fallback does) and starts it again, once. An uninstaller that cannot delete the held exe
# leaves it for the next restart and says so with exit code 3010, to the caller of the command
# lines of its Add/Remove Programs entry, which wait for it.
# An install into a /D= folder gives it rights of its own; a later version goes into that folder,
# replaces the installed one and leaves another program's window of Varnlet!'s class alone; an
# older one is refused (exit code 3); /D= moves the install; an install that cannot write its
# Add/Remove Programs entry fails (exit code 5).
# The silent uninstaller stops the program and leaves nothing behind: no files, no
# shortcut, no uninstall key, no "Varnlet" value under Run in the program's registry view. Then
# the installer with its pages, in Spanish where Windows speaks Spanish and in English where it
# speaks English: the start-up choice comes ticked, and the finish page starts the program. Last,
# the portable zip: unpacked, it runs as it is and leaves nothing behind once it is closed and its
# folder deleted.
# The shipped installer reads the system's owners and lists, which under Wine are nobody's but the
# Unix user's, so it refuses every folder (exit code 6) and writes nothing, after putting its
# plug-ins into a folder it made with its rights. The rest runs the same installer carrying checks
# that read a model of Windows' owners and lists (lib.sh's model_security): it makes its folder with
# its rights from the start, and its uninstaller's elevated copy runs from a folder made with those
# rights; it refuses a folder a user made and planted files in, a folder that is a link or lies
# under one, and a new folder under one users may change (exit code 6, nothing written), and, the
# checks' library unloadable, each of them still (exit code 8). A user racing the installer and
# its uninstaller for their temporary names gets no planted library loaded.
# Usage: install.sh SETUP.EXE STRIPPED_VARNLET.EXE ZIP MODELLED_SETUP.EXE MODELLED_NEXT_VERSION_SETUP.EXE
source "$(dirname "$0")/lib.sh"
shipped="$1" packaged="$2" zip="$3" setup="$4" next="$5"

dir="$PREFIX/drive_c/$PROGRAM_FILES/$VARNLET_SHORT_NAME"
windir="C:\\$PROGRAM_FILES\\$VARNLET_SHORT_NAME"
shortcut="${SHORTCUTS[0]}"
uninstall_key="$VARNLET_UNINSTALL_KEY"

query() { reg_view query "$@" >/dev/null 2>&1; }
entry_value() { reg_string "$uninstall_key" "$1"; }
nothing_installed() { [ ! -e "$dir" ] && [ ! -e "$shortcut" ]; }
installed() { query "$uninstall_key" /v UninstallString && [ -s "$dir/varnlet.exe" ]; }
# "Iniciar con Windows" from the tray menu, picked from the keyboard.
switch_autostart() { tray_menu_keys 0x28 0x28 0x0d; }
# A page of the interactive installer, once its window has settled.
page() { sleep 1.5; screenshot "installer-$1"; }
# Holds the installed exe open, sharing reads only, until the test kills the holder.
hold_exe() {
  "$WR" "$TOOL" hold "$windir\\varnlet.exe" 600 >"$WORK/held" 2>/dev/null &
  holder=$!
  BACKGROUND+=($holder)
  wait_for 60 grep -q held "$WORK/held"
}
release_exe() { kill -9 "$holder"; wait "$holder" 2>/dev/null || true; }
varnlet_count() { tool pids "$VARNLET_SHORT_NAME\\varnlet.exe" | grep -c . || true; }
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'

# What an earlier, interrupted run may have left in the shared prefix.
rm -rf "$dir" "$shortcut"
reg_view delete "$uninstall_key" /f >/dev/null 2>&1 || true
reg_view delete "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /f >/dev/null 2>&1 || true
check "no Varnlet runs before the test" bash -c "! '$WR' '$TOOL' find $VARNLET_MAIN_WINDOW_CLASS >/dev/null"

# True when the relay trace $1 shows CreateDirectoryW make the folder $2 with a security
# descriptor (its SECURITY_ATTRIBUTES not null).
made_with_rights() {
  grep -F 'Call KERNEL32.CreateDirectoryW(' "$1" | grep -F "L\"${2//\\/\\\\}\"," | grep -qvE 'L"[^"]*",0+\)'
}
model_security

# The plug-ins folder or the uninstaller's copy's, as the trace names it (each backslash doubled).
own_folder_traced() { grep -oE 'CreateDirectoryW\([0-9a-f]+ L"C:\\\\windows\\\\Temp\\\\'"$VARNLET_SHORT_NAME"'-[0-9-]+",0*[1-9a-f]' "$1" | head -1; }

relay_only 'KERNEL32.CreateDirectoryW'
status=0
env WINEDEBUG=err-all,+relay "$WR" "$(winpath "$shipped")" /S /AUTOSTART=1 2>"$ART/shipped-relay.log" || status=$?
check "the shipped installer, which finds every folder the Unix user's, refuses the folder: exit code 6 (got $status)" \
  test "$status" -eq 6
check "and writes nothing" nothing_installed
check "no entry either" absent "$uninstall_key"
check "its plug-ins went into a folder it made with its rights, in Windows' temporary folder" \
  test -n "$(own_folder_traced "$ART/shipped-relay.log")"

# Its processes traced: whether it starts the program is decided before it ends.
relay_only 'advapi32.ConvertStringSecurityDescriptorToSecurityDescriptorW;KERNEL32.CreateDirectoryW;KERNEL32.GetCommandLineW;KERNEL32.CreateProcessW'
check "the installer runs silently and succeeds" \
  env WINEDEBUG=err-all,+relay "$WR" "$(winpath "$setup")" /S 2>"$ART/first-install-relay.log"
check "the program is installed under $PROGRAM_FILES" cmp "$packaged" "$dir/varnlet.exe"
check "with its read-me and uninstaller" test -s "$dir/LEAME.txt" -a -s "$dir/uninstall.exe"
check "a Start-menu shortcut is made" test -s "$shortcut"
check "Add/Remove Programs lists it" test "$(reg_string "$uninstall_key" DisplayName)" = "$VARNLET_TITLE"
check "with its uninstaller, run in place" test "$(entry_value UninstallString)" = "\"$windir\\uninstall.exe\" _?=$windir"
check "a silent install without /AUTOSTART=1 writes no start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
check "into a folder made with its rights from the instant it exists" made_with_rights "$ART/first-install-relay.log" "$windir"
check "Administrators' and SYSTEM's to write, Users' to read and run, inheriting nothing" \
  grep -qF 'L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"' "$ART/first-install-relay.log"
check "the relay trace sees the installer" grep -q 'Call KERNEL32.GetCommandLineW(' "$ART/first-install-relay.log"
check "a silent install that closed nothing starts no program" \
  bash -c "! grep -iE 'Call KERNEL32.CreateProcessW\\(.*(explorer|varnlet)\\.exe' '$ART/first-install-relay.log'"
check "and no Varnlet runs" bash -c "! '$WR' '$TOOL' find $VARNLET_MAIN_WINDOW_CLASS >/dev/null"
status="$(WINEDEBUG=err-all,+relay tool run "$(entry_value QuietUninstallString)" 2>"$ART/first-uninstall-relay.log" |
  tr -d '\r')"
check "its entry's QuietUninstallString uninstalls (got $status)" test "$status" = 0
check "and leaves nothing behind" wait_for 60 nothing_installed
# The copy's folder as the trace writes it, and as it is.
copy_traced="$(grep -F 'Call KERNEL32.CreateProcessW(' "$ART/first-uninstall-relay.log" | grep -F /CLEANUP= |
  grep -oE 'C:\\\\windows\\\\Temp\\\\'"$VARNLET_SHORT_NAME"'-[0-9-]+' | head -1)"
copy_folder="${copy_traced//\\\\/\\}"
check "its elevated copy runs from a folder made for it with those rights (${copy_folder:-none})" \
  made_with_rights "$ART/first-uninstall-relay.log" "$copy_folder"
check "which is to go at the next restart, after the copy" \
  bash -c "'$WR' reg query '$session_manager' /v PendingFileRenameOperations | grep -qiF '$copy_folder'"
"$WR" reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
check "the installer installs silently again" "$WR" "$(winpath "$setup")" /S

check "the installer runs silently again with /AUTOSTART=1" "$WR" "$(winpath "$setup")" /S /AUTOSTART=1
# As "Iniciar con Windows" would: the exe's full path, quoted, in the program's own view.
check "which writes the Run value with the installed exe's path, quoted" test "$(run_value)" = "\"$windir\\varnlet.exe\""
check "in the program's own registry view only" bash -c "! '$WR' reg query '$VARNLET_RUN_KEY' /v '$VARNLET_RUN_VALUE' $OTHER_VIEW >/dev/null 2>&1"

# An older version, its exe held open: the install must fail and leave everything as it was.
echo old-varnlet >"$dir/varnlet.exe"
reg_view add "$uninstall_key" /v DisplayVersion /d 0.9 /f >/dev/null
reg_view delete "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /f >/dev/null
check "another process holds the installed exe" hold_exe
status=0
"$WR" "$(winpath "$setup")" /S /AUTOSTART=1 || status=$?
check "a silent install that cannot replace the exe fails with exit code 2 (got $status)" test "$status" -eq 2
check "the held exe is unchanged" test "$(cat "$dir/varnlet.exe")" = old-varnlet
check "Add/Remove Programs still shows the old version" bash -c "'$WR' reg query '$uninstall_key' /v DisplayVersion $VIEW | tr -d '\r' | grep -q 'REG_SZ *0.9\$'"
check "and the Run value is not written" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
release_exe
check "once the exe is free, the same install succeeds" "$WR" "$(winpath "$setup")" /S /AUTOSTART=1
check "and replaces it" cmp "$packaged" "$dir/varnlet.exe"

"$WR" "$windir\\varnlet.exe" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the installed program's window exists" wait_for 60 tool find $VARNLET_MAIN_WINDOW_CLASS
check "its tray icon shows the tip $VARNLET_TITLE" wait_for 60 varnlet_icons 1
screenshot installed-running
switch_autostart
check "its mark was on: Iniciar con Windows removes the value" wait_for 60 absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
switch_autostart
check "switching it on again is refused: Wine reports the installed exe as the Unix user's" autostart_refused
check "and writes nothing" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"

# A silent upgrade over the running program, with the calls that close it traced.
relay_only 'KERNEL32.LoadLibraryExW;rstrtmgr.RmStartSession;rstrtmgr.RmRegisterResources;rstrtmgr.RmShutdown;rstrtmgr.RmRestart;rstrtmgr.RmEndSession'
check "a silent upgrade over the running program succeeds" \
  env WINEDEBUG=err-all,+relay "$WR" "$(winpath "$setup")" /S 2>"$ART/upgrade-relay.log"
check "it closed the running program" wait_gone 60 "$varnlet"
check "and started it again" wait_for 60 tool find $VARNLET_MAIN_WINDOW_CLASS
check "with its tray icon" wait_for 60 varnlet_icons 1
check "exactly one Varnlet runs" test "$(varnlet_count)" -eq 1
check "the Restart Manager was loaded from System32 by its full path" \
  grep -qiE 'LoadLibraryExW\(.*L"C:\\\\windows\\\\system32\\\\rstrtmgr\.dll",0+,0+8\)' "$ART/upgrade-relay.log"
check "and asked to close every copy, then to restart them" bash -c "grep -oE 'Call rstrtmgr\.Rm[A-Za-z]+' '$ART/upgrade-relay.log' | cut -d. -f2 | tr '\n' ' ' | grep -qx 'RmStartSession RmRegisterResources RmShutdown RmRestart RmEndSession '"

# The uninstaller copies itself to the temporary folder and returns at once; wait for its work.
check "the uninstaller starts silently" "$WR" "$windir\\uninstall.exe" /S
check "it ends the running program" wait_for 60 window_gone $VARNLET_MAIN_WINDOW_CLASS
check "the program's window is gone" bash -c "! '$WR' '$TOOL' find $VARNLET_MAIN_WINDOW_CLASS >/dev/null"
check "its tray icon is gone" wait_for 60 varnlet_icons 0
check "the program folder and the shortcut are removed" wait_for 60 nothing_installed
check "the uninstall key is removed" wait_for 60 absent "$uninstall_key"
check "the Run value is removed" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
check "the Run key itself stays" query "$VARNLET_RUN_KEY"

# An exe nothing can close: the uninstaller removes the rest, leaves the exe to the next restart
# and exits 3010, to whoever runs its entry's QuietUninstallString and waits for it.
check "the installer installs silently again" "$WR" "$(winpath "$setup")" /S
check "another process holds the installed exe" hold_exe
status="$(tool run "$(entry_value QuietUninstallString)" | tr -d '\r')"
check "the uninstaller that cannot delete the exe exits 3010, restart required (got $status)" test "$status" = 3010
check "it removes the rest" wait_for 60 bash -c "[ ! -e '$dir/LEAME.txt' ] && [ ! -e '$dir/uninstall.exe' ] && [ ! -e '$shortcut' ]"
check "and the uninstall key" absent "$uninstall_key"
check "the held exe waits for the next restart" bash -c "'$WR' reg query '$session_manager' /v PendingFileRenameOperations | grep -qi '$VARNLET_SHORT_NAME.varnlet\.exe'"
# With its pages, through the entry's UninstallString: the finish page says that Windows must
# restart ("later" chosen), and Finish ends it with the same code.
release_exe
# Until then the folder, no install's any more, is refused like any folder that exists.
status=0
"$WR" "$(winpath "$setup")" /S || status=$?
check "an install into the folder left for the next restart is refused, exit code 6 (got $status)" test "$status" -eq 6
# The restart.
"$WR" reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
rm -rf "$dir"
check "the installer installs once more" "$WR" "$(winpath "$setup")" /S
check "another process holds the installed exe" hold_exe
tool run "$(entry_value UninstallString)" >"$WORK/un-status" &
uninstaller=$!
BACKGROUND+=($uninstaller)
check "the uninstaller shows its pages" wait_for 60 xdo search --name "^$TITLE_RE Uninstall"
xdo search --name "^$TITLE_RE Uninstall" windowfocus
page uninstall-confirm
xdo key Return
page uninstall-finish
xdo key Return
check "its finish page, left as it comes, ends it" wait_gone 60 "$uninstaller"
check "with exit code 3010 too" test "$(tr -d '\r' <"$WORK/un-status")" = 3010
release_exe
# Nothing of this may happen at the prefix's next start.
"$WR" reg delete "$session_manager" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
rm -rf "$dir"

# Upgrades go to the folder of the install found, a /D= one too, and never back to an older
# version; a window of Varnlet!'s class that another program owns is no running Varnlet!.
other='C:\Other\Varnlet' otherdir="$PREFIX/drive_c/Other/Varnlet"
rm -rf "$PREFIX/drive_c/Other"
"$WR" "$TOOL" window $VARNLET_MAIN_WINDOW_CLASS 600 >"$WORK/standin" &
standin=$!
BACKGROUND+=($standin)
check "another program owns a window of Varnlet!'s class" wait_for 60 grep -q ready "$WORK/standin"
relay_only 'KERNEL32.CreateDirectoryW;advapi32.SetNamedSecurityInfoW'
check "the installer installs silently into /D=$other" \
  env WINEDEBUG=err-all,+relay "$WR" "$(winpath "$setup")" /S "/D=$other" 2>"$ART/rights-relay.log"
# Wine keeps no DACL on a file (it maps one onto the Unix mode), so the calls are what shows.
check "it makes C:\Other with the folder's rights from the instant it exists" made_with_rights "$ART/rights-relay.log" 'C:\Other'
check "and C:\Other\Varnlet" made_with_rights "$ART/rights-relay.log" "$other"
reg_view add "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /d "\"$other\\varnlet.exe\"" /f >/dev/null
check "a later version, silently and without /D=, installs" \
  env WINEDEBUG=err-all,+relay "$WR" "$(winpath "$next")" /S 2>"$ART/reuse-relay.log"
check "into the same folder, over the installed one" bash -c "head -1 '$otherdir/LEAME.txt' | grep -q ' 1\.0\.1 ' && [ ! -e '$dir' ]"
check "Add/Remove Programs shows the later version" test "$(entry_value DisplayVersion)" = 1.0.1
check "the other program's window is left alone" tool find $VARNLET_MAIN_WINDOW_CLASS
check "and no Varnlet! was started" test "$(varnlet_count)" -eq 0
status=0
"$WR" "$(winpath "$setup")" /S || status=$?
check "the older version refuses to install over it, exit code 3 (got $status)" test "$status" -eq 3
check "and changes nothing" bash -c "head -1 '$otherdir/LEAME.txt' | grep -q ' 1\.0\.1 '"
# /D= takes the rest of the command line, unquoted.
check "/D= still wins: the install moves to $PROGRAM_FILES" test "$(tool run "$(winpath "$next") /S /D=$windir" | tr -d '\r')" = 0
check "the previous folder is gone" test ! -e "$otherdir"
check "Add/Remove Programs knows the new place" test "$(entry_value InstallLocation)" = "$windir"
check "the start-up value names the moved exe" test "$(run_value)" = "\"$windir\\varnlet.exe\""
tool key-dacl "${uninstall_key#HKLM\\}" 'D:(D;;0x2;;;WD)(A;;KA;;;WD)'
status=0
"$WR" "$(winpath "$next")" /S || status=$?
tool key-dacl "${uninstall_key#HKLM\\}" 'D:(A;;KA;;;WD)'
check "an install that cannot write its Add/Remove Programs entry fails, exit code 5 (got $status)" test "$status" -eq 5
status="$(tool run "$(entry_value QuietUninstallString)" | tr -d '\r')"
check "the entry's QuietUninstallString uninstalls, and its caller gets 0 (got $status)" test "$status" = 0
check "once it returned, the entry is gone" absent "$uninstall_key"
check "and the start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
check "and then the folder" wait_for 60 test ! -e "$dir"
check "the other program's window is still there" tool find $VARNLET_MAIN_WINDOW_CLASS
kill -9 "$standin"
check "an upgrade gave the folder its rights again" \
  grep -qE 'SetNamedSecurityInfoW\([0-9a-f]+ L"C:\\\\Other\\\\Varnlet",0+1,80000005,' "$ART/reuse-relay.log"

# Folders a standard user could reach are refused before anything is written (exit code 6): one
# the user made under the root and planted an exe, an uninstaller and a DLL in, one that is a link,
# one under a link.
tools="$PREFIX/drive_c/Tools"
rm -rf "$tools" "$PREFIX/drive_c/Linked" "$PREFIX/drive_c/Target"
mkdir -p "$tools/Varnlet" "$PREFIX/drive_c/Target"
model_user_folder 'C:\Tools'
for f in varnlet.exe uninstall.exe helper.dll; do echo "planted $f" >"$tools/Varnlet/$f"; done
planted="$(stat -c '%i %s' "$tools/Varnlet"/* | tr '\n' ' ')"
ln -s Target "$PREFIX/drive_c/Linked"
for target in 'C:\Tools\Varnlet' 'C:\Linked' 'C:\Linked\Varnlet'; do
  status=0
  "$WR" "$(winpath "$setup")" /S /AUTOSTART=1 "/D=$target" || status=$?
  check "a silent install into $target is refused, exit code 6 (got $status)" test "$status" -eq 6
  check "with no entry written" absent "$uninstall_key"
  check "and no start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
  # The checks' library made unloadable, as a security product blocking it would: still refused,
  # now because the checks cannot run (exit code 8), never taken for a pass.
  status=0
  WINEDLLOVERRIDES="mscoree=;varnlet_setup=" "$WR" "$(winpath "$setup")" /S /AUTOSTART=1 "/D=$target" || status=$?
  check "and, the checks' library unloadable, refused all the same, exit code 8 (got $status)" test "$status" -eq 8
  check "with no entry written" absent "$uninstall_key"
done
check "the planted files are as they were, the same files" test "$(stat -c '%i %s' "$tools/Varnlet"/* | tr '\n' ' ')" = "$planted"
check "nothing was written through the link" test -z "$(ls -A "$PREFIX/drive_c/Target")"
# A new folder under one every user may change is refused too: that user could rename the folder
# above away and put another program where the shortcut and the uninstall entry point.
status=0
"$WR" "$(winpath "$setup")" /S '/D=C:\Tools\Fresh' || status=$?
check "a new folder under one users may change is refused, exit code 6 (got $status)" test "$status" -eq 6
check "and not made" test ! -e "$tools/Fresh"
rm -rf "$tools" "$PREFIX/drive_c/Linked" "$PREFIX/drive_c/Target"

# What the installer and its uninstaller load comes from a folder they made themselves: a user who
# races them for their temporary names (a prepared folder with planted libraries renamed onto each
# ns*.tmp name the moment it is deleted, as Windows' temporary folder lets every user do when a
# deployment tool runs them as SYSTEM) never gets one loaded.
mkdir -p "$WORK/squat/prepared" "$WORK/squat/markers"
for dll in varnlet_setup System nsDialogs; do cp "$B/tests/e2e/version.dll" "$WORK/squat/prepared/$dll.dll"; done
temp="$("$WR" winepath -u "$("$WR" cmd /c 'echo %TEMP%' | tr -d '\r')")"
python3 "$(dirname "$0")/squat_temp.py" "$temp" "$WORK/squat/prepared" >"$WORK/squat/taken" &
racer=$!
BACKGROUND+=($racer)
wait_for 60 grep -q watching "$WORK/squat/taken" || fail "the racer does not watch $temp"
export VARNLET_PLANTED_MARKERS="$(winpath "$WORK/squat/markers")"
check "with a user racing it for its temporary names, the installer installs" "$WR" "$(winpath "$setup")" /S
status="$(WINEDLLOVERRIDES="mscoree=;varnlet_setup=" tool run "$(entry_value QuietUninstallString)" | tr -d '\r')"
check "its uninstaller, the checks' library unloadable, refuses with exit code 8 (got $status)" test "$status" = 8
check "and removes nothing" installed
status="$(tool run "$(entry_value QuietUninstallString)" | tr -d '\r')"
check "with the library, it uninstalls (got $status)" test "$status" = 0
check "and leaves nothing behind" wait_for 60 nothing_installed
kill "$racer"
unset VARNLET_PLANTED_MARKERS
check "the racer took names they deleted ($(grep -vx watching "$WORK/squat/taken" | tr '\n' ' '))" \
  grep -qvx watching "$WORK/squat/taken"
check "yet no planted library was ever loaded" test -z "$(ls -A "$WORK/squat/markers")"

# Windows in English: the installer speaks English.
"$WR" "$(winpath "$setup")" >/dev/null 2>&1 &
setup_pid=$!
BACKGROUND+=($setup_pid)
check "where Windows speaks English, the installer does too" wait_for 60 xdo search --name "^$TITLE_RE Setup\$"
kill -9 "$setup_pid"
setup_window_gone() { ! xdo search --name "^$TITLE_RE Setup\$" >/dev/null; }
wait_for 60 setup_window_gone || fail "the installer stays"

# Windows in Spanish, with its pages answered from the keyboard as they come: "Siguiente" on the
# welcome page, "Siguiente" on the components with the start-up choice ticked, "Instalar" on the
# folder page, "Terminar" with the offer to start the program ticked.
LANG=es_ES.UTF-8 LC_ALL=es_ES.UTF-8 "$WR" "$(winpath "$setup")" >/dev/null 2>&1 &
setup_pid=$!
BACKGROUND+=($setup_pid)
# The title is "Instalación de Varnlet!"; the "ó" is matched loosely, as the window's title
# encoding and xdotool's locale decide its bytes.
check "where Windows speaks Spanish, the installer does too" wait_for 60 xdo search --name "^Instalaci.+n de $TITLE_RE\$"
# With no window manager, nothing gives the new window the keyboard by itself.
xdo search --name "^Instalaci.+n de $TITLE_RE\$" windowfocus
page welcome
xdo key Return
page components
xdo key Return
page folder
xdo key Return
check "the installer installs" wait_for 60 installed
page finish
check "the start-up choice, ticked as it comes, writes the Run value" test "$(run_value)" = "\"$windir\\varnlet.exe\""
check "the finish page does not start the program by itself" bash -c "! '$WR' '$TOOL' find $VARNLET_MAIN_WINDOW_CLASS >/dev/null"
xdo key Return
check "the installer ends" wait_gone 60 "$setup_pid"
check "Finish starts the installed program" wait_for 60 tool find $VARNLET_MAIN_WINDOW_CLASS
check "with its tray icon" wait_for 60 varnlet_icons 1
check "the running program is the installed one" bash -c "'$WR' '$TOOL' pids '$VARNLET_SHORT_NAME\\varnlet.exe' | grep -q ."
check "the uninstaller starts silently again" "$WR" "$windir\\uninstall.exe" /S
check "it ends the program started by the installer" wait_for 60 bash -c "! '$WR' '$TOOL' find $VARNLET_MAIN_WINDOW_CLASS >/dev/null"
check "and leaves nothing behind" wait_for 60 nothing_installed
check "not even the uninstall key" wait_for 60 absent "$uninstall_key"
check "nor the Run value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"

# The portable zip: the exe and its read-me, nothing else; it runs from wherever it is unpacked.
mkdir "$WORK/portable"
unzip -q "$zip" -d "$WORK/portable"
check "the zip holds the program and its read-me only" test "$(cd "$WORK/portable" && ls | tr '\n' ' ')" = "LEAME.txt varnlet.exe "
check "the zip's program is the packaged one" cmp "$packaged" "$WORK/portable/varnlet.exe"
"$WR" "$(winpath "$WORK/portable/varnlet.exe")" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the unpacked program shows its tray icon" wait_for 60 varnlet_icons 1
check "it ends on WM_CLOSE, as after Salir" tool post $VARNLET_MAIN_WINDOW_CLASS 16 0 0
check "and is gone" wait_gone 60 "$varnlet"
check "with its icon" wait_for 60 varnlet_icons 0
check "it wrote no start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"

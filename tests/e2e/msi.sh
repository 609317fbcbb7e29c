#!/usr/bin/env bash
# The MSI as an administrator deploys it: "msiexec /i ... /qn AUTOSTART=1" installs per machine
# under Program Files (x86: "Program Files (x86)") with a Start-menu shortcut, an Add/Remove
# Programs entry with version and publisher and the start-up value; the installed program starts
# with its mark on; "msiexec /x ... /qn" leaves nothing behind, not even a start-up value the
# program wrote itself. Without AUTOSTART=1 no value is written; the next version (1.0.1) replaces
# the installed one and keeps the value the program wrote, 1.0 is then refused (1603) and changes
# nothing, another build of 1.0.1 replaces it too and AUTOSTART=0 clears the value. An uninstall
# removes the value from the program's own registry view; the tables show how. The NSIS installer
# and the MSI each refuse to install over the other.
# The shipped MSI reads the system's owners and lists, under Wine the Unix user's, the drive's root
# and Program Files included: it refuses every folder (1603) and installs nothing. The rest runs
# the same MSI carrying checks over a model of Windows' owners and lists (lib.sh's model_security),
# which also refuses a folder a user made and planted files in, a new folder under one users may
# change, one whose parent is missing, and one Windows Installer made with rights that let others
# change it (1603 each, nothing written).
# Usage: msi.sh PACKAGE.MSI STRIPPED_VARNLET.EXE LEAME.TXT MODELLED.MSI MODELLED_NEXT_VERSION.MSI
#               MODELLED_SETUP.DLL [MODELLED_SETUP.EXE]
source "$(dirname "$0")/lib.sh"
shipped="$1" packaged="$2" readme="$3" msi="$4" next_msi="$5" setup_dll="$6" setup="${7:-}"
here="$(cd "$(dirname "$0")/../.." && pwd)"

dir="$PREFIX/drive_c/$PROGRAM_FILES/$VARNLET_SHORT_NAME"
windir="C:\\$PROGRAM_FILES\\$VARNLET_SHORT_NAME"
code="$(product_code "$msi")"

entry() { reg_string "$UNINSTALL_ROOT\\$code" "$1"; }
has_run_value() { [ -n "$(run_value)" ]; }
shortcut_made() { [ -s "${SHORTCUTS[0]}" ] || [ -s "${SHORTCUTS[1]}" ]; }
# Says what is left, if anything.
nothing_left() {
  local left=""
  [ ! -e "$dir" ] || left+=" the folder ($(ls "$dir" | tr '\n' ' '))"
  [ ! -e "${SHORTCUTS[0]}" ] && [ ! -e "${SHORTCUTS[1]}" ] || left+=" the shortcut"
  absent "$UNINSTALL_ROOT\\$code" || left+=" the entry"
  absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" || left+=" the start-up value"
  absent "$VARNLET_PRODUCT_KEY" || left+=" $VARNLET_PRODUCT_KEY"
  [ -z "$left" ] || echo "left:$left" >&2
  [ -z "$left" ]
}
switch_autostart() { tray_menu_keys 0x28 0x28 0x0d; }
msiexec() { "$WR" msiexec "$@" >/dev/null 2>&1; }
# msiexec's whole exit code (Wine hands Linux its low byte only), after what its actions print.
msiexec_status() { tool run "msiexec $*" | tr -d '\r' | tail -1; }
# The start-up value as the program's own "Iniciar con Windows" writes it.
program_switch_on() { reg_view add "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /d "\"$windir\\varnlet.exe\"" /f >/dev/null 2>&1; }
has_row() { msiinfo export "$msi" "$1" | tr -d '\r' | grep -qF -- "$2"; }
setup_key="$VARNLET_UNINSTALL_KEY"
setup_quiet() { reg_string "$setup_key" QuietUninstallString; }
# Wine rolls a failed uninstall back only in part (the last case below): the package's components
# stay registered to a product no longer installed, and a later uninstall of any build then keeps
# their files. Forgets those registrations, each component's key named by its packed GUID.
forget_components() {
  local id packed
  for id in $(msiinfo export "$msi" Component | tr -d '\r' | awk -F'\t' 'NR > 3 { print $2 }'); do
    id="${id//[\{\}-]/}"
    packed="$(rev <<<"${id:0:8}")$(rev <<<"${id:8:4}")$(rev <<<"${id:12:4}")"
    for i in 16 18 20 22 24 26 28 30; do packed+="${id:$((i + 1)):1}${id:$i:1}"; done
    "$WR" reg delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\$packed" \
      /f /reg:64 >/dev/null 2>&1 || true
  done
}
# Another build of the next version: another maker's.
next_tree="${next_msi%/modelled-packages/*}"
python3 -c 'import json, sys; facts = json.load(open(sys.argv[1])); facts["maker"] = "Otro"; json.dump(facts, open(sys.argv[2], "w"))' \
  "$next_tree/varnlet-facts.json" "$WORK/rebuild-facts.json"
python3 "$here/packaging/make_msi.py" "$WORK/rebuild.msi" "$ARCH" "$WORK/rebuild-facts.json" "$packaged" \
  "$next_tree/packaging/stage/LEAME.txt" "$here/res/varnlet.ico" "$setup_dll" 315532800 ||
  fail "no rebuild of 1.0.1"
model_security

# What an earlier, interrupted run may have left in the shared prefix.
for package in "$shipped" "$msi" "$next_msi" "$WORK/rebuild.msi"; do msiexec /x "$(winpath "$package")" /qn || true; done
forget_components
[ -z "$(setup_quiet)" ] || tool run "$(setup_quiet)" >/dev/null
reg_view delete "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /f >/dev/null 2>&1 || true
rm -rf "$dir" "$PREFIX/drive_c/Tools" "$PREFIX/drive_c/Missing" "$PREFIX/drive_c/Unlocked"
check "no Varnlet runs before the test" bash -c "! '$WR' '$TOOL' find $VARNLET_MAIN_WINDOW_CLASS >/dev/null"

status="$(msiexec_status /i "$(winpath "$shipped")" /qn /l*v "$(winpath "$ART/shipped-install.log")")"
check "the shipped MSI fails, every folder the Unix user's (got $status)" test "$status" = 1603
check "its check refused the folder, the ones above it being others' to rename, and the log says why" \
  grep -aqF "$VARNLET_TITLE no se instala en la carpeta $windir: otros usuarios pueden renombrar" "$ART/shipped-install.log"
check "and it leaves nothing behind" nothing_left

check "msiexec /i /qn AUTOSTART=1 installs" msiexec /i "$(winpath "$msi")" /qn AUTOSTART=1 /l*v "$(winpath "$ART/install.log")"
# Wine logs a deferred action once as it is scheduled, then once as it runs.
check "its folder judged again once made, before the files went in" bash -c "grep -aoE \
  'Action ended [0-9:]+: (CreateFolders|RecheckInstallFolder|InstallFiles)\.' '$ART/install.log' | tail -3 |
  sed -E 's/.*: //' | xargs | grep -qx 'CreateFolders. RecheckInstallFolder. InstallFiles.'"
check "the program under $PROGRAM_FILES" cmp "$packaged" "$dir/varnlet.exe"
check "with its read-me" cmp "$readme" "$dir/LEAME.txt"
check "a Start-menu shortcut $VARNLET_TITLE" shortcut_made
check "Add/Remove Programs lists $VARNLET_TITLE" test "$(entry DisplayName)" = "$VARNLET_TITLE"
check "with its version" test "$(entry DisplayVersion)" = "$VARNLET_VERSION"
check "and publisher" test -n "$(entry Publisher)"
check "and where it lies" test "$(entry InstallLocation)" = "$windir\\"
check "the Run value holds the installed exe's path, quoted" test "$(run_value)" = "\"$windir\\varnlet.exe\""
check "in the program's own registry view only" bash -c "! '$WR' reg query '$VARNLET_RUN_KEY' /v '$VARNLET_RUN_VALUE' $OTHER_VIEW >/dev/null 2>&1"

"$WR" "$windir\\varnlet.exe" &
varnlet=$!
BACKGROUND+=($varnlet)
check "the installed program shows its tray icon" wait_for 60 varnlet_icons 1
switch_autostart
check "its mark was on: Iniciar con Windows removes the value" wait_for 60 absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
switch_autostart
check "switching it on again is refused: Wine reports the installed exe as the Unix user's" autostart_refused
# What the program's own switch writes where Windows lets it (the installer's folder), for the
# uninstall to remove.
check "the value as the program's switch writes it" program_switch_on
check "Salir ends it" tool post $VARNLET_MAIN_WINDOW_CLASS 16 0 0
check "and it is gone" wait_gone 60 "$varnlet"
check "its process too, so the uninstall finds its exe free" wait_for 60 bash -c "[ -z \"\$('$WR' '$TOOL' pids '$VARNLET_SHORT_NAME\\varnlet.exe')\" ]"
check "msiexec /x /qn uninstalls" msiexec /x "$(winpath "$msi")" /qn /l*v "$(winpath "$ART/first-uninstall.log")"
check "and leaves nothing behind" nothing_left

# Where Wine's msi cannot show it, the tables do. The value goes from the program's own view: a
# 64-bit reg.exe (System64Folder, and /reg:64) for x64; its exit code counts (type 34 + deferred +
# as the system, without "ignore the exit code" 64), and a search in the same view
# (msidbLocatorType64bit) runs it only when the value is there, never in an upgrade's removal of
# the old version. (Wine's RemoveExistingProducts sets no UPGRADINGPRODUCTCODE, so under Wine the
# old version's removal does delete the value, and the upgrade shows the new version writing it
# again.)
if [ "$ARCH" = x64 ]; then sys=System64Folder reg64=' /reg:64' locator=18 bits=256; else sys=SystemFolder reg64='' locator=2 bits=0; fi
check "the uninstall's action runs reg.exe of the package's own view" has_row CustomAction \
  "RemoveRunValue	3106	$sys	\"[$sys]reg.exe\" delete \"$VARNLET_RUN_KEY\" /v $VARNLET_RUN_VALUE /f$reg64	"
check "only where the value is, and not in an upgrade" has_row InstallExecuteSequence \
  'RemoveRunValue	RUNVALUE AND REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE	1550'
check "which a search in the same view finds" has_row RegLocator "RunValue	2	${VARNLET_RUN_KEY#HKLM\\}	$VARNLET_RUN_VALUE	$locator"
check "an upgrade that found it writes it again, for the installed exe" has_row Component \
  'AUTOSTART="1" OR (WIX_UPGRADE_DETECTED AND RUNVALUE AND NOT AUTOSTART="0") OR REMOVE="ALL"'
check "AUTOSTART=0 removes it with the RemoveRegistry table" has_row RemoveRegistry "RunValueOff	2	${VARNLET_RUN_KEY#HKLM\\}	$VARNLET_RUN_VALUE	AutostartOff"
check "in its component's view, the program's" has_row Component "INSTALLFOLDER	$bits	AUTOSTART=\"0\" OR REMOVE=\"ALL\"	"
check "another build of the installed version replaces it" has_row Upgrade "	$VARNLET_VERSION		513		WIX_UPGRADE_DETECTED"
# Wine's msi applies no MsiLockPermissionsEx (its trace sets no security on any file).
check "the folder gets rights of its own, whatever it would inherit" has_row MsiLockPermissionsEx \
  'InstallFolder	INSTALLFOLDER	CreateFolder	O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)	'

check "without AUTOSTART=1 it installs" msiexec /i "$(winpath "$msi")" /qn
check "and writes no start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
check "the program's own switch writes it" program_switch_on
next="$(product_code "$next_msi")"
check "the next version has another product code" test -n "$next" -a "$next" != "$code"
echo planted >"$dir/helper.dll"
check "and installs over the installed one, without AUTOSTART" msiexec /i "$(winpath "$next_msi")" /qn
# Every file of the folder goes before the package's are written (a RemoveFile row "*"); Wine's
# msi deletes no file by a wildcard, so here the row shows it and the stray file stays.
check "removing first every file in the installed version's folder" has_row RemoveFile 'EmptyFolder	Program	*	INSTALLFOLDER	1'
rm -f "$dir/helper.dll"
check "which it replaces" absent "$UNINSTALL_ROOT\\$code"
old="$code" code="$next"
check "Add/Remove Programs lists the next version" test "$(entry DisplayVersion)" = '1.0.1'
check "the upgrade keeps the start-up value" test "$(run_value)" = "\"$windir\\varnlet.exe\""
status="$(msiexec_status /i "$(winpath "$msi")" /qn)"
check "the older version is refused with 1603 (got $status)" test "$status" = 1603
check "and leaves the installed version alone" absent "$UNINSTALL_ROOT\\$old"
check "its files" bash -c "head -1 '$dir/LEAME.txt' | grep -q ' 1\.0\.1 '"
check "and the start-up value" has_run_value
check "another build of 1.0.1 has another product code" test "$(product_code "$WORK/rebuild.msi")" != "$code"
check "and with AUTOSTART=0 installs over it" msiexec /i "$(winpath "$WORK/rebuild.msi")" /qn AUTOSTART=0
check "which it replaces" absent "$UNINSTALL_ROOT\\$code"
code="$(product_code "$WORK/rebuild.msi")"
check "AUTOSTART=0 clears the start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
if [ -n "$setup" ]; then
  status=0
  "$WR" "$(winpath "$setup")" /S || status=$?
  check "the NSIS installer refuses to install over the MSI, exit code 4 (got $status)" test "$status" -eq 4
  check "and writes no entry of its own" absent "$setup_key"
fi
check "the program's own switch writes the value again" program_switch_on
check "msiexec /x /qn uninstalls" msiexec /x "$(winpath "$WORK/rebuild.msi")" /qn /l*v "$(winpath "$ART/uninstall.log")"
check "its action removed the value the program wrote" grep -qE 'Action ended .*: RemoveRunValue\. Return value 1\.' "$ART/uninstall.log"
check "and leaves nothing behind" nothing_left
if [ -n "$setup" ]; then
  check "the NSIS installer installs" "$WR" "$(winpath "$setup")" /S
  status="$(msiexec_status /i "$(winpath "$msi")" /qn /l*v "$(winpath "$ART/over-setup.log")")"
  check "the MSI refuses to install over it with 1603 (got $status)" test "$status" = 1603
  # Wine logs no launch condition's text under /qn: the table holds it, the log what it found.
  check "having found the NSIS install's uninstaller" grep -qF "SETUPUNINSTALL = \"$windir\\uninstall.exe" "$ART/over-setup.log"
  check "whose command line the refusal gives" has_row LaunchCondition 'o con: [SETUPUNINSTALL]'
  check "and installs nothing" absent "$UNINSTALL_ROOT\\$(product_code "$msi")"
  check "the NSIS install is removed" test "$(tool run "$(setup_quiet)" | tr -d '\r')" = 0
  check "and its folder goes" wait_for 60 test ! -e "$dir"
fi

# INSTALLFOLDER a user could reach: a folder the user made under the root and planted files in,
# and a new folder under it, are refused before anything is written.
tools="$PREFIX/drive_c/Tools"
rm -rf "$tools"
mkdir -p "$tools/Varnlet"
model_user_folder 'C:\Tools'
for f in varnlet.exe helper.dll; do echo "planted $f" >"$tools/Varnlet/$f"; done
planted="$(stat -c '%i %s' "$tools/Varnlet"/* | tr '\n' ' ')"
status="$(msiexec_status /i "$(winpath "$msi")" /qn 'INSTALLFOLDER=C:\Tools\Varnlet' /l*v "$(winpath "$ART/planted.log")")"
check "INSTALLFOLDER a user made and planted files in is refused with 1603 (got $status)" test "$status" = 1603
check "by its check, before anything is written, saying why" \
  grep -aqF "$VARNLET_TITLE no se instala en la carpeta C:\Tools\Varnlet: ya existe" "$ART/planted.log"
check "the planted files are as they were" test "$(stat -c '%i %s' "$tools/Varnlet"/* | tr '\n' ' ')" = "$planted"
check "and nothing is installed" absent "$UNINSTALL_ROOT\\$(product_code "$msi")"
status="$(msiexec_status /i "$(winpath "$msi")" /qn 'INSTALLFOLDER=C:\Tools\Fresh' /l*v "$(winpath "$ART/fresh.log")")"
check "a new folder under one users may change is refused with 1603 (got $status)" test "$status" = 1603
check "by its check, saying why" \
  grep -aqF "$VARNLET_TITLE no se instala en la carpeta C:\Tools\Fresh: otros usuarios pueden renombrar" "$ART/fresh.log"
check "and not made" test ! -e "$tools/Fresh"
check "nor an entry written" absent "$UNINSTALL_ROOT\\$(product_code "$msi")"
rm -rf "$tools"
# Windows Installer would make a missing parent with the rights it inherits.
status="$(msiexec_status /i "$(winpath "$msi")" /qn 'INSTALLFOLDER=C:\Missing\Varnlet' /l*v "$(winpath "$ART/missing.log")")"
check "a folder whose parent is missing is refused with 1603 (got $status)" test "$status" = 1603
check "saying why" grep -aqF "$VARNLET_TITLE no se instala en la carpeta C:\Missing\Varnlet: la carpeta que la contendr" \
  "$ART/missing.log"
check "and the parent is not made" test ! -e "$PREFIX/drive_c/Missing"
# A folder that Windows Installer made with rights that let others change it (Wine applies no
# MsiLockPermissionsEx; the model says what Windows would have given) is refused by the judgement
# after CreateFolders, before a file is written.
echo 'C:\Unlocked|O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)' >>"$WORK/security-model"
status="$(msiexec_status /i "$(winpath "$msi")" /qn 'INSTALLFOLDER=C:\Unlocked' /l*v "$(winpath "$ART/unlocked.log")")"
check "a folder made with rights that let others change it is refused with 1603 (got $status)" test "$status" = 1603
check "once made, by the judgement before the files, saying why" \
  bash -c "grep -aA1 'Action start [0-9:]*: RecheckInstallFolder\.' '$ART/unlocked.log' |
    grep -qF 'no se instala en la carpeta C:\Unlocked: otros usuarios pueden cambiarla'"
check "the folder it made taken back, with nothing written in it" test ! -e "$PREFIX/drive_c/Unlocked"
check "nor an entry" absent "$UNINSTALL_ROOT\\$(product_code "$msi")"
rm -rf "$PREFIX/drive_c/Unlocked"

# Last, as Wine rolls a failed uninstall back only in part: a Run key that refuses the deletion
# makes the uninstall fail and say so (Windows' code is 1603, Wine's 1627), and the value stays.
check "the MSI installs once more" msiexec /i "$(winpath "$msi")" /qn
check "the program's own switch writes the value" program_switch_on
tool key-dacl "${VARNLET_RUN_KEY#HKLM\\}" 'D:(D;;0x2;;;WD)(A;;KA;;;WD)'
status="$(msiexec_status /x "$(winpath "$msi")" /qn)"
tool key-dacl "${VARNLET_RUN_KEY#HKLM\\}" 'D:(A;;KA;;;WD)'
check "an uninstall that cannot delete the value fails (got $status)" test "$status" -ne 0
check "and the value stays" has_run_value
# What Wine's partial rollback leaves, for the next test in this prefix.
msiexec /x "$(winpath "$msi")" /qn || true
forget_components
reg_view delete "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /f >/dev/null 2>&1 || true
reg_view delete "$VARNLET_PRODUCT_KEY" /f >/dev/null 2>&1 || true
rm -rf "$dir" "${SHORTCUTS[@]}"

# Changing the start-up choice on an installed MSI as docs/administration.md gives it: removed by
# its product code and installed again with the other choice; and AUTOSTART=1 in the package's
# Property table, where a Group Policy transform puts it, with nothing on the command line.
code="$(product_code "$msi")"
cp "$msi" "$WORK/autostart.msi"
msibuild "$WORK/autostart.msi" -q "INSERT INTO Property (Property, Value) VALUES ('AUTOSTART', '1')"
reinstall() { msiexec /x "$code" /qn && msiexec /i "$(winpath "$1")" /qn "${@:2}"; }
starts() { test "$(run_value)" = "\"$windir\\varnlet.exe\""; }
check "installed without AUTOSTART" msiexec /i "$(winpath "$msi")" /qn
check "removed by its product code and installed again with AUTOSTART=1" reinstall "$msi" AUTOSTART=1
check "it starts with Windows" starts
check "removed and installed again without AUTOSTART" reinstall "$msi"
check "it does not" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
check "the package with AUTOSTART=1 in its Property table installs instead" reinstall "$WORK/autostart.msi"
check "and starts it with Windows" starts
check "msiexec /x by its product code removes it" msiexec /x "$code" /qn
check "leaving nothing behind" nothing_left

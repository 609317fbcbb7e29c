#!/usr/bin/env bash
# The command lines docs/administration.md gives an administrator (every line of its `bat`
# blocks), run exactly as written, with ‹version› and ‹product code› filled in, from a folder that
# holds the packages by their documented names, each checked for what the document says it does:
# it waits until it is done, ends with the code the document gives, and installs, writes or
# removes what it says. A documented line this script cannot check fails it, so that the document
# and the test cannot part. Lines for the other architecture's package are left to its build.
# Usage: documented.sh MODELLED_SETUP.EXE MODELLED.MSI
source "$(dirname "$0")/lib.sh"
setup="$1" msi="$2"
doc="$(dirname "$0")/../../docs/administration.md"

if [ "$ARCH" = x86 ]; then other=x64; else other=x86; fi
windir="C:\\$PROGRAM_FILES\\$VARNLET_SHORT_NAME"
setup_key="$VARNLET_UNINSTALL_KEY"
code="$(product_code "$msi")"
msi_key="$UNINSTALL_ROOT\\$code"
unix() { "$WR" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# The packages by the names the document gives them.
here="$WORK/packages"
mkdir -p "$here"
cp "$setup" "$here/setup.exe"
cp "$setup" "$here/varnlet-$VARNLET_VERSION-$ARCH-setup.exe"
cp "$msi" "$here/varnlet-$VARNLET_VERSION-$ARCH.msi"
model_security

# Runs a line as a deployment tool does (CreateProcess, waiting), from that folder; prints its
# exit code.
run_line() { (cd "$here" && tool run "$1" | tr -d '\r' | tail -1); }
installer_entry() { reg_string "$setup_key" "$1" || true; }
run_value_names() { test "$(run_value)" = "\"$1\\varnlet.exe\""; }
installed_by_installer_in() {
  test "$(installer_entry InstallLocation)" = "$1" && test -s "$(unix "$1")/varnlet.exe"
}
removed_by_installer() { absent "$setup_key" && [ ! -e "$(unix "$windir")/varnlet.exe" ]; }
msi_installed() { ! absent "$msi_key"; }
# Nothing of either package left, but the folder of the installer's last run in place, which its
# copy removes a moment after the uninstaller ends.
nothing_installed() {
  absent "$setup_key" && absent "$msi_key" && absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
}
# No package installed, whatever an earlier line left.
clean_slate() {
  local quiet
  quiet="$(installer_entry QuietUninstallString)"
  [ -z "$quiet" ] || tool run "$quiet" >/dev/null
  absent "$msi_key" || "$WR" msiexec /x "$code" /qn >/dev/null 2>&1 || true
  reg_view delete "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" /f >/dev/null 2>&1 || true
  wait_for 60 nothing_installed || fail "an earlier package stays installed"
  wait_for 60 test ! -e "$(unix "$windir")" || fail "$windir stays"
  if [ -n "${moved_from:-}" ]; then
    check "uninstalled, $moved_from, which the install made, is gone" wait_for 60 test ! -e "$(unix "$moved_from")"
    moved_from=""
  fi
}
expect() {
  local line="$1" want="$2" got
  got="$(run_line "$line")"
  check "'$line' ends with $want (got $got)" test "$got" = "$want"
}

mapfile -t lines < <(awk '/^```bat$/ { inside = 1; next } /^```/ { inside = 0 } inside' "$doc")
check "the document gives command lines to run" test "${#lines[@]}" -gt 0
clean_slate
for written in "${lines[@]}"; do
  line="${written//‹version›/$VARNLET_VERSION}"
  line="${line//‹product code›/${code//[\{\}]/}}"
  # The document's x64 MSI stands for both.
  line="${line//-x64.msi/-$ARCH.msi}"
  case "$line" in
    *"-$other-setup.exe"* | '"C:\Program Files'*"\\uninstall.exe\""*)
      # Which uninstall line is this architecture's: the one that names its own folder.
      if [[ "$line" != *"\"$windir\\uninstall.exe\" "* ]]; then say "left to the $other build: $written"; continue; fi ;;
  esac
  case "$line" in
    'setup.exe /S')
      clean_slate
      expect "$line" 0
      check "it installs under $PROGRAM_FILES" installed_by_installer_in "$windir"
      check "without the start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" ;;
    'setup.exe /S /AUTOSTART=1')
      expect "$line" 0
      check "it writes the start-up value for the installed exe" run_value_names "$windir" ;;
    'setup.exe /S /AUTOSTART=0')
      expect "$line" 0
      check "it removes the start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
      check "and stays installed" installed_by_installer_in "$windir" ;;
    'setup.exe /S /D=C:\Other\Folder' | 'setup.exe /S "/D=C:\My Apps\Varnlet"')
      folder="${line#*/D=}" folder="${folder%\"}"
      expect "$line" 0
      check "it installs into $folder, and nowhere else" installed_by_installer_in "$folder"
      check "which its entry names" test "$(installer_entry UninstallString)" = "\"$folder\\uninstall.exe\" _?=$folder"
      # A move takes the folders it left with it, up to the highest the install had made.
      [ -z "${moved_from:-}" ] || check "$moved_from, which it made, went with the move" test ! -e "$(unix "$moved_from")"
      moved_from="${folder%\\*}" ;;
    "\"$windir\\uninstall.exe\" /S _?=$windir")
      clean_slate
      check "the installer installs, to be removed" test "$(run_line 'setup.exe /S /AUTOSTART=1')" = 0
      expect "$line" 0
      # Checked the moment it returned: it waited for the removal.
      check "when it returns, the entry and the exe are gone" removed_by_installer
      check "and the start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE"
      check "the folder follows" wait_for 60 test ! -e "$(unix "$windir")" ;;
    "msiexec /i varnlet-$VARNLET_VERSION-$ARCH.msi /qn")
      clean_slate
      expect "$line" 0
      check "the MSI is installed" msi_installed
      check "under $PROGRAM_FILES" test -s "$(unix "$windir")/varnlet.exe"
      check "without the start-up value" absent "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" ;;
    "msiexec /i varnlet-$VARNLET_VERSION-$ARCH.msi /qn AUTOSTART=1")
      clean_slate
      expect "$line" 0
      check "it writes the start-up value for the installed exe" run_value_names "$windir" ;;
    "msiexec /x varnlet-$VARNLET_VERSION-$ARCH.msi /qn" | "msiexec /x ${code//[\{\}]/} /qn" | "msiexec /x {${code//[\{\}]/}} /qn")
      if absent "$msi_key"; then
        clean_slate
        check "the MSI installs, to be removed" test "$(run_line "msiexec /i varnlet-$VARNLET_VERSION-$ARCH.msi /qn AUTOSTART=1")" = 0
      fi
      expect "$line" 0
      check "nothing of it is left: entry, start-up value" nothing_installed
      check "and the folder" test ! -e "$(unix "$windir")" ;;
    *) fail "a documented command line this test does not check: $written" ;;
  esac
done
clean_slate

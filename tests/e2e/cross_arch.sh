#!/usr/bin/env bash
# One Varnlet per machine: with either architecture's package installed, installer or MSI, every
# package of the other architecture refuses to go beside it (the installer with exit code 4, the
# MSI with 1603) and writes nothing: one entry, one shortcut that starts an exe that is there, the
# start-up value as it was. Run in the x86 build, on a prefix that runs both; the x64 packages
# come from the x64 build beside it.
# Usage: cross_arch.sh MODELLED_SETUP.EXE MODELLED.MSI OTHER_MODELLED_SETUP.EXE OTHER_MODELLED.MSI
source "$(dirname "$0")/lib.sh"
[ -f "$3" ] && [ -f "$4" ] || skip_test "the x64 packages are not built (build the win64 preset first): $3"
one_shortcut() { [ "$(ls "${SHORTCUTS[@]}" 2>/dev/null | wc -l)" -eq 1 ]; }
no_shortcut() { [ ! -e "${SHORTCUTS[0]}" ] && [ ! -e "${SHORTCUTS[1]}" ]; }
model_security

# Each package: its architecture, its registry view and its folder.
declare -A arch_of=(["$1"]=x86 ["$2"]=x86 ["$3"]=x64 ["$4"]=x64)
view_of() { if [ "${arch_of[$1]}" = x86 ]; then echo /reg:32; else echo /reg:64; fi; }
folder_of() { if [ "${arch_of[$1]}" = x86 ]; then echo "C:\\Program Files (x86)\\$VARNLET_SHORT_NAME"; else echo "C:\\Program Files\\$VARNLET_SHORT_NAME"; fi; }
entry_of() { if [[ "$1" = *.msi ]]; then echo "$UNINSTALL_ROOT\\$(product_code "$1")"; else echo "$VARNLET_UNINSTALL_KEY"; fi; }
in_view() { "$WR" reg query "$2" "${@:3}" "$1" >/dev/null 2>&1; }
# Installs PACKAGE silently, with the start-up value; prints its exit code.
install() {
  if [[ "$1" = *.msi ]]; then tool run "msiexec /i \"$(winpath "$1")\" /qn AUTOSTART=1"; else
    tool run "\"$(winpath "$1")\" /S /AUTOSTART=1"; fi | tr -d '\r' | tail -1
}
remove() {
  if [[ "$1" = *.msi ]]; then tool run "msiexec /x \"$(winpath "$1")\" /qn"; else
    tool run "$("$WR" reg query "$VARNLET_UNINSTALL_KEY" /v QuietUninstallString "$(view_of "$1")" | tr -d '\r' |
      sed -nE 's/^ +QuietUninstallString +REG_SZ +//p')"; fi | tr -d '\r' | tail -1
}
only() {
  local package="$1" other="$2" exe
  exe="$("$WR" winepath -u "$(folder_of "$package")" | tr -d '\r')/varnlet.exe"
  in_view "$(view_of "$package")" "$(entry_of "$package")" && ! in_view "$(view_of "$other")" "$(entry_of "$other")" &&
    [ -s "$exe" ] && [ ! -e "$("$WR" winepath -u "$(folder_of "$other")" | tr -d '\r')" ] &&
    [ "$("$WR" reg query "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" "$(view_of "$package")" | tr -d '\r' |
      sed -nE 's/^ +[^ ]+ +REG_SZ +//p')" = "\"$(folder_of "$package")\\varnlet.exe\"" ] &&
    ! in_view "$(view_of "$other")" "$VARNLET_RUN_KEY" /v "$VARNLET_RUN_VALUE" && one_shortcut
}

for first in "$1" "$2" "$3" "$4"; do
  check "$(basename "$first") installs" test "$(install "$first")" = 0
  for second in "$1" "$2" "$3" "$4"; do
    [ "${arch_of[$second]}" != "${arch_of[$first]}" ] || continue
    status="$(install "$second")"
    if [[ "$second" = *.msi ]]; then want=1603; else want=4; fi
    check "beside it, $(basename "$second") refuses, exit code $want (got $status)" test "$status" = "$want"
    check "and writes nothing: one entry, its exe, its start-up value, one shortcut" only "$first" "$second"
  done
  check "$(basename "$first") uninstalls" test "$(remove "$first")" = 0
  wait_for 60 no_shortcut || fail "the shortcut stays"
  # The installer's uninstaller leaves its folder to a copy that ends after it: the next package of
  # the same architecture must not find it there.
  wait_for 60 test ! -e "$("$WR" winepath -u "$(folder_of "$first")" | tr -d '\r')" || fail "the folder stays"
done

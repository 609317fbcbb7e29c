#!/usr/bin/env bash
# DLLs put beside the exe (a Downloads folder) never run inside Varnlet because of anything it
# does, even with Wine told to prefer such DLLs as Windows does for DLLs that are not KnownDLLs;
# the program still starts, shows its icon and its About window with the version.
#
# Wine's own user32.dll imports version.dll (Windows' user32, a KnownDLL, does not), so under
# Wine a planted version.dll is mapped into every program that imports user32 before its first
# instruction; the second control below shows that. oleacc.dll, which the program loads itself
# when a screen reader first asks the About window for its objects, is the DLL that shows the
# program's own loads (under Wine it runs elevated, and so makes no browser control and loads no
# urlmon.dll, which a planted copy still must not replace).
source "$(dirname "$0")/lib.sh"
dir="$WORK/Downloads"
mkdir -p "$dir"
cp "$EXE" "$dir/varnlet.exe"
cp "$TOOL" "$dir/e2e_tool.exe"
for dll in version urlmon rsaenh oleacc; do cp "$B/tests/e2e/version.dll" "$dir/$dll.dll"; done
export WINEDLLOVERRIDES="mscoree=;version,urlmon,rsaenh,oleacc=n,b"
loaded() { test -e "$dir/$1.dll.loaded"; }

# The controls: an ordinary load from a program in that folder gets the planted DLL, and Wine's
# user32 alone brings the planted version.dll in.
check "an ordinary load in that folder runs the planted urlmon.dll" "$WR" "$dir/e2e_tool.exe" load-library urlmon.dll
check "which leaves its marker" loaded urlmon
"$WR" "$dir/e2e_tool.exe" find No.Such.Window || true
check "under Wine, any program importing user32 there maps the planted version.dll" loaded version
rm -f "$dir"/*.loaded

relay_only 'KERNEL32.SetDefaultDllDirectories;ADVAPI32.CryptAcquireContextA'
start_varnlet_shown +loaddll,+relay loaddll.log "$dir/varnlet.exe"
# The program's own calls (their return address lies in its image, which +loaddll places) in
# order: Wine's user32 maps the planted version.dll first, and its runtime makes the same call.
calls_from_exe() {
  local base ret
  base=$(sed -nE 's/.*Loaded L".*varnlet\.exe" at ([0-9A-Fa-f]+).*/\1/p' "$ART/loaddll.log" | head -1)
  [ -n "$base" ] || return 1
  sed -nE 's/.*Call (KERNEL32\.SetDefaultDllDirectories|advapi32\.CryptAcquireContextA)\(.* ret=([0-9a-f]+).*/\1 \2/p' \
    "$ART/loaddll.log" | while read -r call ret; do
    [ $((16#$ret - 16#$base)) -ge 0 ] && [ $((16#$ret - 16#$base)) -lt $((16#1000000)) ] && echo "$call"
  done
}
restricted_first() {
  calls_from_exe | grep -q CryptAcquireContextA && [ "$(calls_from_exe | head -1)" = KERNEL32.SetDefaultDllDirectories ]
}
check "the DLL search is restricted before the runtime acquires its cryptographic provider" restricted_first
pick about
check "the About window opens" wait_for 60 window_shown $VARNLET_ABOUT_WINDOW_CLASS
check "and shows the version" bash -c "'$WR' '$TOOL' texts $VARNLET_ABOUT_WINDOW_CLASS | tr -d '\r' | grep -qxF 'v$VARNLET_VERSION'"
screenshot about
# WM_GETOBJECT with OBJID_CLIENT, as a screen reader asks the maker's link.
check "a screen reader's question reaches the maker's link" tool send-child $VARNLET_ABOUT_WINDOW_CLASS Varnlet.Link 0x3D 0 -4
check "the program loaded oleacc.dll to answer it, from System32" \
  grep -qiF 'Loaded L"C:\\windows\\system32\\oleacc.dll"' "$ART/loaddll.log"
tool post $VARNLET_ABOUT_WINDOW_CLASS 16 0 0
wait_for 60 window_gone $VARNLET_ABOUT_WINDOW_CLASS || fail "the About window stays"
pick salir
check "Salir ends the program" wait_gone 60 "$varnlet"
check "the planted urlmon.dll, rsaenh.dll and oleacc.dll were never loaded" \
  bash -c "! test -e '$dir/urlmon.dll.loaded' && ! test -e '$dir/rsaenh.dll.loaded' && ! test -e '$dir/oleacc.dll.loaded'"
# Wine names the folder by its Z: path; only the exe, and Wine's user32's version.dll, come from it.
nothing_else_from_folder() {
  ! grep -i 'Loaded L"Z:' "$ART/loaddll.log" | grep -viE '(varnlet\.exe|version\.dll)"' | grep -q .
}
check "nor any other DLL from the exe's folder" nothing_else_from_folder

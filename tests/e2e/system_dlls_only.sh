#!/usr/bin/env bash
# The program is one static file that imports only KnownDLLs: the DLLs Windows maps from
# System32 whatever lies in the exe's folder. Any other DLL (version, comctl32, uxtheme, urlmon)
# Windows would look for beside the exe first, so the program loads it from System32 at run time.
# The list is what Windows 7 to 11 all hold under Session Manager\KnownDLLs.
set -euo pipefail
objdump="$1" exe="$2"
allowed='^(advapi32|clbcatq|comdlg32|difxapi|gdi32|imagehlp|imm32|kernel32|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|setupapi|shell32|shlwapi|user32|wldap32|ws2_32)\.dll$'
dlls=$("$objdump" -p "$exe" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p' | tr 'A-Z' 'a-z')
echo "imports: $(echo $dlls)"
bad=$(echo "$dlls" | grep -vE "$allowed" || true)
[ -z "$bad" ] || { echo "not a system DLL: $bad" >&2; exit 1; }

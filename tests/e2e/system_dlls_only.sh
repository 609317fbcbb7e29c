#!/usr/bin/env bash
# The program is one static file: it may import only DLLs that every Windows has.
set -euo pipefail
objdump="$1" exe="$2"
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|version|msvcrt|psapi|shlwapi|uxtheme)\.dll$'
dlls=$("$objdump" -p "$exe" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p' | tr 'A-Z' 'a-z')
echo "imports: $(echo $dlls)"
bad=$(echo "$dlls" | grep -vE "$allowed" || true)
[ -z "$bad" ] || { echo "not a system DLL: $bad" >&2; exit 1; }

#!/usr/bin/env bash
# Every executable the packages carry or write keeps the protections Windows applies only when its
# PE header asks for them: no code run from data pages (DEP), and a relocatable image loaded at a
# random address (ASLR, with the 64-bit high-entropy range for PE32+ images). Each package is
# opened as it reaches a machine: the zip unpacked, the MSI's files and the rows of its Binary
# table read with msitools, the NSIS installer with 7-Zip, which also rebuilds the uninstaller the
# installer writes (byte for byte what makensis makes of it) and gives the plugins NSIS packs in.
#
# One exception, asserted exactly so that a change is noticed: an image made from Debian's NSIS
# stub (the installer and its uninstaller) has DEP, but its relocations are stripped, so Windows
# loads it at its fixed base whatever its DYNAMIC_BASE bit says. Debian links the stub with
# --disable-reloc-section, as NSIS does: its link puts .reloc after .ndata, and makensis, growing
# .ndata, moves what follows without updating the relocation directory. Should such an image keep
# its relocations, this check fails until the exception goes.
#
#   pe_hardening.sh OBJDUMP [--exe EXE] [--zip ZIP] [--installer SETUP.EXE] [--msi MSI]
set -euo pipefail
objdump="$1"
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $*" >&2
  failures=$((failures + 1))
}

# A PE file written by makensis: NSIS's first header (flags, then 0xDEADBEEF and "NullsoftInst")
# starts where the stub's last section in the file ends, at the next 512 bytes.
made_by_nsis() {
  local end=0 offset size
  while read -r offset size; do
    [ $((16#$offset + 16#$size)) -le $end ] || end=$((16#$offset + 16#$size))
  done < <("$objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ && $6 !~ /^0+$/ { print $6, $3 }')
  LC_ALL=C grep -obaF $'\xef\xbe\xad\xdeNullsoftInst' "$1" | grep -q "^$(((end + 511) / 512 * 512 + 4)):"
}
is_pe() { [ "$(od -An -c -N2 "$1" | tr -d ' ')" = MZ ]; }

# check FILE NAME: the header's protections, or the stub's exact state.
check() {
  local header dll image magic reloc
  header=$("$objdump" -p "$1")
  dll=$(echo "$header" | sed -nE 's/^DllCharacteristics\s+([0-9a-fA-F]+).*/\1/p')
  image=$(echo "$header" | sed -nE 's/^Characteristics\s+0x([0-9a-fA-F]+).*/\1/p')
  magic=$(echo "$header" | sed -nE 's/^Magic\s+([0-9a-fA-F]+).*/\1/p')
  reloc=$(echo "$header" | sed -nE 's/^Entry 5 [0-9a-fA-F]+ ([0-9a-fA-F]+) Base Relocation Directory.*/\1/p')
  if [ -z "$dll" ] || [ -z "$image" ] || [ -z "$reloc" ]; then
    fail "$2: no PE header objdump can read"
    return
  fi
  local state
  state=$(printf 'DllCharacteristics 0x%04x, Characteristics 0x%04x, %d bytes of relocations' \
    $((16#$dll)) $((16#$image)) $((16#$reloc)))
  local before=$failures
  [ $((16#$dll & 0x0100)) -ne 0 ] || fail "$2: no NX_COMPAT (DEP)"
  # The image moves only with its relocations: the flag that strips them clear, and the table there.
  local relocatable=0
  if [ $((16#$image & 0x0001)) -eq 0 ] && [ $((16#$reloc)) -ne 0 ]; then relocatable=1; fi
  if made_by_nsis "$1"; then
    if [ $relocatable -eq 1 ]; then
      fail "$2: made from an NSIS stub that now keeps its relocations; drop the stub's exception" \
        "and require ASLR of it ($state)"
    elif [ $((16#$image & 0x0001)) -eq 0 ] || [ $((16#$reloc)) -ne 0 ]; then
      fail "$2: made from an NSIS stub whose relocations are neither stripped nor kept ($state)"
    fi
    [ $failures -ne "$before" ] || echo "ok   $2: DEP; NSIS stub, relocations stripped, fixed base ($state)"
    return
  fi
  [ $relocatable -eq 1 ] || fail "$2: relocations stripped, the image cannot move ($state)"
  [ $((16#$dll & 0x0040)) -ne 0 ] || fail "$2: no DYNAMIC_BASE (ASLR)"
  # PE32+ (magic 020b) images can take the high-entropy range; PE32 ones cannot.
  if [ "$magic" = 020b ] && [ $((16#$dll & 0x0020)) -eq 0 ]; then fail "$2: no HIGH_ENTROPY_VA"; fi
  [ $failures -ne "$before" ] || echo "ok   $2: DEP, ASLR, relocations kept ($state)"
}

# check_all DIR PACKAGE NAME...: every PE file unpacked into DIR, which must hold a PE file of each
# NAME.
check_all() {
  local dir="$1" package="$2"
  shift 2
  local file name
  for name in "$@"; do
    file=$(find "$dir" -type f -name "$name" -print -quit)
    if [ -z "$file" ] || ! is_pe "$file"; then fail "$package: carries no $name"; fi
  done
  while IFS= read -r -d '' file; do
    if is_pe "$file"; then check "$file" "$package: ${file#"$dir"/}"; fi
  done < <(find "$dir" -type f -print0 | sort -z)
}

while [ $# -gt 0 ]; do
  kind="$1" package="$2"
  shift 2
  dir="$work/$kind"
  mkdir -p "$dir"
  case "$kind" in
    --exe)
      check "$package" "$(basename "$package")"
      ;;
    --zip)
      unzip -q "$package" -d "$dir"
      check_all "$dir" "$(basename "$package")" varnlet.exe
      ;;
    --installer)
      check "$package" "$(basename "$package")"
      made_by_nsis "$package" || fail "$(basename "$package"): not made by makensis"
      7zz x -bso0 -bsp0 -o"$dir" "$package"
      check_all "$dir" "$(basename "$package")" varnlet.exe varnlet_setup.dll
      # The uninstaller is the one other file made from the stub.
      uninstallers=0
      while IFS= read -r -d '' file; do
        if is_pe "$file" && made_by_nsis "$file"; then uninstallers=$((uninstallers + 1)); fi
      done < <(find "$dir" -type f -print0)
      [ $uninstallers -eq 1 ] || fail "$(basename "$package"): writes $uninstallers uninstallers, not 1"
      ;;
    --msi)
      msiextract -C "$dir/files" "$package" >/dev/null
      # Every stream besides: each row of the Binary table, which custom actions load, is one
      # ("Binary.<name>").
      msidump -s -d "$dir" "$package" >/dev/null
      check_all "$dir" "$(basename "$package")" varnlet.exe 'Binary.*'
      ;;
    *)
      echo "unknown option $kind" >&2
      exit 2
      ;;
  esac
done
[ $failures -eq 0 ] || exit 1

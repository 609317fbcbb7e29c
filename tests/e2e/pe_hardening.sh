#!/usr/bin/env bash
# The exe keeps the protections Windows applies only when the PE header asks for them: a
# relocatable image loaded at a random address (ASLR, with the 64-bit high-entropy range on
# x64) and no code run from data pages (DEP).
set -euo pipefail
objdump="$1" exe="$2"
header=$("$objdump" -p "$exe")
flags=$(echo "$header" | sed -nE 's/^DllCharacteristics\s+([0-9a-fA-F]+).*/\1/p')
magic=$(echo "$header" | sed -nE 's/^Magic\s+([0-9a-fA-F]+).*/\1/p')
[ -n "$flags" ] || { echo "no DllCharacteristics in the header" >&2; exit 1; }
echo "DllCharacteristics 0x$flags, magic $magic"
need() {
  [ $((16#$flags & $1)) -ne 0 ] || { echo "missing: $2" >&2; exit 1; }
}
need 0x0040 "DYNAMIC_BASE (ASLR)"
need 0x0100 "NX_COMPAT (DEP)"
# PE32+ (magic 020b) images can take the high-entropy range; PE32 ones cannot.
if [ "$magic" = 020b ]; then need 0x0020 "HIGH_ENTROPY_VA"; fi
# ASLR needs the relocations to stay in the file (IMAGE_FILE_RELOCS_STRIPPED clear).
image=$(echo "$header" | sed -nE 's/^Characteristics\s+0x([0-9a-fA-F]+).*/\1/p')
[ $((16#$image & 0x0001)) -eq 0 ] || { echo "relocations stripped: the image cannot move" >&2; exit 1; }

#!/usr/bin/env bash
# Figure: the stripped exe's size for both architectures and the DLLs it imports, against the
# minimal tray program built with the same compiler and flags, and where the bytes go (sections).
# Targets: at most 192 KiB for x64 and 248 KiB for x86, system DLLs only. Needs both builds
# (cmake --build --preset win64 and --preset win32). Where VARNLET_BEFORE_DIR holds Varnlet's exes
# before a change (bench/common.sh), their sizes and sections too.
source "$(dirname "$0")/common.sh"
machine
echo "figure: stripped size and imports (targets: x64 at most 192 KiB, x86 at most 248 KiB, system DLLs only)"
for arch in win64 win32; do
  tree="$root/build/$arch"
  [ -f "$tree/packaging/stage/varnlet.exe" ] || fail "build $arch first: cmake --build --preset $arch"
  objdump=$(sed -nE 's/^CMAKE_OBJDUMP:FILEPATH=(.*)/\1/p' "$tree/CMakeCache.txt")
  strip=$(sed -nE 's/^CMAKE_STRIP:FILEPATH=(.*)/\1/p' "$tree/CMakeCache.txt")
  "$strip" --strip-all -o "$WORK/minimal-$arch.exe" "$tree/bench/minimal_tray.exe"
  size=$(stat -c %s "$tree/packaging/stage/varnlet.exe")
  base=$(stat -c %s "$WORK/minimal-$arch.exe")
  printf '%s: varnlet.exe %d bytes (%.1f KiB); minimal tray program %d bytes (%.1f KiB); ratio %s\n' \
    "$arch" "$size" "$(ratio "$size" 1024)" "$base" "$(ratio "$base" 1024)" "$(ratio "$size" "$base")"
  echo "$arch: sections (bytes): $("$objdump" -h "$tree/packaging/stage/varnlet.exe" |
    while read -r index name bytes _; do [[ $index =~ ^[0-9]+$ ]] && printf '%s %d, ' "$name" "$((16#$bytes))"; done)"
  before="${VARNLET_BEFORE_DIR:+$VARNLET_BEFORE_DIR/$arch/varnlet.exe}"
  if [ -n "$before" ]; then
    [ -f "$before" ] || fail "$before is missing: bench/evidence.sh --before REV builds it"
    printf '%s: %s: varnlet.exe %d bytes (%.1f KiB)\n' "$arch" "$BEFORE_NAME" "$(stat -c %s "$before")" \
      "$(ratio "$(stat -c %s "$before")" 1024)"
    echo "$arch: $BEFORE_NAME: sections (bytes): $("$objdump" -h "$before" |
      while read -r index name bytes _; do [[ $index =~ ^[0-9]+$ ]] && printf '%s %d, ' "$name" "$((16#$bytes))"; done)"
  fi
  echo -n "$arch: varnlet.exe "
  bash "$root/tests/e2e/system_dlls_only.sh" "$objdump" "$tree/packaging/stage/varnlet.exe"
  echo -n "$arch: minimal tray program "
  bash "$root/tests/e2e/system_dlls_only.sh" "$objdump" "$WORK/minimal-$arch.exe"
done
for pair in win64:192 win32:248; do
  arch=${pair%:*} target=${pair#*:}
  size=$(stat -c %s "$root/build/$arch/packaging/stage/varnlet.exe")
  if [ "$size" -le $((target * 1024)) ]; then
    echo "$arch target met: $(ratio "$size" 1024) KiB <= $target KiB"
  else
    echo "$arch target MISSED: $(ratio "$size" 1024) KiB > $target KiB"
  fi
done

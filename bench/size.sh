#!/usr/bin/env bash
# Figure: the stripped exe's size for both architectures and the DLLs it imports, against the
# minimal tray program built with the same compiler and flags. Target: at most 400 KiB for x64,
# system DLLs only. Needs both builds (cmake --build --preset win64 and --preset win32).
source "$(dirname "$0")/common.sh"
machine
echo "figure: stripped size and imports (target: x64 at most 400 KiB, system DLLs only)"
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
  echo -n "$arch: varnlet.exe "
  bash "$root/tests/e2e/system_dlls_only.sh" "$objdump" "$tree/packaging/stage/varnlet.exe"
  echo -n "$arch: minimal tray program "
  bash "$root/tests/e2e/system_dlls_only.sh" "$objdump" "$WORK/minimal-$arch.exe"
done
size=$(stat -c %s "$root/build/win64/packaging/stage/varnlet.exe")
if [ "$size" -le $((400 * 1024)) ]; then
  echo "x64 target met: $(ratio "$size" 1024) KiB <= 400 KiB"
else
  echo "x64 target MISSED: $(ratio "$size" 1024) KiB > 400 KiB"
fi

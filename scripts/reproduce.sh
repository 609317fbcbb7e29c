#!/usr/bin/env bash
# Builds the packages of the current commit as a packager would, twice, and compares every file
# byte for byte: varnlet.exe, the zip, the NSIS installer, the MSI and SHA256SUMS. Each build is a
# fresh clone in a folder of its own name, with its own umask, configured and built with the plain
# cmake --preset and cmake --build commands and nothing in the environment (no SOURCE_DATE_EPOCH,
# no key); the second starts at least a minute after the first, so a clock's time anywhere in a
# package shows.
# Fails on any difference. With --sign, it then runs scripts/rehearse_release.sh on the second tree.
#   scripts/reproduce.sh [--sign] [x64] [x86]        (default: x64 and x86)
# Only committed files are built: commit first.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
sign=0
if [ "${1:-}" = --sign ]; then sign=1; shift; fi
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x64 x86)
preset_of() { if [ "$1" = x64 ]; then echo win64; else echo win32; fi; }

# What a packager's shell would not have.
unset SOURCE_DATE_EPOCH VARNLET_RELEASE VARNLET_SIGN_PKCS12 VARNLET_SIGN_PASSWORD VARNLET_SIGN_TIMESTAMP_URL \
  VARNLET_SIGN_PKCS11_MODULE VARNLET_SIGN_PKCS11_KEY VARNLET_SIGN_CERT
work="$(mktemp -d /tmp/varnlet-reproduce.XXXXXX)"
trap 'for t in "$work"/*/src/build/*/; do [ ! -x "$t/wine-run" ] || "$t/wine-run" --stop; done; rm -rf "$work"' EXIT
commit="$(git rev-parse HEAD)"
echo "reproduce: ${commit:0:7}, ${arches[*]}, plain builds of two clones"

# clone NAME: a fresh clone of the commit in $work/NAME/src.
clone() {
  git init -q "$work/$1/src"
  git -C "$work/$1/src" fetch -q --depth 1 "file://$root" "$commit"
  git -C "$work/$1/src" checkout -q FETCH_HEAD
}
# build NAME UMASK ARCH: the plain configure and build commands in $work/NAME/src.
build() {
  local name="$1" mask="$2" arch="$3" preset start=$SECONDS
  preset="$(preset_of "$arch")"
  (
    umask "$mask"
    cd "$work/$name/src"
    cmake --preset "$preset" >"$work/$name-$arch-configure.log"
    cmake --build --preset "$preset" --target packages >"$work/$name-$arch-build.log"
  ) || { cat "$work/$name-$arch-configure.log" "$work/$name-$arch-build.log" >&2; exit 1; }
  echo "reproduce: $arch: $name built in $((SECONDS - start)) s"
}

first=$SECONDS
clone one
for arch in "${arches[@]}"; do build one 022 "$arch"; done
clone second-tree
# Both builds within one minute could share every clock-derived byte by chance.
while [ $((SECONDS - first)) -lt 61 ]; do sleep 1; done
for arch in "${arches[@]}"; do build second-tree 002 "$arch"; done

status=0
for arch in "${arches[@]}"; do
  preset="$(preset_of "$arch")"
  a="$work/one/src/build/$preset/packages" b="$work/second-tree/src/build/$preset/packages"
  [ "$(grep -c '^-- Not signing' "$work/one-$arch-configure.log")" -eq 1 ] ||
    { echo "reproduce: the unsigned build does not say so in one line" >&2; status=1; }
  while read -r file; do
    if cmp -s "$a/$file" "$b/$file"; then
      echo "  same      $(sha256sum <"$a/$file" | cut -c1-16)  $arch: $file"
    else
      echo "  DIFFERENT $arch: $file"
      status=1
    fi
  done < <(cd "$a" && find . -type f | sed 's|^\./||' | sort)
  # The PE header's time is the commit's, not the clock's nor a fallback.
  stamp="$(python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); print(struct.unpack_from("<I", d, struct.unpack_from("<I", d, 0x3c)[0] + 8)[0])' "$a/$arch/varnlet.exe")"
  [ "$stamp" = "$(git log -1 --format=%ct "$commit")" ] ||
    { echo "reproduce: $arch: varnlet.exe is dated $stamp, not by the commit" >&2; status=1; }
  [ "$(cd "$a" && find . -type f | sort)" = "$(cd "$b" && find . -type f | sort)" ] ||
    { echo "reproduce: $arch: the two builds made different files" >&2; status=1; }
done
[ "$status" -eq 0 ] || { echo "reproduce: FAILED, the builds differ" >&2; exit 1; }
echo "reproduce: identical packages from two plain builds in $((SECONDS - first)) s"

[ "$sign" -eq 1 ] || exit 0
scripts/rehearse_release.sh --tree "$work/second-tree/src" "${arches[@]}"

#!/usr/bin/env bash
# Builds the packages of the current commit twice, from two exports of it in different folders
# (and with different umasks), one after the other, and compares every file byte for byte:
# varnlet.exe, the zip, the NSIS installer, the MSI and SHA256SUMS. Fails on any difference.
# With --sign, it then signs the second build with a throwaway self-signed certificate and checks
# every signature (exe, installer, the uninstaller it installs, MSI) with `osslsigncode verify`.
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

export SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
unset VARNLET_SIGN_PKCS12 VARNLET_SIGN_PASSWORD VARNLET_SIGN_TIMESTAMP_URL
work="$(mktemp -d /tmp/varnlet-reproduce.XXXXXX)"
trap 'for t in "$work"/*/src/build/*/; do [ ! -x "$t/wine-run" ] || "$t/wine-run" --stop; done; rm -rf "$work"' EXIT
echo "reproduce: $(git rev-parse --short HEAD), SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, ${arches[*]}"

# build NAME UMASK ARCH: exports the commit to $work/NAME/src and builds the packages there.
build() {
  local name="$1" mask="$2" preset
  preset="$(preset_of "$3")"
  mkdir -p "$work/$name/src"
  git archive HEAD | tar -x -C "$work/$name/src"
  (
    umask "$mask"
    cd "$work/$name/src"
    cmake --preset "$preset" -DVARNLET_TESTS=OFF >"$work/$name-$3-configure.log"
    cmake --build --preset "$preset" --target packages >"$work/$name-$3-build.log"
  ) || { cat "$work/$name-$3-configure.log" "$work/$name-$3-build.log" >&2; exit 1; }
}

status=0
for arch in "${arches[@]}"; do
  preset="$(preset_of "$arch")"
  start=$SECONDS
  build one 022 "$arch"
  build second-tree 002 "$arch"
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
  [ "$(cd "$a" && find . -type f | sort)" = "$(cd "$b" && find . -type f | sort)" ] ||
    { echo "reproduce: $arch: the two builds made different files" >&2; status=1; }
  echo "reproduce: $arch: two builds in $((SECONDS - start)) s"
done
[ "$status" -eq 0 ] || { echo "reproduce: FAILED, the builds differ" >&2; exit 1; }

[ "$sign" -eq 1 ] || exit 0
# A throwaway certificate for code signing, and the second build signed with it.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=Varnlet throwaway test signer' \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
export VARNLET_SIGN_PASSWORD="throwaway-$RANDOM"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.p12" \
  -passout env:VARNLET_SIGN_PASSWORD
verify() {
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1 &&
     grep -q 'Message digest algorithm *: SHA256' "$work/verify.log"; then
    echo "  signed    $2"
  else
    cat "$work/verify.log" >&2
    echo "reproduce: FAILED, no valid SHA-256 signature on $2" >&2
    exit 1
  fi
}
for arch in "${arches[@]}"; do
  preset="$(preset_of "$arch")"
  tree="$work/second-tree/src/build/$preset"
  VARNLET_SIGN_PKCS12="$work/signer.p12" cmake --preset "$preset" -S "$work/second-tree/src" >"$work/sign-configure.log"
  grep -q '^-- Signing ' "$work/sign-configure.log" || { echo "reproduce: signing not configured" >&2; exit 1; }
  cmake --build "$tree" --target packages >"$work/sign-build.log" || { cat "$work/sign-build.log" >&2; exit 1; }
  for file in "$arch/varnlet.exe" "varnlet-1.0-$arch-setup.exe" "varnlet-1.0-$arch.msi"; do
    verify "$tree/packages/$file" "$arch: $file"
  done
  (cd "$tree/packages" && sha256sum --quiet -c SHA256SUMS) || { echo "reproduce: SHA256SUMS is stale" >&2; exit 1; }
  # The uninstaller exists only once installed: install into the tree's own Wine prefix.
  "$tree/wine-run" "$(echo "Z:$tree/packages/varnlet-1.0-$arch-setup.exe" | tr / '\\')" /S '/D=C:\varnlet-signed'
  verify "$tree/wineprefix/drive_c/varnlet-signed/uninstall.exe" "$arch: uninstall.exe, as installed"
  "$tree/wine-run" --stop
done
echo "reproduce: every signature verifies against the throwaway certificate"

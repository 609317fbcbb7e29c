#!/usr/bin/env bash
# A release made as a publisher makes it, with throwaway keys, checked end to end:
# - the signing key lives in a SoftHSM2 token (imported, then deleted from disk: only the
#   certificate chain stays on disk), and a time-stamping authority answers on 127.0.0.1;
# - VARNLET_RELEASE=1 without a key or a time-stamping service stops the configure step, naming both;
# - VARNLET_RELEASE=1 with the token and the authority builds, and every package (varnlet.exe, the
#   installer, the uninstaller it installs, the MSI; the zip carries the exe) has a SHA-256
#   signature by the token's key that verifies against the test root, with a time stamp that
#   verifies too and keeps the signature valid after the certificate has expired;
# - the signature check passes those packages, verified against the test root and the certificate
#   the build's signing configuration names, and a PKCS#12 file signs as well; the signature check
#   refuses, naming it and why, a file without a time stamp, an unsigned one, a signed exe altered
#   after signing, one whose signer chains to another root, one whose time stamp does, and one
#   signed by another certificate of the same root;
# - the builds' winget and Scoop manifests, written together for the release, are complete and
#   name the signed packages, are said not publishable with the example addresses (a submission
#   is then refused, and prepared with real ones), and the manifest check refuses a broken copy
#   for each rule of the formats and of the clients;
# - a submission, and the manifest check of one, refuse packages unsigned or signed by another
#   certificate (of the same root, of another), a build without a key, and http, ftp and loopback
#   addresses in the spellings parsers accept.
#   scripts/rehearse_release.sh [--tree SRC] [x64] [x86]        (default: x64)
# SRC: a clone already built in (reproduce.sh --sign passes its own); otherwise a fresh clone of HEAD.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
source scripts/lib32.sh
src=""
if [ "${1:-}" = --tree ]; then src="$2"; shift 2; fi
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x64)
preset_of() { if [ "$1" = x64 ]; then echo win64; else echo win32; fi; }
unset SOURCE_DATE_EPOCH VARNLET_RELEASE VARNLET_SIGN_PKCS12 VARNLET_SIGN_PASSWORD VARNLET_SIGN_TIMESTAMP_URL \
  VARNLET_SIGN_PKCS11_MODULE VARNLET_SIGN_PKCS11_KEY VARNLET_SIGN_CERT VARNLET_SIGN_CAFILE

start=$SECONDS
work="$(mktemp -d /tmp/varnlet-release.XXXXXX)"
tsa_pid=""
cleanup() {
  [ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null || true
  for t in "${src:-$work/src}"/build/*/; do [ ! -x "$t/wine-run" ] || "$t/wine-run" --stop; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "rehearse_release: FAILED, $*" >&2; exit 1; }
# Runs a tool whose chatter matters only when it fails.
quiet() { "$@" >"$work/tool.log" 2>&1 || { cat "$work/tool.log" >&2; fail "$1 failed"; }; }
if [ -z "$src" ]; then
  src="$work/src"
  git init -q "$src"
  git -C "$src" fetch -q --depth 1 "file://$root" "$(git rev-parse HEAD)"
  git -C "$src" checkout -q FETCH_HEAD
fi

# A test root, which issues the code-signing certificate, the PKCS#12 file's and the authority's;
# and another root, which the signature check must not trust.
cd "$work"
# new_root NAME SUBJECT: NAME.key and NAME.pem, valid two days.
new_root() {
  quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign -keyout "$1.key" -out "$1.pem"
}
new_root root 'Varnlet test root'
new_root other-root 'Another test root'
# issue NAME SUBJECT EXTENDED-KEY-USAGE [ROOT]: NAME.key and NAME.pem, issued by ROOT (the test
# root), valid two days.
issue() {
  printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$1.ext"
  quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1.key" -out "$1.csr"
  quiet openssl x509 -req -in "$1.csr" -CA "${4:-root}.pem" -CAkey "${4:-root}.key" -days 2 -extfile "$1.ext" -out "$1.pem"
}
issue signer 'Varnlet test signer' codeSigning
issue file-signer 'Varnlet test file signer' codeSigning
issue tsa 'Varnlet test time-stamping authority' critical,timeStamping
issue other-signer 'Another signer' codeSigning other-root
issue other-tsa 'Another time-stamping authority' critical,timeStamping other-root
after_expiry=$(($(date +%s) + 3 * 86400))

# The token: the signer's key goes in and leaves the disk.
export SOFTHSM2_CONF="$work/softhsm2.conf"
mkdir tokens
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$work/tokens" >"$SOFTHSM2_CONF"
pin="$RANDOM$RANDOM"
quiet softhsm2-util --init-token --free --label varnlet-release --pin "$pin" --so-pin "$pin$pin"
quiet openssl pkcs8 -topk8 -nocrypt -in signer.key -out signer.p8
quiet softhsm2-util --import signer.p8 --token varnlet-release --label code-signing --id 01 --pin "$pin"
rm signer.key signer.p8
cat signer.pem root.pem >chain.pem
module=""
for m in /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so; do [ -f "$m" ] && module="$m" && break; done
[ -n "$module" ] || fail "no SoftHSM2 module (Debian: softhsm2)"

# The authority.
echo 01 >tsa.serial
cat >tsa.cnf <<EOF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $work/tsa.serial
crypto_device = builtin
signer_cert = $work/tsa.pem
certs = $work/root.pem
signer_key = $work/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
python3 "$root/scripts/test_tsa.py" tsa.cnf tsa.port 2>tsa.log &
tsa_pid=$!
for _ in $(seq 100); do [ -s tsa.port ] || ! kill -0 "$tsa_pid" 2>/dev/null && break; sleep 0.1; done
[ -s tsa.port ] || { cat tsa.log >&2; fail "the time-stamping authority did not start"; }
tsa_url="http://127.0.0.1:$(cat tsa.port)/"
echo "rehearse_release: token and time-stamping authority up in $((SECONDS - start)) s"

# verify FILE LABEL: a SHA-256 signature by the token's key, verifying against the root, with a
# time stamp that verifies against it too: verified as of after the certificates expire, it holds
# only through the time stamp.
verify() {
  if osslsigncode verify -CAfile root.pem -TSA-CAfile root.pem -time "$after_expiry" -in "$1" >verify.log 2>&1 &&
     grep -q 'Message digest algorithm *: SHA256' verify.log &&
     grep -q 'Subject: /CN=Varnlet test signer$' verify.log &&
     grep -q 'Timestamp Server Signature verification: ok' verify.log; then
    echo "  signed, time-stamped  $2"
  else
    cat verify.log >&2
    fail "no valid time-stamped signature by the token's key on $2"
  fi
}

for arch in "${arches[@]}"; do
  preset="$(preset_of "$arch")"
  tree="$src/build/$preset"
  packages="$tree/packages"
  if (cd "$src" && VARNLET_RELEASE=1 cmake --preset "$preset") >refused.log 2>&1; then
    fail "$arch: VARNLET_RELEASE=1 configured without a key"
  fi
  # CMake wraps the message.
  refusal="$(tr -s ' \n' '  ' <refused.log | grep -o 'VARNLET_RELEASE=1 but [^.]*\. Missing: [^.]*\.' || true)"
  [[ "$refusal" = *"Missing: a signing key ("*"); a time-stamping service (VARNLET_SIGN_TIMESTAMP_URL)." ]] ||
    { cat refused.log >&2; fail "$arch: the refused release does not say what is missing"; }
  echo "  refused               $arch: $refusal"
  (
    cd "$src"
    export VARNLET_RELEASE=1 VARNLET_SIGN_PKCS11_MODULE="$module" VARNLET_SIGN_CERT="$work/chain.pem" \
      VARNLET_SIGN_PKCS11_KEY='pkcs11:token=varnlet-release;object=code-signing;type=private' \
      VARNLET_SIGN_TIMESTAMP_URL="$tsa_url" VARNLET_SIGN_CAFILE="$work/root.pem"
    cmake --preset "$preset" >"$work/configure.log"
    VARNLET_SIGN_PASSWORD="$pin" cmake --build "$tree" --target packages >"$work/build.log"
  ) || { cat configure.log build.log tsa.log >&2 2>/dev/null; fail "$arch: the signed release did not build"; }
  grep -q "^-- Signing .* with the token's key pkcs11:.*, time-stamped by $tsa_url" configure.log ||
    fail "$arch: the configure step does not say it signs with the token"
  # The version the packages are named with, as the build has it.
  version="$(source "$tree/varnlet-facts.sh" && echo "$VARNLET_VERSION")"
  signed=("$packages/$arch/varnlet.exe" "$packages/varnlet-$version-$arch-setup.exe" "$packages/varnlet-$version-$arch.msi")
  for file in "${signed[@]}"; do
    verify "$file" "$arch: ${file#"$packages/"}"
  done
  VARNLET_SIGN_CAFILE=root.pem "$src/packaging/verify_signatures.sh" 1 "$tree/packaging/signing.conf" "${signed[@]}" \
    2>refusal.log ||
    { cat refusal.log >&2; fail "$arch: the signature check refused the genuine packages"; }
  echo "  passed                $arch: the signature check, on the three"
  unzip -p "$packages/varnlet-$version-$arch.zip" varnlet.exe | cmp -s - "$packages/$arch/varnlet.exe" ||
    fail "$arch: the zip does not carry the signed exe"
  (cd "$packages" && sha256sum --quiet -c SHA256SUMS) || fail "$arch: SHA256SUMS is stale"
  # The uninstaller the installer writes, as 7-Zip rebuilds it from the installer byte for byte
  # (the one a silent install writes; the shipped installer's checks refuse every folder under
  # Wine, where no file has an owner of its own, so it cannot be installed here).
  rm -rf "$work/unpacked"
  7zz e -bso0 -bsp0 -o"$work/unpacked" "$packages/varnlet-$version-$arch-setup.exe" uninstall.exe ||
    fail "$arch: no uninstaller in the installer"
  verify "$work/unpacked/uninstall.exe" "$arch: uninstall.exe, as the installer writes it"
done

# The PKCS#12 path, on the plain exe, without a time stamp.
# p12 NAME ROOT TIMESTAMP-URL: NAME.conf, signing with NAME's key and chain, time-stamped if the
# URL is not empty.
p12() {
  quiet openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -certfile "$2.pem" -out "$1.p12" -passout "pass:$pin"
  printf 'pkcs12\n%s\n%s\n' "$3" "$work/$1.p12" >"$1.conf"
}
p12 file-signer root ""
# The name a signature gives the file it signs, as the build gives it: the build's title.
title="$(source "$tree/varnlet-facts.sh" && echo "$VARNLET_TITLE")"
for copy in file-signed unsigned stranger stray-stamp same-root; do cp "$tree/src/varnlet.exe" "$copy.exe"; done
VARNLET_SIGN_PASSWORD="$pin" "$src/packaging/sign.sh" file-signer.conf "$title" file-signed.exe
if ! osslsigncode verify -CAfile root.pem -in file-signed.exe >verify.log 2>&1 ||
   ! grep -q 'Subject: /CN=Varnlet test file signer$' verify.log; then
  cat verify.log >&2
  fail "the PKCS#12 file does not sign"
fi
echo "  signed                PKCS#12: varnlet.exe"
# What else the signature check must refuse: the exe signed by the other root's signer; signed and
# time-stamped as a release is, but by the file signer, not the release's certificate; signed by the
# file signer but time-stamped by an authority of the other root (the authority reads its
# configuration afresh for each request); the genuine exe with one byte changed in what its
# signature covers (the DOS stub's text).
p12 other-signer other-root "$tsa_url"
VARNLET_SIGN_PASSWORD="$pin" "$src/packaging/sign.sh" other-signer.conf "$title" stranger.exe
p12 file-signer root "$tsa_url"
VARNLET_SIGN_PASSWORD="$pin" "$src/packaging/sign.sh" file-signer.conf "$title" same-root.exe
cp tsa.cnf own-tsa.cnf
sed -i 's|/tsa\.pem$|/other-tsa.pem|; s|/tsa\.key$|/other-tsa.key|; s|/root\.pem$|/other-root.pem|' tsa.cnf
p12 file-signer root "$tsa_url"
VARNLET_SIGN_PASSWORD="$pin" "$src/packaging/sign.sh" file-signer.conf "$title" stray-stamp.exe
cp own-tsa.cnf tsa.cnf
cp "$packages/$arch/varnlet.exe" altered.exe
at="$(grep -obUa 'DOS mode' altered.exe | head -1 | cut -d: -f1)"
printf d | dd of=altered.exe bs=1 seek="$at" conv=notrunc status=none
fp() { "$src/packaging/verify_signatures.sh" --fingerprint "$1"; }
not_ours="not by the release's certificate (SHA-256 $(fp signer.pem))"
# SIGNER|FILE|WHY: the signature check, trusting only the test root and SIGNER's certificate,
# refuses FILE alone, saying WHY.
for refusal in \
  "file-signer.pem|file-signed.exe|file-signed.exe has no time stamp" \
  "signer.pem|unsigned.exe|unsigned.exe is not signed" \
  "signer.pem|altered.exe|altered.exe was altered after signing (its digest is not the one signed)" \
  "other-signer.pem|stranger.exe|stranger.exe is signed by a certificate that does not verify against the roots in root.pem (Certificate not found in local repository: self-signed certificate in certificate chain)" \
  "file-signer.pem|stray-stamp.exe|stray-stamp.exe's time stamp does not verify against the roots in root.pem" \
  "signer.pem|same-root.exe|same-root.exe is signed by CN = Varnlet test file signer (SHA-256 $(fp file-signer.pem)), $not_ours"; do
  IFS='|' read -r signer file why <<<"$refusal"
  if VARNLET_SIGN_CAFILE=root.pem "$src/packaging/verify_signatures.sh" 1 "$signer" "$file" 2>refusal.log; then
    fail "the signature check let $file through"
  fi
  [ "$(cat refusal.log)" = "VARNLET_RELEASE=1: not a release, $why." ] ||
    { cat refusal.log >&2; fail "the signature check does not say why it refuses $file"; }
  echo "  refused               $(cat refusal.log)"
done
# The release's manifests: one winget folder and one Scoop manifest for every architecture built,
# from the facts each build wrote of its signed packages, checked as the repositories would. The
# build's reserved addresses make them unpublishable: the check says so, and the step that prepares
# a submission refuses them, and takes real ones.
facts=() folders=()
for arch in "${arches[@]}"; do
  packages="$src/build/$(preset_of "$arch")/packages"
  facts+=("$packages/manifests/facts-$arch.json") folders+=("$packages")
done
python3 "$src/packaging/manifests.py" write release "${facts[@]}" || fail "the release's manifests were not written"
python3 "$src/scripts/check_manifests.py" release "${folders[@]}" >check.log 2>&1 || { cat check.log >&2; fail "the release's manifests"; }
echo "  complete              manifests of ${arches[*]}: $(find release/winget -name '*.yaml' | wc -l) winget files, Scoop's varnlet.json"
grep -q '^check_manifests: NOT PUBLISHABLE until the addresses are real: releases.varnlet.example ' check.log ||
  { cat check.log >&2; fail "the manifest check does not say that the example addresses are not publishable"; }
echo "  not publishable       $(grep -o 'releases.varnlet.example [^;]*' check.log)"
if python3 "$src/packaging/manifests.py" submission submission "${facts[@]}" 2>refusal.log ||
   ! grep -q '^manifests.py: not publishable, .*VARNLET_RELEASE_URL https://releases.varnlet.example: ' refusal.log; then
  cat refusal.log >&2
  fail "the submission was prepared with the example addresses"
fi
echo "  refused               submission with the example addresses"
# staged CASE: copies of the builds' packages (hard links) in CASE-<arch>/, whose facts name real
# addresses; tampered CASE FILE [CONF]: the first build's FILE there unsigned, or signed by CONF's key.
staged() {
  for arch in "${arches[@]}"; do
    cp -al "$src/build/$(preset_of "$arch")/packages" "$1-$arch"
    sed -i 's#https://releases.varnlet.example#https://releases.varnlet.org#; s#https://www.varnlet.example/#https://www.varnlet.org/#' \
      "$1-$arch/manifests/facts-$arch.json"
  done
}
tampered() {
  local file="$1-${arches[0]}/$2" old
  staged "$1"
  old="$(sha256sum <"$file" | cut -c1-64)"
  quiet osslsigncode remove-signature -in "$file" -out "$file.new"
  mv "$file.new" "$file"
  [ -z "${3:-}" ] || VARNLET_SIGN_PASSWORD="$pin" "$src/packaging/sign.sh" "$3" "$title" "$file"
  sed -i "s/${old^^}/$(sha256sum <"$file" | cut -c1-64 | tr a-f A-F)/" "$1-${arches[0]}/manifests/facts-${arches[0]}.json"
}
case_facts() { for arch in "${arches[@]}"; do echo "$1-$arch/manifests/facts-$arch.json"; done; }
export VARNLET_SIGN_CAFILE="$work/root.pem"
conf="$src/build/$(preset_of "${arches[0]}")/packaging/signing.conf"
staged real
mapfile -t real < <(case_facts real)
python3 "$src/packaging/manifests.py" submission submission "${real[@]}" || fail "no submission with real addresses"
python3 "$src/scripts/check_manifests.py" --signer "$conf" submission >check.log 2>&1 && ! grep -q 'NOT PUBLISHABLE' check.log ||
  { cat check.log >&2; fail "the submission's manifests"; }
(cd submission && sha256sum --quiet -c SHA256SUMS) || fail "the submission's SHA256SUMS"
echo "  complete              submission with real addresses, signed by the release's certificate"
# CASE|FROM|TO|WHY: a submission from builds whose facts have FROM (a sed pattern) changed to TO
# is refused, saying WHY; so are one with a package unsigned or signed by another certificate.
a="${arches[0]}" url=https://releases.varnlet.org
for row in "http|$url|http://releases.varnlet.org|URL http://releases.varnlet.org: http://releases.varnlet.org is not an https://" \
  "ftp|https://www.varnlet.org/|ftp://www.varnlet.org/|ftp://www.varnlet.org/ is not an https:// address" \
  "dotted|$url|https://127.0.0.1|127.0.0.1 is a loopback, private, link-local or reserved address" \
  "short|$url|https://127.1|127.1 is 127.0.0.1, a loopback" "hex|$url|https://0x7f.1|0x7f.1 is 127.0.0.1, a loopback" \
  "number|$url|https://2130706433|2130706433 is 127.0.0.1, a loopback" \
  "octal|$url|https://0177.0.0.1|0177.0.0.1 is 127.0.0.1, a loopback" "ipv6|$url|https://[::1]|[::1] is a loopback" \
  "mapped|$url|https://[::ffff:7f00:1]|[::ffff:7f00:1] is a loopback" "localhost|$url|https://localhost.|localhost is a name" \
  "user|$url|https://releases.varnlet.org@127.1|@127.1 is not an address every client reads alike" \
  "keyless|\"signer\": \"[0-9A-F]*\"|\"signer\": null|a build was made without a signing key" \
  "unsigned|||varnlet-$version-$a-setup.exe is not signed" \
  "same-root||file-signer.conf|varnlet-$version-$a.msi is signed by CN = Varnlet test file signer (SHA-256 $(fp file-signer.pem)), $not_ours" \
  "other-root||other-signer.conf|varnlet-$version-$a-setup.exe is signed by CN = Another signer"; do
  IFS='|' read -r name from to why <<<"$row"
  case "$name" in
    unsigned|other-root) tampered "$name" "varnlet-$version-$a-setup.exe" "$to" ;;
    same-root) tampered "$name" "varnlet-$version-$a.msi" "$to" ;;
    *) staged "$name"; for f in $(case_facts "$name"); do sed -i "s#$from#$to#" "$f"; done ;;
  esac
  mapfile -t facts < <(case_facts "$name")
  if python3 "$src/packaging/manifests.py" submission "$name.out" "${facts[@]}" 2>refusal.log ||
     ! grep -qF -- "$why" refusal.log || [ -e "$name.out" ]; then
    cat refusal.log >&2
    fail "the submission was not refused for: $why"
  fi
  said="$(sed 's/^manifests.py: not publishable, //; s/^.*cannot be reached: //; s/\. Configure the builds .*//' refusal.log)"
  echo "  refused               submission $name: $said"
  [ "$name" = unsigned ] || continue
  python3 "$src/packaging/manifests.py" write unsigned.manifests "${facts[@]}"
  if python3 "$src/scripts/check_manifests.py" --signer "$conf" unsigned.manifests unsigned-* 2>check.log ||
     ! grep -qF "$why" check.log; then
    cat check.log >&2
    fail "the manifest check passed an unsigned package"
  fi
  echo "  refused               manifest check: $why"
done
unset VARNLET_SIGN_CAFILE
# Every broken copy the manifest check must refuse, one a row: the file, the change, and the
# fault the check must name (None: a valid variant it must pass). In a change, d is the parsed
# file, n and w the installer file's nullsoft and wix entries, head its comment lines, tail text
# added at its end.
python3 - "$src/scripts/check_manifests.py" release "${folders[@]}" <<'EOF_ROWS' || fail "the manifest check"
import glob, json, shutil, subprocess, sys
import yaml
checker, release, folders = sys.argv[1], sys.argv[2], sys.argv[3:]
ROWS = [
    ('installer', "n['InstallerSha265'] = n.pop('InstallerSha256')", 'InstallerSha265 is no field of this format'),
    ('es-ES', "del d['License']", 'License is missing'),
    ('scoop', "d['homepage_url'] = d.pop('homepage')", 'homepage_url is no field of this format'),
    ('installer', "n['InstallerType'] = 'font'", 'InstallerType: "font" is none of'),
    ('installer', "n['ExpectedReturnCodes'][0]['ReturnResponse'] = 'missingDependencies'",
     '"missingDependencies" is none of'),
    ('installer', "n['ExpectedReturnCodes'][0]['ReturnResponse'] = 'missingDependency'", None),
    ('es-ES', "d['ShortDescription'] = 'x' * 300", 'ShortDescription: has 300 characters, not 3 to 256'),
    ('es-ES', "d['Moniker'] = 'm' * 41", 'Moniker: has 41 characters, not 1 to 40'),
    ('es-ES', "d['Tags'] = ['t' * 41]", 'Tags[0]: has 41 characters, not 1 to 40'),
    ('es-ES', "d['Tags'] = [f't{i}' for i in range(17)]", 'Tags: has 17 items, not 0 to 16'),
    ('es-ES', "d['Publisher'] = 'V'", 'Publisher: has 1 characters, not 2 to 256'),
    ('es-ES', "d['License'] = 'GP'", 'License: has 2 characters, not 3 to 512'),
    ('es-ES', "d['PackageUrl'] = 'ftp://ftp.varnlet.example/'", 'is not an http or https address'),
    ('installer', "d['MinimumOSVersion'] = 'Windows 7'", 'is not up to four dot-separated numbers'),
    ('en-US', "d['PackageLocale'] = 'en_US'", '"en_US" is not a language tag'),
    ('installer', "w['InstallerSwitches']['InstallLocation'] = ''", 'InstallLocation: has 0 characters, not 1 to 512'),
    ('installer', "n['ReleaseDate'] = '2025/01/02'", 'is no ISO date'),
    ('installer', "n['ExpectedReturnCodes'][0]['InstallerReturnCode'] = 5000000000", '5000000000 is not a non-zero'),
    ('installer', "w['AppsAndFeaturesEntries'] *= 2", 'AppsAndFeaturesEntries[1]: is given twice'),
    ('installer', "n['Markets'] = {'AllowedMarkets': ['ES'], 'ExcludedMarkets': ['US']}",
     'holds 2 of AllowedMarkets, ExcludedMarkets'),
    ('installer', "n['ExpectedReturnCodes'].append({'InstallerReturnCode': 3, 'ReturnResponse': 'custom'})",
     'the return code 3 is given twice'),
    ('installer', "head = head.replace('installer.1.10.0', 'locale.1.9.0')", 'its header names the schema'),
    ('installer', "tail = 'ManifestVersion: \"1.10.0\"\\n'", 'a key given twice'),
    ('installer', "n['Authentication'] = {'AuthenticationType': 'none'}", None),
    ('installer', "n['InstallerSwitches'] = {'Custom': '/AUTOSTART=1'}", 'sets the start-up choice at every upgrade'),
    ('scoop', "d['architecture']['64bit']['extract_to'] = 'bin'", '64bit: extract_to is no field of this format'),
    ('scoop', "d['checkver']['pattern'] = d['checkver'].pop('regex')", 'checkver: pattern is no field of this format'),
    ('scoop', "d['checkver'] = d['checkver']['regex']", None),
    ('scoop', "d['autoupdate']['hash']['algorithm'] = 'sha256'", 'hash: algorithm is no field of this format'),
    ('scoop', "d['shortcuts'] = [['varnlet.exe']]", 'shortcuts[0]: has 1 items, not 2 to 4'),
    ('scoop', "d['notes'] = {'es': 'Notas'}", "notes: {'es': 'Notas'} is not text or list"),
    ('scoop', "a = d['architecture']['64bit']; a['hash'] = 'sha256:' + a['hash']", None),
    # What the clients and the repositories' reviewers would misread.
    ('installer', "w['InstallerSwitches']['Silent'] = '/qn'", 'without /norestart'),
    ('installer', "n['InstallerSwitches'] = {'InstallLocation': '/D=<INSTALLPATH>'}", "is the client's own for nullsoft"),
    ('installer', "w['ExpectedReturnCodes'] = [{'InstallerReturnCode': 3010, 'ReturnResponse': 'rebootRequiredToFinish'}]",
     '3010 is one the client knows for wix'),
    ('installer', "w['ExpectedReturnCodes'] = [{'InstallerReturnCode': 1603, 'ReturnResponse': 'downgrade'}]",
     "1603 is Windows Installer's failure of any cause"),
    ('installer', "w['AppsAndFeaturesEntries'][0]['DisplayVersion'] = d['PackageVersion']", 'is what the client assumes'),
    ('installer', "w['AppsAndFeaturesEntries'][0]['InstallerType'] = 'wix'", '"wix" is what the client assumes'),
    ('installer', "d['MinimumOSVersion'] = '6.1.7600.0'", 'older than any Windows the client runs on'),
    ('scoop', "d = {'notes': d.pop('notes'), **d}", "not the Extras bucket's"),
    ('scoop', "d['checkver']['url'] = d['homepage']", 'is an index'),
]
FILES = {'installer': '*.installer.yaml', 'es-ES': '*.locale.es-ES.yaml', 'en-US': '*.locale.en-US.yaml',
         'scoop': 'varnlet.json'}
failed = 0
for kind, change, expected in ROWS:
    shutil.rmtree('broken', ignore_errors=True)
    shutil.copytree(release, 'broken')
    path = glob.glob(f'broken/**/{FILES[kind]}', recursive=True)[0]
    with open(path, encoding='utf-8') as f:
        source = f.read()
    scope = {'head': ''.join(line for line in source.splitlines(True) if line.startswith('#')), 'tail': ''}
    scope['d'] = json.loads(source) if kind == 'scoop' else yaml.safe_load(source)
    for entry in scope['d'].get('Installers', []):
        scope[entry['InstallerType'][0]] = entry
    exec(change, scope)
    with open(path, 'w', encoding='utf-8') as f:
        if kind == 'scoop':
            json.dump(scope['d'], f, indent=4, ensure_ascii=False)
        else:
            f.write(scope['head'] + '\n' + yaml.safe_dump(scope['d'], sort_keys=False, allow_unicode=True, width=4096)
                    + scope['tail'])
    run = subprocess.run([sys.executable, checker, 'broken', *folders], capture_output=True, text=True)
    said = run.stdout + run.stderr
    if expected is None and run.returncode == 0:
        print(f'  passed                {change}')
    elif expected is not None and run.returncode == 1 and expected in said:
        print(f'  refused               {next(line for line in said.splitlines() if expected in line)}')
    else:
        failed += 1
        print(f'rehearse_release: the manifest check {"refused" if run.returncode else "let through"} {change}, '
              f'expected {expected or "a pass"}:\n{said}', file=sys.stderr)
sys.exit(1 if failed else 0)
EOF_ROWS
echo "rehearse_release: every package signed by the token's key and time-stamped, ${arches[*]}, in $((SECONDS - start)) s"

#!/usr/bin/env bash
# Refuses a release that is not wholly signed by its own certificate: fails, with one message
# naming each FILE that fails and why, unless every FILE carries an Authenticode signature that
# verifies (the digest it signs is the file's own, and the signer's certificate chains to a trusted
# root), made with the release's own certificate, with an RFC 3161 time stamp that verifies too.
# RELEASE is 1 when the build was configured with VARNLET_RELEASE=1; the variable set when the
# build runs counts too. Otherwise it does nothing.
#   verify_signatures.sh RELEASE SIGNER FILE...
#   verify_signatures.sh --fingerprint SIGNER       prints the SHA-256 fingerprint SIGNER names
# SIGNER names the release's own certificate: the signing configuration the build wrote (CONF, as
# sign.sh reads it: for a token, the first certificate of its chain; for a PKCS#12 file, the one of
# its key, read with VARNLET_SIGN_PASSWORD), a PEM file whose first certificate it is, or its
# SHA-256 fingerprint in hexadecimal. Any other certificate fails, also one of the same root.
# The roots trusted, for the signer's chain and the time stamp's: those in the PEM file
# VARNLET_SIGN_CAFILE names, else this machine's (osslsigncode's default). The intermediates come
# from the signature itself, which carries the chain it was signed with.
set -euo pipefail

# The fingerprint of the certificate SIGNER names (upper-case hexadecimal, no colons), or a message
# on standard error and a failure.
fingerprint() {
  local signer="$1" pem
  if [[ "$signer" =~ ^([0-9A-Fa-f]{2}:?){31}[0-9A-Fa-f]{2}$ ]]; then
    tr -d : <<<"${signer^^}"
    return
  fi
  if [ ! -f "$signer" ]; then
    echo "the release's certificate: \"$signer\" is no file and no SHA-256 fingerprint" >&2
    return 1
  fi
  local setting=()
  mapfile -t setting <"$signer"
  case "${setting[0]:-}" in
    pkcs11) pem="$(openssl x509 -in "${setting[4]:-}" 2>/dev/null)" ;;
    # The password stays in the environment, off the command line.
    pkcs12) pem="$(openssl pkcs12 -in "${setting[2]:-}" -nokeys -clcerts -passin env:VARNLET_SIGN_PASSWORD 2>/dev/null |
                   openssl x509 2>/dev/null)" ;;
    *) pem="$(openssl x509 -in "$signer" 2>/dev/null)" ;;
  esac || { echo "the release's certificate: $signer names none that can be read" >&2; return 1; }
  openssl x509 -noout -fingerprint -sha256 <<<"$pem" | sed 's/^.*=//; s/://g'
}

if [ "$1" = --fingerprint ]; then
  fingerprint "$2"
  exit
fi
release="$1" signer="$2"
shift 2
[ "$release" = 1 ] || [ "${VARNLET_RELEASE:-}" = 1 ] || exit 0
[ $# -gt 0 ] || { echo "VARNLET_RELEASE=1: not a release, there is no file to check." >&2; exit 1; }
own="$(fingerprint "$signer")" ||
  { echo "VARNLET_RELEASE=1: not a release, it names no certificate of its own." >&2; exit 1; }
trust=() roots="this machine's trusted roots"
if [ -n "${VARNLET_SIGN_CAFILE:-}" ]; then
  [ -f "$VARNLET_SIGN_CAFILE" ] || { echo "VARNLET_SIGN_CAFILE=$VARNLET_SIGN_CAFILE: no such file" >&2; exit 1; }
  trust=(-CAfile "$VARNLET_SIGN_CAFILE" -TSA-CAfile "$VARNLET_SIGN_CAFILE")
  roots="the roots in $VARNLET_SIGN_CAFILE"
fi
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
refused=()
for file in "$@"; do
  name="$(basename "$file")"
  status=0
  report="$(osslsigncode verify "${trust[@]}" -in "$file" 2>&1)" || status=$?
  # The first error osslsigncode names in the signer's chain: no trusted root, expired, revoked...
  why="$(sed -n '/^Signing certificate chain verified using:/,$ s/^\s*Error: //p' <<<"$report" | head -1)"
  if grep -q 'MISMATCH' <<<"$report"; then
    refused+=("$name was altered after signing (its digest is not the one signed)")
    continue
  elif grep -q '^Unable to extract existing signature' <<<"$report"; then
    refused+=("$name is not signed")
    continue
  elif grep -q 'unsupported input file type' <<<"$report"; then
    refused+=("$name is missing or not an exe or MSI")
    continue
  fi
  # The certificate the signature names as its signer, whatever else it carries; exactly one.
  rm -f "$scratch/signature" "$scratch/signer.pem"
  signed_by=""
  if osslsigncode extract-signature -in "$file" -out "$scratch/signature" >/dev/null 2>&1 &&
     openssl smime -verify -noverify -nosigs -inform DER -in "$scratch/signature" -signer "$scratch/signer.pem" \
       -out /dev/null >/dev/null 2>&1 && [ "$(grep -c 'BEGIN CERTIFICATE' "$scratch/signer.pem")" = 1 ]; then
    signed_by="$(fingerprint "$scratch/signer.pem")"
  fi
  if [ -z "$signed_by" ]; then
    refused+=("$name names no one signer's certificate")
  elif [ "$signed_by" != "$own" ]; then
    subject="$(openssl x509 -in "$scratch/signer.pem" -noout -subject -nameopt oneline | sed 's/^subject= *//')"
    refused+=("$name is signed by $subject (SHA-256 $signed_by), not by the release's certificate (SHA-256 $own)")
  fi
  # osslsigncode reports success when only the time stamp fails (it then checks the chain as of
  # now), so the time stamp is judged on its own line.
  if ! grep -q 'Timestamp time:' <<<"$report"; then
    refused+=("$name has no time stamp")
  elif grep -q '^Timestamp Server Signature verification: failed' <<<"$report" ||
       ! grep -q '^Timestamp Server Signature verification: ok' <<<"$report"; then
    refused+=("$name's time stamp does not verify against $roots")
  fi
  if grep -q '^Failed signing certificate chain' <<<"$report"; then
    refused+=("$name is signed by a certificate that does not verify against $roots${why:+ ($why)}")
  elif [ "$status" -ne 0 ] || grep -q '^Signature verification: failed' <<<"$report" ||
       ! grep -q '^Signature verification: ok' <<<"$report"; then
    refused+=("$name's signature does not verify (osslsigncode verify -in $name says why)")
  fi
done
if [ ${#refused[@]} -gt 0 ]; then
  message="$(printf '; %s' "${refused[@]}")"
  echo "VARNLET_RELEASE=1: not a release, ${message:2}." >&2
  exit 1
fi

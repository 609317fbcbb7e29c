#!/usr/bin/env bash
# Refuses a release that is not wholly signed: fails, with one message naming each FILE that fails
# and why, unless every FILE carries an Authenticode signature that verifies (the digest it signs
# is the file's own, and the signer's certificate chains to a trusted root) with an RFC 3161 time
# stamp that verifies too. RELEASE is 1 when the build was configured with VARNLET_RELEASE=1; the
# variable set when the build runs counts too. Otherwise it does nothing.
#   verify_signatures.sh RELEASE FILE...
# The roots trusted, for the signer's chain and the time stamp's: those in the PEM file
# VARNLET_SIGN_CAFILE names, else this machine's (osslsigncode's default). The intermediates come
# from the signature itself, which carries the chain it was signed with.
set -euo pipefail
release="$1"
shift
[ "$release" = 1 ] || [ "${VARNLET_RELEASE:-}" = 1 ] || exit 0
trust=() roots="this machine's trusted roots"
if [ -n "${VARNLET_SIGN_CAFILE:-}" ]; then
  [ -f "$VARNLET_SIGN_CAFILE" ] || { echo "VARNLET_SIGN_CAFILE=$VARNLET_SIGN_CAFILE: no such file" >&2; exit 1; }
  trust=(-CAfile "$VARNLET_SIGN_CAFILE" -TSA-CAfile "$VARNLET_SIGN_CAFILE")
  roots="the roots in $VARNLET_SIGN_CAFILE"
fi
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

#!/usr/bin/env bash
# Refuses a release that is not wholly signed: fails, with one message naming what is missing,
# unless every FILE carries an Authenticode signature with an RFC 3161 time stamp. RELEASE is 1
# when the build was configured with VARNLET_RELEASE=1; the variable set when the build runs
# counts too. Otherwise it does nothing.
#   check_release.sh RELEASE FILE...
set -euo pipefail
release="$1"
shift
[ "$release" = 1 ] || [ "${VARNLET_RELEASE:-}" = 1 ] || exit 0
missing=()
for file in "$@"; do
  # Whether or not the signer's root is trusted here, verify shows what the file carries.
  report="$(osslsigncode verify -in "$file" 2>&1 || true)"
  if ! grep -q "^Signer's certificate:" <<<"$report"; then
    missing+=("$(basename "$file") is not signed")
  elif ! grep -q 'Timestamp time:' <<<"$report"; then
    missing+=("$(basename "$file") has no time stamp")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  message="$(printf '; %s' "${missing[@]}")"
  echo "VARNLET_RELEASE=1: not a release, ${message:2}." >&2
  exit 1
fi

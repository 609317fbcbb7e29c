#!/usr/bin/env bash
# Authenticode-signs FILE in place (SHA-256) with osslsigncode: an exe, an installer or an MSI.
#   sign.sh PKCS12 FILE
# The password comes from VARNLET_SIGN_PASSWORD; VARNLET_SIGN_TIMESTAMP_URL, when set, names an
# RFC 3161 time-stamping service, so the signature outlives the certificate.
set -euo pipefail
pkcs12="$1" file="$2"
: "${VARNLET_SIGN_PASSWORD?VARNLET_SIGN_PASSWORD must be set to sign with $pkcs12}"
timestamp=()
[ -z "${VARNLET_SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$VARNLET_SIGN_TIMESTAMP_URL")
rm -f "$file.signed"
# The password through standard input, not the command line, where other users could read it.
printf '%s' "$VARNLET_SIGN_PASSWORD" |
  osslsigncode sign -pkcs12 "$pkcs12" -readpass - -h sha256 -n 'Varnlet!' "${timestamp[@]}" \
    -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"

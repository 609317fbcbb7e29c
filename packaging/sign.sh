#!/usr/bin/env bash
# Authenticode-signs FILE in place (SHA-256) with osslsigncode: an exe, an installer or an MSI.
#   sign.sh CONF DESCRIPTION FILE
# DESCRIPTION is the name Windows shows for the signed file (UAC's prompt): the build's title.
# CONF, which the build's configure step writes, holds one value a line: "pkcs11" or "pkcs12";
# the RFC 3161 time-stamping URL, or an empty line; then for a token the PKCS#11 module, the key's
# PKCS#11 URI and the certificate chain (PEM), for a file the PKCS#12 file. The token's PIN or
# the file's password comes from VARNLET_SIGN_PASSWORD.
set -euo pipefail
conf="$1" description="$2" file="$3"
mapfile -t setting <"$conf"
case "${setting[0]:-}" in
  pkcs11) key=(-pkcs11module "${setting[2]}" -key "${setting[3]}" -certs "${setting[4]}") ;;
  pkcs12) key=(-pkcs12 "${setting[2]}") ;;
  *) echo "sign.sh: $conf names no key" >&2; exit 1 ;;
esac
: "${VARNLET_SIGN_PASSWORD?VARNLET_SIGN_PASSWORD must be set to sign (the PIN of the token or the password of the PKCS#12 file)}"
timestamp=()
# A time stamp keeps the signature valid after the certificate expires.
[ -z "${setting[1]}" ] || timestamp=(-ts "${setting[1]}")
rm -f "$file.signed"
# One signature at a time: the build signs several files in parallel, and a token (SoftHSM's file
# store as much as a hardware one) fails a second session opened while the first logs in.
exec 9>"$conf.lock"
flock 9
# The PIN or password through standard input, not the command line, where other users could read it.
printf '%s' "$VARNLET_SIGN_PASSWORD" |
  osslsigncode sign "${key[@]}" -readpass - -h sha256 -n "$description" "${timestamp[@]}" \
    -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"

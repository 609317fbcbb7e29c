#!/usr/bin/env bash
# Fails when a layer includes one it may not use. The build already refuses such an include in a
# layer's sources (each layer's library sees only its own folder and those it links: see
# src/CMakeLists.txt); a header, though, is compiled only through whoever includes it, and a
# layer above would find an upward include in it. So this reads every file, headers included.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
forbid() {
  local layer="$1" above="$2" hits
  hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($above)/" "src/$layer" || true)
  if [ -n "$hits" ]; then
    echo "src/$layer/ includes a layer it may not use ($above):"
    echo "$hits"
    status=1
  fi
}
forbid base 'platform|toolkit|registry|trim|tray|about|app|setup'
forbid platform 'toolkit|registry|trim|tray|about|app|setup'
forbid toolkit 'registry|trim|tray|about|app|setup'
forbid registry 'toolkit|trim|tray|about|app|setup'
forbid trim 'toolkit|registry|tray|about|app|setup'
forbid tray 'registry|trim|about|app|setup'
forbid about 'registry|trim|tray|app|setup'
forbid app 'setup'
[ "$status" -ne 0 ] || echo "layers: every include points downwards"
exit "$status"

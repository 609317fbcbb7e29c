#!/usr/bin/env bash
# Fails when a layer includes one above it. The base knows nothing else of the program; the
# platform layer knows nothing of the toolkit or of the program's subsystems; the toolkit knows
# nothing of the subsystems.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
forbid() {
  local layer="$1" above="$2" hits
  hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($above)/" "src/$layer" || true)
  if [ -n "$hits" ]; then
    echo "src/$layer/ includes a layer above it ($above):"
    echo "$hits"
    status=1
  fi
}
forbid base 'platform|app|about|tray|trim|registry|toolkit'
forbid platform 'app|about|tray|trim|registry|toolkit'
forbid toolkit 'app|about|tray|trim|registry'
[ "$status" -ne 0 ] || echo "layers: every include points downwards"
exit "$status"

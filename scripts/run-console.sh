#!/usr/bin/env bash
# Starts the console in demo mode (it starts its own simulated robot).
set -euo pipefail
dir=${1:-build/release}
if [ ! -x "$dir/src/app/velcora" ]; then
  echo "The console program is not built yet; what exists so far:"
  ls "$dir"/src/app/ "$dir"/src/sim/ 2>/dev/null | grep -E '^velcora' || true
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the console with the offscreen platform (nothing will be shown)."
  export QT_QPA_PLATFORM=offscreen
fi
echo "Starting: $dir/src/app/velcora --demo"
exec "$dir/src/app/velcora" --demo

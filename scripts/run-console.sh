#!/usr/bin/env bash
# Starts the console in demo mode (it starts its own simulated robot). Without
# a display the console says so itself and exits 1.
set -euo pipefail
dir=${1:-build/release}
if [ ! -x "$dir/src/app/velcora" ]; then
  echo "The console program is not built yet in $dir (make build-release)."
  exit 1
fi
exec "$dir/src/app/velcora" --demo

#!/usr/bin/env bash
# Runs each libFuzzer target for a while over its corpus; new inputs are kept in
# the corpus and crashes are written beside the regressions, where `make test`
# replays them.
set -euo pipefail
dir=${1:-build/fuzz}
secs=${2:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
for f in "$dir"/fuzz/*/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f"); name=${name#fuzz_}
  sub=$(basename "$(dirname "$f")")
  corpus="$top/fuzz/$sub/corpus/$name"; crashes="$top/fuzz/$sub/regressions/$name"
  mkdir -p "$corpus" "$crashes"
  echo "== fuzz_$name for ${secs}s"
  "$f" -max_total_time="$secs" -artifact_prefix="$crashes/" "$corpus" || true
done

#!/usr/bin/env bash
# Runs every benchmark program of a release build; each prints its own ratios.
set -euo pipefail
dir=${1:-build/release}
found=0
for b in "$dir"/bench/*/bench_*; do
  [ -x "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
[ $found -eq 1 ] || echo "no benchmarks built in $dir"

#!/usr/bin/env bash
# Runs every benchmark program of a release build (each prints its own
# figures), then sets the figures that have a goal against it in one table.
set -euo pipefail
dir=${1:-build/release}
here=$(cd "$(dirname "$0")/.." && pwd)
goals="$here/bench/goals.tsv"
results=$(mktemp)
trap 'rm -f "$results"' EXIT
export VELCORA_BENCH_RESULTS="$results"
found=0
for b in "$dir"/bench/*/bench_*; do
  [ -x "$b" ] || continue
  case "$b" in *minimal_window) continue ;; esac
  found=1
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2 || echo "!! $(basename "$b") failed"
done
[ $found -eq 1 ] || { echo "no benchmarks built in $dir"; exit 0; }

echo
echo "== goals (one run; figures with a range are medians of repeated runs)"
awk -F'\t' -v results="$results" '
  BEGIN {
    while ((getline line < results) > 0) {
      split(line, f, "\t"); value[f[1]] = f[2]; low[f[1]] = f[3]; high[f[1]] = f[4]
    }
    printf "  %-34s %-6s %8s %16s  %s\n", "figure", "goal", "measured", "runs", "result"
  }
  /^#/ || NF < 4 { next }
  {
    name = $1; kind = $2; goal = $3
    sign = (kind == "min") ? ">=" : "<="
    if (!(name in value)) {
      printf "  %-34s %s%-4s %8s %16s  %s\n", name, sign, goal, "-", "", "not measured"
      next
    }
    v = value[name] + 0
    met = (kind == "min") ? (v >= goal) : (v <= goal)
    range = (low[name] == "nan" || low[name] == "") ? "" : sprintf("%.2f .. %.2f", low[name], high[name])
    printf "  %-34s %s%-4s %8.2f %16s  %s\n", name, sign, goal, v, range, met ? "met" : "NOT MET"
  }' "$goals"

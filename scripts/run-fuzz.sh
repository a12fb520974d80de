#!/usr/bin/env bash
# Runs every fuzz target in <dir> for <seconds> each, starting from its seed corpus in
# fuzz/corpus/<target> when there is one. Fails on the first crash or sanitizer report.
set -euo pipefail
dir=$1
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
shopt -s nullglob
found=0
for target in "$dir"/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  [ -d "$root/fuzz/corpus/${name#fuzz_}" ] && seeds=("$root/fuzz/corpus/${name#fuzz_}")
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$work" "${seeds[@]}" 2>&1 | tail -n 12
  rm -rf "$work"
done
[ "$found" -eq 1 ] || { echo "run-fuzz.sh: no fuzz targets in $dir" >&2; exit 1; }

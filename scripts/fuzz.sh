#!/usr/bin/env bash
# Runs every fuzz target of a libFuzzer build for a bounded time on its seed corpus.
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=${2:-45}
shopt -s nullglob
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 "$work" 2>&1 | tail -n 4
  rm -rf "$work"
done

#!/usr/bin/env bash
# Runs every fuzz target of a libFuzzer build on its seed corpus.
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS_PER_TARGET]
# With SECONDS_PER_TARGET each target explores for that long from a random seed. Without it the
# run is repeatable: a fixed seed (VANTORELL_FUZZ_SEED, default 1) and a fixed number of inputs
# (VANTORELL_FUZZ_RUNS, default 60000), so a test run fails only for a change in the code.
# A target that fails prints the fuzzer's report and the failing input (base64), so a log alone
# is enough to reproduce it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
if [ -n "${2:-}" ]; then
  budget=(-max_total_time="$2")
else
  budget=(-seed="${VANTORELL_FUZZ_SEED:-1}" -runs="${VANTORELL_FUZZ_RUNS:-60000}")
fi
shopt -s nullglob
failed=0
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  mkdir "$work/corpus" "$work/artifacts"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work/corpus"/ 2>/dev/null || true
  echo "fuzzing $name (${budget[*]})"
  status=0
  "$target" "${budget[@]}" -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" > "$work/log" 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    tail -n 4 "$work/log"
  else
    failed=1
    echo "$name failed with exit status $status:"
    grep -v -E '^(TIFF|libpng|Corrupt JPEG|Premature end|Invalid SOS|Warning)' "$work/log" | tail -n 80
    for artifact in "$work"/artifacts/*; do
      echo "failing input $(basename "$artifact") ($(stat -c %s "$artifact") bytes), base64:"
      head -c 65536 "$artifact" | base64 -w 0
      echo
    done
  fi
  rm -rf "$work"
done
exit "$failed"

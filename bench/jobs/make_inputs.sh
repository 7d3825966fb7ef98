#!/usr/bin/env bash
# Makes the benchmark inputs: two pairs of grainy q90 photographic JPEGs, 1920 x 1080 and
# 4000 x 3000, from the shipped sample photographs (film grain makes them camera-sized). The
# grain is seeded, one seed per picture, so the inputs, and every size measured on them, are the
# same on every run.
# Usage: bench/jobs/make_inputs.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:?output folder}
mkdir -p "$out"
for size in 1920x1080 4000x3000; do
  for n in 1 2; do
    target="$out/photo${n}-${size}.jpg"
    [ -s "$target" ] && continue
    convert "$root/assets/samples/sample${n}.jpg" -resize "${size}!" -seed "$n" \
      -attenuate 0.5 +noise Gaussian -sampling-factor 2x2 -quality 90 "$target"
  done
done
ls -l "$out"

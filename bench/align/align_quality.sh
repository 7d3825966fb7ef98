#!/usr/bin/env bash
# Align on a made pair: picture 2 is a 1080p benchmark photo turned 3 degrees, scaled 1.05 and
# moved (20, -15) (ImageMagick -distort SRT, white outside). Prints Align's time (median of 5)
# and corner error (bench_align_pair) with the face search and with features only, then the
# Overlay's PSNR against the photo over the central 80 % without and with --align. Then the
# same for a portrait (the sample face on a 1080p grey canvas and its turned copy), where the
# face search finds a face in each.
# Usage: bench/align/align_quality.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work/plain" "$work/aligned"
bash "$root/bench/jobs/make_inputs.sh" "$work/inputs" >/dev/null
photo="$work/inputs/photo1-1920x1080.jpg"
convert "$photo" -virtual-pixel white -distort SRT '960,540 1.05 3 980,525' -quality 95 "$work/turned.jpg"
for faces in "" --features-only; do
  "$build/bench/align/bench_align_pair" $faces "$photo" "$work/turned.jpg" 1.05 3 960,540 980,525
done
convert "$photo" -gravity center -crop 80%x80%+0+0 +repage "$work/centre.png"
for mode in plain aligned; do
  flag=""
  [ "$mode" = aligned ] && flag="--align"
  "$build/vantorell-mix" --type overlay --image1 "$photo" --image2 "$work/turned.jpg" --output "$work/$mode" \
    --quality 95 $flag >/dev/null 2>&1
  convert "$work/$mode/result.jpg" -gravity center -crop 80%x80%+0+0 +repage "$work/$mode/centre.png"
  printf 'overlay %-7s PSNR over the central 80 %%: %s dB\n' "$mode" \
    "$(compare -metric PSNR "$work/$mode/centre.png" "$work/centre.png" null: 2>&1 || true)"
done
convert "$root/assets/samples/face1.jpg" -resize 700x700 -background gray60 -gravity center -extent 1920x1080 \
  -quality 95 "$work/portrait.jpg"
convert "$work/portrait.jpg" -virtual-pixel gray -distort SRT '960,540 1.05 3 980,525' -quality 95 "$work/portrait-turned.jpg"
for faces in "" --features-only; do
  "$build/bench/align/bench_align_pair" $faces "$work/portrait.jpg" "$work/portrait-turned.jpg" 1.05 3 960,540 980,525
done

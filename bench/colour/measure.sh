#!/usr/bin/env bash
# Measures how colour profiles come through the jobs, against a build from before them (or the
# same build with --colour ignore): Adobe RGB photos made from the benchmark photographs with
# Ghostscript's a98.icc (Debian libgs-common), colour-managed sRGB views made with ImageMagick,
# PSNR by ImageMagick's compare (frames of a GIF) and FFmpeg (MP4), and the 12 MP Overlay's time
# with hyperfine (median of 7).
# Usage: bench/colour/measure.sh BEFORE_BUILD AFTER_BUILD [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
old=$(cd "${1:?build before}" && pwd); new=$(cd "${2:?build after}" && pwd)
w=${3:-$(mktemp -d)}; mkdir -p "$w"; cd "$w"
icc=/usr/share/color/icc/ghostscript; srgb=$icc/srgb.icc; a98=$icc/a98.icc
bash "$root/bench/jobs/make_inputs.sh" . > /dev/null
toAdobe() { convert "$1" -profile "$srgb" -profile "$a98" -quality 90 "$2"; }
toSrgb() { convert "$1" -profile "$srgb" -strip -quality 95 "$2"; }   # the numbers a viewer shows
view() { convert "$1" -profile "$srgb" "$2"; }                          # no profile: sRGB as it is
psnr() { compare -metric PSNR "$1" "$2" null: 2>&1 || true; }
job() { local build=$1 out=$2; shift 2; rm -rf "$out"; mkdir -p "$out"; "$build/vantorell-mix" "$@" --output "$out" > /dev/null 2>&1; }
[ -s adobe1.jpg ] || toAdobe photo1-1920x1080.jpg adobe1.jpg
[ -s adobe2.jpg ] || toAdobe photo2-1920x1080.jpg adobe2.jpg
[ -s adobe2-12mp.jpg ] || toAdobe photo2-4000x3000.jpg adobe2-12mp.jpg
toSrgb adobe1.jpg adobe1-srgb.jpg; toSrgb adobe2.jpg adobe2-srgb.jpg
view adobe1.jpg adobe1-view.png

echo "Adobe RGB photo overlaid with itself: PSNR of the result's sRGB view against the input's"
for b in before:$old after:$new; do
  job "${b#*:}" self-${b%%:*} --type overlay --image1 adobe1.jpg --image2 adobe1.jpg
  view self-${b%%:*}/result.jpg self-${b%%:*}.png; echo "  ${b%%:*}: $(psnr self-${b%%:*}.png adobe1-view.png) dB"
done

for type in blend overlay; do
  echo "sRGB photo + Adobe RGB photo, $type: against the job on both in sRGB"
  job "$old" ref-$type --type $type --image1 photo1-1920x1080.jpg --image2 adobe2-srgb.jpg; view ref-$type/result.jpg ref-$type.png
  for b in before:$old after:$new; do
    job "${b#*:}" mix-$type-${b%%:*} --type $type --image1 photo1-1920x1080.jpg --image2 adobe2.jpg
    view mix-$type-${b%%:*}/result.jpg mix-$type-${b%%:*}.png; echo "  ${b%%:*}: $(psnr mix-$type-${b%%:*}.png ref-$type.png) dB"
  done
done

echo "Fade of two Adobe RGB photos to GIF (5 frames): PSNR of each frame against the job in sRGB"
job "$old" gif-ref --type fade --format gif --frames 5 --image1 adobe1-srgb.jpg --image2 adobe2-srgb.jpg
convert gif-ref/result.gif -coalesce gif-ref/f%02d.png
for b in before:$old after:$new; do
  n=${b%%:*}; job "${b#*:}" gif-$n --type fade --format gif --frames 5 --image1 adobe1.jpg --image2 adobe2.jpg
  convert gif-$n/result.gif -coalesce gif-$n/f%02d.png
  echo "  $n: $(for f in gif-ref/f*.png; do echo -n "$(psnr $f gif-$n/$(basename $f)) "; done)dB"
done

echo "Fade of two Adobe RGB photos to MP4 (5 frames): FFmpeg's PSNR against the same build's job in sRGB"
for b in before:$old after:$new; do   # each build's own reference: the YUV matrix may differ
  n=${b%%:*}; job "${b#*:}" mp4-ref-$n --type fade --format mp4 --frames 5 --image1 adobe1-srgb.jpg --image2 adobe2-srgb.jpg
  job "${b#*:}" mp4-$n --type fade --format mp4 --frames 5 --image1 adobe1.jpg --image2 adobe2.jpg
  echo "  $n: $(ffmpeg -i mp4-$n/result.mp4 -i mp4-ref-$n/result.mp4 -lavfi psnr -f null - 2>&1 | grep -o 'average:[0-9.inf]*')"
done

echo "Overlay of a 12 MP sRGB photo with a 12 MP Adobe RGB one: keep against --colour ignore"
echo "  alternating runs: $(bash "$root/bench/colour/overlay_speed.sh" "$new" . 7)"
mkdir -p speed-keep speed-ignore
hyperfine -N --runs 7 --warmup 1 --export-json speed.json \
  "$new/vantorell-mix --type overlay --image1 photo1-4000x3000.jpg --image2 adobe2-12mp.jpg --output speed-keep" \
  "$new/vantorell-mix --type overlay --image1 photo1-4000x3000.jpg --image2 adobe2-12mp.jpg --output speed-ignore --colour ignore" > /dev/null
python3 -c "
import json; r = json.load(open('speed.json'))['results']
keep, ignore = r[0]['median'], r[1]['median']
print(f'  median keep {keep*1000:.0f} ms, ignore {ignore*1000:.0f} ms: {keep/ignore:.2f}x')"

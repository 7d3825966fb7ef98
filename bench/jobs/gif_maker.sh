#!/usr/bin/env bash
# The GIF maker on a video, side by side with gifski: a 10-second 1280 x 720 MP4 at 30 frames a
# second (a slow pan and zoom over the benchmark photograph, made here with ffmpeg), made into a
# GIF at FPS frames a second and WIDTH pixels wide.
#   ours:    vantorell-mix gif clip.mp4 --fps FPS --width WIDTH with each choice in $CHOICES
#            (palette:dither[:optimize], qQ for --gif-quality Q, or default)
#            (the whole job: decoding, resampling, scaling, encoding)
#   gifski:  gifski -r FPS -W WIDTH -Q Q on the PNG frames ffmpeg extracts: every (30 / FPS)th
#            picture (the picture shown at i / FPS seconds, as ours takes), scaled to WIDTH
#            bicubic with full chroma, as ours scales; its time is shown alone and with the
#            extraction's. (FFmpeg's fps filter would take the picture one 30th later.)
# Quality is FFmpeg's psnr filter in RGB (the "average" it reports, over all frames), the decoded
# GIF against those same PNG frames. Times are medians of RUNS wall-clock runs.
#
# Usage: bench/jobs/gif_maker.sh BUILD_DIR GIFSKI [RUNS] [FPS] [WIDTH]    (defaults 3, 10, 640)
#        GIFSKI: gifski 1.7.1 (npm pack gifski@1.7.1; package/bin/debian/gifski); FPS divides 30
set -euo pipefail

build=$(cd "${1:?usage: gif_maker.sh BUILD_DIR GIFSKI [RUNS] [FPS] [WIDTH]}" && pwd)
gifski=${2:?gifski binary}
runs=${3:-3}
fps=${4:-10}
width=${5:-640}
root=$(cd "$(dirname "$0")/../.." && pwd)
mix="$build/vantorell-mix"
if [ -n "${GIF_MAKER_WORK:-}" ]; then   # kept, with its clip, for the next run
  work=$GIF_MAKER_WORK; mkdir -p "$work"; rm -f "$work"/*.t
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/vantorell-gif-maker.XXXXXX")
  trap 'rm -rf "$work"' EXIT
fi
CHOICES=${CHOICES:-"default global:diffusion:optimize per-frame:diffusion:optimize q90 q70 q50"}
QUALITIES=${QUALITIES:-"90 70 50"}

"$root/bench/jobs/make_inputs.sh" "$work/in" >/dev/null
clip="$work/clip.mp4"
[ -s "$clip" ] || ffmpeg -nostdin -loglevel error -loop 1 -framerate 30 -i "$work/in/photo1-1920x1080.jpg" -t 10 \
  -vf "scale=2560:1440,zoompan=z='1+0.0008*on':x='iw/2-(iw/zoom/2)+on*0.8':y='ih/2-(ih/zoom/2)':d=1:s=1280x720:fps=30" \
  -c:v libx264 -crf 18 -pix_fmt yuv420p "$clip"
mkdir -p "$work/frames"

. "$root/bench/jobs/timing.sh"
psnr() {
  ffmpeg -nostdin -i "$1" -framerate "$fps" -i "$work/frames/%04d.png" \
    -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2
}
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }

for ((r = 0; r < runs; r++)); do
  for c in $CHOICES; do
    args=()
    if [[ "$c" == q* ]]; then
      args=(--gif-quality "${c#q}")
    elif [ "$c" != default ]; then
      IFS=: read -r p d o <<<"$c"
      args=(--gif-palette "$p" --gif-dither "$d")
      [ "$o" = optimize ] && args+=(--gif-optimize)
    fi
    timed "ours-$c" "$mix" gif "$clip" --output-file "$work/ours-$c.gif" --fps "$fps" --width "$width" "${args[@]}"
  done
  rm -f "$work/frames"/*.png
  timed extract ffmpeg -nostdin -loglevel error -i "$clip" -vsync 0 \
    -vf "select='not(mod(n\,$((30 / fps))))',scale=$width:-1:flags=bicubic+full_chroma_int+accurate_rnd" \
    "$work/frames/%04d.png"
  for q in $QUALITIES; do
    timed "gifski-$q" "$gifski" -q -r "$fps" -W "$width" -Q "$q" -o "$work/gifski-$q.gif" "$work/frames"/*.png
  done
done

extract_time=$(median <"$work/extract.t")
echo "== 10 s of 1280 x 720 at 30 fps, made at $fps fps and $width px wide; medians of $runs runs"
echo "   (ffmpeg's PNG extraction for gifski: $extract_time s; $(ls "$work/frames" | wc -l) frames)"
printf '%-40s %8s %8s %12s %8s %7s\n' "maker" "seconds" "+frames" "bytes" "PSNR" "frames"
for q in $QUALITIES; do
  t=$(median <"$work/gifski-$q.t")
  g="$work/gifski-$q.gif"
  printf '%-40s %8s %8s %12s %8s %7s\n' "gifski -Q $q" "$t" "$(awk -v a="$t" -v b="$extract_time" 'BEGIN {print a + b}')" \
    "$(stat -c %s "$g")" "$(psnr "$g")" "$(frames "$g")"
done
for c in $CHOICES; do
  t=$(median <"$work/ours-$c.t")
  g="$work/ours-$c.gif"
  printf '%-40s %8s %8s %12s %8s %7s\n' "ours $c" "$t" "-" "$(stat -c %s "$g")" "$(psnr "$g")" "$(frames "$g")"
done

#!/usr/bin/env bash
# The GIF choices side by side with the peers, on the 1920 x 1080 benchmark pair
# (bench/jobs/make_inputs.sh), at 10 and 30 frames:
#   ours:    vantorell-mix-video --type fade --format gif with each palette/dither/optimise/lossy
#            choice in $COMBOS (the whole job: render, work AVI, GIF)
#   FFmpeg:  palettegen=stats_mode=full + paletteuse=dither=bayer (default bayer_scale), and
#            paletteuse=dither=sierra2_4a, on the frames of a lossless AVI of the same job
#            (--codec ffv1), which is also the reference for quality. FFmpeg's GIF encoder
#            stores only what changed by default (-gifflags +offsetting+transdiff), like our
#            --gif-optimize; the bayer pipeline is also run once, untimed, with -gifflags 0,
#            the counterpart of our unoptimised files
#   gifsicle: -O3 on our unoptimised GIF (halftone and global palettes, ordered dither)
#   --gif-max-size 5MB: the search's time and what it chose
# Quality is FFmpeg's psnr filter in RGB (the "average" it reports), decoded GIF against the
# reference frames. Times are medians of RUNS wall-clock runs, commands round-robin.
#
# Usage: bench/jobs/gif_options.sh BUILD_DIR [RUNS] [FRAME_COUNTS]     (defaults: 3, "10 30")
#        COMBOS="global:ordered:0:0 global:diffusion:1:80" bench/jobs/gif_options.sh build 1
#        (palette:dither:optimise 0/1:lossy; default every palette x dither x optimise x lossy 0/80)
set -euo pipefail

build=$(cd "${1:?usage: gif_options.sh BUILD_DIR [RUNS] [FRAME_COUNTS]}" && pwd)
runs=${2:-3}
counts=${3:-"10 30"}
root=$(cd "$(dirname "$0")/../.." && pwd)
mix="$build/vantorell-mix-video"
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorell-gif-options.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -z "${COMBOS:-}" ]; then
  COMBOS=""
  for p in halftone optimal global per-frame; do
    for d in none ordered ordered8 diffusion; do
      for o in 0 1; do
        for l in 0 80; do COMBOS+=" $p:$d:$o:$l"; done
      done
    done
  done
fi

"$root/bench/jobs/make_inputs.sh" "$work/in" >/dev/null
one="$work/in/photo1-1920x1080.jpg"
two="$work/in/photo2-1920x1080.jpg"

. "$root/bench/jobs/timing.sh"
psnr() {
  ffmpeg -nostdin -i "$1" -i "$reference" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" -f null - 2>&1 |
    grep -o 'average:[0-9.inf]*' | tail -1 | cut -d: -f2
}
size() { stat -c %s "$1"; }

for n in $counts; do
  rm -f "$work"/*.t
  mkdir -p "$work/ref"
  "$mix" --type fade --image1 "$one" --image2 "$two" --output "$work/ref" --frames "$n" --format avi \
    --codec ffv1 >/dev/null
  reference="$work/ref/result.avi"
  for ((r = 0; r < runs; r++)); do
    for c in $COMBOS; do
      IFS=: read -r p d o l <<<"$c"
      out="$work/ours-$c"; mkdir -p "$out"
      args=(--gif-palette "$p" --gif-dither "$d" --gif-lossy "$l")
      [ "$o" = 1 ] && args+=(--gif-optimize)
      timed "ours-$c" "$mix" --type fade --image1 "$one" --image2 "$two" --output "$out" --frames "$n" \
        --format gif "${args[@]}"
    done
    for dither in bayer sierra2_4a; do
      timed "ffmpeg-$dither" ffmpeg -nostdin -loglevel error -y -i "$reference" -vf \
        "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse=dither=$dither" "$work/ffmpeg-$dither.gif"
    done
  done
  ffmpeg -nostdin -loglevel error -y -i "$reference" -vf \
    "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse=dither=bayer" -gifflags 0 \
    "$work/ffmpeg-bayer-plain.gif"
  mkdir -p "$work/fit"
  timed fit "$mix" --type fade --image1 "$one" --image2 "$two" --output "$work/fit" --frames "$n" --format gif \
    --gif-max-size 5MB

  echo "== $n frames, 1920 x 1080, medians of $runs runs"
  printf '%-34s %10s %12s %8s %8s\n' "choice" "seconds" "bytes" "PSNR" "speed-up"
  slowest_peer=""
  for dither in bayer sierra2_4a; do
    t=$(median <"$work/ffmpeg-$dither.t")
    printf '%-34s %10s %12s %8s\n' "ffmpeg palettegen+paletteuse $dither" "$t" \
      "$(size "$work/ffmpeg-$dither.gif")" "$(psnr "$work/ffmpeg-$dither.gif")"
    [ "$dither" = bayer ] && bayer_time=$t
  done
  printf '%-34s %10s %12s %8s\n' "ffmpeg bayer -gifflags 0 (untimed)" "-" "$(size "$work/ffmpeg-bayer-plain.gif")" \
    "$(psnr "$work/ffmpeg-bayer-plain.gif")"
  for c in $COMBOS; do
    t=$(median <"$work/ours-$c.t")
    gif="$work/ours-$c/result.gif"
    printf '%-34s %10s %12s %8s %7.1fx\n' "ours $c" "$t" "$(size "$gif")" "$(psnr "$gif")" \
      "$(awk -v a="$bayer_time" -v b="$t" 'BEGIN {print a / b}')"
  done
  for c in halftone:ordered:0:0 global:ordered:0:0; do
    [ -f "$work/ours-$c/result.gif" ] || continue
    gifsicle -O3 "$work/ours-$c/result.gif" -o "$work/gifsicle.gif"
    optimised="$work/ours-${c%:*:*}:1:0/result.gif"
    printf '%-34s %12s   ours --gif-optimize: %s\n' "gifsicle -O3 on ours $c" "$(size "$work/gifsicle.gif")" \
      "$( [ -f "$optimised" ] && size "$optimised" || echo "not run")"
  done
  printf '%-34s %10s %12s   %s\n' "ours --gif-max-size 5MB" "$(median <"$work/fit.t")" \
    "$(size "$work/fit/result.gif")" "$(grep -o 'with .*' "$work/fit.err" | head -1)"
done

#!/usr/bin/env bash
# --gif-quality Q side by side with gifski -Q Q, for each Q in $QUALITIES, on two sets:
#   fade:   the 1920 x 1080 benchmark pair (bench/jobs/make_inputs.sh), 10 frames. Ours is the
#           whole job (vantorell-mix --type fade --format gif --gif-quality Q: render and
#           GIF); gifski gets the PNG frames of a lossless AVI of the same job (--codec ffv1),
#           which is also the reference for quality
#   screen: a screen-recording-like set made here: 30 frames of 1280 x 720 at 10 fps, a still
#           photograph with a moving box and moving text over it. Ours is bench/gif_quality_tool
#           (encodeGifAnimation on the raw frames, read from a file); gifski reads the PNG frames
# Reported: bytes; PSNR of the mean squared error over every frame and RGB channel of the GIF
# (decoded by FFmpeg, one picture per GIF frame) against the frames given to both encoders;
# still-area flicker, the share of pixels in unchanged 8 x 8 blocks whose decoded colour changes
# from one frame to the next; and the median wall time of RUNS runs, commands round-robin.
#
# Usage: bench/jobs/gif_quality.sh BUILD_DIR GIFSKI [RUNS]      (RUNS default 3)
#        QUALITIES="50 70 90" SETS="fade screen" bench/jobs/gif_quality.sh build /tmp/package/bin/debian/gifski
# gifski 1.7.1 for measuring: cd /tmp && npm pack gifski@1.7.1 && tar xzf gifski-1.7.1.tgz
set -euo pipefail

build=$(cd "${1:?usage: gif_quality.sh BUILD_DIR GIFSKI [RUNS]}" && pwd)
gifski=${2:?the gifski executable}
runs=${3:-3}
qualities=${QUALITIES:-"50 70 90"}
sets=${SETS:-"fade screen"}
root=$(cd "$(dirname "$0")/../.." && pwd)
mix="$build/vantorell-mix"   # as a user runs it: it hands the fade to its video build
tool="$build/bench/gif_quality_tool"
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorell-gif-quality.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$root/bench/jobs/make_inputs.sh" "$work/in" >/dev/null
one="$work/in/photo1-1920x1080.jpg"
two="$work/in/photo2-1920x1080.jpg"
font=$(fc-match -f '%{file}' sans 2>/dev/null || echo /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf)

. "$root/bench/jobs/timing.sh"
# frames SOURCE DIR: the PNG frames and raw rgb24 and bgr24 copies of a video or picture sequence
frames() {
  mkdir -p "$2/png"
  ffmpeg -nostdin -loglevel error -y -i "$1" -fps_mode passthrough "$2/png/%04d.png"
  ffmpeg -nostdin -loglevel error -y -i "$1" -fps_mode passthrough -pix_fmt rgb24 -f rawvideo "$2/rgb.raw"
  ffmpeg -nostdin -loglevel error -y -i "$1" -fps_mode passthrough -pix_fmt bgr24 -f rawvideo "$2/bgr.raw"
}
measure() {   # measure GIF SETDIR W H N
  ffmpeg -nostdin -loglevel error -y -i "$1" -fps_mode passthrough -pix_fmt rgb24 -f rawvideo "$work/decoded.raw"
  "$tool" measure "$3" "$4" "$5" "$2/rgb.raw" "$work/decoded.raw"
}

for set in $sets; do
  dir="$work/$set"; mkdir -p "$dir"
  if [ "$set" = fade ]; then
    w=1920 h=1080 n=10 fps=5
    "$mix" --type fade --image1 "$one" --image2 "$two" --output "$dir" --frames $n --format avi --codec ffv1 >/dev/null
    frames "$dir/result.avi" "$dir"
  else
    w=1280 h=720 n=30 fps=10
    ffmpeg -nostdin -loglevel error -y -loop 1 -framerate $fps -i "$one" -f lavfi -i "color=c=0x2060d0:s=220x140:r=$fps" \
      -filter_complex "[0:v]scale=$w:$h[bg];[bg][1:v]overlay=x=100+n*30:y=420:shortest=1,drawtext=fontfile=$font:text='Recording 00\:0%{eif\:n/10\:d}':x=60+n*12:y=80:fontsize=48:fontcolor=white:box=1:boxcolor=black,format=bgr0" \
      -frames:v $n -c:v ffv1 "$dir/source.avi"
    frames "$dir/source.avi" "$dir"
  fi
  rm -f "$work"/*.t
  for ((r = 0; r < runs; r++)); do
    for q in $qualities; do
      if [ "$set" = fade ]; then
        mkdir -p "$dir/ours-$q"
        timed "ours-$q" "$mix" --type fade --image1 "$one" --image2 "$two" --output "$dir/ours-$q" --frames $n \
          --format gif --gif-quality "$q"
        cp "$dir/ours-$q/result.gif" "$dir/ours-$q.gif"
      else
        timed "ours-$q" "$tool" encode "$dir/bgr.raw" $w $h $n "$dir/ours-$q.gif" "q=$q"
      fi
      timed "gifski-$q" "$gifski" --quiet -Q "$q" -W $w -H $h -r $fps -o "$dir/gifski-$q.gif" "$dir"/png/*.png
    done
  done
  echo "== $set: $n frames of $w x $h, medians of $runs runs"
  printf '%-16s %12s %8s %9s %9s\n' "encoder" "bytes" "PSNR" "flicker%" "seconds"
  for q in $qualities; do
    for who in ours gifski; do
      gif="$dir/$who-$q.gif"
      read -r psnr flicker < <(measure "$gif" "$dir" $w $h $n)
      printf '%-16s %12s %8s %9s %9s\n' "$who Q$q" "$(stat -c %s "$gif")" "$psnr" "$flicker" "$(median <"$work/$who-$q.t")"
    done
  done
done

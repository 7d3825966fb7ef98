#!/usr/bin/env bash
# Times the Fade job to a 10-frame animated GIF (5 frames per second, halftone palette, 4 x 4
# ordered dither, uncompressed work AVI) through vantorell-mix, side by side with the peers
# making the same kind of GIF from the same two JPEGs:
#   ImageMagick: convert one.jpg two.jpg -morph 8 -ordered-dither o4x4,6 -remap netscape: ...
#   FFmpeg:      xfade, then paletteuse=dither=bayer:bayer_scale=0 on the fixed 216-colour palette
# at 1920 x 1080 and 4000 x 3000. The commands run round-robin (machine load hits all alike);
# the script prints each one's median wall time and median peak resident memory (GNU time), the
# ratio of the faster peer to ours (goal: 2x) and the memory goal (N x W x H bytes of 8-bit
# frames + eight 32-bit frames + 50 MB). A peer that fails (ImageMagick under Debian's default
# resource policy at 4000 x 3000) is reported as failed.
#
# Usage: bench/jobs/fade_gif.sh BUILD_DIR [RUNS] [SIZES]     (defaults: 5, "1920x1080 4000x3000")
set -euo pipefail

build=$(cd "${1:?usage: fade_gif.sh BUILD_DIR [RUNS] [SIZES]}" && pwd)
runs=${2:-5}
sizes=${3:-"1920x1080 4000x3000"}
root=$(cd "$(dirname "$0")/../.." && pwd)
mix="$build/vantorell-mix"
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorell-gif-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
frames=10
fps=5

# The fixed palette for paletteuse: the 216 halftone colours (multiples of 51) padded to the
# 16 x 16 pixels the filter wants with repeats of black.
python3 - "$work/halftone.ppm" <<'PY'
import sys
px = [(51 * r, 51 * g, 51 * b) for b in range(6) for g in range(6) for r in range(6)]
px += [(0, 0, 0)] * (256 - len(px))
with open(sys.argv[1], 'wb') as f:
    f.write(b'P6 16 16 255\n' + bytes(c for p in px for c in p))
PY

median() { sort -g | awk '{a[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

# run NAME CMD...: one timed run; appends "wall peakKB" to $work/NAME.times, or "failed".
run() {
  local name=$1; shift
  if /usr/bin/time -f '%e %M' -o "$work/time.out" "$@" >/dev/null 2>"$work/$name.err"; then
    cat "$work/time.out" >>"$work/$name.times"
  else
    echo failed >>"$work/$name.times"
  fi
}

for size in $sizes; do
  w=${size%x*}; h=${size#*x}
  one="$work/one-$size.jpg"; two="$work/two-$size.jpg"
  for n in 1 2; do
    out="$work/$([ $n = 1 ] && echo one || echo two)-$size.jpg"
    convert "$root/assets/samples/sample$n.jpg" -resize "${size}!" -attenuate 0.5 +noise Gaussian \
      -sampling-factor 2x2 -quality 90 "$out"
  done
  mkdir -p "$work/ours"
  rm -f "$work"/*.times
  duration=$(awk -v n=$frames -v f=$fps 'BEGIN {print (n - 1) / f}')
  for ((i = 0; i < runs; i++)); do
    run ours "$mix" --type fade --image1 "$one" --image2 "$two" --output "$work/ours" \
      --frames $frames --fps $fps --format gif --codec uncompressed
    run imagemagick convert "$one" "$two" -morph $((frames - 2)) -ordered-dither o4x4,6 -remap netscape: \
      -set delay $((100 / fps)) -loop 0 "$work/magick.gif"
    run ffmpeg ffmpeg -v error -y -loop 1 -framerate $fps -t 2 -i "$one" -loop 1 -framerate $fps -t 2 -i "$two" \
      -i "$work/halftone.ppm" -filter_complex \
      "[0][1]xfade=transition=fade:duration=$duration:offset=0[v];[v][2]paletteuse=dither=bayer:bayer_scale=0" \
      -frames:v $frames -loop 0 "$work/ffmpeg.gif"
  done
  echo
  echo "Fade to a $frames-frame GIF, $size, $runs runs each, medians"
  printf '  %-12s %8s %9s %s\n' command "wall s" "peak MB" frames
  declare -A wall=()
  for name in ours imagemagick ffmpeg; do
    if grep -q failed "$work/$name.times"; then
      printf '  %-12s %8s %9s   (%s)\n' "$name" failed - "$(tail -c 120 "$work/$name.err" | tr '\n' ' ')"
      continue
    fi
    wall[$name]=$(awk '{print $1}' "$work/$name.times" | median)
    mem=$(awk '{print $2 / 1024}' "$work/$name.times" | median)
    case $name in
      ours) file="$work/ours/result.gif" ;; imagemagick) file="$work/magick.gif" ;; ffmpeg) file="$work/ffmpeg.gif" ;;
    esac
    count=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$file" 2>/dev/null || echo "?")
    printf '  %-12s %8.3f %9.1f %s\n' "$name" "${wall[$name]}" "$mem" "$count"
  done
  if [ -n "${wall[ours]:-}" ]; then
    best=""
    for peer in imagemagick ffmpeg; do
      [ -n "${wall[$peer]:-}" ] || continue
      ratio=$(awk -v p="${wall[$peer]}" -v o="${wall[ours]}" 'BEGIN {printf "%.2f", p / o}')
      echo "  $peer / ours: ${ratio}x"
      if [ -z "$best" ] || awk -v a="${wall[$peer]}" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=${wall[$peer]}; fi
    done
    [ -n "$best" ] && awk -v p="$best" -v o="${wall[ours]}" 'BEGIN {printf "  faster peer / ours: %.2fx (goal 2x)\n", p / o}'
  fi
  awk -v n=$frames -v w="$w" -v h="$h" 'BEGIN {printf "  memory goal: %d x W x H + 8 x 32-bit frames + 50 MB = %.1f MB\n", n, (n * w * h + 8 * 4 * w * h) / 1048576 + 50}'
  echo "  load average: $(cut -d' ' -f1 /proc/loadavg)"
  unset wall
done

#!/usr/bin/env bash
# The GIF size estimate against the real result.gif, and --gif-max-size's landing.
#   estimate: for the 1920 x 1080 benchmark pair (bench/jobs/make_inputs.sh) resized to 480, 720,
#             1080 and 1920 pixels wide, 10 frames, the window's estimate (bench/gif_estimate_tool,
#             the window's own route) against the bytes vantorell-mix-video writes, and the error;
#             for each set of GIF choices in $CHOICES, plus hold frames and ping-pong
#   max-size: for three budgets (shares of the default choices' size at the largest width), the written
#             size as a share of the budget and the number of full encodings the search made
# Usage: bench/jobs/gif_estimate.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: gif_estimate.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
mix="$build/vantorell-mix-video"
tool="$build/bench/gif_estimate_tool"
widths=${WIDTHS:-"480 720 1080 1920"}
big=${widths##* }   # the --gif-max-size runs are at the largest width
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorell-gif-estimate.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$root/bench/jobs/make_inputs.sh" "$work/in" >/dev/null
for w in $widths; do
  h=$(( (w * 9 / 16 + 1) / 2 * 2 ))
  for n in 1 2; do
    convert "$work/in/photo$n-1920x1080.jpg" -resize "${w}x${h}!" -quality 90 "$work/in/p$n-$w.jpg"
  done
done

# Each case: a name, the tool's choices and the same choices as options of the job.
cases=(
  "default||"
  "global-ordered8-opt|p=global d=ordered8 o=1|--gif-palette global --gif-dither ordered8 --gif-optimize"
  "perframe-diffusion|p=per-frame d=diffusion|--gif-palette per-frame --gif-dither diffusion"
  "global-lossy40-opt|p=global d=ordered o=1 l=40|--gif-palette global --gif-optimize --gif-lossy 40"
  "holds-pingpong|hs=5 he=5 pp=1|--hold-start 5 --hold-end 5 --ping-pong"
  "holds-pingpong-opt|p=global o=1 hs=5 he=5 pp=1|--gif-palette global --gif-optimize --hold-start 5 --hold-end 5 --ping-pong"
  "quality70|q=70|--gif-quality 70"
  "quality50-holds-pp|q=50 hs=3 pp=1|--gif-quality 50 --hold-start 3 --ping-pong"
)

echo "estimate against result.gif (10 frames)"
printf '%-6s %-22s %12s %12s %8s\n' width choices estimate written error
worst=0
for w in $widths; do
  for c in "${cases[@]}"; do
    IFS='|' read -r name choices options <<<"$c"
    # shellcheck disable=SC2086
    estimate=$("$tool" "$work/in/p1-$w.jpg" "$work/in/p2-$w.jpg" 10 $choices)
    rm -rf "$work/out"; mkdir -p "$work/out"
    # shellcheck disable=SC2086
    "$mix" --type fade --format gif --image1 "$work/in/p1-$w.jpg" --image2 "$work/in/p2-$w.jpg" --frames 10 \
      --output "$work/out" $options >/dev/null
    written=$(stat -c %s "$work/out/result.gif")
    error=$(awk -v e="$estimate" -v r="$written" 'BEGIN {printf "%+.1f", (e - r) * 100 / r}')
    worst=$(awk -v a="$worst" -v b="$error" 'BEGIN {b = b < 0 ? -b : b; print (b > a ? b : a)}')
    printf '%-6s %-22s %12s %12s %7s%%\n' "$w" "$name" "$estimate" "$written" "$error"
  done
done
echo "largest error: $worst %"

echo
echo "--gif-max-size at $big wide, 10 frames (budgets: shares of the default choices' size)"
printf '%-10s %12s %12s %9s %10s %s\n' share budget written landed encodings options
rm -rf "$work/out"; mkdir -p "$work/out"
"$mix" --type fade --format gif --image1 "$work/in/p1-$big.jpg" --image2 "$work/in/p2-$big.jpg" --frames 10 --output "$work/out" >/dev/null
full=$(stat -c %s "$work/out/result.gif")
for run in "0.8|" "0.4|" "0.15|" "0.4|--hold-start 5 --hold-end 5 --ping-pong"; do
  IFS='|' read -r share options <<<"$run"
  budget=$(awk -v f="$full" -v s="$share" 'BEGIN {printf "%d", f * s}')
  rm -rf "$work/out"; mkdir -p "$work/out"
  # shellcheck disable=SC2086
  "$mix" --type fade --format gif --image1 "$work/in/p1-$big.jpg" --image2 "$work/in/p2-$big.jpg" --frames 10 \
    --output "$work/out" --gif-max-size "$budget" $options --progress json 2>"$work/progress.json" >/dev/null || true
  written=$(stat -c %s "$work/out/result.gif" 2>/dev/null || echo 0)
  # every full encoding ends with the "Writing GIF" bar full; the size search's estimates
  # report on the same bar but never fill it
  encodings=$(grep '"step":"Writing GIF"' "$work/progress.json" |
    sed -E 's/.*"done":([0-9.]+).*"total":([0-9.]+).*/\1 \2/' |
    awk '{full = $1 > 0 && $1 == $2} full && !was {n++} {was = full} END {print n + 0}')
  landed=$(awk -v w="$written" -v b="$budget" 'BEGIN {printf "%.1f%%", w * 100 / b}')
  printf '%-10s %12s %12s %9s %10s %s\n' "$share" "$budget" "$written" "$landed" "$encodings" "$options"
done

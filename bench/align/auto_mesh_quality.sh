#!/usr/bin/env bash
# Auto Points on made pairs, from the 1080p benchmark photo:
#  1. picture 2 is the photo under a known perspective map (corners moved up to 40 pixels,
#     ImageMagick -distort Perspective): how far the interior points of mesh 2 from
#     --auto-mesh --save-mesh lie from the truth (median, 95th percentile), on the mesh it lays
#     by itself (16 x 16) and on a 12 x 12 mesh given with --mesh;
#  2. Auto Points' time on that pair (median of 5), on a 16 x 16 and on a 5 x 5 mesh;
#  3. two shots of one scene (the sample photo at 1080p without the benchmark's grain, which a
#     cross-fade averages away whatever the mesh; cropped, and turned 2 degrees and cropped elsewhere):
#     the edge energy of the middle frame of a 3-frame Fade over the mean of its end frames',
#     for the plain cross-fade and for --auto-mesh.
# Usage: bench/align/auto_mesh_quality.sh BUILD_DIR [WORK_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
work=${2:-$(mktemp -d)}
mkdir -p "$work"
bash "$root/bench/jobs/make_inputs.sh" "$work/inputs" >/dev/null
photo="$work/inputs/photo1-1920x1080.jpg"
corners='0,0 30,-25  1919,0 1890,20  1919,1079 1950,1040  0,1079 -15,1115'
convert "$photo" -virtual-pixel white -distort Perspective "$corners" -quality 95 "$work/perspective.jpg"
python3 - "$work/grid12.json" <<'PY'
import json, sys
mesh = lambda: {"width": 1920, "height": 1080,
                "points": [[round(i * 1920 / 12), round(j * 1080 / 12)] for j in range(13) for i in range(13)]}
json.dump({"columns": 12, "rows": 12, "mesh1": mesh(), "mesh2": mesh()}, open(sys.argv[1], "w"))
PY
for grid in 16 12; do
  mkdir -p "$work/grid$grid"
  extra=""
  [ "$grid" = 12 ] && extra="--mesh $work/grid12.json"
  "$build/vantorell-mix" --type fade --frames 3 --image1 "$photo" --image2 "$work/perspective.jpg" \
    --output "$work/grid$grid" --auto-mesh --save-mesh "$work/grid$grid/mesh.json" $extra >/dev/null 2>&1
  printf '%2d x %-2d ' "$grid" "$grid"
  python3 "$root/bench/align/mesh_truth.py" "$work/grid$grid/mesh.json" "$corners"
done
for grid in 16 5; do
  "$build/bench/align/bench_auto_mesh_pair" "$photo" "$work/perspective.jpg" $grid $grid | head -1
done

convert "$root/assets/samples/sample1.jpg" -resize '1920x1080!' -quality 95 "$work/clean.jpg"
convert "$work/clean.jpg" -crop 1800x1000+40+30 +repage -quality 95 "$work/shot1.jpg"
convert "$work/clean.jpg" -distort SRT 2 -crop 1800x1000+70+45 +repage -quality 95 "$work/shot2.jpg"
for mode in plain auto; do
  flag=""
  [ "$mode" = auto ] && flag="--auto-mesh"
  mkdir -p "$work/$mode"
  "$build/vantorell-mix" --type fade --frames 3 --image1 "$work/shot1.jpg" --image2 "$work/shot2.jpg" \
    --output "$work/$mode" $flag >/dev/null 2>&1
  ffmpeg -v error -y -i "$work/$mode/result.avi" "$work/$mode/frame%d.png"
  energies=$("$build/bench/align/bench_auto_mesh_pair" --edge-energy "$work/$mode/frame1.png" \
    "$work/$mode/frame2.png" "$work/$mode/frame3.png")
  e1=$(sed -n 1p <<<"$energies"); e2=$(sed -n 2p <<<"$energies"); e3=$(sed -n 3p <<<"$energies")
  printf 'fade %-5s middle frame edge energy %s over the ends'"'"' mean %s: ratio %s\n' "$mode" "$e2" \
    "$(echo "($e1 + $e3) / 2" | bc -l | cut -c1-7)" "$(echo "$e2 / (($e1 + $e3) / 2)" | bc -l | cut -c1-5)"
done

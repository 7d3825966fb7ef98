#!/usr/bin/env bash
# Times a 30-frame true morph at 1920 x 1080 to an uncompressed AVI through vantorell-mix,
# side by side with xmorph's command-line `morph` (Debian package xmorph) on the same two
# pictures, the same two meshes (5 x 5 cells, every inner point moved) and the same 30
# (shape, colour) steps t = i / 29:
#   ours:   vantorell-mix --type fade --frames 30 --mesh meshes.json --codec uncompressed ...
#   morph:  morph -start a.tga -finish b.tga -src m1.mesh -dst m2.mesh -mt t -dt t -out f_i.tga
#           for each frame (one process a frame, as morph works), then FFmpeg packs the TGA
#           frames into an uncompressed (rawvideo bgr24) AVI; once one frame at a time, once two
#           at a time with GNU parallel (both cores, as ours uses).
# The commands run round-robin; the script prints each one's median wall time and the ratio.
#
# Usage: bench/jobs/morph_xmorph.sh BUILD_DIR [RUNS]     (default 5 runs)
set -euo pipefail

build=$(cd "${1:?usage: morph_xmorph.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-5}
root=$(cd "$(dirname "$0")/../.." && pwd)
mix="$build/vantorell-mix"
work=$(mktemp -d "${TMPDIR:-/tmp}/vantorell-morph-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
frames=30
width=1920
height=1080
command -v morph >/dev/null || { echo "xmorph's morph is not installed (apt-get install xmorph)"; exit 1; }

convert "$root/assets/samples/face1.jpg" -resize "${width}x${height}!" "$work/a.bmp"
convert "$root/assets/samples/face2.jpg" -resize "${width}x${height}!" "$work/b.bmp"
convert "$work/a.bmp" "$work/a.tga"
convert "$work/b.bmp" "$work/b.tga"

# The same meshes in both formats: our JSON, and xmorph's "M2" files (points per row from the
# top, left to right, "x y label" each).
python3 - "$work" "$width" "$height" <<'PY'
import json, random, sys
work, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
cells = 5
def regular():
    return [[w if c == cells else round(w * c / cells), h if r == cells else round(h * r / cells)]
            for r in range(cells + 1) for c in range(cells + 1)]
random.seed(5)
meshes = []
for m in range(2):
    pts = regular()
    for r in range(1, cells):
        for c in range(1, cells):
            p = pts[r * (cells + 1) + c]
            p[0] += random.randint(-w // cells // 4, w // cells // 4)
            p[1] += random.randint(-h // cells // 4, h // cells // 4)
    meshes.append(pts)
doc = {"columns": cells, "rows": cells,
       "mesh1": {"width": w, "height": h, "points": meshes[0]},
       "mesh2": {"width": w, "height": h, "points": meshes[1]}}
json.dump(doc, open(f"{work}/meshes.json", "w"))
for m, pts in enumerate(meshes):
    with open(f"{work}/m{m + 1}.mesh", "w") as f:
        f.write(f"M2\n{cells + 1} {cells + 1}\n")
        for x, y in pts:
            f.write(f"{x} {y} 0\n")
PY

mkdir -p "$work/ours" "$work/peer"
ours() {
  "$mix" --type fade --image1 "$work/a.bmp" --image2 "$work/b.bmp" --output "$work/ours" \
    --frames $frames --mesh "$work/meshes.json" --codec uncompressed >/dev/null
}
morphFrame() {
  local i=$1 t
  t=$(python3 -c "print($i / ($frames - 1))")
  morph -start "$work/a.tga" -finish "$work/b.tga" -src "$work/m1.mesh" -dst "$work/m2.mesh" \
    -mt "$t" -dt "$t" -out "$work/peer/f_$(printf %04d "$i").tga" >/dev/null 2>&1
}
export -f morphFrame
export work frames
packAvi() {
  ffmpeg -loglevel error -y -framerate 5 -i "$work/peer/f_%04d.tga" -c:v rawvideo -pix_fmt bgr24 "$work/peer/result.avi"
}
peer1() { for ((i = 0; i < frames; i++)); do morphFrame "$i"; done; packAvi; }
peer2() { seq 0 $((frames - 1)) | parallel -j2 morphFrame; packAvi; }

declare -A times
for ((run = 0; run < runs; run++)); do
  for name in ours peer1 peer2; do
    rm -f "$work"/peer/* "$work"/ours/*
    start=$(date +%s.%N)
    $name
    end=$(date +%s.%N)
    times[$name]+="$(python3 -c "print($end - $start)") "
  done
done
median() { python3 -c "import statistics,sys; print(f'{statistics.median(map(float, sys.argv[1:])):.2f}')" $1; }
ourMedian=$(median "${times[ours]}")
echo "30 frames, ${width} x ${height}, 5 x 5 moved meshes, uncompressed AVI; $runs runs, median wall seconds"
printf '%-44s %8s s\n' "vantorell-mix --mesh" "$ourMedian"
for name in peer1 peer2; do
  m=$(median "${times[$name]}")
  label=$([ $name = peer1 ] && echo "xmorph morph, one frame at a time + ffmpeg" || echo "xmorph morph, parallel -j2 + ffmpeg")
  printf '%-44s %8s s   (%sx ours)\n' "$label" "$m" "$(python3 -c "print(f'{$m / $ourMedian:.1f}')")"
done
ours
echo "frames written: ours $(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/ours/result.avi"), morph $(ls "$work/peer" | grep -c '^f_')"

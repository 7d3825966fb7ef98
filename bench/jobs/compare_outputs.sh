#!/bin/bash
# Runs the same vantorell-mix jobs with two builds and compares every output byte and message:
# a change that must not alter results is checked against the build before it.
# Usage: bench/jobs/compare_outputs.sh BEFORE_BUILD AFTER_BUILD
old=${1:?build before}; new=${2:?build after}; s=$(cd "$(dirname "$0")/../.." && pwd)/assets/samples
w=$(mktemp -d); fails=0
run() { # name args...
  local name=$1; shift
  mkdir -p $w/old/$name $w/new/$name
  TEMP=$w "$old/vantorell-mix" "$@" --output $w/old/$name > $w/old/$name.out 2>&1; echo "rc=$?" >> $w/old/$name.out
  TEMP=$w "$new/vantorell-mix" "$@" --output $w/new/$name > $w/new/$name.out 2>&1; echo "rc=$?" >> $w/new/$name.out
  if cmp -s <(cd $w/old/$name && sha256sum * 2>/dev/null) <(cd $w/new/$name && sha256sum * 2>/dev/null) && cmp -s <(sed -E "s#$w/old#W#g; s#0x[0-9a-f]+#0x#g" $w/old/$name.out) <(sed -E "s#$w/new#W#g; s#0x[0-9a-f]+#0x#g" $w/new/$name.out); then echo "same: $name $(cd $w/new/$name; ls)"; else echo "DIFFERENT: $name"; fails=1; diff <(sed -E "s#$w/old#W#g; s#0x[0-9a-f]+#0x#g" $w/old/$name.out) <(sed -E "s#$w/new#W#g; s#0x[0-9a-f]+#0x#g" $w/new/$name.out); fi
}
for d in left right top bottom; do run blend-$d --type blend --image1 $s/sample1.jpg --image2 $s/face1.jpg --direction $d --blend-size 150; done
run blend-q --type blend --image1 $s/sample1.jpg --image2 $s/sample2.jpg --quality 37
run overlay --type overlay --image1 $s/face1.jpg --image2 $s/sample1.jpg
run overlay-missing --type overlay --image1 $s/none.jpg --image2 $s/sample1.jpg
run blend-missing --type blend --image1 $s/none.jpg --image2 $s/sample1.jpg
run fade-avi --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 6 --fps 3
run fade-ffv1 --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4 --codec ffv1
run fade-mjpeg --type fade --image1 $s/face1.jpg --image2 $s/sample2.jpg --frames 3 --codec mjpeg
run fade-gif --type fade --format gif --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 8 --fps 8
run fade-gif-opt --type fade --format gif --gif-palette optimal --gif-dither diffusion --image1 $s/face1.jpg --image2 $s/sample1.jpg --frames 5
run fade-gif-none --type fade --format gif --gif-dither none --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 3
run fade-gif-global --type fade --format gif --gif-palette global --gif-dither ordered8 --gif-optimize --image1 $s/face1.jpg --image2 $s/sample1.jpg --frames 6 --fps 3
run fade-gif-perframe --type fade --format gif --gif-palette per-frame --gif-dither diffusion --gif-lossy 60 --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4 --fps 7
run fade-gif-lossy-opt --type fade --format gif --gif-optimize --gif-lossy 40 --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 5
run fade-gif-fit --type fade --format gif --gif-max-size 150KB --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 5
run fade-gif-zero --type fade --format gif --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 0
run fade-h264 --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4 --codec h264
run fade-mpeg4 --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4 --codec mpeg4
run fade-mp4 --type fade --format mp4 --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4
run fade-webp --type fade --format webp --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4
run fade-apng --type fade --format apng --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4
run fade-one --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 1
# The morph's frames: two meshes (the second's middle point moved), easing, holds, ping-pong, a sequence.
cat > $w/mesh.json <<'MESH'
{"columns": 2, "rows": 2,
 "mesh1": {"width": 256, "height": 256, "points": [[0,0],[128,0],[256,0],[0,128],[128,128],[256,128],[0,256],[128,256],[256,256]]},
 "mesh2": {"width": 256, "height": 256, "points": [[0,0],[128,0],[256,0],[0,128],[150,110],[256,128],[0,256],[128,256],[256,256]]}}
MESH
run fade-morph --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 5 --mesh $w/mesh.json --ease-shape in
run fade-timing --type fade --image1 $s/face1.jpg --image2 $s/face2.jpg --frames 4 --ease in-out --hold-start 2 --hold-end 1 --ping-pong
run fade-sequence --type fade --frames 3 --hold-end 2 --sequence-files $s/face1.jpg $s/face2.jpg $s/sample1.jpg
rm -rf $w; exit $fails

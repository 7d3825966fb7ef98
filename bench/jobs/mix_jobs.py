#!/usr/bin/env python3
"""Times whole Blend and Overlay jobs through vantorell-mix side by side with ImageMagick, vips and
the libjpeg floor (djpeg of the inputs, cjpeg of the output) on the same inputs, in one run.

Runs every command of a job round-robin (so machine load hits them alike), prints the median
wall time of each, the ratios to the fastest peer and to the floor, and the peak resident memory
(/usr/bin/time -v, largest process of the command).

Usage: bench/jobs/mix_jobs.py BUILD_DIR [--runs N] [--work DIR] [--sizes 1920x1080,4000x3000]
                               [--jobs blend,overlay]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CANVAS_W, CANVAS_H = 729, 425
QUALITY = 90


def sh(cmd):
    subprocess.run(cmd, shell=True, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def jpeg_size(path):
    out = subprocess.run(['identify', '-format', '%w %h', path], check=True, capture_output=True, text=True).stdout
    w, h = out.split()
    return int(w), int(h)


def dct_scale(w, h):
    """The largest libjpeg scale 1/s whose output still covers the canvas."""
    for s in (8, 4, 2):
        if -(-w // s) >= CANVAS_W and -(-h // s) >= CANVAS_H:
            return s
    return 1


def peak_kb(cmd):
    r = subprocess.run(['/usr/bin/time', '-v', 'sh', '-c', cmd], capture_output=True, text=True)
    m = re.search(r'Maximum resident set size \(kbytes\): (\d+)', r.stderr)
    return int(m.group(1)) if m else -1


def time_round_robin(commands, runs):
    times = {name: [] for name, _, _ in commands}
    for _ in range(runs):
        for name, cmd, _ in commands:
            start = time.perf_counter()
            subprocess.run(cmd, shell=True, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(t) for name, t in times.items()}


def report(title, commands, medians):
    print(f'\n== {title}')
    ours = medians['vantorell-mix']
    peers = [n for n, _, kind in commands if kind == 'peer']
    floor = [n for n, _, kind in commands if kind == 'floor'][0]
    best = min(peers, key=lambda n: medians[n])
    for name, cmd, kind in commands:
        print(f'  {name:34s} {medians[name] * 1000:8.1f} ms   peak {peak_kb(cmd) / 1024:7.1f} MB   [{kind}]')
    print(f'  fastest peer: {best}; ours is {medians[best] / ours:.2f}x faster than it, '
          f'{ours / medians[floor]:.2f}x the floor')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('build')
    ap.add_argument('--runs', type=int, default=11)
    ap.add_argument('--work', default=None)
    ap.add_argument('--sizes', default='1920x1080,4000x3000')
    ap.add_argument('--jobs', default='blend,overlay')
    args = ap.parse_args()

    mix = os.path.abspath(os.path.join(args.build, 'vantorell-mix'))
    for tool in ('convert', 'composite', 'vips', 'djpeg', 'cjpeg', 'identify'):
        if not shutil.which(tool):
            sys.exit(f'{tool} is missing (scripts/install-deps.sh installs it)')
    work = args.work or tempfile.mkdtemp(prefix='vantorell-bench-')
    inputs = os.path.join(work, 'inputs')
    sh(f'"{ROOT}/bench/jobs/make_inputs.sh" "{inputs}"')
    out = os.path.join(work, 'out')
    os.makedirs(out, exist_ok=True)

    # The blend mask for the peers: a horizontal ramp over the whole canvas (vips: made once).
    mask = os.path.join(work, 'ramp.v')
    sh(f'vips xyz "{work}/xy.v" {CANVAS_W} {CANVAS_H} && vips extract_band "{work}/xy.v" "{work}/x.v" 0 && '
       f'vips linear "{work}/x.v" "{mask}" {255 / (CANVAS_W - 1)} 0 --uchar')

    for size in args.sizes.split(','):
        a = os.path.join(inputs, f'photo1-{size}.jpg')
        b = os.path.join(inputs, f'photo2-{size}.jpg')
        w, h = jpeg_size(a)
        s = dct_scale(w, h)
        canvas_ppm = os.path.join(work, f'canvas-{size}.ppm')
        full_ppm = os.path.join(work, f'full-{size}.ppm')
        sh(f'convert "{a}" -resize {CANVAS_W}x{CANVAS_H}! "{canvas_ppm}"')
        sh(f'djpeg "{a}" > "{full_ppm}"')
        im = os.path.join(work, f'im-{size}.jpg')
        vt1, vt2 = os.path.join(work, 't1.v'), os.path.join(work, 't2.v')

        blend = [
            ('vantorell-mix', f'"{mix}" --type blend --quality {QUALITY} --image1 "{a}" --image2 "{b}" --output "{out}"',
             'ours'),
            ('convert -resize + gradient mask',
             f'convert "{a}" -resize {CANVAS_W}x{CANVAS_H}! "{b}" -resize {CANVAS_W}x{CANVAS_H}! '
             f'\\( -size {CANVAS_H}x{CANVAS_W} gradient:black-white -rotate 90 \\) -composite -quality {QUALITY} "{im}"',
             'peer'),
            ('convert jpeg:size + gradient mask',
             f'convert -define jpeg:size={CANVAS_W}x{CANVAS_H} "{a}" -resize {CANVAS_W}x{CANVAS_H}! '
             f'-define jpeg:size={CANVAS_W}x{CANVAS_H} "{b}" -resize {CANVAS_W}x{CANVAS_H}! '
             f'\\( -size {CANVAS_H}x{CANVAS_W} gradient:black-white -rotate 90 \\) -composite -quality {QUALITY} "{im}"',
             'peer'),
            ('vips thumbnail + ifthenelse --blend',
             f'vips thumbnail "{a}" "{vt1}" {CANVAS_W} --height {CANVAS_H} --size force && '
             f'vips thumbnail "{b}" "{vt2}" {CANVAS_W} --height {CANVAS_H} --size force && '
             f'vips ifthenelse "{mask}" "{vt2}" "{vt1}" "{im}[Q={QUALITY}]" --blend',
             'peer'),
            (f'floor: djpeg -scale 1/{s} x2 + cjpeg',
             f'djpeg -scale 1/{s} "{a}" > /dev/null && djpeg -scale 1/{s} "{b}" > /dev/null && '
             f'cjpeg -quality {QUALITY} "{canvas_ppm}" > /dev/null',
             'floor'),
        ]
        overlay = [
            ('vantorell-mix', f'"{mix}" --type overlay --quality {QUALITY} --image1 "{a}" --image2 "{b}" --output "{out}"',
             'ours'),
            ('composite -blend 50',
             f'composite -blend 50 "{b}" "{a}" -quality {QUALITY} "{im}"', 'peer'),
            ('vips add + linear',
             f'vips add "{a}" "{b}" "{vt1}" && vips linear "{vt1}" "{im}[Q={QUALITY}]" 0.5 0 --uchar', 'peer'),
            ('floor: djpeg x2 + cjpeg',
             f'djpeg "{a}" > /dev/null && djpeg "{b}" > /dev/null && cjpeg -quality {QUALITY} "{full_ppm}" > /dev/null',
             'floor'),
        ]
        for title, commands in ((f'Blend {size}', blend), (f'Overlay {size}', overlay)):
            if title.split()[0].lower() not in args.jobs.split(','):
                continue
            medians = time_round_robin(commands, args.runs)
            report(title, commands, medians)
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()

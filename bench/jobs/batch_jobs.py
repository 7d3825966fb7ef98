#!/usr/bin/env python3
"""Times vantorell-mix batch side by side with ImageMagick driven by GNU parallel on the same pairs,
in one run: 200 Blends of 1920 x 1080 JPEGs and 40 Overlays of 12 MP (4000 x 3000) JPEGs.

For each: `--jobs 1` and `--jobs 2` of our batch, ImageMagick under `parallel -j2`, and one single
job (its time and peak memory). Commands run round-robin (machine load hits them alike); the
medians, the ratios the goals name, and the peak resident memory (/usr/bin/time -v, largest
process) are printed. The Overlay also gets its decode-and-encode floor (djpeg x2 + cjpeg).

Usage: bench/jobs/batch_jobs.py BUILD_DIR [--runs N] [--work DIR] [--blends 200] [--overlays 40]
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


def peak_mb(cmd):
    """Peak resident memory (MB) and CPU seconds (user + system) of one run."""
    r = subprocess.run(['/usr/bin/time', '-v', 'sh', '-c', cmd], capture_output=True, text=True)
    m = re.search(r'Maximum resident set size \(kbytes\): (\d+)', r.stderr)
    cpu = sum(float(x) for x in re.findall(r'(?:User|System) time \(seconds\): ([\d.]+)', r.stderr))
    return (int(m.group(1)) / 1024 if m else -1), cpu


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def time_round_robin(commands, runs):
    times = {name: [] for name, _, _ in commands}
    for _ in range(runs):
        for name, cmd, out in commands:
            if out:
                fresh(out)
            start = time.perf_counter()
            subprocess.run(cmd, shell=True, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            times[name].append(time.perf_counter() - start)
    return {name: statistics.median(t) for name, t in times.items()}


def write_lists(work, kind, a, b, count):
    """The same pairs twice: a CSV for us, a headerless list for parallel."""
    csv = os.path.join(work, f'{kind}.csv')
    plain = os.path.join(work, f'{kind}.txt')
    with open(csv, 'w') as c, open(plain, 'w') as p:
        c.write('image1,image2,output\n')
        for i in range(count):
            c.write(f'{a},{b},{kind}{i:04d}.jpg\n')
            p.write(f'{a},{b},{kind}{i:04d}.jpg\n')
    return csv, plain


def bench(title, work, runs, mix, csv, plain, batch_type, peer, single, floor=None):
    out = {n: os.path.join(work, f'out-{n}') for n in ('j1', 'j2', 'im', 'single')}
    commands = [
        ('vantorell-mix batch --jobs 1',
         f'"{mix}" batch --type {batch_type} --quality {QUALITY} --pairs "{csv}" --output "{out["j1"]}" --jobs 1', out['j1']),
        ('vantorell-mix batch --jobs 2',
         f'"{mix}" batch --type {batch_type} --quality {QUALITY} --pairs "{csv}" --output "{out["j2"]}" --jobs 2', out['j2']),
        ('parallel -j2 ImageMagick',
         f"parallel -j2 --colsep , '{peer.replace('OUT', out['im'])}' :::: \"{plain}\"", out['im']),
        ('single job', single.replace('OUT', out['single']), out['single']),
    ]
    if floor:
        commands.append(('floor: djpeg x2 + cjpeg', floor, None))
    medians = time_round_robin(commands, runs)
    print(f'\n== {title} ({runs} runs, medians)')
    peaks = {}
    for name, cmd, folder in commands:
        if folder:
            fresh(folder)
        peaks[name], cpu = peak_mb(cmd)
        print(f'  {name:32s} {medians[name]:8.3f} s   peak {peaks[name]:7.1f} MB   cpu {cpu:7.2f} s')
        print(f'      {cmd}')
    j1, j2, im = medians['vantorell-mix batch --jobs 1'], medians['vantorell-mix batch --jobs 2'], medians['parallel -j2 ImageMagick']
    single_peak = peaks['single job']
    print(f'  --jobs 2 vs --jobs 1: {j1 / j2:.2f}x faster (goal >= 1.7x; needs two idle cores: '
          f'{os.cpu_count()} here, load {os.getloadavg()[0]:.1f})')
    print(f'  --jobs 2 vs parallel -j2 ImageMagick: {im / j2:.2f}x faster (goal >= 3x)')
    print(f'  peak --jobs 2: {peaks["vantorell-mix batch --jobs 2"]:.1f} MB; 2 x single job + 20 MB = '
          f'{2 * single_peak + 20:.1f} MB')
    if floor:
        print(f'  single job: {medians["single job"] / medians["floor: djpeg x2 + cjpeg"]:.2f}x the floor (goal <= 1.3x); '
              f'peak {single_peak:.1f} MB (goal < 52 MB)')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('build')
    ap.add_argument('--runs', type=int, default=3)
    ap.add_argument('--work', default=None)
    ap.add_argument('--blends', type=int, default=200)
    ap.add_argument('--overlays', type=int, default=40)
    args = ap.parse_args()

    mix = os.path.abspath(os.path.join(args.build, 'vantorell-mix'))
    for tool in ('convert', 'composite', 'parallel', 'djpeg', 'cjpeg'):
        if not shutil.which(tool):
            sys.exit(f'{tool} is missing (scripts/install-deps.sh installs it)')
    work = args.work or tempfile.mkdtemp(prefix='vantorell-batch-bench-')
    inputs = os.path.join(work, 'inputs')
    sh(f'"{ROOT}/bench/jobs/make_inputs.sh" "{inputs}"')

    a, b = (os.path.join(inputs, f'photo{n}-1920x1080.jpg') for n in (1, 2))
    csv, plain = write_lists(work, 'blend', a, b, args.blends)
    bench(f'{args.blends} Blends of 1920 x 1080', work, args.runs, mix, csv, plain, 'blend',
          f'convert {{1}} -resize {CANVAS_W}x{CANVAS_H}! {{2}} -resize {CANVAS_W}x{CANVAS_H}! '
          f'\\( -size {CANVAS_H}x{CANVAS_W} gradient:black-white -rotate 90 \\) -composite -quality {QUALITY} OUT/{{3}}',
          f'"{mix}" --type blend --quality {QUALITY} --image1 "{a}" --image2 "{b}" --output OUT')

    a, b = (os.path.join(inputs, f'photo{n}-4000x3000.jpg') for n in (1, 2))
    full_ppm = os.path.join(work, 'full-4000x3000.ppm')
    sh(f'djpeg "{a}" > "{full_ppm}"')
    csv, plain = write_lists(work, 'overlay', a, b, args.overlays)
    bench(f'{args.overlays} Overlays of 4000 x 3000', work, args.runs, mix, csv, plain, 'overlay',
          f'composite -blend 50 {{2}} {{1}} -quality {QUALITY} OUT/{{3}}',
          f'"{mix}" --type overlay --quality {QUALITY} --image1 "{a}" --image2 "{b}" --output OUT',
          floor=f'djpeg "{a}" > /dev/null && djpeg "{b}" > /dev/null && cjpeg -quality {QUALITY} "{full_ppm}" > /dev/null')
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Times the Fade job to a 10-frame uncompressed AVI through vantorell-mix side by side with
FFmpeg's xfade filter writing the same kind of AVI (rawvideo, bgr24, 10 frames at 5 per second)
from the same two JPEGs, at 1920 x 1080 and 4000 x 3000: the quickest form (each picture decoded
once and repeated by the loop filter) and the plainer one (-loop 1 on the inputs).

The commands run round-robin (machine load hits both alike), each after a sync; the script prints the median wall
time and the median CPU time (user + system) of each, their ratios, and the peak resident memory
(/usr/bin/time -v) against the goal of six 32-bit frames plus 50 MB.

Usage: bench/jobs/fade_avi.py BUILD_DIR [--runs N] [--work DIR] [--sizes 1920x1080,4000x3000]
"""
import argparse
import os
import re
import resource
import statistics
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FRAMES, FPS = 10, 5


def make_inputs(work, size):
    """Two grainy q90 JPEGs of the size, from the shipped sample photographs."""
    paths = []
    for n in (1, 2):
        path = os.path.join(work, f'fade{n}-{size}.jpg')
        if not os.path.exists(path):
            subprocess.run(['convert', os.path.join(ROOT, 'assets', 'samples', f'sample{n}.jpg'),
                            '-resize', f'{size}!', '-attenuate', '0.5', '+noise', 'Gaussian',
                            '-sampling-factor', '2x2', '-quality', '90', path], check=True)
        paths.append(path)
    return paths


def run_timed(cmd):
    """Wall and CPU seconds of one run of the command (children included). Each command writes
    hundreds of megabytes: the dirty pages of the one before are written out first (untimed), so
    no command pays for the disk still busy with another's file."""
    os.sync()
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def peak_mb(cmd):
    r = subprocess.run(['/usr/bin/time', '-v'] + cmd, capture_output=True, text=True)
    m = re.search(r'Maximum resident set size \(kbytes\): (\d+)', r.stderr)
    return int(m.group(1)) / 1024 if m else -1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build')
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--work')
    parser.add_argument('--sizes', default='1920x1080,4000x3000')
    args = parser.parse_args()
    mix = os.path.join(os.path.abspath(args.build), 'vantorell-mix')
    work = args.work or tempfile.mkdtemp(prefix='vantorell-fade-bench-')
    os.makedirs(work, exist_ok=True)

    for size in args.sizes.split(','):
        w, h = (int(v) for v in size.split('x'))
        one, two = make_inputs(work, size)
        ours_dir = os.path.join(work, 'ours')
        os.makedirs(ours_dir, exist_ok=True)
        peer_out = os.path.join(work, 'xfade.avi')
        duration = (FRAMES - 1) / FPS
        commands = {
            'vantorell-mix fade': [mix, '--type', 'fade', '--image1', one, '--image2', two, '--output', ours_dir,
                                   '--frames', str(FRAMES), '--fps', str(FPS), '--format', 'avi',
                                   '--codec', 'uncompressed'],
            # The quickest FFmpeg way to the same file: each picture decoded once and looped.
            'ffmpeg xfade loop': ['ffmpeg', '-v', 'error', '-y', '-framerate', str(FPS), '-i', one,
                                  '-framerate', str(FPS), '-i', two, '-filter_complex',
                                  f'[0]loop=loop={FRAMES - 1}:size=1:start=0[a];'
                                  f'[1]loop=loop={FRAMES - 1}:size=1:start=0[b];'
                                  f'[a][b]xfade=transition=fade:duration={duration}:offset=0',
                                  '-frames:v', str(FRAMES), '-c:v', 'rawvideo', '-pix_fmt', 'bgr24', peer_out],
            'ffmpeg xfade': ['ffmpeg', '-v', 'error', '-y', '-loop', '1', '-framerate', str(FPS), '-t', '2', '-i', one,
                             '-loop', '1', '-framerate', str(FPS), '-t', '2', '-i', two, '-filter_complex',
                             f'[0][1]xfade=transition=fade:duration={duration}:offset=0,format=bgr24',
                             '-frames:v', str(FRAMES), '-c:v', 'rawvideo', '-pix_fmt', 'bgr24', peer_out],
        }
        walls = {name: [] for name in commands}
        cpus = {name: [] for name in commands}
        for _ in range(args.runs):
            for name, cmd in commands.items():
                wall, cpu = run_timed(cmd)
                walls[name].append(wall)
                cpus[name].append(cpu)
        frame_mb = w * h * 4 / 2**20
        print(f'\nFade to a {FRAMES}-frame uncompressed AVI, {size}, {args.runs} runs each, medians')
        print(f'  {"command":22} {"wall s":>8} {"cpu s":>8} {"peak MB":>9}')
        for name, cmd in commands.items():
            print(f'  {name:22} {statistics.median(walls[name]):8.3f} {statistics.median(cpus[name]):8.3f}'
                  f' {peak_mb(cmd):9.1f}')
        ours = 'vantorell-mix fade'
        for peer in ('ffmpeg xfade loop', 'ffmpeg xfade'):
            print(f'  speed-up ({peer} / ours): wall {statistics.median(walls[peer]) / statistics.median(walls[ours]):.2f}x,'
                  f' cpu {statistics.median(cpus[peer]) / statistics.median(cpus[ours]):.2f}x (goal 1.5x)')
        print(f'  memory goal: six 32-bit frames + 50 MB = {6 * frame_mb + 50:.1f} MB')
        print(f'  load average: {os.getloadavg()[0]:.2f}')


if __name__ == '__main__':
    main()

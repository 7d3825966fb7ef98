#!/usr/bin/env python3
"""Times the Fade job to each video format (mp4, webm, webp, apng) through vantorell-mix side by
side with FFmpeg's xfade pipeline writing the same format with the same encoder settings, from
the same two JPEGs (10 frames at 5 per second). The encoder dominates both; the goal is our time
at most the peer's. Commands run round-robin; medians of wall and CPU time are printed.

  mp4   libx264, yuv420p, CRF 23 (our default), +faststart
  webm  libvpx-vp9, yuv420p, CRF 31, -b:v 0, cpu-used 4, row-mt 1 (our default)
  webp  libwebp_anim, quality 75 (our default), loop forever
  apng  apng, rgb24, loop forever

Usage: bench/jobs/fade_formats.py BUILD_DIR [--runs N] [--work DIR] [--sizes 1920x1080]
       [--formats mp4,webm,webp,apng]
"""
import argparse
import os
import statistics
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fade_avi import FRAMES, FPS, make_inputs, run_timed  # noqa: E402

PEER_CODEC = {
    'mp4': ['-c:v', 'libx264', '-pix_fmt', 'yuv420p', '-crf', '23', '-movflags', '+faststart'],
    'webm': ['-c:v', 'libvpx-vp9', '-pix_fmt', 'yuv420p', '-crf', '31', '-b:v', '0', '-cpu-used', '4', '-row-mt', '1'],
    'webp': ['-c:v', 'libwebp_anim', '-pix_fmt', 'bgra', '-quality', '75', '-loop', '0'],
    'apng': ['-c:v', 'apng', '-pix_fmt', 'rgb24', '-plays', '0', '-f', 'apng'],
}
EXTENSION = {'mp4': 'mp4', 'webm': 'webm', 'webp': 'webp', 'apng': 'png'}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build')
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--work')
    parser.add_argument('--sizes', default='1920x1080')
    parser.add_argument('--formats', default='mp4,webm,webp,apng')
    args = parser.parse_args()
    mix = os.path.join(os.path.abspath(args.build), 'vantorell-mix')
    work = args.work or tempfile.mkdtemp(prefix='vantorell-formats-bench-')
    os.makedirs(work, exist_ok=True)
    duration = (FRAMES - 1) / FPS
    for size in args.sizes.split(','):
        one, two = make_inputs(work, size)
        for fmt in args.formats.split(','):
            ours_dir = os.path.join(work, 'ours-' + fmt)
            os.makedirs(ours_dir, exist_ok=True)
            peer_out = os.path.join(work, 'xfade.' + EXTENSION[fmt])
            commands = {
                'vantorell-mix': [mix, '--type', 'fade', '--image1', one, '--image2', two, '--output', ours_dir,
                                  '--frames', str(FRAMES), '--fps', str(FPS), '--format', fmt],
                'ffmpeg xfade': ['ffmpeg', '-v', 'error', '-y', '-framerate', str(FPS), '-i', one,
                                 '-framerate', str(FPS), '-i', two, '-filter_complex',
                                 f'[0]loop=loop={FRAMES - 1}:size=1:start=0[a];'
                                 f'[1]loop=loop={FRAMES - 1}:size=1:start=0[b];'
                                 f'[a][b]xfade=transition=fade:duration={duration}:offset=0',
                                 '-frames:v', str(FRAMES)] + PEER_CODEC[fmt] + [peer_out],
            }
            walls = {name: [] for name in commands}
            cpus = {name: [] for name in commands}
            for _ in range(args.runs):
                for name, cmd in commands.items():
                    wall, cpu = run_timed(cmd)
                    walls[name].append(wall)
                    cpus[name].append(cpu)
            print(f'\nFade to {fmt}, {FRAMES} frames, {size}, {args.runs} runs each, medians')
            print(f'  {"command":16} {"wall s":>8} {"cpu s":>8} {"bytes":>10}')
            outputs = {'vantorell-mix': os.path.join(ours_dir, 'result.' + EXTENSION[fmt]), 'ffmpeg xfade': peer_out}
            for name, cmd in commands.items():
                print(f'  {name:16} {statistics.median(walls[name]):8.3f} {statistics.median(cpus[name]):8.3f}'
                      f' {os.path.getsize(outputs[name]):10d}')
                print(f'    {" ".join(cmd)}')
            ratio = statistics.median(walls['ffmpeg xfade']) / statistics.median(walls['vantorell-mix'])
            print(f'  xfade / ours: wall {ratio:.2f}x (goal >= 1.0)   load average {os.getloadavg()[0]:.2f}')


if __name__ == '__main__':
    main()

#!/usr/bin/env python3
"""Times the same vantorell-mix jobs from two builds side by side: runs interleaved, medians
and the after/before ratio. A change that should not move speed is checked against the build
before it.

Usage: python3 bench/jobs/before_after.py BEFORE_BUILD AFTER_BUILD [--runs N]
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        inputs, out, temp = work / "in", work / "out", work / "temp"
        for folder in (inputs, out, temp):
            folder.mkdir()
        subprocess.run([str(ROOT / "bench/jobs/make_inputs.sh"), str(inputs)], check=True, capture_output=True)
        a, b = inputs / "photo1-1920x1080.jpg", inputs / "photo2-1920x1080.jpg"
        big_a, big_b = inputs / "photo1-4000x3000.jpg", inputs / "photo2-4000x3000.jpg"
        jobs = {
            "blend 1080p": ["--type", "blend", "--image1", a, "--image2", b],
            "overlay 12 MP": ["--type", "overlay", "--image1", big_a, "--image2", big_b],
            "fade AVI 1080p, 10 frames": ["--type", "fade", "--image1", a, "--image2", b, "--frames", "10"],
            "fade GIF 1080p, 10 frames": ["--type", "fade", "--format", "gif", "--image1", a, "--image2", b,
                                          "--frames", "10"],
            "fade GIF optimal+diffusion": ["--type", "fade", "--format", "gif", "--gif-palette", "optimal",
                                           "--gif-dither", "diffusion", "--image1", a, "--image2", b, "--frames", "10"],
            "fade GIF global, optimised": ["--type", "fade", "--format", "gif", "--gif-palette", "global",
                                           "--gif-optimize", "--image1", a, "--image2", b, "--frames", "10"],
        }
        env = dict(os.environ, TEMP=str(temp))
        print(f"{'job':28} {'before':>10} {'after':>10} {'after/before':>13}")
        for name, job in jobs.items():
            times = {"before": [], "after": []}
            for _ in range(args.runs):
                for side in ("before", "after"):
                    command = [str(Path(getattr(args, side)) / "vantorell-mix")] + [str(x) for x in job]
                    start = time.perf_counter()
                    subprocess.run(command + ["--output", str(out)], check=True, env=env, capture_output=True)
                    times[side].append(time.perf_counter() - start)
            before, after = statistics.median(times["before"]), statistics.median(times["after"])
            print(f"{name:28} {before * 1000:8.1f}ms {after * 1000:8.1f}ms {after / before:13.3f}")


if __name__ == "__main__":
    main()

#!/usr/bin/env bash
# Times the 12 MP Overlay of an sRGB photo with an Adobe RGB one, --colour keep against
# --colour ignore, in alternating runs (keep, ignore, keep, ...) so that a change in the
# machine's load falls on both alike; prints each one's median of RUNS and their ratio.
# Usage: bench/colour/overlay_speed.sh BUILD [WORK_DIR] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build}" && pwd); w=${2:-$(mktemp -d)}; runs=${3:-7}
mkdir -p "$w"; cd "$w"
bash "$root/bench/jobs/make_inputs.sh" . > /dev/null
icc=/usr/share/color/icc/ghostscript
[ -s adobe2-12mp.jpg ] || convert photo2-4000x3000.jpg -profile $icc/srgb.icc -profile $icc/a98.icc -quality 90 adobe2-12mp.jpg
mkdir -p out-keep out-ignore
python3 - "$build/vantorell-mix" "$runs" <<'PY'
import statistics, subprocess, sys, time
mix, runs = sys.argv[1], int(sys.argv[2])
args = [mix, '--type', 'overlay', '--image1', 'photo1-4000x3000.jpg', '--image2', 'adobe2-12mp.jpg']
times = {'keep': [], 'ignore': []}
for i in range(runs + 1):                      # the first round warms the caches, not counted
    for choice in times:
        start = time.perf_counter()
        subprocess.run(args + ['--output', 'out-' + choice, '--colour', choice], check=True, capture_output=True)
        if i:
            times[choice].append(time.perf_counter() - start)
keep, ignore = (statistics.median(times[c]) for c in ('keep', 'ignore'))
print(f'median of {runs}: keep {keep * 1000:.0f} ms, ignore {ignore * 1000:.0f} ms: {keep / ignore:.2f}x')
PY

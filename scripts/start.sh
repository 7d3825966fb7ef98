#!/usr/bin/env bash
# Installs what is needed, builds Vantorell and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build"
if [ -x "$root/build/vantorell" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$root/build/vantorell" "$@"
fi
# No display (or no window yet): run the batch job on the shipped samples.
out=${VANTORELL_OUT:-$HOME/Vantorell-result}
mkdir -p "$out"
"$root/build/vantorell-mix" --type blend --image1 "$root/assets/samples/sample1.jpg" \
  --image2 "$root/assets/samples/sample2.jpg" --output "$out"
echo "Result: $out/result.jpg"

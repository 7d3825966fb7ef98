#!/usr/bin/env bash
# Installs what is needed, builds Vantorell with its tests and runs them: once with GCC,
# once with clang under AddressSanitizer and UndefinedBehaviorSanitizer (with the fuzz
# targets built on libFuzzer), then each fuzz target for a fixed, repeatable number of inputs
# (VANTORELL_FUZZ_SECONDS=N explores for N seconds per target instead).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Runs ctest on one build and keeps its output for the closing summary.
run_tests() {
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout "$2" 2>&1 | tee "$logs/$(basename "$1").log"
}

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTORELL_BENCH=ON >/dev/null
cmake --build "$root/build" -j "$jobs"
run_tests "$root/build" 600
# The Python module (when the build made one) against the command line, with the python3 it was built for.
if compgen -G "$root/build/python/vantorell*.so" >/dev/null; then
  python=$(sed -n 's/^Python_EXECUTABLE:[A-Z]*=//p' "$root/build/CMakeCache.txt")
  PYTHONPATH="$root/build/python" "$python" -m pytest -q -p no:cacheprovider "$root/tests/python"
fi
# The Debian package: its files and Depends, and its programs run from the unpacked tree.
"$root/scripts/check-package.sh" "$root/build"

# The installed C++ library: installed to a temporary prefix, it exports only vantorell::api and
# needs neither Qt nor FFmpeg; examples/cpp builds against it with find_package(Vantorell), and
# its in-memory overlay is the file vantorell-mix writes.
check_installed_library() {
  local prefix=$logs/prefix samples=$root/assets/samples library
  cmake --install "$root/build" --prefix "$prefix" >/dev/null
  library=$(find "$prefix" -name libvantorell.so.1 | head -n 1)
  if nm -D --defined-only "$library" | c++filt | grep -v -E ' (A VANTORELL_1|[TVW] ((typeinfo|typeinfo name|vtable) for )?vantorell::api::)'; then
    echo "libvantorell exports more than its API" >&2; return 1
  fi
  if readelf -d "$library" | grep -E 'NEEDED.*(Qt|libav|opencv)'; then
    echo "libvantorell needs Qt, FFmpeg or OpenCV" >&2; return 1
  fi
  cmake -S "$root/examples/cpp" -B "$logs/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$logs/example" >/dev/null
  "$logs/example/overlay-example" "$samples/face1.jpg" "$samples/sample1.jpg" "$logs/example.jpg"
  "$root/build/vantorell-mix" --type overlay --image1 "$samples/face1.jpg" --image2 "$samples/sample1.jpg" \
    --quality 90 --output-file "$logs/mix.jpg" >/dev/null
  cmp "$logs/example.jpg" "$logs/mix.jpg"
  echo "installed library: exports only its API; overlay-example writes vantorell-mix's overlay"
}
check_installed_library

cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTORELL_SANITIZE=ON -DVANTORELL_FUZZ=ON >/dev/null
cmake --build "$root/build-asan" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
run_tests "$root/build-asan" 900

"$root/scripts/fuzz.sh" "$root/build-asan" ${VANTORELL_FUZZ_SECONDS:+"$VANTORELL_FUZZ_SECONDS"}

# Both ctest runs together (each has passed, or set -e would have stopped the script).
total=$(grep -h -o -E 'tests failed out of [0-9]+' "$logs"/*.log | awk '{s += $NF} END {print s + 0}')
failed=$(grep -h -o -E '[0-9]+ tests failed out of' "$logs"/*.log | awk '{s += $1} END {print s + 0}')
echo "tests: $((total - failed)) passed, $failed failed"

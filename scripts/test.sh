#!/usr/bin/env bash
# Installs what is needed, builds Vantorell with its tests and runs them: once with GCC,
# once with clang under AddressSanitizer and UndefinedBehaviorSanitizer (with the fuzz
# targets built on libFuzzer), then each fuzz target for a bounded time.
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
# The Debian package: its files and Depends, and its programs run from the unpacked tree.
"$root/scripts/check-package.sh" "$root/build"

cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTORELL_SANITIZE=ON -DVANTORELL_FUZZ=ON >/dev/null
cmake --build "$root/build-asan" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
run_tests "$root/build-asan" 900

"$root/scripts/fuzz.sh" "$root/build-asan" "${VANTORELL_FUZZ_SECONDS:-45}"

# Both ctest runs together (each has passed, or set -e would have stopped the script).
total=$(grep -h -o -E 'tests failed out of [0-9]+' "$logs"/*.log | awk '{s += $NF} END {print s + 0}')
failed=$(grep -h -o -E '[0-9]+ tests failed out of' "$logs"/*.log | awk '{s += $1} END {print s + 0}')
echo "tests: $((total - failed)) passed, $failed failed"

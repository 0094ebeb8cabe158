#!/usr/bin/env bash
# Cross-compiles the library for Windows, builds everything optimised (with
# the benchmarks) and with AddressSanitizer and UndefinedBehaviorSanitizer,
# warnings as errors each time, runs the fuzzers for a bounded time
# (scripts/fuzz.sh; FUZZ_SECONDS per target, default 60), then every test.
# Extra arguments go to ctest (e.g. -R Exports) and skip the fuzzers.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"

bash "$top/scripts/install-deps.sh"

echo "== Windows build of the Vantu library (mingw-w64)"
cmake -S "$top" -B "$top/build-mingw" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
  -DKESTRO_LIBRARY_ONLY=ON -DKESTRO_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build-mingw" -j"$jobs"

echo "== Optimised build with the benchmarks (optimisers warn about what a debug build does not)"
cmake -S "$top" -B "$top/build-release" -DKESTRO_WERROR=ON -DKESTRO_BENCHMARKS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build-release" -j"$jobs"

echo "== Sanitized build"
cmake -S "$top" -B "$top/build-test" -DKESTRO_SANITIZE=ON -DKESTRO_WERROR=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$top/build-test" -j"$jobs"

# The fuzzers run before the tests, so the test summary is the run's last word.
if [[ $# -eq 0 ]]; then
  bash "$top/scripts/fuzz.sh"
fi

echo "== Tests"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$top/build-test" --output-on-failure -j"$jobs" --timeout 300 "$@"

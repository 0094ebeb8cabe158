#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan) in build-fuzz/ and
# runs each from its seed corpus for a bounded time. Fails on any finding: a
# crash, a sanitizer report, a broken invariant or an input that hangs.
#
#   bash scripts/fuzz.sh                  # 60 s per target
#   FUZZ_SECONDS=600 bash scripts/fuzz.sh # longer
#   bash scripts/fuzz.sh chip_reply       # one target
#
# The corpus is copied to a scratch folder first, so the run never writes into
# the repository; the inputs it found are left in build-fuzz/corpus/<target>/,
# and a crashing input in build-fuzz/findings/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${FUZZ_SECONDS:-60}"
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=(vantu_text chip_reply)
# An input that runs this long has hung: the library's read limit is 10 s.
per_input_limit=5

bash "$top/scripts/install-deps.sh"

build="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DKESTRO_FUZZ=ON -DKESTRO_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzzer}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for target in "${targets[@]}"; do
  echo "== Fuzzing $target for $seconds s"
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings"
  cp "$top/fuzz/corpus/$target/"* "$corpus/"
  if ! "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout="$per_input_limit" \
      -artifact_prefix="$findings/" "$corpus" >"$build/$target.log" 2>&1; then
    tail -n 60 "$build/$target.log" >&2
    echo "fuzz: $target found a problem; the input is in $findings/ (the whole log: $build/$target.log)" >&2
    exit 1
  fi
  grep -E '^Done' "$build/$target.log" || true
done

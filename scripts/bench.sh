#!/usr/bin/env bash
# Builds the benchmarks with optimisation and runs them; each prints a table
# and writes it as CSV into build-bench/results/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build-bench" -DCMAKE_BUILD_TYPE=Release -DKESTRO_BENCHMARKS=ON >/dev/null
cmake --build "$top/build-bench" -j"$(nproc)" --target hexview_bench
mkdir -p "$top/build-bench/results"

echo "== Hex view and data buffer, 16 MiB"
"$top/build-bench/bench/hexview_bench" "$top/build-bench/results/hexview.csv"

#!/usr/bin/env bash
# Builds the benchmarks and prints their table, then the performance-target checks.
#
#   bench/run.sh [Google Benchmark options]   full run in build-bench/ (Release); `make bench`
#   bench/run.sh --smoke BUILD_DIR            CI smoke run: builds fins_bench in an existing
#                                             build tree and runs every benchmark briefly;
#                                             the timings of a smoke run are not judged.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

if [[ "${1:-}" == "--smoke" ]]; then
  build=${2:?usage: bench/run.sh --smoke BUILD_DIR}
  cmake -S . -B "$build" -DFINS_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target fins_bench -j "$JOBS"
  "$build/bench/fins_bench" --smoke --benchmark_min_time=0.001 --benchmark_color=false
  exit 0
fi

build=${BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DFINS_BUILD_BENCH=ON >/dev/null
echo "building fins_bench in $build (log: $build/bench-build.log)"
if ! cmake --build "$build" --target fins_bench -j "$JOBS" >"$build/bench-build.log" 2>&1; then
  tail -40 "$build/bench-build.log" >&2
  exit 1
fi
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
"$build/bench/fins_bench" --benchmark_min_time="${BENCH_MIN_TIME:-0.5}" \
  --benchmark_repetitions="${BENCH_REPETITIONS:-5}" --benchmark_report_aggregates_only=true "$@"

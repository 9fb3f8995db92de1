#!/usr/bin/env bash
# Builds the benchmark (Release) and lays out generated SQL of 10 KB to 10 MB and every file of
# ../shared/corpus with the shipped KEYWORD_ARRANGE.CSV (structured layout) and, in turns, with
# the same rows as a classic keyword file; at 10, 100 and 300 KB the direct pass is timed in the
# same run. Exits non-zero when a target is missed.
# Usage: bench/run.sh   (BUILD_DIR=... to use another build directory; default build-bench)
# bench/compare.sh COMMIT runs the same with an earlier commit's pass beside this one.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}

scripts/setup.sh build bench
if [[ -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_BENCH=ON >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_BENCH=ON \
    -DPELLOMAR_TESTS=OFF -DPELLOMAR_GUI=OFF >/dev/null
fi
cmake --build "$build" --target pellomar_bench

corpus=()
[[ -d ../shared/corpus ]] && corpus=(--corpus ../shared/corpus)
"$build/bench/pellomar_bench" --keywords-dir . "${corpus[@]}"

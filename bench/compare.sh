#!/usr/bin/env bash
# Times this tree's layout passes against an earlier commit's on the same inputs in one run:
# builds both (Release; this tree in build-bench/, the commit's sources exported by git archive
# and built in build-compare/), then runs bench/run.sh's benchmark with the commit's
# pellomar_bench beside it. They take turns on every generated input, best of five each, and the
# run exits non-zero when a target is missed, each mode's 10 MB time within 10% of the commit's
# among them. A commit without the structured pass would read the structured keyword file as a
# classic one: it is compared in the classic mode alone.
# Usage: bench/compare.sh COMMIT
set -euo pipefail
cd "$(dirname "$0")/.."
commit=${1:?usage: bench/compare.sh COMMIT}
other=build-compare

scripts/setup.sh build bench
configure() {  # source dir, build dir
  if [[ -f $2/CMakeCache.txt ]]; then
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_BENCH=ON >/dev/null
  else
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_BENCH=ON \
      -DPELLOMAR_TESTS=OFF -DPELLOMAR_GUI=OFF >/dev/null
  fi
  cmake --build "$2" --target pellomar_bench
}
configure . build-bench
rm -rf "$other/src"
mkdir -p "$other/src"
git archive "$commit" | tar -x -C "$other/src"
configure "$other/src" "$other/build"

corpus=()
[[ -d ../shared/corpus ]] && corpus=(--corpus ../shared/corpus)
modes=()
git cat-file -e "$commit:engine/structured" 2>/dev/null || modes=(--against-classic-only)
build-bench/bench/pellomar_bench --keywords-dir . "${corpus[@]}" \
  --against "$other/build/bench/pellomar_bench" "${modes[@]}"

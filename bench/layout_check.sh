#!/usr/bin/env bash
# Builds the layout checker (Release, in build-bench/) and runs it over every statement of
# ../shared/corpus/statements/ with the repository's KEYWORD_ARRANGE.CSV: the share of statements
# whose layout shows a fault, a count per fault kind, and the hard failures (more than whitespace
# changed, a second layout that changes the text, an error box), which make it exit non-zero.
# Usage: bench/layout_check.sh [--show KIND [N]] [--statements PATH]...
#   --show KIND N prints N examples of a kind (file and the output lines that show it).
#   KEYWORDS_DIR=... takes the keyword file from another directory; BUILD_DIR=... another build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
keywords=${KEYWORDS_DIR:-.}
statements=../shared/corpus/statements

if [[ ! -d $statements ]]; then
  echo "layout_check.sh: $statements is not beside the project" >&2
  exit 2
fi
scripts/setup.sh build
if [[ -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_BENCH=ON >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_BENCH=ON \
    -DPELLOMAR_TESTS=OFF -DPELLOMAR_GUI=OFF >/dev/null
fi
cmake --build "$build" --target pellomar_layout_check

"$build/bench/pellomar_layout_check" --keywords-dir "$keywords" --statements "$statements" "$@"

#!/usr/bin/env bash
# Sets up, builds, and lays out the SQL on standard input with the default keyword file,
# printing the result. Usage: ./run.sh < examples/sample.sql
# The build lives in build-run/, apart from test.sh's build/: each keeps its own settings, and
# running one after the other rebuilds nothing.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build >&2
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_TESTS=OFF >/dev/null
cmake --build build-run --target dovlek >&2
# Without a display dovlek reads standard input and writes standard output.
exec env -u DISPLAY -u WAYLAND_DISPLAY ./build-run/app/dovlek "$@"

#!/usr/bin/env bash
# Sets up, builds, and lays out the SQL on standard input with the default keyword file,
# printing the result. Usage: ./run.sh < examples/sample.sql
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_TESTS=OFF >/dev/null
cmake --build build --target dovlek >&2
# Without a display dovlek reads standard input and writes standard output.
exec env -u DISPLAY -u WAYLAND_DISPLAY ./build/app/dovlek "$@"

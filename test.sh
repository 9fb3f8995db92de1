#!/usr/bin/env bash
# Sets up, builds and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build test

werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLOMAR_WERROR=$werror
cmake --build build
ctest --test-dir build --output-on-failure -j2

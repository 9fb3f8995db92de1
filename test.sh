#!/usr/bin/env bash
# Sets up, builds and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh build test

werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLOMAR_WERROR=$werror
cmake --build build
ctest --test-dir build --output-on-failure -j2 | tee build/ctest-summary.log

# --- Sanitizers: the whole suite again, built with AddressSanitizer + UndefinedBehaviorSanitizer
# in its own build directory. allocator_may_return_null turns an allocation too large to make into
# the out-of-memory error the program reports, as a user would see it, instead of an abort.
# Leaks that Qt and the libraries below it keep until exit are listed in tests/lsan.supp.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLOMAR_WERROR=$werror \
  -DPELLOMAR_SANITIZE=ON
cmake --build build-asan
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
  ctest --test-dir build-asan --output-on-failure -j2 | tee build-asan/ctest-summary.log

# --- Fuzzing: every libFuzzer target for PELLOMAR_FUZZ_SECONDS (60 by default) with clang.
fuzz/run.sh "${PELLOMAR_FUZZ_SECONDS:-60}"

# --- Windows: dovlek.exe cross-built with MinGW-w64 into build-windows/, its tests under Wine on
# an Xvfb display of their own, the installer and the zip included.
windows_start=$SECONDS
scripts/windows.sh build
scripts/windows.sh test
windows_seconds=$((SECONDS - windows_start))

# --- The closing lines: the three ctest runs' summaries (every stage above stops the script when
# it fails, so reaching here means all passed).
echo "== build:      $(grep -E 'tests passed' build/ctest-summary.log)"
echo "== build-asan: $(grep -E 'tests passed' build-asan/ctest-summary.log)"
echo "== build-windows (under Wine, ${windows_seconds} s): $(grep -E 'tests passed' build-windows/ctest-summary.log)"
logs=(build/ctest-summary.log build-asan/ctest-summary.log build-windows/ctest-summary.log)
passed=$(cat "${logs[@]}" | grep -cE 'Test +#[0-9]+: .* Passed')
skipped=$(cat "${logs[@]}" | grep -cE 'Test +#[0-9]+: .*Skipped' || true)
echo "$passed passed, 0 failed, $skipped skipped"

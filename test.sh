#!/usr/bin/env bash
# Sets up, builds and runs every test, then checks formatting and clang-tidy. Exits non-zero on
# any failure. Every stage runs even when an earlier one failed (except when a build fails, which
# leaves nothing to run), so that the closing lines count each suite as it came out.
set -euo pipefail
cd "$(dirname "$0")"

werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON

stage_times=()
failed_stages=()
stage_start=0
begin_stage() {
  stage_start=$(date +%s)
  echo "== stage: $1" >&2
}
end_stage() {  # name, status
  stage_times+=("$1 $(($(date +%s) - stage_start)) s")
  (($2 == 0)) || failed_stages+=("$1")
}

# ctest's own summary counts skipped tests as passed; count each result from its own line.
# Prints "P passed, F failed, S skipped" for one ctest log.
ctest_counts() {
  local log=$1 passed failed skipped total
  passed=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec' "$log" || true)
  skipped=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped' "$log" || true)
  failed=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" | grep -E '\*\*\*|Failed' |
    grep -cv '\*\*\*Skipped' || true)
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  # A run that ended early (a crash of ctest itself) leaves results uncounted: say so.
  if [[ -z $total ]] || ((passed + failed + skipped != total)); then
    failed=$((failed + ${total:-0} - passed - skipped))
    ((failed > 0)) || failed=1
  fi
  echo "$passed passed, $failed failed, $skipped skipped"
}

# Runs one ctest suite; its log goes to BUILD_DIR/ctest-summary.log.
run_ctest() {  # build dir, extra env...
  local dir=$1 status=0
  shift
  env "$@" ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2 2>&1 |
    tee "$dir/ctest-summary.log" || status=$?
  return $status
}

begin_stage setup
scripts/setup.sh build test
end_stage setup 0

# --- The program and every test, as users and CI build them.
begin_stage build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLOMAR_WERROR=$werror \
  -DPELLOMAR_TESTS=ON -DPELLOMAR_BENCH=ON
cmake --build build
end_stage build 0

begin_stage ctest
status=0
run_ctest build || status=$?
end_stage ctest $status

# --- Sanitizers: the whole suite again, built with AddressSanitizer + UndefinedBehaviorSanitizer
# in its own build directory. allocator_may_return_null turns an allocation too large to make into
# the out-of-memory error the program reports, as a user would see it, instead of an abort.
# Leaks that Qt and the libraries below it keep until exit are listed in tests/lsan.supp.
begin_stage build-asan
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLOMAR_WERROR=$werror \
  -DPELLOMAR_TESTS=ON -DPELLOMAR_SANITIZE=ON
cmake --build build-asan
end_stage build-asan 0

begin_stage ctest-asan
status=0
run_ctest build-asan ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 || status=$?
end_stage ctest-asan $status

# --- Fuzzing: every libFuzzer target for PELLOMAR_FUZZ_SECONDS (60 by default) with clang.
begin_stage fuzz
status=0
fuzz/run.sh "${PELLOMAR_FUZZ_SECONDS:-60}" 2>&1 | tee build/fuzz-summary.log || status=$?
fuzz_clean=$(grep -cE '^[a-z0-9_]+_fuzz: .* exit 0$' build/fuzz-summary.log || true)
fuzz_failed=$(grep -cE '^[a-z0-9_]+_fuzz: .* exit [1-9][0-9]*$' build/fuzz-summary.log || true)
end_stage fuzz $status

# --- Formatting: every C++ file of the project against .clang-format.
begin_stage clang-format
mapfile -t sources < <(find app engine platform tests fuzz bench \
  \( -name '*.cpp' -o -name '*.h' \) -type f | sort)
status=0
clang-format-14 --dry-run --Werror "${sources[@]}" || status=$?
end_stage clang-format $status

# --- The folders' direction: no #include against it (scripts/check-layers.sh says which).
begin_stage layers
status=0
layers=$(scripts/check-layers.sh 2>&1) || status=$?
echo "$layers"
end_stage layers $status

# --- clang-tidy (.clang-tidy) over every translation unit of the project that the build
# compiles, headers of the project included; code that moc and rcc generate is not ours.
begin_stage clang-tidy
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' build/compile_commands.json |
  grep -E "^$PWD/(app|engine|platform|tests|fuzz|bench)/" | sort -u)
status=0
printf '%s\n' "${units[@]}" |
  xargs -P 2 -n 1 clang-tidy-14 -p build --quiet --warnings-as-errors='*' \
    --header-filter="^$PWD/(app|engine|platform|tests|fuzz|bench)/" \
    >build/clang-tidy.log 2>&1 || status=$?
tidy_findings=$(grep -cE '^/.*:[0-9]+:[0-9]+: (warning|error):' build/clang-tidy.log || true)
if ((status != 0 || tidy_findings > 0)); then
  grep -vE '^[0-9]+ warnings? (generated|treated as errors)\.$' build/clang-tidy.log >&2 || true
  status=1
fi
end_stage clang-tidy $status

# --- Windows: dovlek.exe cross-built with MinGW-w64 into build-windows/, its tests under Wine on
# an Xvfb display of their own, the installer and the zip included.
begin_stage windows
status=0
scripts/windows.sh build || status=$?
((status == 0)) && { scripts/windows.sh test || status=$?; }
end_stage windows $status

# --- The closing lines: each suite's own count, then the time each stage took.
build_counts=$(ctest_counts build/ctest-summary.log)
asan_counts=$(ctest_counts build-asan/ctest-summary.log)
windows_counts="not run (the cross build failed)"
[[ -f build-windows/ctest-summary.log ]] && windows_counts=$(ctest_counts build-windows/ctest-summary.log)
echo "== build:        $build_counts"
echo "== build-asan:   $asan_counts"
echo "== windows:      $windows_counts"
echo "== fuzz:         $fuzz_clean target(s) ran ${PELLOMAR_FUZZ_SECONDS:-60} s without a finding, $fuzz_failed failed"
echo "== clang-format: ${#sources[@]} files"
layers_summary=${layers##*$'\n'}
echo "== layers:       ${layers_summary#check-layers: }"
echo "== clang-tidy:   ${#units[@]} translation units, $tidy_findings finding(s)"
echo "== stage times:  $(IFS=,; echo "${stage_times[*]}" | sed 's/,/, /g')"
if ((${#failed_stages[@]} > 0)); then
  echo "FAILED: ${failed_stages[*]} (build: $build_counts; build-asan: $asan_counts; windows: $windows_counts)"
  exit 1
fi
echo "passed: build $build_counts; build-asan $asan_counts; windows $windows_counts; fuzz, clang-format, layers, clang-tidy clean"

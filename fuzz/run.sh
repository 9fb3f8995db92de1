#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs each for SECONDS
# seconds, one after the other. New inputs go to fuzz/corpus-work/<target>/, findings to
# fuzz/artifacts/<target>/. Exits non-zero on the first crash, leak, sanitizer report, time-out
# or broken property. Usage: fuzz/run.sh [SECONDS] [TARGET...]   (default 60 s, every target)
# Extra libFuzzer flags for a target live in fuzz/<target>.options, one per line.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

scripts/setup.sh build fuzz
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DPELLOMAR_FUZZ=ON -DPELLOMAR_TESTS=OFF -DPELLOMAR_GUI=OFF >/dev/null
cmake --build build-fuzz

if (($# > 0)); then
  targets=("$@")
else
  targets=()
  for exe in build-fuzz/fuzz/*_fuzz; do [[ -x "$exe" ]] && targets+=("$(basename "$exe")"); done
fi

# A too-large allocation must reach the program as a failed allocation (the out-of-memory error),
# as it does for users; the leak checker stays on.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

summary=()
for target in "${targets[@]}"; do
  work=fuzz/corpus-work/$target
  artifacts=fuzz/artifacts/$target
  mkdir -p "$work" "$artifacts" "fuzz/corpus/$target"
  options=(-max_total_time="$seconds" -timeout=30 -print_final_stats=1
           -dict=fuzz/sql.dict -artifact_prefix="$artifacts/")
  if [[ -f fuzz/$target.options ]]; then
    while read -r flag; do [[ -n "$flag" && "$flag" != \#* ]] && options+=("$flag"); done \
      < "fuzz/$target.options"
  fi
  echo "== $target: ${seconds}s ${options[*]}" >&2
  log=fuzz/artifacts/$target.log
  status=0
  "build-fuzz/fuzz/$target" "${options[@]}" "$work" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -1)
  summary+=("$target: ${runs:-?} runs, ${rate:-?} exec/s, peak RSS ${peak:-?} MB, exit $status")
  if ((status != 0)); then
    tail -n 60 "$log" >&2
    printf '%s\n' "${summary[@]}" >&2
    echo "fuzz/run.sh: $target failed; the input is in $artifacts/" >&2
    exit 1
  fi
done
printf '%s\n' "${summary[@]}" >&2

#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each one for a
# bounded time (SIO_FUZZ_SECONDS, 60 by default) from its kept corpus in
# fuzz/corpus/<target>. Any finding fails; its input is left in
# build/fuzz/findings/ for a regression corpus entry. Each runs under
# -rss_limit_mb=512 -malloc_limit_mb=256, so an allocation bomb is a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${SIO_FUZZ_SECONDS:-60}
# The image readers allocate up to a 4 MiB layout several times per input;
# AddressSanitizer's default 256 MiB quarantine of freed blocks would then
# take half the RSS limit by itself and make long runs fail on drift rather
# than on a leak. A smaller quarantine still catches use after free.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}
cmake --preset fuzz
# Every target with a kept corpus, and only those.
targets=()
for corpus in fuzz/corpus/*/; do
  targets+=("$(basename "$corpus")")
done
cmake --build --preset fuzz --target "${targets[@]}"
findings=build/fuzz/findings
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  binary=build/fuzz/fuzz/$target
  if [[ ! -x $binary ]]; then
    echo "fuzz target $target is not built"
    exit 1
  fi
  mkdir -p "$work/$target"
  echo "fuzzing $target for ${seconds}s"
  if ! "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -rss_limit_mb=512 -malloc_limit_mb=256 \
       -artifact_prefix="$findings/$target-" "$work/$target" "$corpus" >"$work/$target.log" 2>&1; then
    tail -n 80 "$work/$target.log"
    echo "fuzz target $target found a fault; input in $findings/"
    exit 1
  fi
  grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added))' \
    "$work/$target.log"
done

#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the libFuzzer targets (clang, ASan, UBSan) and runs each one for a
# bounded time (SIO_FUZZ_SECONDS, 60 by default) from its kept corpus in
# fuzz/corpus/<target>. Any finding fails; its input is left in
# build/fuzz/findings/ for a regression corpus entry. Each runs under
# -rss_limit_mb=512 -malloc_limit_mb=256, so an allocation bomb is a finding.
# A fuzzer uses one processor: SIO_FUZZ_JOBS targets (the processor count by
# default) run side by side, each still for its own full time.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phases.sh
seconds=${SIO_FUZZ_SECONDS:-60}
jobs=${SIO_FUZZ_JOBS:-$(nproc)}
# The image readers allocate up to a 4 MiB layout several times per input;
# AddressSanitizer's default 256 MiB quarantine of freed blocks would then
# take half the RSS limit by itself and make long runs fail on drift rather
# than on a leak. A smaller quarantine still catches use after free.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}
phase "configure fuzz" cmake --preset fuzz
# Every target with a kept corpus, and only those.
targets=()
for corpus in fuzz/corpus/*/; do
  targets+=("$(basename "$corpus")")
done
phase "build fuzz" cmake --build --preset fuzz --target "${targets[@]}"
findings=build/fuzz/findings
mkdir -p "$findings"
# Each target's log and the inputs it adds, kept until the next run.
work=build/fuzz/runs
rm -rf "$work"
mkdir -p "$work"
for target in "${targets[@]}"; do
  if [[ ! -x build/fuzz/fuzz/$target ]]; then
    echo "fuzz target $target is not built"
    exit 1
  fi
done

# One target's run; its output goes to $work/<target>.log, its exit status
# to $work/<target>.status.
fuzz_target() {
  local target=$1 status=0
  mkdir -p "$work/$target"
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -rss_limit_mb=512 -malloc_limit_mb=256 \
    -artifact_prefix="$findings/$target-" "$work/$target" "fuzz/corpus/$target" \
    >"$work/$target.log" 2>&1 || status=$?
  echo "$status" >"$work/$target.status"
  return "$status"
}

fuzz_all() {
  local running=0 failed=0 target
  for target in "${targets[@]}"; do
    if ((running >= jobs)); then
      wait -n || failed=1
      running=$((running - 1))
    fi
    echo "fuzzing $target for ${seconds}s"
    phase "fuzz $target" fuzz_target "$target" &
    running=$((running + 1))
  done
  while ((running > 0)); do
    wait -n || failed=1
    running=$((running - 1))
  done
  for target in "${targets[@]}"; do
    echo "== $target"
    if [[ $(cat "$work/$target.status") == 0 ]]; then
      grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added))' \
        "$work/$target.log"
    else
      tail -n 80 "$work/$target.log"
      echo "fuzz target $target found a fault; input in $findings/"
    fi
  done
  return "$failed"
}
phase "fuzz, $jobs at a time" fuzz_all

#!/usr/bin/env bash
# Builds host code and tests under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every host-side test; any finding fails. The QEMU boots and the
# second build of the reproducibility check (labels `qemu` and `rebuild`) run
# only in the default suite: the sanitizers would see nothing there that the
# host-side tests do not already run (preset `asan` leaves them out).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phases.sh
phase "configure asan" cmake --preset asan
phase "build asan" cmake --build --preset asan
phase "test asan" ctest --preset asan

#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds host code and tests under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every host-side test; any finding fails. The QEMU boots and the
# tests that build the image or the project again (labels `qemu` and
# `rebuild`) run only in the default suite (preset `asan` leaves them out):
# here a boot would add only the host tool's side of it, starting QEMU and
# reading its trace, and a second build no instrumented code at all.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phases.sh
phase "configure asan" cmake --preset asan
phase "build asan" cmake --build --preset asan
phase "test asan" ctest --preset asan

#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs what is missing, builds, and runs every test: the suite, the suite
# under the sanitizers, and each fuzz target for a bounded time. Ends with a
# table of the seconds each phase took (scripts/phases.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/phases.sh
phase install bash scripts/install-deps.sh
phase "configure default" cmake --preset default
phase "build default" cmake --build --preset default
phase "test default" ctest --preset default
phase "test qemu-x64-setup" ctest --preset qemu-x64-setup
bash scripts/sanitize.sh
bash scripts/fuzz.sh

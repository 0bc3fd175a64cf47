#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the suite, the suite
# under the sanitizers, and each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
bash scripts/sanitize.sh
bash scripts/fuzz.sh

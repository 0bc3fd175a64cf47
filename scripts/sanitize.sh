#!/usr/bin/env bash
# Builds host code and tests under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test; any finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

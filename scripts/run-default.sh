#!/usr/bin/env bash
# Installs what is missing, builds, and runs one pass on the default board.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
exec build/default/tool/sio run "$@"

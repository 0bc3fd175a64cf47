#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs what is missing, builds the module image and the `sio` tool, and
# runs one pass on the default board, saying what it does as it goes.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ! -x build/default/tool/sio ]]; then
  # Measured: 225 s of processor time from a clean checkout (packages installed).
  echo "First build: about 3 minutes on 2 cores (module image, board model, emulator, sio);"
  echo "later runs rebuild only what changed. Missing Debian packages are installed first."
fi
bash scripts/install-deps.sh
echo "== configuring build/default"
cmake --preset default
echo "== building the module image and sio"
cmake --build --preset default --target sio
echo "== build/default/tool/sio run $*"
exec build/default/tool/sio run "$@"

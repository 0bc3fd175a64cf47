#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause-Patent
# Installs the Debian packages the project builds and tests with (as root).
set -euo pipefail
packages=(
  cmake ninja-build ccache g++ clang lld llvm binutils pkgconf
  libgtest-dev libbenchmark-dev
  libclang-rt-14-dev
  libcli11-dev nlohmann-json3-dev libunicorn-dev llvm-14-dev liblzma-dev
  uefitool-cli gtkwave ovmf-ia32 ovmf qemu-system-x86
  help2man dpkg-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "== installing ${#missing[@]} Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
else
  echo "== the ${#packages[@]} Debian packages the build needs are installed"
fi

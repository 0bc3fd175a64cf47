# SPDX-License-Identifier: BSD-2-Clause-Patent
# Debian's clang and lld-link producing a freestanding PE32 image for IA-32.
set(SIO_PE_PROCESSOR i686)
set(SIO_PE_TRIPLE i686-pc-windows-msvc)
include(${CMAKE_CURRENT_LIST_DIR}/PeToolchain.cmake)

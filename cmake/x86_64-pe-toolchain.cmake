# SPDX-License-Identifier: BSD-2-Clause-Patent
# Debian's clang and lld-link producing a freestanding PE32+ image for x86-64.
set(SIO_PE_PROCESSOR x86_64)
set(SIO_PE_TRIPLE x86_64-pc-windows-msvc)
include(${CMAKE_CURRENT_LIST_DIR}/PeToolchain.cmake)

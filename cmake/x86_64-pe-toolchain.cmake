# SPDX-License-Identifier: BSD-2-Clause-Patent
# Debian's clang and lld-link producing a freestanding PE32+ image for x86-64.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
find_program(SIO_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
set(CMAKE_CXX_FLAGS_INIT "--target=x86_64-pc-windows-msvc")

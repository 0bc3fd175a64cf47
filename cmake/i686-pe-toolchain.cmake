# SPDX-License-Identifier: BSD-2-Clause-Patent
# Debian's clang and lld-link producing a freestanding PE32 image for IA-32.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
find_program(SIO_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
set(CMAKE_CXX_FLAGS_INIT "--target=i686-pc-windows-msvc")

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Debian's clang and lld-link producing a freestanding PE image for the
# processor SIO_PE_PROCESSOR with the Windows target triple SIO_PE_TRIPLE, as
# the toolchain file that includes this one sets them.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR ${SIO_PE_PROCESSOR})
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${SIO_PE_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${SIO_PE_TRIPLE})
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
find_program(SIO_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
set(CMAKE_CXX_FLAGS_INIT "--target=${SIO_PE_TRIPLE}")

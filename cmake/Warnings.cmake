# SPDX-License-Identifier: BSD-2-Clause-Patent
# The warnings every host target is built with; any warning fails the build.
# The firmware has its own, stricter set (firmware/Sources.cmake).
add_library(sio_host_warnings INTERFACE)
target_compile_options(sio_host_warnings INTERFACE -Wall -Wextra -Werror)
# GCC's flow analysis under the sanitizers reports std::regex and
# std::function members "maybe uninitialized" inside the standard library:
# false positives that only the instrumented build sees.
if(SIO_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(sio_host_warnings INTERFACE -Wno-maybe-uninitialized)
endif()

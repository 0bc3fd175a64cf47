# SPDX-License-Identifier: BSD-2-Clause-Patent
# Compiles through ccache when it is installed (SIO_CCACHE, on by default), the
# module image's own compiles included (firmware/CMakeLists.txt passes the
# launcher on). The cache is ccache's own folder (~/.cache/ccache unless
# CCACHE_DIR says otherwise), outside every checkout, so CI and the developers'
# builds on one machine share it. Paths under the source folder are hashed
# relative to the build folder (base_dir) and the working folder is left out
# of the hash of objects with debug information (hash_dir), so another
# checkout's build hits the same entries; such an object's debug information
# names the folder it was first compiled in. A launcher given by the user
# (CMAKE_<LANG>_COMPILER_LAUNCHER, also from the environment) is kept.
option(SIO_CCACHE "Compile through ccache when it is installed" ON)
if(SIO_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER AND NOT CMAKE_C_COMPILER_LAUNCHER)
  find_program(SIO_CCACHE_PROGRAM ccache)
  if(SIO_CCACHE_PROGRAM)
    set(SioCompilerLauncher env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1
                            ${SIO_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${SioCompilerLauncher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${SioCompilerLauncher})
  endif()
endif()

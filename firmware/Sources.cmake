# SPDX-License-Identifier: BSD-2-Clause-Patent
# The module's sources and compile flags, shared by the host build (linked
# with the board's port operations) and the image (linked with x86 in/out).
set(SIO_FIRMWARE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/entry/SioEntryPoint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry/SioInitScript.cpp
  ${CMAKE_CURRENT_LIST_DIR}/entry/SioBringUp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sio/SioConfigPort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sio/SioDiscovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup/SioApplySetup.cpp)
set(SIO_FIRMWARE_FLAGS
  -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-asynchronous-unwind-tables
  -fno-stack-protector -Wall -Wextra -Wpedantic -Werror
  # Discovery asks clang to unroll its table walk; over a table known only
  # at run time (the host build, a test's own table) it cannot, which is fine.
  -Wno-pass-failed)
# The integrators' package headers: the setup variable's and the ready PPI's
# GUIDs, name and layout are defined there once.
set(SIO_PACKAGE_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/../edk2/SioF81216aPkg/Include)

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Fails when editing a firmware header does not change the image: builds the
# image from a copy of the firmware sources in WORK, changes one value in the
# copy's register script header, builds again with the same build tree and
# expects different image bytes; then puts the value back and expects the
# first image's bytes again. FIRMWARE is the firmware source folder,
# TOOLCHAIN the i686 PE toolchain file.
file(REMOVE_RECURSE ${WORK})
file(COPY ${FIRMWARE}/ DESTINATION ${WORK}/firmware)
# The firmware includes the EDK2 package's headers (firmware/Sources.cmake).
file(COPY ${FIRMWARE}/../edk2/SioF81216aPkg/Include DESTINATION ${WORK}/edk2/SioF81216aPkg)
set(Image ${WORK}/build/SioF81216aPei.linked.efi)
set(Header ${WORK}/firmware/entry/SioInitScript.h)

function(build_image Out)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/build
                  RESULT_VARIABLE Failed OUTPUT_VARIABLE Log ERROR_VARIABLE Log)
  if(Failed)
    message(FATAL_ERROR "image build failed:\n${Log}")
  endif()
  file(SHA256 ${Image} Hash)
  set(${Out} ${Hash} PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/firmware/image -B ${WORK}/build -G Ninja
                        -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=MinSizeRel
                RESULT_VARIABLE Failed OUTPUT_VARIABLE Log ERROR_VARIABLE Log)
if(Failed)
  message(FATAL_ERROR "image configure failed:\n${Log}")
endif()
build_image(Original)

file(READ ${Header} Text)
string(REPLACE "{SioRegInterrupt, 0x03}" "{SioRegInterrupt, 0x04}" Edited "${Text}")
if(Edited STREQUAL Text)
  message(FATAL_ERROR "${Header}: the interrupt-level pair to edit is not there")
endif()
file(WRITE ${Header} "${Edited}")
build_image(AfterEdit)
if(AfterEdit STREQUAL Original)
  message(FATAL_ERROR "editing ${Header} left the image unchanged: header dependencies are lost")
endif()

file(WRITE ${Header} "${Text}")
build_image(Restored)
if(NOT Restored STREQUAL Original)
  message(FATAL_ERROR "the image differs after the header was put back")
endif()
message(STATUS "an edited header rebuilt the image; the original header gives the original bytes")
file(REMOVE_RECURSE ${WORK})

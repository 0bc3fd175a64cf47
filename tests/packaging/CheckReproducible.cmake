# SPDX-License-Identifier: BSD-2-Clause-Patent
# Builds the module image, its firmware file and volume, and the EDK2
# package's release archive a second time, from a fresh copy of the sources in
# another directory, and compares them byte for byte with the main build's;
# prints the SHA-256 of each.
#   -DSOURCE_DIR=<sources> -DWORK_DIR=<scratch> -DARTEFACTS=<main build's files;...>
#   -DDEPEX=<SIO_DEPEX of the main build> -DMAIN_BINARY_DIR=<main build directory>
#   -DPACKER=<the main build's sio, which packs the second build's files too>
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/copy)
file(COPY ${SOURCE_DIR}/ DESTINATION ${WORK_DIR}/copy
     PATTERN .git EXCLUDE PATTERN build EXCLUDE)
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${WORK_DIR}/copy -B ${WORK_DIR}/out -G Ninja
          -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIO_DEPEX=${DEPEX} -DSIO_PACKER=${PACKER}
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/out
                        --target sio_module_volume sio_edk2_package -j2
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

set(Faults "")
foreach(First IN LISTS ARTEFACTS)
  cmake_path(GET First FILENAME Name)
  cmake_path(RELATIVE_PATH First BASE_DIRECTORY ${MAIN_BINARY_DIR} OUTPUT_VARIABLE Relative)
  set(Second ${WORK_DIR}/out/${Relative})
  file(SHA256 ${First} FirstSum)
  file(SHA256 ${Second} SecondSum)
  file(SIZE ${First} Size)
  message(STATUS "${Name}: ${Size} bytes, SHA-256 ${FirstSum} (main build), ${SecondSum} (second build)")
  if(NOT FirstSum STREQUAL SecondSum)
    string(APPEND Faults "${Name} differs between the two builds\n")
  endif()
  # Neither build's directories may appear inside an artefact.
  file(STRINGS ${First} Texts)
  foreach(Dir ${SOURCE_DIR} ${MAIN_BINARY_DIR} ${WORK_DIR})
    foreach(Text IN LISTS Texts)
      string(FIND "${Text}" "${Dir}" At)
      if(NOT At EQUAL -1)
        string(APPEND Faults "${Name} contains the path ${Dir}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(Faults)
  message(FATAL_ERROR "${Faults}")
endif()

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Completes the package in OUT_DIR: the sources of SOURCE_DIR with the DEC's
# PACKAGE_VERSION and the INF's VERSION_STRING set to VERSION, the module
# images (IMAGE for IA-32, X64_IMAGE for X64), their dependency expression for
# the build's choice (the one the INF lists), one file per choice under
# Depex/, and the binary INF's [PatchPcd.IA32] and [PatchPcd.X64] sections:
# each PCD's value and offset in that image, as `sio image config --inf` reads
# them from the image and its link.
#   cmake -DSOURCE_DIR=... -DOUT_DIR=... -DVERSION=... -DIMAGE=... -DX64_IMAGE=...
#         -DDEPEX_TOOL=... -DDEPEX=... -DSIO=... -P StagePackage.cmake
foreach(Var SOURCE_DIR OUT_DIR VERSION IMAGE X64_IMAGE SETUP_DXE X64_SETUP_DXE DEPEX_TOOL DEPEX SIO)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "StagePackage.cmake: ${Var} not given")
  endif()
endforeach()

# Start empty: a file dropped from the sources must not linger in the package.
file(REMOVE_RECURSE ${OUT_DIR})
file(COPY ${SOURCE_DIR}/ DESTINATION ${OUT_DIR})
file(COPY_FILE ${IMAGE} ${OUT_DIR}/SioF81216aPei.efi)
file(COPY_FILE ${X64_IMAGE} ${OUT_DIR}/SioF81216aPeiX64.efi)
file(COPY_FILE ${SETUP_DXE} ${OUT_DIR}/SioF81216aSetupDxe.efi)
file(COPY_FILE ${X64_SETUP_DXE} ${OUT_DIR}/SioF81216aSetupDxeX64.efi)

# Sets FIELD's value in the [Defines] line "FIELD = value" of FILE; a file
# without that line is a fault of the sources.
function(set_define File Field)
  file(READ ${File} Text)
  if(NOT Text MATCHES "\n[ \t]*${Field}[ \t]*=")
    message(FATAL_ERROR "StagePackage.cmake: ${File} has no ${Field} line")
  endif()
  string(REGEX REPLACE "(\n[ \t]*${Field}[ \t]*=[ \t]*)[^\r\n]*" "\\1${VERSION}" Text "${Text}")
  file(WRITE ${File} "${Text}")
endfunction()
set_define(${OUT_DIR}/SioF81216aPkg.dec PACKAGE_VERSION)
set_define(${OUT_DIR}/SioF81216aPei.inf VERSION_STRING)
set_define(${OUT_DIR}/SioF81216aSetupDxe.inf VERSION_STRING)

function(write_depex Choice Path)
  execute_process(COMMAND ${DEPEX_TOOL} ${Choice} -o ${Path} RESULT_VARIABLE Rc)
  if(NOT Rc EQUAL 0)
    message(FATAL_ERROR "StagePackage.cmake: no dependency expression for ${Choice}")
  endif()
endfunction()
write_depex(${DEPEX} ${OUT_DIR}/SioF81216aPei.depex)
write_depex(SETUP_DXE ${OUT_DIR}/SioF81216aSetupDxe.depex)
file(MAKE_DIRECTORY ${OUT_DIR}/Depex)
foreach(Choice VARIABLE_PPI TRUE FALSE)
  write_depex(${Choice} ${OUT_DIR}/Depex/${Choice}.depex)
endforeach()

# One section per image, named after its machine by `sio image config --inf`.
foreach(Image ${IMAGE} ${X64_IMAGE})
  execute_process(COMMAND ${SIO} image config ${Image} --inf RESULT_VARIABLE Rc
                  OUTPUT_VARIABLE PatchPcd ERROR_VARIABLE Error)
  if(NOT Rc EQUAL 0)
    message(FATAL_ERROR "StagePackage.cmake: no [PatchPcd] lines for ${Image}: ${Error}")
  endif()
  file(APPEND ${OUT_DIR}/SioF81216aPei.inf "\n${PatchPcd}")
endforeach()

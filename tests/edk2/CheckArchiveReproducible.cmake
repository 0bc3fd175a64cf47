# SPDX-License-Identifier: BSD-2-Clause-Patent
# Packs copies of the completed package made at two other paths, one with its
# time stamps moved and its modes widened, and requires both archives to be
# byte-identical to the build's ARCHIVE; then checks what the archive lists:
# sorted names, owner and group 0, time 0.
cmake_policy(SET CMP0057 NEW)
foreach(Var PACKAGE_DIR ARCHIVE TAR GZIP PACK_SCRIPT WORK_DIR)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "CheckArchiveReproducible.cmake: ${Var} not given")
  endif()
endforeach()
get_filename_component(Name ${PACKAGE_DIR} NAME)
file(REMOVE_RECURSE ${WORK_DIR})

set(CopyA ${WORK_DIR}/a)
set(CopyB ${WORK_DIR}/b/deeper/path)
file(MAKE_DIRECTORY ${CopyA} ${CopyB})
file(COPY ${PACKAGE_DIR} DESTINATION ${CopyA})
file(COPY ${PACKAGE_DIR} DESTINATION ${CopyB} NO_SOURCE_PERMISSIONS)
file(GLOB_RECURSE Files ${CopyB}/${Name}/*)
foreach(F IN LISTS Files)
  file(TOUCH ${F})
  file(CHMOD ${F} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ GROUP_WRITE WORLD_READ)
endforeach()

file(SHA256 ${ARCHIVE} Expected)
foreach(Copy ${CopyA} ${CopyB})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DTAR=${TAR} -DGZIP=${GZIP} -DDIR=${Copy} -DNAME=${Name}
            -DARCHIVE=${Copy}/${Name}.tar.gz -P ${PACK_SCRIPT}
    RESULT_VARIABLE Rc)
  if(NOT Rc EQUAL 0)
    message(FATAL_ERROR "packing ${Copy}/${Name} failed")
  endif()
  file(SHA256 ${Copy}/${Name}.tar.gz Got)
  message(STATUS "${Copy}/${Name}.tar.gz: ${Got}")
  if(NOT Got STREQUAL Expected)
    message(FATAL_ERROR "${Copy}/${Name}.tar.gz differs from ${ARCHIVE} (${Expected})")
  endif()
endforeach()
message(STATUS "${ARCHIVE}: ${Expected}")

execute_process(COMMAND ${TAR} --list --verbose --numeric-owner --full-time --file ${ARCHIVE}
                OUTPUT_VARIABLE Listing RESULT_VARIABLE Rc)
if(NOT Rc EQUAL 0)
  message(FATAL_ERROR "${TAR} cannot list ${ARCHIVE}")
endif()
string(REGEX REPLACE "\n$" "" Listing "${Listing}")
string(REPLACE "\n" ";" Lines "${Listing}")
set(Names)
foreach(Line IN LISTS Lines)
  if(NOT Line MATCHES "^[-d][rwx-]+ 0/0 +[0-9]+ 1970-01-01 00:00:00 (.+)$")
    message(FATAL_ERROR "archive entry not owned by 0/0 at time 0: ${Line}")
  endif()
  list(APPEND Names "${CMAKE_MATCH_1}")
endforeach()
set(Sorted ${Names})
list(SORT Sorted)
if(NOT Names STREQUAL Sorted)
  message(FATAL_ERROR "archive names are not in sorted order: ${Names}")
endif()
foreach(Needed ${Name}/SioF81216aPkg.dec ${Name}/SioF81216aPei.inf ${Name}/SioF81216aPei.efi
               ${Name}/SioF81216aPei.depex)
  if(NOT Needed IN_LIST Names)
    message(FATAL_ERROR "archive lacks ${Needed}")
  endif()
endforeach()

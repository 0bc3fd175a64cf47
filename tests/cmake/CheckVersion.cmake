# SPDX-License-Identifier: BSD-2-Clause-Patent
# The one version everywhere it shows: `sio --version` and `sio-inspect
# --version`, the DEC's PACKAGE_VERSION and the INF's VERSION_STRING (major.
# minor) in the package's sources, in the package the build completed and in
# its archive, whose name carries it too, the manual pages and CPack's
# package version.
#   cmake -DVERSION=... -DSIO=... -DSIO_INSPECT=... -DSOURCE_PACKAGE=... -DBUILT_PACKAGE=...
#         -DARCHIVE=... -DTAR=... -DMAN_DIR=... -DCPACK_CONFIG=... -P CheckVersion.cmake
cmake_minimum_required(VERSION 3.25)
set(Faults "")
string(REGEX MATCH "^[0-9]+\\.[0-9]+" Short "${VERSION}")

foreach(Tool SIO SIO_INSPECT)
  cmake_path(GET ${Tool} FILENAME Name)
  execute_process(COMMAND ${${Tool}} --version OUTPUT_VARIABLE Out RESULT_VARIABLE Rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT Rc EQUAL 0 OR NOT Out STREQUAL "${Name} ${VERSION}")
    string(APPEND Faults "${Name} --version: '${Out}' (exit ${Rc}), not '${Name} ${VERSION}'\n")
  endif()
  file(STRINGS ${MAN_DIR}/${Name}.1 Title REGEX "^\\.TH ")
  if(NOT Title MATCHES "\"${Name} ${VERSION}\"")
    string(APPEND Faults "${Name}.1: ${Title} names no version ${VERSION}\n")
  endif()
endforeach()

# The value of FIELD in the [Defines] text TEXT.
function(define_value Text Field Out)
  if(Text MATCHES "\n[ \t]*${Field}[ \t]*=[ \t]*([^\r\n]*)")
    string(STRIP "${CMAKE_MATCH_1}" Value)
    set(${Out} "${Value}" PARENT_SCOPE)
  else()
    set(${Out} "(none)" PARENT_SCOPE)
  endif()
endfunction()

cmake_path(GET ARCHIVE FILENAME ArchiveName)
if(NOT ArchiveName STREQUAL "SioF81216aPkg-${VERSION}.tar.gz")
  string(APPEND Faults "the package archive is ${ArchiveName}, not SioF81216aPkg-${VERSION}.tar.gz\n")
endif()
set(Files SioF81216aPkg.dec SioF81216aPei.inf)
set(Fields PACKAGE_VERSION VERSION_STRING)
foreach(File Field IN ZIP_LISTS Files Fields)
  execute_process(COMMAND ${TAR} -xzOf ${ARCHIVE} SioF81216aPkg/${File} OUTPUT_VARIABLE Archived
                  RESULT_VARIABLE Rc)
  file(READ ${SOURCE_PACKAGE}/${File} Source)
  file(READ ${BUILT_PACKAGE}/${File} Built)
  foreach(Where IN ITEMS Source Built Archived)
    define_value("${${Where}}" ${Field} Value)
    if(NOT Value STREQUAL Short)
      string(APPEND Faults "${File} (${Where}): ${Field} = ${Value}, not ${Short}\n")
    endif()
  endforeach()
endforeach()

include(${CPACK_CONFIG})
if(NOT CPACK_PACKAGE_VERSION STREQUAL VERSION)
  string(APPEND Faults "CPack packs version ${CPACK_PACKAGE_VERSION}, not ${VERSION}\n")
endif()

if(Faults)
  message(FATAL_ERROR "${Faults}")
endif()
message(STATUS "version ${VERSION} (package ${Short}) everywhere")

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Writes the manual page of TOOL from its own --help and --version with
# help2man, dated by the sources' commit (cmake/SourceDateEpoch.cmake) so the
# same sources give the same page.
#   cmake -DHELP2MAN=... -DTOOL=... -DNAME=... -DOUTPUT=... -DSOURCE_DIR=... -P ManPage.cmake
include(${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake)
sio_source_date_epoch(Epoch ${SOURCE_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${Epoch} LC_ALL=C.UTF-8
          ${HELP2MAN} --no-info --section=1 --name=${NAME} --output=${OUTPUT}.part ${TOOL}
  RESULT_VARIABLE Rc)
if(NOT Rc EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "ManPage.cmake: help2man failed on ${TOOL}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})

# SPDX-License-Identifier: BSD-2-Clause-Patent
# The time reproducible outputs carry (manual pages, the packages' file
# times): SOURCE_DATE_EPOCH when the environment gives one, else the time of
# the sources' last commit, else 0 (sources outside git).
#   sio_source_date_epoch(<out-var> <source dir>)
function(sio_source_date_epoch Out SourceDir)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(${Out} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND git -C ${SourceDir} log -1 --format=%ct
                  OUTPUT_VARIABLE Epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE Rc ERROR_QUIET)
  if(NOT Rc EQUAL 0 OR NOT Epoch MATCHES "^[0-9]+$")
    set(Epoch 0)
  endif()
  set(${Out} ${Epoch} PARENT_SCOPE)
endfunction()

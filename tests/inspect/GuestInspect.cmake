# SPDX-License-Identifier: BSD-2-Clause-Patent
# sio-inspect against a real Linux kernel after the real firmware: OVMF IA-32
# with the module's firmware file and QEMU's stand-in chip (as `sio ovmf
# --scenario` sets them up) programs the stand-in; the same boot then starts
# Debian's i386 kernel, whose /init runs sio-inspect three times and powers
# off (scripts/guest-inspect.sh makes the kernel and initramfs).
#   SIO SCRIPT WORK SCENARIO OTHER   the tool, the script, a work directory,
#                                    the stand-in scenario and one expecting
#                                    another Param[0]
cmake_policy(SET CMP0057 NEW)
file(READ ${SCENARIO} scenario_doc)
execute_process(COMMAND bash ${SCRIPT} ${WORK} ${SCENARIO} ${OTHER}
                RESULT_VARIABLE Code OUTPUT_VARIABLE Out ERROR_VARIABLE Err)
if(NOT Code EQUAL 0)
  message(FATAL_ERROR "guest preparation failed (${Code}):\n${Out}${Err}")
endif()
string(TIMESTAMP Start "%s")
execute_process(
  COMMAND ${SIO} ovmf --scenario ${SCENARIO} --kernel ${WORK}/vmlinuz --initrd ${WORK}/initrd.img
          --append "console=ttyS0 quiet loglevel=1 panic=-1" --serial-log ${WORK}/serial.log
          --timeout 300 -o ${WORK}/ovmf.fd --vars-output ${WORK}/vars.fd --attributes 0x7
  RESULT_VARIABLE Code OUTPUT_VARIABLE Out ERROR_VARIABLE Err)
string(TIMESTAMP End "%s")
math(EXPR Seconds "${End} - ${Start}")
message(STATUS "sio ovmf with the kernel: exit ${Code} after ${Seconds} s")
set(Context "--- sio ovmf (exit ${Code})\n${Out}${Err}")
if(NOT Code EQUAL 0)
  message(FATAL_ERROR "the boot did not end as it should\n${Context}")
endif()
file(READ ${WORK}/serial.log Serial)
string(REPLACE "\r" "" Serial "${Serial}")
set(Context "${Context}--- serial console\n${Serial}")

# The JSON document a run printed and its exit status.
function(guest_run Name)
  string(REGEX MATCH "@@sio-inspect ${Name} begin\n(.*)@@sio-inspect ${Name} exit ([0-9]+)" Found
         "${Serial}")
  if(NOT Found)
    message(FATAL_ERROR "no output of the ${Name} run on the console\n${Context}")
  endif()
  set(${Name}_json "${CMAKE_MATCH_1}" PARENT_SCOPE)
  set(${Name}_exit "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()
guest_run(scenario)
guest_run(other)
guest_run(live)

# What the kernel's /dev/port returned is what the board model predicts.
string(JSON Result ERROR_VARIABLE Bad GET "${scenario_json}" summary result)
string(JSON Checked ERROR_VARIABLE Bad2 GET "${scenario_json}" summary checked)
if(NOT scenario_exit EQUAL 0 OR NOT Result STREQUAL "match" OR Checked LESS 10)
  message(FATAL_ERROR "scenario run: exit ${scenario_exit}, ${Result}, ${Checked} checked ${Bad}\n${Context}")
endif()

# Another Param[0] expected: a difference naming register 0xF1 of logical
# device 8, and no other register (the stand-in has one flat register file,
# so 0xF1 read with devices 0 and 1 selected is the same register).
if(NOT other_exit EQUAL 1)
  message(FATAL_ERROR "other run: exit ${other_exit}, expected 1\n${Context}")
endif()
string(JSON Count LENGTH "${other_json}" registers)
math(EXPR Last "${Count} - 1")
set(Differing "")
foreach(I RANGE ${Last})
  string(JSON Mark GET "${other_json}" registers ${I} mark)
  if(Mark STREQUAL "differs")
    string(JSON Device GET "${other_json}" registers ${I} device)
    string(JSON Reg GET "${other_json}" registers ${I} register)
    list(APPEND Differing "${Device}:${Reg}")
  endif()
endforeach()
set(NotF1 ${Differing})
list(FILTER NotF1 EXCLUDE REGEX ":0xF1$")
if(NOT "8:0xF1" IN_LIST Differing OR NotF1)
  message(FATAL_ERROR "other run: differing registers '${Differing}', expected 8:0xF1\n${Context}")
endif()

# The live variable as efivarfs shows it: stored with run-time access (0x7)
# so that Linux sees it, its content the scenario's variable byte for byte.
# The expectation it gives is a real chip's (a bank per logical device), so
# against the stand-in's one flat register file a difference (exit 1) is
# what it should report; only an error (exit 2) fails here.
string(JSON Variable GET "${scenario_doc}" variable)
file(WRITE ${WORK}/variable.json "${Variable}")
execute_process(COMMAND ${SIO} var encode --from ${WORK}/variable.json -o ${WORK}/variable.bin
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
file(READ ${WORK}/variable.bin Stored HEX)
string(TOUPPER "${Stored}" Stored)
string(JSON Present ERROR_VARIABLE Bad GET "${live_json}" variable present)
string(JSON Attributes ERROR_VARIABLE Bad3 GET "${live_json}" variable attributes)
string(JSON Content ERROR_VARIABLE Bad4 GET "${live_json}" variable content)
if(live_exit GREATER 1 OR NOT Present STREQUAL "ON" OR NOT Attributes STREQUAL "0x00000007"
   OR NOT Content STREQUAL Stored)
  message(FATAL_ERROR "live run: exit ${live_exit}, present ${Present}, attributes ${Attributes}, "
                      "content ${Content} (stored ${Stored}) ${Bad}${Bad3}${Bad4}\n${Context}")
endif()
message(STATUS "live run: exit ${live_exit}, setup variable visible to the kernel: ${Present}")

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Has Debian's uefitool-cli (UEFIExtract, UEFIFind) check firmware volumes made
# by `sio pack`: the built one and one for each dependency choice.
#   -DSIO_PACK=<sio;pack> -DIMAGE=<.efi> -DVOLUME=<built .fv> -DDEPEX=<its choice>
#   -DTE_FILE=<built .ffs with the TE image>
#   -DGUID=<file GUID, registry format> -DWORK_DIR=<scratch directory>
cmake_minimum_required(VERSION 3.25)

# The encoded expressions, byte for byte, for each choice.
set(EXPECTED_VARIABLE_PPI "02f56eb82ab5ec3441b5563854ca1fe1b408")
set(EXPECTED_TRUE "0608")
set(EXPECTED_FALSE "0708")

# UEFITool prints this for every image without a reset-vector file (VTF); a
# volume holding one PEIM never has one, so it carries no news about the volume.
set(NO_VTF_NOTE "parse: not a single Volume Top File is found, the image may be corrupted")

function(fail Message)
  message(FATAL_ERROR "${Message}")
endfunction()

# The GUID's bytes as they lie in the file header, for UEFIFind.
string(REGEX MATCH "^(........)-(....)-(....)-(....)-(............)$" _ "${GUID}")
if(NOT _)
  fail("'${GUID}' is not a GUID")
endif()
set(GUID_BYTES "")
foreach(Field 1 2 3)
  string(LENGTH "${CMAKE_MATCH_${Field}}" Length)
  math(EXPR Last "${Length} - 2")
  foreach(I RANGE ${Last} 0 -2)
    string(SUBSTRING "${CMAKE_MATCH_${Field}}" ${I} 2 Byte)
    string(APPEND GUID_BYTES "${Byte}")
  endforeach()
endforeach()
string(APPEND GUID_BYTES "${CMAKE_MATCH_4}${CMAKE_MATCH_5}")

# Copies Volume into a fresh Dir and has UEFIExtract parse it: no message but
# the VTF note, an FFSv2 volume, the PEI module by its GUID and name.
function(parse_volume Volume Dir Label)
  file(REMOVE_RECURSE ${Dir})
  file(MAKE_DIRECTORY ${Dir})
  file(COPY_FILE ${Volume} ${Dir}/volume.fv)
  execute_process(COMMAND UEFIExtract volume.fv report WORKING_DIRECTORY ${Dir}
                  OUTPUT_VARIABLE Out ERROR_VARIABLE Err RESULT_VARIABLE Rc)
  string(REPLACE "${NO_VTF_NOTE}" "" Messages "${Out}${Err}")
  string(STRIP "${Messages}" Messages)
  if(NOT Rc EQUAL 0 OR NOT Messages STREQUAL "")
    fail("${Label}: UEFIExtract (exit ${Rc}) reports:\n${Messages}")
  endif()
  file(READ ${Dir}/volume.fv.report.txt Report)
  if(NOT Report MATCHES "Volume +\\| FFSv2 ")
    fail("${Label}: UEFIExtract sees no FFSv2 volume:\n${Report}")
  endif()
  if(NOT Report MATCHES "File +\\| PEI module +\\|[^\n]*${GUID} \\| SioF81216aPei")
    fail("${Label}: UEFIExtract sees no PEI module ${GUID} named SioF81216aPei:\n${Report}")
  endif()
  set(Report "${Report}" PARENT_SCOPE)
endfunction()

# Extracts the body of the module file's section of type Section (hex) to Dir/s<Section>/body.bin.
function(extract_section Dir Section Label)
  execute_process(COMMAND UEFIExtract volume.fv ${GUID} -o s${Section} -m body -t ${Section}
                  WORKING_DIRECTORY ${Dir} OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE Rc)
  if(NOT Rc EQUAL 0 OR NOT EXISTS ${Dir}/s${Section}/body.bin)
    fail("${Label}: UEFIExtract cannot extract section ${Section} of ${GUID} (exit ${Rc})")
  endif()
endfunction()

function(check_volume Volume Depex Label)
  set(Dir ${WORK_DIR}/${Label})
  # 1. The whole volume parses with no message but the VTF note.
  parse_volume(${Volume} ${Dir} ${Label})

  # 2. UEFIFind finds exactly one file header with the GUID.
  execute_process(COMMAND UEFIFind volume.fv header count ${GUID_BYTES} WORKING_DIRECTORY ${Dir}
                  OUTPUT_VARIABLE Count ERROR_QUIET)
  string(REGEX MATCH "^[0-9]+" Count "${Count}")
  if(NOT Count STREQUAL "1")
    fail("${Label}: UEFIFind finds ${Count} file headers with ${GUID_BYTES}, not 1")
  endif()

  # 3. The PE32 section body, extracted by GUID, is the built image.
  # 4. The dependency section body is the expression as encoded for the choice.
  extract_section(${Dir} 10 ${Label})
  extract_section(${Dir} 1B ${Label})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${Dir}/s10/body.bin ${IMAGE}
                  RESULT_VARIABLE Differs)
  if(Differs)
    fail("${Label}: the extracted PE32 body differs from ${IMAGE}")
  endif()
  file(READ ${Dir}/s1B/body.bin Code HEX)
  if(NOT Code STREQUAL EXPECTED_${Depex})
    fail("${Label}: dependency expression is ${Code}, expected ${EXPECTED_${Depex}}")
  endif()
  message(STATUS "${Label}: parsed with no message but the no-VTF note, found ${GUID}, "
                 "PE32 body identical to the image, depex ${Depex} = ${Code}")
endfunction()

check_volume(${VOLUME} ${DEPEX} built)
foreach(Choice VARIABLE_PPI TRUE FALSE)
  set(Dir ${WORK_DIR}/pack-${Choice})
  file(MAKE_DIRECTORY ${Dir})
  execute_process(COMMAND ${SIO_PACK} ffs ${IMAGE} --depex ${Choice} -o ${Dir}/module.ffs
                  COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  execute_process(COMMAND ${SIO_PACK} fv ${Dir}/module.ffs -o ${Dir}/module.fv
                  COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  check_volume(${Dir}/module.fv ${Choice} ${Choice})
endforeach()

# The TE form: UEFITool sees a TE section; its body is the TE header ("VZ",
# StrippedSize = where the image's section table starts) and then the image
# from that offset on, unchanged.
function(read_le File Offset Size Out)
  file(READ ${File} Hex OFFSET ${Offset} LIMIT ${Size} HEX)
  set(Value 0)
  math(EXPR Last "${Size} - 1")
  foreach(I RANGE ${Last} 0 -1)
    math(EXPR At "${I} * 2")
    string(SUBSTRING "${Hex}" ${At} 2 Byte)
    math(EXPR Value "${Value} * 256 + 0x${Byte}")
  endforeach()
  set(${Out} ${Value} PARENT_SCOPE)
endfunction()

set(Dir ${WORK_DIR}/te)
file(MAKE_DIRECTORY ${WORK_DIR}/pack-te)
execute_process(COMMAND ${SIO_PACK} fv ${TE_FILE} -o ${WORK_DIR}/pack-te/module.fv
                COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
parse_volume(${WORK_DIR}/pack-te/module.fv ${Dir} te)
if(NOT Report MATCHES "Section +\\| TE image ")
  fail("te: UEFIExtract sees no TE image section:\n${Report}")
endif()
extract_section(${Dir} 12 te)
set(Te ${Dir}/s12/body.bin)
read_le(${IMAGE} 60 4 PeHeader)
math(EXPR OptionalSizeAt "${PeHeader} + 20")
read_le(${IMAGE} ${OptionalSizeAt} 2 OptionalSize)
math(EXPR SectionTable "${PeHeader} + 24 + ${OptionalSize}")
read_le(${Te} 0 2 Signature)
read_le(${Te} 6 2 Stripped)
if(NOT Signature EQUAL 0x5A56 OR NOT Stripped EQUAL SectionTable)
  fail("te: signature ${Signature}, StrippedSize ${Stripped}; expected 23126 and ${SectionTable}")
endif()
file(READ ${Te} TeRest OFFSET 40 HEX)
file(READ ${IMAGE} ImageRest OFFSET ${SectionTable} HEX)
if(NOT TeRest STREQUAL ImageRest)
  fail("te: the TE body after its header differs from the image after its headers")
endif()
file(SIZE ${IMAGE} ImageSize)
file(SIZE ${Te} TeSize)
math(EXPR Saved "${ImageSize} - ${TeSize}")
message(STATUS "te: parsed, TE section found, StrippedSize ${Stripped}, "
               "image bytes kept unchanged, ${Saved} bytes saved")

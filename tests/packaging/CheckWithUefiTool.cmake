# Has Debian's uefitool-cli (UEFIExtract, UEFIFind) check firmware volumes made
# by sio-pack: the built one and one for each dependency choice.
#   -DSIO_PACK=<sio-pack> -DIMAGE=<.efi> -DVOLUME=<built .fv> -DDEPEX=<its choice>
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

function(check_volume Volume Depex Label)
  set(Dir ${WORK_DIR}/${Label})
  file(REMOVE_RECURSE ${Dir})
  file(MAKE_DIRECTORY ${Dir})
  file(COPY_FILE ${Volume} ${Dir}/volume.fv)

  # 1. The whole volume parses with no message but the VTF note.
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

  # 2. UEFIFind finds exactly one file header with the GUID.
  execute_process(COMMAND UEFIFind volume.fv header count ${GUID_BYTES} WORKING_DIRECTORY ${Dir}
                  OUTPUT_VARIABLE Count ERROR_QUIET)
  string(REGEX MATCH "^[0-9]+" Count "${Count}")
  if(NOT Count STREQUAL "1")
    fail("${Label}: UEFIFind finds ${Count} file headers with ${GUID_BYTES}, not 1")
  endif()

  # 3. The PE32 section body, extracted by GUID, is the built image.
  # 4. The dependency section body is the expression as encoded for the choice.
  foreach(Section 10 1B)
    execute_process(COMMAND UEFIExtract volume.fv ${GUID} -o s${Section} -m body -t ${Section}
                    WORKING_DIRECTORY ${Dir} OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE Rc)
    if(NOT Rc EQUAL 0 OR NOT EXISTS ${Dir}/s${Section}/body.bin)
      fail("${Label}: UEFIExtract cannot extract section ${Section} of ${GUID} (exit ${Rc})")
    endif()
  endforeach()
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

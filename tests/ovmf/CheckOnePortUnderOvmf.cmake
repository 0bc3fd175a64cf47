# SPDX-License-Identifier: BSD-2-Clause-Patent
# An image whose only port is 0x2E, under OVMF's PEI Foundation with the
# stand-in at 0x2E: its accesses must equal the board model's pass of the same
# image, and none may touch 0x4E. SIO is the tool, IMAGE the built image, WORK
# a scratch folder.
file(MAKE_DIRECTORY ${WORK})
function(run_sio)
  execute_process(COMMAND ${SIO} ${ARGN} RESULT_VARIABLE Rc OUTPUT_VARIABLE Out ERROR_VARIABLE Err)
  if(NOT Rc EQUAL 0)
    message(FATAL_ERROR "sio ${ARGN}: exit ${Rc}\n${Out}${Err}")
  endif()
  set(Out "${Out}" PARENT_SCOPE)
endfunction()
run_sio(image config ${IMAGE} -o ${WORK}/only-2e.efi --set PcdSioF81216aConfigPort=0x2E
        --set "PcdSioF81216aCandidatePorts={0, 0, 0, 0, 0, 0, 0, 0}")
run_sio(pack ffs ${WORK}/only-2e.efi -o ${WORK}/only-2e.ffs)
run_sio(ovmf ${WORK}/only-2e.ffs --chip-port 0x2E -o ${WORK}/only-2e.fd --vars-output ${WORK}/vars.fd)
message(STATUS "${Out}")
if(NOT Out MATCHES "Model:     identical to the board model")
  message(FATAL_ERROR "the accesses under OVMF differ from the board model's")
endif()
if(NOT Out MATCHES "out8 0x002E <- 0xAA")
  message(FATAL_ERROR "the module did not find the stand-in at 0x2E")
endif()
if(Out MATCHES "0x004[EF]")
  message(FATAL_ERROR "an access at 0x4E/0x4F, which the image does not probe")
endif()

# SPDX-License-Identifier: BSD-2-Clause-Patent
# The integrator's own firmware, assembled as a firmware build does: the image
# with a patched PCD (the chip at 0x2E only), packed with DEPEX, rebased into
# the PEI volume of CODE (which has no PEI variable service). The tools take
# that firmware where they take the image. SIO is the tool, IMAGE the built
# image, CODE and VARS a Debian OVMF build (CODE32 and VARS32 one with a PEI
# variable service), WORK a scratch folder; BOOT set:
# `sio ovmf` boots the copy the firmware holds, with the stand-in at 0x2E.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
function(run_sio Expected)
  execute_process(COMMAND ${SIO} ${ARGN} RESULT_VARIABLE Rc OUTPUT_VARIABLE Out ERROR_VARIABLE Err)
  if(NOT Rc EQUAL Expected)
    message(FATAL_ERROR "sio ${ARGN}: exit ${Rc}, expected ${Expected}\n${Out}${Err}")
  endif()
  set(Out "${Out}" PARENT_SCOPE)
endfunction()
function(expect Pattern)
  if(NOT Out MATCHES "${Pattern}")
    message(FATAL_ERROR "output does not match '${Pattern}':\n${Out}")
  endif()
endfunction()

run_sio(0 image config ${IMAGE} -o ${WORK}/own.efi --set PcdSioF81216aConfigPort=0x2E
        --set "PcdSioF81216aCandidatePorts={0, 0, 0, 0, 0, 0, 0, 0}")
foreach(Depex TRUE VARIABLE_PPI)
  run_sio(0 pack ffs ${WORK}/own.efi --depex ${Depex} -o ${WORK}/own-${Depex}.ffs)
  run_sio(0 ovmf ${WORK}/own-${Depex}.ffs --firmware ${CODE} --vars ${VARS} --no-boot
          -o ${WORK}/OWN_${Depex}.fd)
endforeach()

if(BOOT)
  run_sio(0 ovmf --firmware ${WORK}/OWN_TRUE.fd --vars ${VARS} --chip-port 0x2E)
  message(STATUS "${Out}")
  expect("Module:    the copy the firmware holds: file F06C840E-")
  expect("Model:     identical to the board model")
  expect("out8 0x002E <- 0xAA")
  # VARIABLE_PPI on a PEI with a variable service: dispatched after it, the
  # stored setup variable applied as the board model applies it.
  run_sio(0 ovmf ${WORK}/own-VARIABLE_PPI.ffs --firmware ${CODE32} --vars ${VARS32} --no-boot
          -o ${WORK}/OWN32.fd)
  run_sio(0 ovmf --firmware ${WORK}/OWN32.fd --vars ${VARS32} --chip-port 0x2E
          --vars-output ${WORK}/vars32.fd
          --entry "chip_id_high=0x02,chip_id_low=0x16,kind=0x12,qualifier=0,enabled=1,param=5A:00:01:00")
  message(STATUS "${Out}")
  expect("Module:    the copy the firmware holds: file F06C840E-[^\n]*depex VARIABLE_PPI")
  expect("Model:     identical to the board model")
  expect("out8 0x002F <- 0x5A")
  return()
endif()

# A dependency this PEI never meets: said before any boot, in one line.
run_sio(1 image check ${WORK}/OWN_VARIABLE_PPI.fd)
expect("dependency +pass +VARIABLE_PPI")
expect("\nModule F06C840E-[^\n]*: never dispatched: [^\n]*no PEIM of its volume installs[^\n]*remedy: give it the TRUE dependency[^\n]*\n")
run_sio(0 ovmf --firmware ${WORK}/OWN_VARIABLE_PPI.fd --vars ${VARS} --no-boot)
expect("it will not be dispatched: its dependency expression is never met")

# TRUE: judged where it lies, dispatched; taken out and checked alone.
run_sio(0 image check ${WORK}/OWN_TRUE.fd)
expect("in place +pass +runs in place at 0x008[0-9A-F]+")
expect("dispatch +pass")
run_sio(0 image extract ${WORK}/OWN_TRUE.fd -o ${WORK}/taken.efi)
run_sio(0 image check ${WORK}/taken.efi)
expect("image base +pass +linked at 0x008[0-9A-F]+, rebased from 0xFFFC0000")
run_sio(0 image config ${WORK}/OWN_TRUE.fd)
expect("PcdSioF81216aConfigPort +UINT16 +0x[0-9A-F]+ +2  0x002E")
run_sio(0 run --image ${WORK}/OWN_TRUE.fd)
expect("loaded at 0x008[0-9A-F]+")
run_sio(0 diff --image ${WORK}/OWN_TRUE.fd)
run_sio(0 ovmf --firmware ${WORK}/OWN_TRUE.fd --vars ${VARS} --no-boot)
expect("Module:    the copy the firmware holds")
# An image given replaces the copy.
run_sio(0 ovmf --firmware ${WORK}/OWN_TRUE.fd --vars ${VARS} --no-boot --depex TRUE
        -o ${WORK}/replaced.fd)
expect("Replaced:  the copy the firmware held")
run_sio(0 image config ${WORK}/replaced.fd)
expect("PcdSioF81216aConfigPort +UINT16 +0x[0-9A-F]+ +2  0x004E")
# Whether the module reads a stored setup variable, per firmware.
set(Entry "chip_id_high=0x02,chip_id_low=0x16,kind=0x12,qualifier=0,enabled=1,param=5A:00:01:00")
run_sio(0 var store ${VARS} -o ${WORK}/vars-true.fd --entry ${Entry} --firmware ${WORK}/OWN_TRUE.fd)
expect("not read there, would apply: LD8 0xF1 = 0x5A")
expect("OWN_TRUE.fd: the module does not read the variable there: this PEI has no variable service")
run_sio(0 var list ${WORK}/vars-true.fd --firmware ${WORK}/OWN_VARIABLE_PPI.fd)
expect("the module does not read the variable there: it is never dispatched")
run_sio(0 var list ${WORK}/vars-true.fd)
expect("the module applies, when it reads the variable: LD8 0xF1 = 0x5A")
run_sio(0 ovmf ${WORK}/own-VARIABLE_PPI.ffs --firmware ${CODE32} --vars ${VARS32} --no-boot
        -o ${WORK}/OWN32.fd)
run_sio(0 var list ${WORK}/vars-true.fd --firmware ${WORK}/OWN32.fd)
expect("applied there: LD8 0xF1 = 0x5A")
expect("the module reads the variable there: its dependency waits for the variable service")

# A TE image in a volume: found and checked; the emulator refuses to run it, saying why.
run_sio(0 pack ffs ${WORK}/own.efi --depex TRUE --te -o ${WORK}/own-te.ffs)
run_sio(0 pack fv ${WORK}/own-te.ffs -o ${WORK}/own-te.fv)
run_sio(1 image check ${WORK}/own-te.fv)
expect("TE image of file F06C840E-")
expect("TE image +pass")
expect("never dispatched: [^\n]*not in a PEI volume")
run_sio(0 image extract ${WORK}/own-te.fv -o ${WORK}/own-te.efi)
execute_process(COMMAND ${SIO} run --image ${WORK}/own-te.fv RESULT_VARIABLE Rc ERROR_VARIABLE Err)
if(NOT Rc EQUAL 2 OR NOT Err MATCHES "lies in it as a TE image.*emulator loads PE32 and PE32\+ images only")
  message(FATAL_ERROR "sio run --image on a TE firmware: exit ${Rc}\n${Err}")
endif()

# A module image is not a firmware to extract from.
run_sio(2 image extract ${IMAGE} -o ${WORK}/unused.efi)

# SPDX-License-Identifier: BSD-2-Clause-Patent
# Fails when the module image IMAGE lost a property its small link relies on
# and the image check (pe/ImageCheck.h: magic, machine, subsystem, entry,
# relocations, writable sections) does not cover: equal section and file
# alignment, the fixed time stamp without a debug directory, and no writable
# data folded into .text. READOBJ is llvm-readobj; MAP is the image's linker
# map (lld-link /map).
execute_process(COMMAND ${READOBJ} --file-headers ${IMAGE}
                OUTPUT_VARIABLE Dump RESULT_VARIABLE Failed)
if(Failed)
  message(FATAL_ERROR "llvm-readobj could not read ${IMAGE}")
endif()

function(expect Pattern What)
  if(NOT Dump MATCHES "${Pattern}")
    message(FATAL_ERROR "${IMAGE}: ${What}")
  endif()
endfunction()

expect("TimeDateStamp: [^\n]*\\(0x0\\)" "time stamp is not the fixed 0")
expect("DebugSize: 0x0\n" "carries a debug directory")

string(REGEX MATCH "SectionAlignment: ([0-9]+)" _ "${Dump}")
set(SectionAlignment ${CMAKE_MATCH_1})
string(REGEX MATCH "FileAlignment: ([0-9]+)" _ "${Dump}")
if(NOT SectionAlignment STREQUAL CMAKE_MATCH_1)
  message(FATAL_ERROR "${IMAGE}: SectionAlignment ${SectionAlignment} != FileAlignment ${CMAKE_MATCH_1}")
endif()

# .data is folded into .text to save its section header; the map's section
# table (" 0001:00000194 00000004H .data  CODE") shows that nothing writable
# was folded with it.
file(STRINGS ${MAP} Writable REGEX "^ *[0-9A-Fa-f]+:[0-9A-Fa-f]+ 0*[1-9A-Fa-f][0-9A-Fa-f]*H \\.(data|bss)")
if(Writable)
  message(FATAL_ERROR "${IMAGE}: writable data folded into a read-only section: ${Writable}")
endif()
message(STATUS "${IMAGE}: equal alignments, fixed time stamp, no debug directory, nothing writable in .text")

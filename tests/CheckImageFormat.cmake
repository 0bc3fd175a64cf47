# Fails when the module image IMAGE lost a property the PEI Foundation, the
# firmware volume tools or the reproducible build rely on. READOBJ is
# llvm-readobj; MAP is the image's linker map (lld-link /map).
execute_process(COMMAND ${READOBJ} --file-headers --sections --coff-basereloc ${IMAGE}
                OUTPUT_VARIABLE Dump RESULT_VARIABLE Failed)
if(Failed)
  message(FATAL_ERROR "llvm-readobj could not read ${IMAGE}")
endif()

function(expect Pattern What)
  if(NOT Dump MATCHES "${Pattern}")
    message(FATAL_ERROR "${IMAGE}: ${What}")
  endif()
endfunction()

expect("Magic: 0x10B" "not PE32 (optional header magic 0x10B)")
expect("Machine: IMAGE_FILE_MACHINE_I386" "not an IA-32 image (machine 0x14C)")
expect("Subsystem: [A-Z_]+ \\(0xB\\)" "subsystem is not EFI_BOOT_SERVICE_DRIVER (11)")
expect("TimeDateStamp: [^\n]*\\(0x0\\)" "time stamp is not the fixed 0")
expect("DebugSize: 0x0\n" "carries a debug directory")
expect("Type: HIGHLOW" "no HIGHLOW base relocation: the image cannot be rebased")

string(REGEX MATCH "SectionAlignment: ([0-9]+)" _ "${Dump}")
set(SectionAlignment ${CMAKE_MATCH_1})
string(REGEX MATCH "FileAlignment: ([0-9]+)" _ "${Dump}")
if(NOT SectionAlignment STREQUAL CMAKE_MATCH_1)
  message(FATAL_ERROR "${IMAGE}: SectionAlignment ${SectionAlignment} != FileAlignment ${CMAKE_MATCH_1}")
endif()

# A section with contents must not be writable: the image runs in place from flash.
string(REGEX MATCHALL "Section {[^}]*}" Sections "${Dump}")
foreach(Section IN LISTS Sections)
  string(REGEX MATCH "Name: ([^ ]+)" _ "${Section}")
  set(Name ${CMAKE_MATCH_1})
  string(REGEX MATCH "VirtualSize: 0x([0-9A-F]+)" _ "${Section}")
  if(Section MATCHES "IMAGE_SCN_MEM_WRITE" AND NOT CMAKE_MATCH_1 MATCHES "^0+$")
    message(FATAL_ERROR "${IMAGE}: section ${Name} is writable and not empty")
  endif()
endforeach()
# .data is folded into .text to save its section header; the map's section
# table (" 0001:00000194 00000004H .data  CODE") shows that nothing writable
# was folded with it.
file(STRINGS ${MAP} Writable REGEX "^ *[0-9A-Fa-f]+:[0-9A-Fa-f]+ 0*[1-9A-Fa-f][0-9A-Fa-f]*H \\.(data|bss)")
if(Writable)
  message(FATAL_ERROR "${IMAGE}: writable data folded into a read-only section: ${Writable}")
endif()
message(STATUS "${IMAGE}: PE32, IA-32, EFI boot service driver, relocatable, no writable data")

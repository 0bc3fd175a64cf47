# SPDX-License-Identifier: BSD-2-Clause-Patent
# Writes the header that says where the board record and the entry point lie
# in the module image, as image-relative addresses: the lld-link map's, less
# the bytes every RVA moved when the DOS stub was dropped (the pointer to the
# PE headers of the linked image LINKED against that of IMAGE).
# SYMBOL_PREFIX is what the link puts before a C name ("_" on IA-32, nothing on
# X64); NAMESPACE is the C++ namespace of the header's constants.
#   cmake -DMAP=... -DIMAGE_BASE=0x... -DLINKED=... -DIMAGE=... -DSYMBOL_PREFIX=_
#         -DNAMESPACE=sio::image -DOUT=... -P WriteLayout.cmake
if(NOT DEFINED SYMBOL_PREFIX)
  set(SYMBOL_PREFIX "")
endif()
foreach(Var MAP IMAGE_BASE LINKED IMAGE NAMESPACE OUT)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "WriteLayout.cmake: ${Var} not given")
  endif()
endforeach()

# A symbol row: " 0001:000001f0       _SioBoardConfigRecord      00000000fffc03b0  object"
function(symbol_rva Symbol OutVar)
  file(STRINGS ${MAP} Rows REGEX "^ [0-9a-fA-F]+:[0-9a-fA-F]+ +${Symbol} +[0-9a-fA-F]+ ")
  list(LENGTH Rows Count)
  if(NOT Count EQUAL 1)
    message(FATAL_ERROR "${MAP}: ${Count} rows for ${Symbol}, expected 1")
  endif()
  string(REGEX MATCH "${Symbol} +([0-9a-fA-F]+)" Unused "${Rows}")
  math(EXPR Rva "0x${CMAKE_MATCH_1} - ${IMAGE_BASE}" OUTPUT_FORMAT HEXADECIMAL)
  set(${OutVar} ${Rva} PARENT_SCOPE)
endfunction()

# e_lfanew, the little-endian word at 0x3C.
function(pe_header_offset File OutVar)
  file(READ ${File} Hex OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" Word "${Hex}")
  math(EXPR Value "${Word}")
  set(${OutVar} ${Value} PARENT_SCOPE)
endfunction()
pe_header_offset(${LINKED} LinkedPe)
pe_header_offset(${IMAGE} ImagePe)
math(EXPR Moved "${LinkedPe} - ${ImagePe}")

symbol_rva(${SYMBOL_PREFIX}SioBoardConfigRecord LinkedRecordRva)
symbol_rva(${SYMBOL_PREFIX}SioEntryPoint LinkedEntryRva)
math(EXPR RecordRva "${LinkedRecordRva} - ${Moved}" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR EntryRva "${LinkedEntryRva} - ${Moved}" OUTPUT_FORMAT HEXADECIMAL)

set(Text "// Generated from the image's link map by firmware/image/WriteLayout.cmake.
#pragma once

#include <cstdint>

namespace ${NAMESPACE} {

// Image-relative addresses of the board record (SioBoardConfig) and the
// entry point in the module image, and the bytes they moved from the link's
// (the map's) when the DOS stub was dropped.
inline constexpr uint32_t kBoardConfigRva = ${RecordRva}u;
inline constexpr uint32_t kEntryRva = ${EntryRva}u;
inline constexpr uint32_t kDroppedStubBytes = ${Moved}u;

} // namespace ${NAMESPACE}
")
# Written only when it changes, so what includes it rebuilds only then.
file(CONFIGURE OUTPUT ${OUT} CONTENT "${Text}")

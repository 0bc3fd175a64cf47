# SPDX-License-Identifier: BSD-2-Clause-Patent
# The layer check (cmake/CheckLayers.cmake) on small trees: it passes a tree
# that keeps to its table and refuses, each with its reason, an include from
# a lower folder into a higher one, an include naming no file, a folder the
# table does not list and a table with a cycle.
#
#   cmake -DCHECK=<CheckLayers.cmake> -DWORK=<scratch dir> -P CheckLayersRefuses.cmake
cmake_minimum_required(VERSION 3.25)
foreach(Var CHECK WORK)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "give -D${Var}=...")
  endif()
endforeach()

# Case name; the table's lines; files as path=include pairs ("-" no include);
# what the check's output must hold ("" it passes).
set(Cases
  "keeps-to-the-table|low :,high : low|low/A.h=-,high/B.h=low/A.h,high/C.cpp=high/B.h|"
  "lower-includes-higher|low :,high : low|low/A.h=high/B.h,high/B.h=-|low/A.h: #include \"high/B.h\": low/ may not include high/"
  "below-a-lower-folder-is-reached|base :,low : base,high : low|base/A.h=-,high/B.h=base/A.h|"
  "side-folder|low :,left : low,right : low|low/A.h=-,left/B.h=right/C.h,right/C.h=low/A.h|left/B.h: #include \"right/C.h\": left/ may not include right/"
  "names-no-file|low :|low/A.h=low/Missing.h|low/A.h: #include \"low/Missing.h\" names no file of the tree"
  "folder-not-in-the-table|low :|low/A.h=-,stray/B.cpp=low/A.h|stray/: a folder of sources the layer table does not list"
  "cycle-in-the-table|low : high,high : low|low/A.h=-,high/B.h=-|low stands on itself (a cycle in the table)")

set(Failures "")
foreach(Case IN LISTS Cases)
  string(REPLACE "|" ";" Fields "${Case}")
  list(GET Fields 0 Name)
  list(GET Fields 1 Table)
  list(GET Fields 2 Files)
  list(LENGTH Fields FieldCount)
  set(Expect "")
  if(FieldCount GREATER 3)
    list(GET Fields 3 Expect)
  endif()
  set(Tree ${WORK}/${Name})
  file(REMOVE_RECURSE ${Tree})
  string(REPLACE "," "\n" Table "${Table}")
  file(WRITE ${Tree}/Layers.txt "${Table}\n")
  string(REPLACE "," ";" Files "${Files}")
  foreach(File IN LISTS Files)
    string(REGEX MATCH "^([^=]+)=(.*)$" Unused "${File}")
    set(Path ${CMAKE_MATCH_1})
    set(Include ${CMAKE_MATCH_2})
    if(Include STREQUAL "-")
      file(WRITE ${Tree}/${Path} "#pragma once\n")
    else()
      file(WRITE ${Tree}/${Path} "#pragma once\n#include <cstdint>\n#include \"${Include}\"\n")
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${Tree} -DTABLE=${Tree}/Layers.txt
                          -P ${CHECK}
                  RESULT_VARIABLE Result OUTPUT_VARIABLE Output ERROR_VARIABLE Output)
  if(Expect STREQUAL "")
    if(NOT Result EQUAL 0)
      list(APPEND Failures "${Name}: refused a tree that keeps to its table:\n${Output}")
    endif()
  else()
    string(FIND "${Output}" "${Expect}" At)
    if(Result EQUAL 0)
      list(APPEND Failures "${Name}: passed; expected it to refuse with \"${Expect}\"")
    elseif(At EQUAL -1)
      list(APPEND Failures "${Name}: refused without \"${Expect}\":\n${Output}")
    endif()
  endif()
endforeach()

if(Failures)
  list(JOIN Failures "\n" Text)
  message(FATAL_ERROR "${Text}")
endif()

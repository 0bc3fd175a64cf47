# SPDX-License-Identifier: BSD-2-Clause-Patent
# `sio var store` and `sio var list` on OVMF's variable file and on a whole
# flash image, checked by Debian's uefitool-cli (UEFIExtract): the stored
# variable with its name, GUID, attributes, state 0x3F and content, one valid
# copy after each replace; bad input refused with exit 2, one line, nothing
# written and the input unchanged.
#   -DSIO=<sio> -DVARS=<OVMF variable file> -DCODE=<OVMF code file> -DWORK_DIR=<scratch>
cmake_minimum_required(VERSION 3.25)

set(NAME "SioF81216aSetup00")
set(GUID "CD2E75EC-4162-411D-B7F1-E1D882E697AB")

function(fail Message)
  message(FATAL_ERROR "${Message}")
endfunction()

# Runs sio with the arguments; Out/Err/Rc in the caller's scope.
function(sio)
  execute_process(COMMAND ${SIO} ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
                  OUTPUT_VARIABLE Out ERROR_VARIABLE Err RESULT_VARIABLE Rc)
  set(Out "${Out}" PARENT_SCOPE)
  set(Err "${Err}" PARENT_SCOPE)
  set(Rc "${Rc}" PARENT_SCOPE)
endfunction()

function(sio_ok)
  sio(${ARGN})
  if(NOT Rc EQUAL 0 OR NOT Err STREQUAL "")
    fail("sio ${ARGN}: exit ${Rc}\n${Out}${Err}")
  endif()
  set(Out "${Out}" PARENT_SCOPE)
endfunction()

function(shell Command)
  execute_process(COMMAND sh -c "${Command}" WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE Rc)
  if(NOT Rc EQUAL 0)
    fail("${Command}: exit ${Rc}")
  endif()
endfunction()

# UEFIExtract's view of Store: the valid copies of our variable and the count
# of deleted records. Checks the one valid copy's state, attributes and body
# (from a dump of everything, unless REPORT_ONLY).
function(check_with_uefitool Store Attributes Content DeletedCount Label)
  cmake_parse_arguments(C "REPORT_ONLY" "" "" ${ARGN})
  set(Dir ${WORK_DIR}/${Label})
  file(REMOVE_RECURSE ${Dir})
  file(MAKE_DIRECTORY ${Dir})
  file(COPY_FILE ${WORK_DIR}/${Store} ${Dir}/store.fd)
  execute_process(COMMAND UEFIExtract store.fd report WORKING_DIRECTORY ${Dir}
                  OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE Rc)
  if(NOT Rc EQUAL 0 OR NOT EXISTS ${Dir}/store.fd.report.txt)
    fail("${Label}: UEFIExtract report failed (exit ${Rc})")
  endif()
  file(STRINGS ${Dir}/store.fd.report.txt Valid REGEX "VSS entry +\\| Auth +\\|.*${GUID} \\| ${NAME}$")
  file(STRINGS ${Dir}/store.fd.report.txt Deleted REGEX "VSS entry +\\| Invalid ")
  list(LENGTH Valid ValidCount)
  list(LENGTH Deleted Count)
  if(NOT ValidCount EQUAL 1 OR NOT Count EQUAL DeletedCount)
    file(READ ${Dir}/store.fd.report.txt Report)
    fail("${Label}: UEFIExtract sees ${ValidCount} valid copies and ${Count} deleted records, "
         "expected 1 and ${DeletedCount}:\n${Report}")
  endif()
  if(C_REPORT_ONLY)
    return()
  endif()
  execute_process(COMMAND UEFIExtract store.fd all WORKING_DIRECTORY ${Dir}
                  OUTPUT_QUIET ERROR_QUIET)
  file(GLOB_RECURSE Infos ${Dir}/store.fd.dump/*/info.txt)
  set(Found "")
  foreach(Info IN LISTS Infos)
    file(READ ${Info} Text)
    if(Text MATCHES "Text: ${NAME}\n" AND Text MATCHES "Variable GUID: ${GUID}\n")
      set(Found ${Info})
    endif()
  endforeach()
  if(NOT Found)
    fail("${Label}: UEFIExtract dumped no entry ${NAME}")
  endif()
  file(READ ${Found} Text)
  if(NOT Text MATCHES "State: 3Fh\n" OR NOT Text MATCHES "Attributes: ${Attributes}h ")
    fail("${Label}: UEFIExtract shows, expected state 3Fh and attributes ${Attributes}h:\n${Text}")
  endif()
  get_filename_component(EntryDir ${Found} DIRECTORY)
  file(SHA256 ${EntryDir}/body.bin Body)
  file(SHA256 ${WORK_DIR}/${Content} Expected)
  if(NOT Body STREQUAL Expected)
    fail("${Label}: the body UEFIExtract extracts differs from ${Content}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(COPY_FILE ${VARS} ${WORK_DIR}/vars.fd)
set(Entry1 "kind=0x12,qualifier=0,enabled=1,param=5A:00:01:00")
set(Entry2 "kind=0x12,qualifier=0,enabled=1,param=11:00:02:00")
sio_ok(var encode --entry empty --entry ${Entry1} -o content1.bin)
sio_ok(var encode --entry ${Entry2} -o content2.bin)
shell("head -c 30 content1.bin > short.bin")

# 1. Added from a content file; UEFIExtract sees it; `sio var list` decodes it.
sio_ok(var store vars.fd -o one.fd --content content1.bin)
if(NOT Out MATCHES "Added \"${NAME}\" ${GUID} at 0x000064: attributes 0x03 \\(NV\\+BS\\), state 0x3F")
  fail("store: unexpected report\n${Out}")
endif()
check_with_uefitool(one.fd 00000003 content1.bin 0 added)
sio_ok(var list one.fd)
if(NOT Out MATCHES "0x000064 +0x3F added +0x03 \\(NV\\+BS\\) +67 +${GUID} +${NAME}"
   OR NOT Out MATCHES "1 .*the module applies, when it reads the variable: LD8 0xF1 = 0x5A, 0xF0 &= 0xFD")
  fail("list: unexpected report\n${Out}")
endif()

# 2. Replaced twice: from entry options with runtime access, then a 30-byte
# content, which keeps the stored copy's attributes. Other attributes than the
# stored copy's need --change-attributes.
sio(var store one.fd -o two.fd --entry ${Entry2} --attributes 0x7)
if(NOT Rc EQUAL 2 OR EXISTS ${WORK_DIR}/two.fd
   OR NOT Err MATCHES "^sio: error: --attributes: 0x07 \\(NV\\+BS\\+RT\\) differ from the stored copy's 0x03 \\(NV\\+BS\\)[^\n]*give --change-attributes[^\n]*\n$")
  fail("attributes changed without --change-attributes: exit ${Rc}\n${Out}${Err}")
endif()
sio_ok(var store one.fd -o two.fd --entry ${Entry2} --attributes 0x7 --change-attributes)
if(NOT Out MATCHES "Replaced: the copy at 0x000064 marked deleted \\(state 0x3F -> 0x3D\\)")
  fail("replace: unexpected report\n${Out}")
endif()
check_with_uefitool(two.fd 00000007 content2.bin 1 replaced)
sio_ok(var store two.fd -o three.fd --content short.bin)
if(NOT Out MATCHES "note: content is 30 bytes, not 67")
  fail("short content: no note\n${Out}")
endif()
check_with_uefitool(three.fd 00000007 short.bin 2 replaced_twice)

# 3. A whole flash image: the variable volume ahead of the code.
shell("cat vars.fd '${CODE}' > flash.fd")
sio_ok(var store flash.fd -o flash-out.fd --content content1.bin)
# The whole image as UEFIExtract parses it, then its variable volume dumped
# (a dump of the whole image would unpack all of the code).
check_with_uefitool(flash-out.fd 00000003 content1.bin 0 flash_image REPORT_ONLY)
shell("head -c 540672 flash-out.fd > flash-vars.fd")
check_with_uefitool(flash-vars.fd 00000003 content1.bin 0 flash_image_volume)
shell("cmp -s -i 540672 flash.fd flash-out.fd") # the code part untouched

# 4. Bad input: exit 2, one error line naming the problem, no output, input unchanged.
shell("head -c 200000 vars.fd > truncated.fd")
shell("cp vars.fd checksum.fd && printf '\\001' | dd of=checksum.fd bs=1 seek=64 conv=notrunc 2>/dev/null")
shell("cp one.fd half.fd && printf '\\177' | dd of=half.fd bs=1 seek=102 conv=notrunc 2>/dev/null")
shell("head -c 300000 /dev/zero > huge.bin")
shell("head -c 200000 /dev/zero > 200k.bin")
shell("head -c 261848 /dev/zero > nearly-full.bin") # a 261944-byte record: 100 bytes left
shell("head -c 4096 /dev/zero > two-volumes.fd && cat vars.fd vars.fd >> two-volumes.fd")
# The fault-tolerant-write areas erased and the store's size made to cover them.
shell("head -c 262144 vars.fd > ftw-erased.fd && head -c 278528 /dev/zero | tr '\\000' '\\377' >> ftw-erased.fd && printf '\\270\\077\\010' | dd of=ftw-erased.fd bs=1 seek=88 conv=notrunc 2>/dev/null")
file(TOUCH ${WORK_DIR}/empty.bin)
set(Cases
  "content1.bin|--content|content1.bin|not a variable store"
  "truncated.fd|--content|content1.bin|truncated.fd: volume at 0x0: volume header: length 0x84000 runs past the end of the file"
  "checksum.fd|--content|content1.bin|checksum.fd: volume at 0x0: volume header: checksum"
  "half.fd|--content|content1.bin|half.fd: record at 0x64: half-written \\(state 0x7F\\)"
  "vars.fd|--content|huge.bin|content of 300000 bytes makes a record of 300096 bytes, larger than the firmware's largest variable \\(0x2000 bytes. --max-variable-size raises it\\)"
  "vars.fd|--content|200k.bin|content of 200000 bytes makes a record of 200096 bytes, larger than the firmware's largest variable"
  "vars.fd|--content|huge.bin|--max-variable-size|0x100000|vars.fd: not enough free space in the variable store: the record needs 300096 bytes, 262044 are free"
  "vars.fd|--content|nearly-full.bin|--max-variable-size|0x100000|the record of 261944 bytes would leave 100 bytes of the store free. the firmware keeps 0x800 bytes for its own records \\(--keep-free\\)"
  "two-volumes.fd|--content|content1.bin|two-volumes.fd: 2 volumes may hold the variable store, at 0x1000 and 0x85000. choose one by its offset \\(--volume-at OFFSET\\)"
  "two-volumes.fd|--content|content1.bin|--volume-at|0x2000|two-volumes.fd: no variable store volume at 0x2000"
  "ftw-erased.fd|--content|content1.bin|ftw-erased.fd: variable store at 0x48: size 0x83FB8 fills its volume and no fault-tolerant-write working block follows it"
  "vars.fd|--content|content1.bin|--attributes|0x27|--attributes: attributes 0x27: an authenticated variable needs a signed write"
  "vars.fd|--content|empty.bin|content is empty: a variable needs at least one byte"
  "vars.fd|--attributes|0x7|no content: give --content FILE, --entry or --from"
  "vars.fd|--content|missing.bin|--content: missing.bin: cannot open file")
foreach(Case IN LISTS Cases)
  string(REPLACE "|" ";" Args "${Case}")
  list(POP_BACK Args Expected)
  list(POP_FRONT Args Input)
  file(SHA256 ${WORK_DIR}/${Input} Before)
  sio(var store ${Input} -o never.fd ${Args})
  file(SHA256 ${WORK_DIR}/${Input} After)
  if(NOT Rc EQUAL 2 OR NOT Err MATCHES "^sio: error: [^\n]*${Expected}[^\n]*\n$"
     OR EXISTS ${WORK_DIR}/never.fd OR NOT Before STREQUAL After)
    fail("store ${Case}: exit ${Rc}, expected 2 and one line matching '${Expected}', "
         "no never.fd, input unchanged:\n${Out}${Err}")
  endif()
endforeach()
sio(var list half.fd)
if(NOT Rc EQUAL 2 OR NOT Err MATCHES "half-written")
  fail("list of a damaged store: exit ${Rc}\n${Err}")
endif()

# 5. An existing output is kept unless --force.
file(SHA256 ${WORK_DIR}/two.fd Before)
sio(var store vars.fd -o two.fd --content content1.bin)
file(SHA256 ${WORK_DIR}/two.fd After)
if(NOT Rc EQUAL 2 OR NOT Err MATCHES "two.fd: exists \\(give --force" OR NOT Before STREQUAL After)
  fail("existing output: exit ${Rc}\n${Err}")
endif()
sio_ok(var store vars.fd -o two.fd --content content1.bin --force)
check_with_uefitool(two.fd 00000003 content1.bin 0 forced)

# 6. An image with two variable store volumes: the one chosen by its offset is
# written, the other left as it was.
sio_ok(var store two-volumes.fd --volume-at 0x85000 -o chosen.fd --content content1.bin)
if(NOT Out MATCHES "variable store at 0x85048 in the volume at 0x85000")
  fail("chosen volume: unexpected report\n${Out}")
endif()
shell("cmp -s -n 544768 two-volumes.fd chosen.fd")
sio_ok(var list chosen.fd --volume-at 0x85000)

# 7. Two valid copies (the first replaced one's state put back): `var list` shows the
# first added one, the one the firmware reads, and warns.
shell("cp three.fd two-copies.fd && printf '\\077' | dd of=two-copies.fd bs=1 seek=102 conv=notrunc 2>/dev/null")
sio(var list two-copies.fd)
if(NOT Rc EQUAL 0 OR NOT Out MATCHES "\"${NAME}\" at 0x000064:"
   OR NOT Err MATCHES "^sio: warning: two-copies.fd: the store holds 2 valid copies of \"${NAME}\"; the firmware reads the one at 0x000064\n$")
  fail("list of two valid copies: exit ${Rc}\n${Out}${Err}")
endif()

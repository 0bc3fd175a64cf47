# SPDX-License-Identifier: BSD-2-Clause-Patent
# Packs DIR/NAME into ARCHIVE (.tar.gz) so that the same files give the same
# bytes wherever and whenever they were made: names sorted, every time stamp
# 0, owner and group 0 by number, modes reduced to what the files need, and no
# name or time in the gzip header. Modes are set on a copy (files 0644,
# folders 0755): tar's --mode cannot tell a file that happens to be
# executable from one that is not.
#   cmake -DTAR=... -DGZIP=... -DDIR=... -DNAME=... -DARCHIVE=... -P PackArchive.cmake
foreach(Var TAR GZIP DIR NAME ARCHIVE)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "PackArchive.cmake: ${Var} not given")
  endif()
endforeach()
if(NOT IS_DIRECTORY "${DIR}/${NAME}")
  message(FATAL_ERROR "PackArchive.cmake: ${DIR}/${NAME} is not a folder")
endif()

set(Tree ${ARCHIVE}.tree)
file(REMOVE_RECURSE ${Tree})
file(MAKE_DIRECTORY ${Tree})
file(COPY ${DIR}/${NAME} DESTINATION ${Tree}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
     DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                           WORLD_READ WORLD_EXECUTE)
execute_process(
  COMMAND ${TAR} --create --format=gnu --sort=name --mtime=@0 --owner=0 --group=0
          --numeric-owner --directory=${Tree} ${NAME}
  COMMAND ${GZIP} -n -9
  OUTPUT_FILE ${ARCHIVE}.part
  RESULTS_VARIABLE Results)
file(REMOVE_RECURSE ${Tree})
foreach(R IN LISTS Results)
  if(NOT R EQUAL 0)
    file(REMOVE ${ARCHIVE}.part)
    message(FATAL_ERROR "PackArchive.cmake: packing ${DIR}/${NAME} failed (${Results})")
  endif()
endforeach()
file(RENAME ${ARCHIVE}.part ${ARCHIVE})

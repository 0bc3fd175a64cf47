# Completes the package in OUT_DIR: the sources of SOURCE_DIR, the module
# image, its dependency expression for the build's choice (the one the INF
# lists) and one file per choice under Depex/.
#   cmake -DSOURCE_DIR=... -DOUT_DIR=... -DIMAGE=... -DDEPEX_TOOL=... -DDEPEX=... -P StagePackage.cmake
foreach(Var SOURCE_DIR OUT_DIR IMAGE DEPEX_TOOL DEPEX)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "StagePackage.cmake: ${Var} not given")
  endif()
endforeach()

# Start empty: a file dropped from the sources must not linger in the package.
file(REMOVE_RECURSE ${OUT_DIR})
file(COPY ${SOURCE_DIR}/ DESTINATION ${OUT_DIR})
file(COPY_FILE ${IMAGE} ${OUT_DIR}/SioF81216aPei.efi)

function(write_depex Choice Path)
  execute_process(COMMAND ${DEPEX_TOOL} ${Choice} -o ${Path} RESULT_VARIABLE Rc)
  if(NOT Rc EQUAL 0)
    message(FATAL_ERROR "StagePackage.cmake: no dependency expression for ${Choice}")
  endif()
endfunction()
write_depex(${DEPEX} ${OUT_DIR}/SioF81216aPei.depex)
file(MAKE_DIRECTORY ${OUT_DIR}/Depex)
foreach(Choice VARIABLE_PPI TRUE FALSE)
  write_depex(${Choice} ${OUT_DIR}/Depex/${Choice}.depex)
endforeach()

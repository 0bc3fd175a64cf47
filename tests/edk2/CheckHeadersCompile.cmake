# SPDX-License-Identifier: BSD-2-Clause-Patent
# Compiles SOURCE (the package headers used as EDK2 C code uses them) with
# each compiler in COMPILERS for C99 and C11, 32- and 64-bit; any warning or
# failed static assertion fails the test, naming the combination.
foreach(Var COMPILERS SOURCE INCLUDES WORK_DIR)
  if(NOT DEFINED ${Var})
    message(FATAL_ERROR "CheckHeadersCompile.cmake: ${Var} not given")
  endif()
endforeach()
file(MAKE_DIRECTORY ${WORK_DIR})
set(IncludeFlags)
foreach(Dir IN LISTS INCLUDES)
  list(APPEND IncludeFlags -I${Dir})
endforeach()

set(Failed)
foreach(Compiler IN LISTS COMPILERS)
  get_filename_component(CompilerName ${Compiler} NAME)
  foreach(Std c99 c11)
    foreach(Bits 32 64)
      # -fshort-wchar: EDK2 builds with a 16-bit wchar_t, so L"..." is CHAR16.
      execute_process(
        COMMAND ${Compiler} -std=${Std} -m${Bits} -Wall -Wextra -Werror -pedantic -fshort-wchar
                ${IncludeFlags} -c ${SOURCE} -o ${WORK_DIR}/${CompilerName}-${Std}-m${Bits}.o
        RESULT_VARIABLE Rc ERROR_VARIABLE Err OUTPUT_VARIABLE Out)
      if(Rc EQUAL 0)
        message(STATUS "${CompilerName} -std=${Std} -m${Bits}: ok")
      else()
        message(STATUS "${CompilerName} -std=${Std} -m${Bits}: FAILED\n${Out}${Err}")
        list(APPEND Failed "${CompilerName} -std=${Std} -m${Bits}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(Failed)
  message(FATAL_ERROR "package headers do not compile as C with: ${Failed}")
endif()

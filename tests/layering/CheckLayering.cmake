# SPDX-License-Identifier: GPL-2.0-or-later
# cmake -DBUILD_DIR=.. -DGENERATOR=.. -DCASES=cases.txt -P CheckLayering.cmake
# Builds every planted wrong-way include (tests/layering/CMakeLists.txt) in one go and
# passes only if each failed because its header was not found.
file(STRINGS ${CASES} cases)
if(NOT cases)
  message(FATAL_ERROR "no planted include to check")
endif()
set(targets "")
foreach(case ${cases})
  separate_arguments(case)
  list(GET case 0 name)
  list(APPEND targets planted_${name})
endforeach()

# Keep going past the first failure: every case must be tried.
set(keep_going "")
if(GENERATOR MATCHES "Ninja")
  set(keep_going -- -k 0)
elseif(GENERATOR MATCHES "Makefiles")
  set(keep_going -- -k)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${targets} ${keep_going}
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)

set(leaks "")
foreach(case ${cases})
  separate_arguments(case)
  list(GET case 0 name)
  list(GET case 1 header)
  string(REPLACE "." "\\." header_re "${header}")
  # GCC: "fatal error: run/Core.h: No such file or directory"; clang: "'run/Core.h' file not found".
  if(NOT output MATCHES "${name}\\.cpp:[0-9]+:[0-9]+: fatal error: '?${header_re}'?:? (No such file or directory|file not found)")
    string(REPLACE "_includes_" " can include " what "${name}")
    # A case that failed for some other reason shows its compiler's words.
    string(REGEX MATCHALL "[^\n]*${name}\\.cpp:[0-9]+:[0-9]+: [^\n]*" said "${output}")
    list(JOIN said "\n    " said)
    if(said)
      set(said ":\n    ${said}")
    endif()
    list(APPEND leaks "${what} (${header})${said}")
  endif()
endforeach()
list(LENGTH cases count)
if(leaks)
  list(JOIN leaks "\n  " leak_lines)
  message(FATAL_ERROR "A layer reaches a header it may not use (cmake/Layers.cmake):\n  ${leak_lines}")
endif()
message(STATUS "${count} wrong-way includes planted, each failed to compile for want of its header")

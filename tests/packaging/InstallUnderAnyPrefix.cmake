# SPDX-License-Identifier: GPL-2.0-or-later
# cmake -DBUILD=.. -DWORK=.. -P InstallUnderAnyPrefix.cmake
# Installed under a prefix chosen at install time, not at configure time, tavrino-cli finds
# its updater folder under that prefix.
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/some/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install --prefix ${prefix} failed (${status})")
endif()
if(NOT EXISTS ${prefix}/share/tavrino/updaters/README)
  message(FATAL_ERROR "no updaters folder under ${prefix}")
endif()
execute_process(COMMAND ${prefix}/bin/tavrino-cli --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
string(FIND "${help}" "${prefix}/share/tavrino/updaters" at)
file(REMOVE_RECURSE ${WORK})
if(NOT status EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "the installed tavrino-cli does not look in ${prefix}/share/tavrino/updaters:\n${help}")
endif()

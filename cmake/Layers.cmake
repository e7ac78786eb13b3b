# SPDX-License-Identifier: GPL-2.0-or-later
# The layers of the program and what each one may use: the one place the dependencies are
# written. Dependencies point down. A layer's code includes and links only the layers its
# row names (and what those use in turn), and a row names only layers listed before it:
# configure stops on one that reaches up.
#
# The build holds the code to it. Each layer's target gets an include root of its own in
# the build tree, <build>/include/<layer>/, holding one symbolic link to the layer's folder,
# so `#include "run/Core.h"` resolves only in a target that uses the run layer; a wrong-way
# include fails to compile, even of a header that holds only constants. tests/layering plants
# a wrong-way include for every pair this table forbids and expects each to fail.
#
# A layer's folder and include path carry its name and its target is tavrino_<name>, except
# where a row's comment says otherwise. Bottom first:
set(tavrino_layers
    buildinfo       # tavrino/BuildInfo.h, written by CMake from the project's version
    serial_backend  # serial/SerialBackend.h alone: the line the simulated panel plugs into
    os
    frontend
    serial
    firmware
    settings
    state
    link
    run
    cli
    ui
    test_updaters   # tools/: the Starter updater images the tests and tavrino-pack use
    sim)            # the simulated panel: tests and the demo only, so nothing uses it
set(tavrino_uses_buildinfo "")
set(tavrino_uses_serial_backend "")
set(tavrino_uses_os "")
# The contract with the front ends (Host, StatusLog, Outcome, the texts): the core asks
# through it and uses nothing else.
set(tavrino_uses_frontend "")
set(tavrino_uses_serial "")
# firmware/ and settings/ are data alone: bytes in, a typed result out. Whoever calls them
# asks and tells the person.
set(tavrino_uses_firmware os)
set(tavrino_uses_settings firmware)
# firmware: the SHA-256 that every file the host keeps carries.
set(tavrino_uses_state firmware os)
# firmware: the image the Starter writes, and the SHA-256 of an updater image.
set(tavrino_uses_link serial firmware frontend os)
set(tavrino_uses_run link settings state firmware serial frontend os buildinfo)
set(tavrino_uses_cli run link state firmware serial frontend os buildinfo)
set(tavrino_uses_ui run serial frontend buildinfo)
set(tavrino_uses_test_updaters firmware)
set(tavrino_uses_sim serial_backend)

foreach(layer ${tavrino_layers})
  if(NOT DEFINED tavrino_uses_${layer})
    message(FATAL_ERROR "Layers.cmake: the layer ${layer} has no row of uses")
  endif()
  list(FIND tavrino_layers ${layer} level)
  foreach(used ${tavrino_uses_${layer}})
    list(FIND tavrino_layers ${used} used_level)
    if(used_level EQUAL -1)
      message(FATAL_ERROR "Layers.cmake: ${layer} uses ${used}, which is no layer")
    elseif(NOT used_level LESS level)
      message(FATAL_ERROR "Layers.cmake: ${layer} uses ${used}, which is not below it. "
                          "Dependencies point down: move the code, not the arrow.")
    endif()
  endforeach()
endforeach()

# The include roots are symbolic links made at configure time. The toolchains run on a
# Linux host (the Windows build too: mingw-w64 is a Linux cross compiler), where every
# compiler follows a link to a folder and treats the header behind it as the same file, so
# #pragma once holds when a test reaches a header through the project root as well.
# A Windows host would need the right to make links.
function(tavrino_expose target scope layer path)
  set(root ${PROJECT_BINARY_DIR}/include/${layer})
  set(link ${root}/${path})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${link} RESULT failed SYMBOLIC)
  if(failed)
    message(FATAL_ERROR "Cannot link ${link} to the sources (${failed}): each layer's include "
                        "root is a symbolic link, which this host or file system must allow.")
  endif()
  target_include_directories(${target} ${scope} ${root})
  set_property(GLOBAL APPEND PROPERTY tavrino_exposes_${layer} ${path})
endfunction()

# tavrino_layer(<name> [FOLDER <folder>] [SOURCES <file>...])
# The layer's static library tavrino_<name>: the given sources, or else every .cpp in its
# folder and in the folder's posix/ or win32/ subfolder, the platform's one. It exposes its
# folder and links the layers its row names.
if(WIN32)
  set(tavrino_platform win32)
else()
  set(tavrino_platform posix)
endif()
function(tavrino_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FOLDER" "SOURCES")
  if(NOT name IN_LIST tavrino_layers)
    message(FATAL_ERROR "${name} is not in the table of layers (cmake/Layers.cmake)")
  endif()
  if(NOT arg_FOLDER)
    set(arg_FOLDER ${name})
  endif()
  set(sources ${arg_SOURCES})
  if(NOT sources)
    set(dir ${PROJECT_SOURCE_DIR}/${arg_FOLDER})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/${tavrino_platform}/*.cpp)
  endif()
  if(NOT sources)
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(tavrino_${name} STATIC ${sources})
  tavrino_expose(tavrino_${name} PUBLIC ${name} ${arg_FOLDER})
  foreach(used ${tavrino_uses_${name}})
    target_link_libraries(tavrino_${name} PUBLIC tavrino_${used})
  endforeach()
endfunction()

# Every layer under <name>, its own name included.
function(tavrino_layer_closure name out)
  set(closure ${name})
  set(todo ${name})
  while(todo)
    list(POP_FRONT todo layer)
    foreach(used ${tavrino_uses_${layer}})
      if(NOT used IN_LIST closure)
        list(APPEND closure ${used})
        list(APPEND todo ${used})
      endif()
    endforeach()
  endwhile()
  set(${out} ${closure} PARENT_SCOPE)
endfunction()

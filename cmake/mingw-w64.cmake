# SPDX-License-Identifier: GPL-2.0-or-later
# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The programs are linked statically, so a .exe runs on a bare Windows without the
# compiler's runtime DLLs. The posix thread model gives std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(tavrino_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${tavrino_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tavrino_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${tavrino_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${tavrino_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Test programs built here run under wine (ctest, and the test discovery if asked for).
find_program(tavrino_wine NAMES wine wine64)
if(tavrino_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${tavrino_wine})
endif()

# SPDX-License-Identifier: MIT
# 64-bit Windows console programs (mingw-w64 with POSIX threads, which GoogleTest needs), run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static, so that the programs run without the target's shared libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# wine64 runs the programs; call it directly rather than through the wine script.
find_program(CAVEDUMP_WINE64 wine64 PATHS /usr/lib/wine NO_CACHE REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CAVEDUMP_WINE64})

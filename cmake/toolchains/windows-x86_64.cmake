# SPDX-License-Identifier: MIT
# 64-bit Windows console programs, run under wine: mingw-w64 with POSIX threads,
# which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(cross_triple x86_64-w64-mingw32)
set(cross_suffix -posix)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
# wine64 runs the programs; call it directly rather than through the wine script.
find_program(CAVEDUMP_WINE64 wine64 PATHS /usr/lib/wine NO_CACHE REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CAVEDUMP_WINE64})

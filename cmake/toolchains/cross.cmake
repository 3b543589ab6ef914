# SPDX-License-Identifier: MIT
# What every toolchain file here for a cross compiler shares: Debian's cross compilers
# for the GNU triple cross_triple (with cross_suffix after their names, if set), the
# target's own root for its libraries and headers, static programs, so that they run
# without the target's shared libraries, and GoogleTest built from its sources for
# the target, from Debian's googletest package.
set(CMAKE_C_COMPILER ${cross_triple}-gcc${cross_suffix})
set(CMAKE_CXX_COMPILER ${cross_triple}-g++${cross_suffix})
set(CMAKE_FIND_ROOT_PATH /usr/${cross_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
find_path(CAVEDUMP_GTEST_SOURCE googletest/CMakeLists.txt PATHS /usr/src/googletest
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)

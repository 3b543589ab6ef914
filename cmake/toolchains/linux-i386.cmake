# SPDX-License-Identifier: MIT
# 32-bit x86 Linux: 32-bit pointers and size_t, char signed as on x86-64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static, so that the programs run without the target's shared libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# No emulator: an x86-64 kernel runs 32-bit x86 programs itself, and a static one
# needs no 32-bit libraries on the host. qemu-i386 would be slower, and it hangs a
# dynamically linked i386 program that starts a thread.

# SPDX-License-Identifier: MIT
# 32-bit x86 Linux: 32-bit pointers and size_t, char signed as on x86-64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(cross_triple i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
# No emulator: an x86-64 kernel runs 32-bit x86 programs itself, and a static one
# needs no 32-bit libraries on the host. qemu-i386 would be slower, and it hangs a
# dynamically linked i386 program that starts a thread.

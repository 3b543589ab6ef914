# SPDX-License-Identifier: MIT
# 32-bit x86 Linux: 32-bit pointers and size_t, char signed as on x86-64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(cross_triple i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross.cmake)
# An x86-64 kernel built with 32-bit support runs 32-bit x86 programs itself, faster
# than qemu-i386; a kernel built without it (some virtual machines have one) cannot,
# and there the programs, which are static, run under qemu-i386 (which hangs only a
# dynamically linked i386 program that starts a thread). The target's own loader tells
# which kernel this is: it runs, and says its version, only where 32-bit programs do.
execute_process(COMMAND /usr/${cross_triple}/lib/ld-linux.so.2 --version
    RESULT_VARIABLE native OUTPUT_QUIET ERROR_QUIET)
if(NOT native EQUAL 0)
    set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/${cross_triple})
endif()

# SPDX-License-Identifier: MIT
# WebAssembly: a plain WASI command (wasm32-wasi, preview 1), made by Debian's clang
# against wasi-libc, with the C++ library's headers of libc++-14-dev-wasm32, the
# builtins of libclang-rt-14-dev-wasm32, and linked by wasm-ld (lld). The module
# exports _start and imports a dozen system calls, so any WASI runtime runs it: the
# tests run it under Node's node:wasi (web.mjs, beside this file), the page under its
# own layer (web/wasi.js).
set(CMAKE_SYSTEM_NAME WASI)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}) # Platform/WASI.cmake
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(triple wasm32-wasi)
find_program(CAVEDUMP_CLANG NAMES clang++-14 clang++ REQUIRED)
set(CMAKE_CXX_COMPILER ${CAVEDUMP_CLANG})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
# Debian puts the target's headers and libraries in its multiarch folders
# (/usr/include/wasm32-wasi, /usr/lib/wasm32-wasi), where clang finds them itself.
# The module is stripped: names and debug sections are of no use to the page.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -Wl,--strip-all")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# WASI has no exceptions to throw; the program throws none.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
find_program(CAVEDUMP_NODE NAMES node nodejs REQUIRED)
# Node 18 (Debian 12's) gives node:wasi only with this flag; Node 20 takes it and
# needs it no more. Its warning that WASI is experimental would land in the program's
# standard error: no warnings.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CAVEDUMP_NODE} --experimental-wasi-unstable-preview1 --no-warnings
    ${CMAKE_CURRENT_LIST_DIR}/web.mjs)

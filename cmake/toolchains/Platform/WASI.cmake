# SPDX-License-Identifier: MIT
# What CMake needs to know of the WASI system, which it does not know itself: its
# programs are modules named .wasm, and it has no shared libraries.
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
set_property(GLOBAL PROPERTY TARGET_SUPPORTS_SHARED_LIBS FALSE)

# SPDX-License-Identifier: MIT
# WebAssembly: Emscripten's own toolchain file, found beside the emcc on the PATH.
# Emscripten's JavaScript optimiser needs acorn, which Debian keeps in its folder of
# node modules: configure and every link run with that folder on NODE_PATH.
find_program(CAVEDUMP_EMCC emcc REQUIRED)
file(REAL_PATH ${CAVEDUMP_EMCC} emcc)
get_filename_component(emscripten ${emcc} DIRECTORY)
include(${emscripten}/cmake/Modules/Platform/Emscripten.cmake)
find_path(CAVEDUMP_NODE_PATH acorn/package.json PATHS /usr/share/nodejs /usr/lib/nodejs
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(ENV{NODE_PATH} ${CAVEDUMP_NODE_PATH})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${CAVEDUMP_NODE_PATH})

# SPDX-License-Identifier: MIT
# Installs the build in BUILD under PREFIX, checks that the files INSTALLED are there,
# and runs the installed PROGRAM, if any, on the ATARI sample as golden.cmake runs the
# built one.
#
#   cmake [-DEMULATOR=cmd;arg...] [-DLINEENDS=CRLF] -DBUILD=dir -DPREFIX=dir
#         "-DINSTALLED=file;..." -DPROGRAM=bin/cavedump -DSAMPLES=dir
#         -DEXPECTED=golden/base -P install.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
foreach(installed IN LISTS INSTALLED)
    if(NOT EXISTS "${PREFIX}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
# The installed program on the ATARI sample, judged as golden.cmake judges the built one.
# The web page's layout installs no program: its page is tried in a browser instead.
if(PROGRAM STREQUAL "")
    return()
endif()
set(CAVEDUMP "${PREFIX}/${PROGRAM}")
set(NAME atari-stairs.cav)
set(OUTDIR "${PREFIX}")
include(${CMAKE_CURRENT_LIST_DIR}/golden.cmake)

# SPDX-License-Identifier: MIT
# Installs the build in BUILD under PREFIX, checks that the files INSTALLED are there,
# and runs the installed PROGRAM on the ATARI sample.
#
#   cmake -DBUILD=dir -DPREFIX=dir "-DINSTALLED=file;..." -DPROGRAM=bin/cavedump
#         -DSAMPLES=dir -DEXPECTED=golden/base -P install.cmake

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
foreach(installed IN LISTS INSTALLED)
    if(NOT EXISTS "${PREFIX}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
execute_process(COMMAND "${PREFIX}/${PROGRAM}" atari-stairs.cav
    WORKING_DIRECTORY "${SAMPLES}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
file(READ "${EXPECTED}.out" expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
    message(FATAL_ERROR "the installed cavedump printed (status ${status}):\n${out}${err}")
endif()

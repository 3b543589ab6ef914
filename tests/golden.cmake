# SPDX-License-Identifier: MIT
# Runs cavedump on one sample from the samples folder and compares its standard
# output, standard error and status with the expected files.
#
#   cmake -DCAVEDUMP=exe -DSAMPLES=dir -DNAME=file.cav -DEXPECTED=dir/base -P golden.cmake

execute_process(
    COMMAND "${CAVEDUMP}" "${NAME}"
    WORKING_DIRECTORY "${SAMPLES}"
    INPUT_FILE /dev/null
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    RESULT_VARIABLE status)

set(failed FALSE)
foreach(stream IN ITEMS out err)
    file(READ "${EXPECTED}.${stream}" expected)
    if(NOT "${${stream}}" STREQUAL "${expected}")
        set(actual "${CMAKE_CURRENT_BINARY_DIR}/${NAME}.actual.${stream}")
        file(WRITE "${actual}" "${${stream}}")
        execute_process(COMMAND diff -u "${EXPECTED}.${stream}" "${actual}")
        set(failed TRUE)
    endif()
endforeach()
if(NOT status EQUAL 0)
    message(SEND_ERROR "status ${status}, expected 0")
endif()
if(failed)
    message(FATAL_ERROR "${NAME}: output differs from ${EXPECTED}.out/.err")
endif()

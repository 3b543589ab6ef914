# SPDX-License-Identifier: MIT
# Runs cavedump on one sample from the samples folder, through EMULATOR if one is
# given, and compares its standard output, standard error and status with the
# expected files, byte for byte; with LINEENDS=CRLF every line of both must end in
# CR LF, as a Windows text stream ends it. With ACTUAL, the two streams are already in
# ACTUAL.out and ACTUAL.err (the page's route) and only compared. The expected files
# name the sample; a copy of it under another NAME is named so in them.
#
#   cmake [-DEMULATOR=cmd;arg...] [-DLINEENDS=CRLF] -DCAVEDUMP=exe -DSAMPLES=dir
#         -DNAME=file.cav -DEXPECTED=dir/base [-DOUTDIR=dir] -P golden.cmake
#   cmake -DACTUAL=base -DNAME=name -DEXPECTED=dir/base -P golden.cmake
#
# What the program wrote is left in OUTDIR (the working folder if not given).

if(NOT DEFINED OUTDIR)
    set(OUTDIR "${CMAKE_CURRENT_BINARY_DIR}")
endif()
set(status 0)
if(DEFINED ACTUAL)
    set(actual "${ACTUAL}")
else()
    set(actual "${OUTDIR}/${NAME}.actual")
    # The streams go to files, not variables: execute_process would turn CR LF into LF
    # in a variable, and the bytes are what is compared.
    execute_process(
        COMMAND ${EMULATOR} "${CAVEDUMP}" "${NAME}"
        WORKING_DIRECTORY "${SAMPLES}"
        INPUT_FILE /dev/null
        OUTPUT_FILE "${actual}.out"
        ERROR_FILE "${actual}.err"
        RESULT_VARIABLE status)
endif()

get_filename_component(sample "${EXPECTED}" NAME)
foreach(stream IN ITEMS out err)
    file(READ "${EXPECTED}.${stream}" text)
    string(REPLACE "${sample}.cav" "${NAME}" text "${text}")
    if(LINEENDS STREQUAL "CRLF")
        string(REPLACE "\n" "\r\n" text "${text}")
    endif()
    set(expected "${actual}.expected.${stream}")
    file(WRITE "${expected}" "${text}")
    # diff compares bytes, and says how they differ; an error here fails the script.
    execute_process(COMMAND diff -u "${expected}" "${actual}.${stream}" OUTPUT_VARIABLE diff RESULT_VARIABLE differs)
    if(NOT differs EQUAL 0)
        message(SEND_ERROR "${NAME}: ${actual}.${stream} differs from ${EXPECTED}.${stream}:\n${diff}")
    endif()
endforeach()
if(NOT status EQUAL 0)
    message(SEND_ERROR "${NAME}: status ${status}, expected 0")
endif()

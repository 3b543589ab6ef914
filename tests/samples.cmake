# SPDX-License-Identifier: MIT
# Makes the samples afresh in OUT and compares them with those in SAMPLES.
#
#   cmake -DPYTHON=python3 -DSAMPLES=dir -DOUT=dir -P samples.cmake

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND "${PYTHON}" "${SAMPLES}/makesamples.py" "${OUT}"
    COMMAND_ERROR_IS_FATAL ANY)
file(GLOB made RELATIVE "${OUT}" "${OUT}/*.cav")
file(GLOB kept RELATIVE "${SAMPLES}" "${SAMPLES}/*.cav")
if(NOT made STREQUAL kept)
    message(FATAL_ERROR "the script makes [${made}], the folder holds [${kept}]")
endif()
foreach(name IN LISTS made)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${OUT}/${name}" "${SAMPLES}/${name}"
        RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "${name} differs from what makesamples.py makes")
    endif()
endforeach()

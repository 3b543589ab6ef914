# SPDX-License-Identifier: MIT
# Renders the manual with groff, every warning on; any message fails.
#
#   cmake -DGROFF=groff -DPAGE=cavedump.1 -P manpage.cmake

execute_process(COMMAND "${GROFF}" -t -man -ww -z "${PAGE}"
    ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT messages STREQUAL "")
    message(FATAL_ERROR "groff (status ${status}):\n${messages}")
endif()

# SPDX-License-Identifier: MIT
# Readies wine for the Windows tests, or stops what it left: the CTest fixture "wine".
# start makes or updates the prefix, then replaces the wineserver that wineboot
# leaves, which would end with the last program, by one that stays, and starts wine's
# own services under it. Started by the first test instead, a service would hold that
# test's output open until the test timed out. Every command here writes to the null
# device for the same reason: a server or service left running holds its output.
#
#   cmake -DACTION=start|stop -P wine.cmake

find_program(WINEBOOT wineboot REQUIRED)
find_program(WINESERVER wineserver REQUIRED)
function(quietly)
    list(JOIN ARGN " " command)
    execute_process(COMMAND sh -c "${command} </dev/null >/dev/null 2>&1" RESULT_VARIABLE status)
endfunction()
quietly(${WINESERVER} -k)
if(ACTION STREQUAL "start")
    quietly(${WINEBOOT} -i)
    quietly(${WINESERVER} -k)
    quietly(${WINESERVER} -w)
    quietly(${WINESERVER} -p)
    quietly(${WINEBOOT})
endif()

# SPDX-License-Identifier: MIT
# Writes CHANGELOG.md as a Debian changelog: each "## VERSION - YYYY-MM-DD HH:MM"
# heading (the time in UTC) becomes an entry signed by MAINTAINER at that time, and
# each "- " item a "  * " line, its following lines indented to match.
#
#   cmake -DINPUT=CHANGELOG.md -DOUTPUT=changelog -DMAINTAINER="Name <mail>" -P debchangelog.cmake

# The RFC 5322 date of a "YYYY-MM-DD HH:MM" time in UTC, with its day of the week, as
# GNU date writes it.
function(rfcdate day out)
    if(NOT day MATCHES "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]$")
        message(FATAL_ERROR "not a YYYY-MM-DD HH:MM time: ${day}")
    endif()
    execute_process(COMMAND date -u -R -d "${day} UTC" OUTPUT_VARIABLE date
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(${out} "${date}" PARENT_SCOPE)
endfunction()

# The lines become the elements of a CMake list, which a semicolon would split: while
# the text is a list, its semicolons stand as the character 0x01.
file(READ "${INPUT}" lines)
string(ASCII 1 semicolon)
string(REPLACE ";" "${semicolon}" lines "${lines}")
string(REPLACE "\n" ";" lines "${lines}")
set(text "")
set(signature "")
foreach(line IN LISTS lines)
    if(line MATCHES "^## ([^ ]+) - (.+)$")
        rfcdate("${CMAKE_MATCH_2}" date)
        string(APPEND text "${signature}cavedump (${CMAKE_MATCH_1}) unstable; urgency=medium\n\n")
        set(signature "\n -- ${MAINTAINER}  ${date}\n\n")
    elseif(signature STREQUAL "")
        # the title and the words above the first version
    elseif(line MATCHES "^- (.*)$")
        string(APPEND text "  * ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^  +(.*)$")
        string(APPEND text "    ${CMAKE_MATCH_1}\n")
    elseif(NOT line STREQUAL "")
        message(FATAL_ERROR "${INPUT}: a line that is neither a heading nor an item: ${line}")
    endif()
endforeach()
string(REGEX REPLACE "\n+$" "\n" signature "${signature}")
string(REPLACE "${semicolon}" ";" text "${text}")
file(WRITE "${OUTPUT}" "${text}${signature}")

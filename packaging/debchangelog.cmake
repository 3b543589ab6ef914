# SPDX-License-Identifier: MIT
# Writes CHANGELOG.md as a Debian changelog: each "## VERSION - YYYY-MM-DD HH:MM"
# heading (the time in UTC) becomes an entry signed by MAINTAINER at that time, and
# each "- " item a "  * " line, its following lines indented to match. With VERSION,
# the newest entry must be of that version (the one project() names); with REVISION,
# each entry is of the Debian version VERSION-REVISION, as a source package's are.
#
#   cmake -DINPUT=CHANGELOG.md -DOUTPUT=changelog -DMAINTAINER="Name <mail>"
#         [-DVERSION=version] [-DREVISION=n] -P debchangelog.cmake

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
set(newest "")
set(suffix "")
if(DEFINED REVISION)
    set(suffix "-${REVISION}")
endif()
foreach(line IN LISTS lines)
    if(line MATCHES "^## ([^ ]+) - (.+)$")
        rfcdate("${CMAKE_MATCH_2}" date)
        if(newest STREQUAL "")
            set(newest "${CMAKE_MATCH_1}")
        endif()
        string(APPEND text "${signature}cavedump (${CMAKE_MATCH_1}${suffix}) unstable; urgency=medium\n\n")
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
if(DEFINED VERSION AND NOT newest STREQUAL VERSION)
    message(FATAL_ERROR "${INPUT}: the newest version is '${newest}', project() says ${VERSION}")
endif()
string(REGEX REPLACE "\n+$" "\n" signature "${signature}")
string(REPLACE "${semicolon}" ";" text "${text}")
file(WRITE "${OUTPUT}" "${text}${signature}")

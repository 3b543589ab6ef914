# SPDX-License-Identifier: MIT
# Writes CHANGELOG.md as a Debian changelog: each "## VERSION - YYYY-MM-DD HH:MM"
# heading (the time in UTC) becomes an entry signed by MAINTAINER at that time, and
# each "- " item a "  * " line, its following lines indented to match.
#
#   cmake -DINPUT=CHANGELOG.md -DOUTPUT=changelog -DMAINTAINER="Name <mail>" -P debchangelog.cmake

# The RFC 5322 date of a "YYYY-MM-DD HH:MM" time, with its day of the week.
function(rfcdate day out)
    string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9]) ([0-9][0-9]:[0-9][0-9])$"
        _ "${day}")
    if(NOT CMAKE_MATCH_0)
        message(FATAL_ERROR "not a YYYY-MM-DD HH:MM time: ${day}")
    endif()
    set(year ${CMAKE_MATCH_1})
    set(dd ${CMAKE_MATCH_3})
    set(hhmm ${CMAKE_MATCH_4})
    set(y ${CMAKE_MATCH_1})
    math(EXPR m "${CMAKE_MATCH_2}")
    math(EXPR d "${CMAKE_MATCH_3}")
    # Days since 1970-01-01 (a Thursday), counting March as the year's first month.
    if(m LESS 3)
        math(EXPR y "${y} - 1")
        math(EXPR mp "${m} + 9")
    else()
        math(EXPR mp "${m} - 3")
    endif()
    math(EXPR days "365 * ${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + (153 * ${mp} + 2) / 5 + ${d} - 1 - 719468")
    math(EXPR weekday "(${days} + 4) % 7")
    set(weekdays Sun Mon Tue Wed Thu Fri Sat)
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(GET weekdays ${weekday} wd)
    math(EXPR mi "${m} - 1")
    list(GET months ${mi} mon)
    set(${out} "${wd}, ${dd} ${mon} ${year} ${hhmm}:00 +0000" PARENT_SCOPE)
endfunction()

file(STRINGS "${INPUT}" lines)
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
file(WRITE "${OUTPUT}" "${text}${signature}")

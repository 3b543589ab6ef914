# SPDX-License-Identifier: MIT
# sourceepoch(SOURCE EPOCH WHY): the time of the sources in SOURCE, for every time
# stamp of a package, in seconds since 1970. SOURCE_DATE_EPOCH from the environment
# wins; else git's time of the last commit, if SOURCE is the top of a git clone; else
# the time that git archive wrote into packaging/epoch. With none of the three, EPOCH
# is empty and WHY says, in one line, what is missing and how to mend it.
function(sourceepoch source epoch why)
    set(${epoch} "" PARENT_SCOPE)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
            set(${why} "SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}', not a number of seconds: set it to one, or unset it" PARENT_SCOPE)
            return()
        endif()
        set(${epoch} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
        return()
    endif()
    # Only a clone of these very sources: a tarball unpacked inside some other clone
    # (a build folder, say) would otherwise take that clone's time.
    find_package(Git QUIET)
    if(Git_FOUND AND EXISTS "${source}/.git")
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
            WORKING_DIRECTORY "${source}"
            OUTPUT_VARIABLE time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(time MATCHES "^[0-9]+$")
            set(${epoch} "${time}" PARENT_SCOPE)
            return()
        endif()
    endif()
    file(STRINGS "${source}/packaging/epoch" time REGEX "^[0-9]+$")
    if(time)
        set(${epoch} "${time}" PARENT_SCOPE)
    elseif(EXISTS "${source}/.git")
        set(${why} "No time stamp for the packages: this clone's time needs the git program (install the package git) or SOURCE_DATE_EPOCH set to a time in seconds" PARENT_SCOPE)
    else()
        set(${why} "No time stamp for the packages: this tree is neither a git clone nor a tarball made by git archive; set SOURCE_DATE_EPOCH to the sources' time in seconds" PARENT_SCOPE)
    endif()
endfunction()

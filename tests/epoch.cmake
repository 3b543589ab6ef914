# SPDX-License-Identifier: MIT
# sourceepoch() of packaging/epoch.cmake on small trees made here, in WORK: the
# environment wins, then git (only for a clone of the tree itself), then the time git
# archive wrote; with none of them it names the fix.
#
#   cmake -DWORK=dir -P epoch.cmake

include(${CMAKE_CURRENT_LIST_DIR}/../packaging/epoch.cmake)
file(REMOVE_RECURSE "${WORK}")

# A tree whose packaging/epoch holds TIME on its last line.
function(tree dir time)
    file(WRITE "${dir}/packaging/epoch" "# a comment\n${time}\n")
endfunction()

function(expect dir epoch why)
    sourceepoch("${dir}" got said)
    if(NOT got STREQUAL epoch)
        message(SEND_ERROR "${dir} with SOURCE_DATE_EPOCH '$ENV{SOURCE_DATE_EPOCH}': '${got}', expected '${epoch}'")
    elseif(NOT "${said}" MATCHES "${why}")
        message(SEND_ERROR "${dir}: said '${said}', expected words like '${why}'")
    endif()
endfunction()

unset(ENV{SOURCE_DATE_EPOCH})
tree("${WORK}/tarball" 1700000000)
tree("${WORK}/bare" "$Format:%ct$")
expect("${WORK}/tarball" 1700000000 "^$")
expect("${WORK}/bare" "" "^No time stamp.*set SOURCE_DATE_EPOCH")
set(ENV{SOURCE_DATE_EPOCH} 1234)
expect("${WORK}/tarball" 1234 "^$")
expect("${WORK}/bare" 1234 "^$")
set(ENV{SOURCE_DATE_EPOCH} "yesterday")
expect("${WORK}/tarball" "" "not a number of seconds")
unset(ENV{SOURCE_DATE_EPOCH})

# A tarball unpacked inside a clone takes its own time, not the clone's; the clone
# itself takes git's.
find_package(Git QUIET)
if(Git_FOUND)
    set(clone "${WORK}/clone")
    tree("${clone}/inner" 1700000000)
    foreach(step "init;-q" "add;." "-c;user.name=t;-c;user.email=t@t;commit;-q;-m;t")
        execute_process(COMMAND ${GIT_EXECUTABLE} ${step} WORKING_DIRECTORY "${clone}"
            OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env GIT_COMMITTER_DATE=@1600000000
        ${GIT_EXECUTABLE} -c user.name=t -c user.email=t@t commit -q --amend --no-edit
        WORKING_DIRECTORY "${clone}" COMMAND_ERROR_IS_FATAL ANY)
    expect("${clone}/inner" 1700000000 "^$")
    file(WRITE "${clone}/packaging/epoch" "$Format:%ct$\n")
    expect("${clone}" 1600000000 "^$")
else()
    message(STATUS "no git: the clone's cases not tried")
endif()

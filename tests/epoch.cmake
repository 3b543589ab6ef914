# SPDX-License-Identifier: MIT
# sourceepoch() of packaging/epoch.cmake on small trees made here, in WORK: the
# environment wins, then git (only for a clone of the tree itself), then the time git
# archive wrote; with none of them it names the fix. A build folder lies in the clone
# of the sources (or in a tarball's tree), so the trees here lie in a clone too, whose
# time they must not take.
#
#   cmake -DWORK=dir -P epoch.cmake

include(${CMAKE_CURRENT_LIST_DIR}/../packaging/epoch.cmake)
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/tarball/packaging/epoch" "# a comment\n1700000000\n")
file(WRITE "${WORK}/bare/packaging/epoch" "# a comment\n$Format:%ct$\n")

# The epoch of the tree DIR with SOURCE_DATE_EPOCH set to ENV (or unset, if empty).
function(expect dir env epoch why)
    unset(ENV{SOURCE_DATE_EPOCH})
    if(env)
        set(ENV{SOURCE_DATE_EPOCH} "${env}")
    endif()
    sourceepoch("${WORK}/${dir}" got said)
    if(NOT got STREQUAL epoch OR NOT "${said}" MATCHES "${why}")
        message(SEND_ERROR "${dir}, SOURCE_DATE_EPOCH '${env}': '${got}' ('${said}'), expected '${epoch}' ('${why}')")
    endif()
endfunction()
expect(tarball "" 1700000000 "^$")
expect(bare "" "" "^No time stamp.*set SOURCE_DATE_EPOCH")
expect(tarball 1234 1234 "^$")
expect(tarball "yesterday" "" "not a number of seconds")

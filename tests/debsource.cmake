# SPDX-License-Identifier: MIT
# One check of the Debian source package and its binary package, as made in BUILD by
# packaging/debsource.cmake, through the .changes that dpkg-buildpackage wrote.
#
#   cmake -DCHECK=name -DBUILD=dir -DVERSION=version -DDOCS=docs/packaging.md -P debsource.cmake
#
# CHECK: lintian (--pedantic: no error and no warning, and every other tag shown is
# named in DOCS, where it is explained), autopkgtest (debian/tests on the built
# package, installed on this machine: root only; removed again unless it was there).

file(GLOB changes "${BUILD}/cavedump_${VERSION}-*_*.changes")
list(LENGTH changes count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .changes of version ${VERSION} in ${BUILD}, found: ${changes}")
endif()

if(CHECK STREQUAL "lintian")
    find_program(LINTIAN lintian REQUIRED)
    execute_process(COMMAND ${LINTIAN} --pedantic --display-info --display-experimental
        --fail-on error,warning "${changes}"
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_QUIET)
    message("${out}")
    file(READ "${DOCS}" docs)
    string(REGEX MATCHALL "(^|\n)[A-Z]: [^\n]*" lines "${out}")
    foreach(line IN LISTS lines)
        if(NOT line MATCHES "^\n?([A-Z]): [^:]*: ([a-z0-9-]+)")
            message(FATAL_ERROR "not a lintian tag: ${line}")
        endif()
        set(kind "${CMAKE_MATCH_1}")
        set(tag "${CMAKE_MATCH_2}")
        if(kind MATCHES "^[EW]$")
            message(SEND_ERROR "lintian: ${line}")
        elseif(NOT docs MATCHES "`${tag}`")
            message(SEND_ERROR "lintian: ${line}, which ${DOCS} does not explain")
        endif()
    endforeach()
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "lintian: status ${status}")
    endif()
elseif(CHECK STREQUAL "autopkgtest")
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT uid STREQUAL "0")
        message("autopkgtest -- null installs the package: needs root: not tried")
        return() # the test's SKIP_REGULAR_EXPRESSION shows it as skipped
    endif()
    execute_process(COMMAND dpkg-query -W -f=\${Status} cavedump
        OUTPUT_VARIABLE before ERROR_QUIET)
    execute_process(COMMAND autopkgtest "${changes}" -- null
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT before MATCHES "install ok installed")
        execute_process(COMMAND dpkg --purge cavedump OUTPUT_QUIET)
    endif()
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "autopkgtest: status ${status}\n${out}")
    endif()
    string(REGEX MATCHALL "\n[a-z0-9-]+ +(PASS|FAIL|SKIP)[^\n]*" results "${out}")
    message("autopkgtest:${results}")
else()
    message(FATAL_ERROR "no such check: ${CHECK}")
endif()

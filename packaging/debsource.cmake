# SPDX-License-Identifier: MIT
# Makes the Debian source package of the sources in SOURCE, in OUT, and builds it as
# Debian's tools do:
#   cavedump_VERSION.orig.tar.gz   the sources: the files git tracks in a clone, or
#                                  every file but those .gitignore names in a tree
#                                  without .git; packaging/epoch filled in with EPOCH;
#                                  packed sorted, owned by root, every time EPOCH, so
#                                  that a clone and its git archive give the same bytes
#   cavedump_VERSION-1.dsc and .debian.tar.xz, by dpkg-source -b, with debian/ taken
#                                  from packaging/debian, its changelog written from
#                                  CHANGELOG.md and its copyright from LICENSE
#   cavedump_VERSION-1_ARCH.deb and .changes, by dpkg-buildpackage -us -uc in the
#                                  source unpacked afresh by dpkg-source -x
#
#   cmake -DSOURCE=dir -DOUT=dir -DVERSION=version -DEPOCH=seconds -P debsource.cmake

include(${CMAKE_CURRENT_LIST_DIR}/copyright.cmake)
set(revision 1)
set(top "cavedump-${VERSION}")
set(orig "${OUT}/cavedump_${VERSION}.orig.tar.gz")

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${OUT}" RESULT_VARIABLE status
        OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}: status ${status}\n${out}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# The files of the sources, relative to SOURCE.
find_package(Git QUIET)
if(Git_FOUND AND EXISTS "${SOURCE}/.git")
    execute_process(COMMAND ${GIT_EXECUTABLE} ls-files WORKING_DIRECTORY "${SOURCE}"
        OUTPUT_VARIABLE files COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE "\n$" "" files "${files}")
    string(REPLACE "\n" ";" files "${files}")
else()
    # .gitignore's patterns as regular expressions: "/" at the start ties a pattern to
    # the top, one at the end makes it a folder, and "*" stands for any name's part.
    file(STRINGS "${SOURCE}/.gitignore" patterns REGEX "^[^#]")
    set(ignored "^\\.git(/|$)")
    foreach(pattern IN LISTS patterns)
        string(REGEX REPLACE "([.+?^$()])" "\\\\\\1" pattern "${pattern}")
        string(REPLACE "*" "[^/]*" pattern "${pattern}")
        if(pattern MATCHES "^/")
            string(REGEX REPLACE "^/" "^" pattern "${pattern}")
        else()
            string(PREPEND pattern "(^|/)")
        endif()
        if(pattern MATCHES "/$")
            string(APPEND pattern ".*")
        else()
            string(APPEND pattern "(/|$)")
        endif()
        list(APPEND ignored "${pattern}")
    endforeach()
    file(GLOB_RECURSE files RELATIVE "${SOURCE}" "${SOURCE}/*")
    foreach(pattern IN LISTS ignored)
        list(FILTER files EXCLUDE REGEX "${pattern}")
    endforeach()
endif()
list(SORT files)
string(REPLACE ";" "\n" list "${files}")
file(WRITE "${OUT}/source-files.txt" "${list}\n")

# The sources as they would come out of git archive, then packed the one way.
set(stage "${OUT}/orig")
file(REMOVE_RECURSE "${stage}" "${OUT}/${top}")
file(MAKE_DIRECTORY "${stage}/${top}")
run(tar -C "${SOURCE}" -cf "${OUT}/source.tar" --no-recursion -T "${OUT}/source-files.txt")
run(tar -C "${stage}/${top}" -xf "${OUT}/source.tar")
file(REMOVE "${OUT}/source.tar")
file(READ "${stage}/${top}/packaging/epoch" text)
string(REGEX REPLACE "\n(\\$Format:%ct\\$|[0-9]+)\n" "\n${EPOCH}\n" text "${text}")
file(WRITE "${stage}/${top}/packaging/epoch" "${text}")
execute_process(
    COMMAND tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner
            --mode=u=rwX,go=rX --mtime=@${EPOCH} -C "${stage}" -cf - "${top}"
    COMMAND gzip -9n
    OUTPUT_FILE "${orig}" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${stage}")

# The source package: the orig tarball unpacked, with debian/ beside it.
run(tar -xzf "${orig}")
set(debian "${OUT}/${top}/debian")
file(COPY "${SOURCE}/packaging/debian/" DESTINATION "${debian}" PATTERN "*.in" EXCLUDE)
# Build-Depends: the packages of README.md's quick start, the one list of what the
# build and its tests need, but g++, which build-essential brings to every Debian
# build. The build itself runs CMake, at the version the top CMakeLists.txt asks for,
# and Ninja; the rest only its tests, which the nocheck profile leaves out.
file(READ "${SOURCE}/README.md" readme)
if(NOT readme MATCHES "<!-- packages -->\n```sh\napt-get update && apt-get install -y ([^\n]*)")
    message(FATAL_ERROR "README.md has no package line after <!-- packages -->")
endif()
string(REPLACE " " ";" packages "${CMAKE_MATCH_1}")
list(REMOVE_ITEM packages g++)
list(SORT packages)
file(STRINGS "${SOURCE}/CMakeLists.txt" minimum REGEX "^cmake_minimum_required\\(VERSION [0-9.]+\\)")
string(REGEX REPLACE ".*VERSION ([0-9.]+).*" "\\1" minimum "${minimum}")
set(CAVEDUMP_BUILD_DEPENDS "")
foreach(package IN LISTS packages)
    if(package STREQUAL "cmake")
        set(package "cmake (>= ${minimum})")
    elseif(NOT package STREQUAL "ninja-build")
        string(APPEND package " <!nocheck>")
    endif()
    string(APPEND CAVEDUMP_BUILD_DEPENDS "\n               ${package},")
endforeach()
configure_file("${SOURCE}/packaging/debian/control" "${debian}/control" @ONLY)
debcontrol("${SOURCE}" Maintainer maintainer)
debcopyright("${SOURCE}" "${debian}/copyright" "${maintainer}")
run(${CMAKE_COMMAND} -DINPUT=${SOURCE}/CHANGELOG.md -DOUTPUT=${debian}/changelog
    "-DMAINTAINER=${maintainer}" -DVERSION=${VERSION} -DREVISION=${revision}
    -P ${CMAKE_CURRENT_LIST_DIR}/debchangelog.cmake)
file(GLOB old "${OUT}/cavedump_${VERSION}-${revision}*")
if(old)
    file(REMOVE ${old})
endif()
run(dpkg-source -b "${top}")
message(STATUS "${OUT}/cavedump_${VERSION}-${revision}.dsc")

# Built as a distribution builds it: unpacked afresh from the .dsc alone.
file(REMOVE_RECURSE "${OUT}/${top}")
run(dpkg-source -x "cavedump_${VERSION}-${revision}.dsc" "${top}")
execute_process(COMMAND dpkg-buildpackage -us -uc WORKING_DIRECTORY "${OUT}/${top}"
    OUTPUT_FILE "${OUT}/dpkg-buildpackage.log" ERROR_FILE "${OUT}/dpkg-buildpackage.log"
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    # Its last lines, and before them what said error (dh_auto_configure puts
    # CMake's whole log between the two).
    execute_process(COMMAND grep -E -m 40 -B 2 -A 6 "CMake Error|Errors while running CTest|\\*\\*\\*"
        "${OUT}/dpkg-buildpackage.log" OUTPUT_VARIABLE errors)
    execute_process(COMMAND tail -n 15 "${OUT}/dpkg-buildpackage.log" OUTPUT_VARIABLE tail)
    message(FATAL_ERROR "dpkg-buildpackage -us -uc: status ${status}; from ${OUT}/dpkg-buildpackage.log:\n${errors}\n...\n${tail}")
endif()
file(GLOB built "${OUT}/cavedump_${VERSION}-${revision}_*.deb")
message(STATUS "${built}")

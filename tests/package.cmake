# SPDX-License-Identifier: MIT
# One check of a package that the package step made in BUILD. The packages are
# judged as a user gets them: what they hold against the one install list, and the
# program in them run on the samples as golden.cmake runs the built one.
#
#   cmake -DCHECK=name -DBUILD=dir -DSOURCE=dir -DVERSION=version "-DINSTALLED=file;..."
#         -DPROGRAM=path -DSAMPLES=dir -DGOLDEN=dir [-DEMULATOR=cmd] [-DLINEENDS=CRLF]
#         [-DPRESET=name] -P package.cmake
#
# CHECK: contents (the package holds the install list and nothing else), lintian
# (no error or warning, and every other tag named in docs/packaging.md, which says
# why it stays), depends, hardening, roundtrip (dpkg -i, the samples, dpkg --purge;
# root only), static, run (the unpacked program on the samples), links (every
# relative link of a README in the package leads to a file in it), reproducible (the
# same bytes from a copy of the sources in another folder, built by PRESET),
# autopkgtest (the Debian source package's tests on its .deb, installed here; root
# only). The Debian source package is judged through its .changes.

# The package of this version: a build folder may still hold one of an earlier version.
file(GLOB package "${BUILD}/cavedump_${VERSION}_*.deb" "${BUILD}/cavedump-${VERSION}-*.tar.gz"
    "${BUILD}/cavedump-${VERSION}-*.zip" "${BUILD}/cavedump_${VERSION}-*.changes")
list(LENGTH package count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package of version ${VERSION} in ${BUILD}, found: ${package}")
endif()
get_filename_component(name "${package}" NAME)
string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" top "${name}")
set(work "${BUILD}/check-${CHECK}")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}: status ${status}\n${out}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# Installing a package needs root; for anyone else the check ends here, and the test's
# SKIP_REGULAR_EXPRESSION shows it as skipped.
macro(asroot)
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT uid STREQUAL "0")
        message("installing a package needs root: not tried")
        return()
    endif()
endmacro()

# Every sample through the program at program, judged by golden.cmake.
function(samples program)
    file(GLOB names RELATIVE ${SAMPLES} ${SAMPLES}/*.cav)
    list(TRANSFORM names REPLACE "\\.cav$" "")
    foreach(sample IN LISTS names)
        execute_process(COMMAND ${CMAKE_COMMAND} "-DEMULATOR=${EMULATOR}" -DLINEENDS=${LINEENDS}
            -DCAVEDUMP=${program} -DSAMPLES=${SAMPLES} -DNAME=${sample}.cav
            -DEXPECTED=${GOLDEN}/${sample} -DOUTDIR=${work} -P ${CMAKE_CURRENT_LIST_DIR}/golden.cmake
            RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "${program} on ${sample}.cav: not as expected")
        endif()
    endforeach()
    message(STATUS "${program}: every sample as expected")
endfunction()

# The files a package should hold: the install list, under its top folder or /usr.
if(name MATCHES "\\.deb$")
    list(TRANSFORM INSTALLED PREPEND "/usr/" OUTPUT_VARIABLE wanted)
else()
    list(TRANSFORM INSTALLED PREPEND "${top}/" OUTPUT_VARIABLE wanted)
endif()
list(SORT wanted)

if(CHECK STREQUAL "contents")
    if(name MATCHES "\\.deb$")
        run(dpkg-deb --contents "${package}")
        string(REGEX MATCHALL "\n-[^\n]* \\.(/[^\n]*)" held "\n${out}")
        list(TRANSFORM held REPLACE ".* \\./" "/")
    else()
        run(${CMAKE_COMMAND} -E tar tf "${package}")
        string(REGEX REPLACE "\n$" "" held "${out}")
        string(REPLACE "\n" ";" held "${held}")
        list(FILTER held EXCLUDE REGEX "/$")
    endif()
    list(SORT held)
    if(NOT held STREQUAL wanted)
        message(FATAL_ERROR "${name} holds [${held}], the install list says [${wanted}]")
    endif()
elseif(CHECK STREQUAL "lintian")
    find_program(LINTIAN lintian REQUIRED)
    run(${LINTIAN} --pedantic --display-info --display-experimental --fail-on error,warning "${package}")
    message("${out}")
    file(READ "${SOURCE}/docs/packaging.md" docs)
    string(REGEX MATCHALL "(^|\n)[A-Z]: [^:\n]*: [a-z0-9-]+" tags "${out}")
    foreach(tag IN LISTS tags)
        string(REGEX REPLACE ".*: " "" tag "${tag}")
        if(NOT docs MATCHES "`${tag}`")
            message(SEND_ERROR "lintian shows ${tag}, which docs/packaging.md does not explain")
        endif()
    endforeach()
elseif(CHECK STREQUAL "depends")
    run(dpkg-deb --field "${package}" Depends)
    if(NOT out MATCHES "^libc6 \\(>= [0-9.]+\\)\n$")
        message(FATAL_ERROR "Depends: ${out}")
    endif()
elseif(CHECK STREQUAL "hardening")
    # Control flow integrity is "no" for every Debian 12 program: the C library's start
    # files carry no IBT marks (see the README). Every other line must say yes, and
    # our own objects must carry the mark.
    find_program(HARDENING_CHECK hardening-check REQUIRED)
    run(dpkg-deb -x "${package}" "${work}")
    execute_process(COMMAND ${HARDENING_CHECK} "${work}/usr/bin/cavedump" OUTPUT_VARIABLE out)
    message("${out}")
    string(REGEX MATCHALL "[^\n]*: no[^\n]*" missing "${out}")
    list(FILTER missing EXCLUDE REGEX "Control flow integrity")
    if(missing)
        message(FATAL_ERROR "hardening-check: ${missing}")
    endif()
    file(GLOB_RECURSE objects "${BUILD}/CMakeFiles/cavedump.dir/*.o" "${BUILD}/CMakeFiles/cavereport.dir/*.o")
    foreach(object IN LISTS objects)
        run(readelf -n "${object}")
        if(NOT out MATCHES "x86 feature: IBT, SHSTK")
            message(FATAL_ERROR "${object}: no IBT mark")
        endif()
    endforeach()
elseif(CHECK STREQUAL "roundtrip")
    asroot()
    run(dpkg -i "${package}")
    samples(/usr/bin/cavedump)
    run(dpkg --purge cavedump)
    foreach(file IN LISTS wanted ITEMS /usr/share/doc/cavedump)
        if(EXISTS "${file}")
            message(FATAL_ERROR "left behind after removal: ${file}")
        endif()
    endforeach()
elseif(CHECK STREQUAL "static")
    run(${CMAKE_COMMAND} -E chdir "${work}" ${CMAKE_COMMAND} -E tar xf "${package}")
    run(readelf -l "${work}/${top}/${PROGRAM}")
    if(out MATCHES "INTERP")
        message(FATAL_ERROR "the portable program is not static")
    endif()
elseif(CHECK STREQUAL "run")
    run(${CMAKE_COMMAND} -E chdir "${work}" ${CMAKE_COMMAND} -E tar xf "${package}")
    samples("${work}/${top}/${PROGRAM}")
elseif(CHECK STREQUAL "links")
    run(${CMAKE_COMMAND} -E chdir "${work}" ${CMAKE_COMMAND} -E tar xf "${package}")
    file(GLOB readmes "${work}/${top}/README*") # one there is: see contents
    foreach(readme IN LISTS readmes)
        # A README's links, "](TARGET)", but for web addresses and anchors.
        file(READ "${readme}" text)
        string(REGEX MATCHALL "\\]\\([^):#]+\\)" links "${text}")
        foreach(link IN LISTS links)
            string(REGEX REPLACE "^..(.*).$" "\\1" link "${link}")
            if(NOT EXISTS "${work}/${top}/${link}")
                message(SEND_ERROR "${readme}: a link to ${link}, which the package lacks")
            endif()
        endforeach()
    endforeach()
elseif(CHECK STREQUAL "reproducible")
    # A copy of the sources, build folders left out, in a folder of another name and
    # depth, built and packed afresh: the package must be the same to the byte. The
    # copy gets the time stamp this build packed with, which configure took from the
    # last commit then: commits made since would otherwise tell the two apart.
    if(EXISTS "${BUILD}/cpack-epoch.cmake")
        include("${BUILD}/cpack-epoch.cmake")
    endif()
    set(copy "${work}/another/source")
    file(MAKE_DIRECTORY "${copy}")
    run(tar -C "${SOURCE}" --exclude=./build --exclude=./build-* -cf "${work}/source.tar" .)
    run(tar -C "${copy}" -xf "${work}/source.tar")
    foreach(step "--preset;${PRESET}" "--build;--preset;${PRESET}")
        run(${CMAKE_COMMAND} -E chdir "${copy}" ${CMAKE_COMMAND} ${step})
    endforeach()
    run(${CMAKE_COMMAND} -E chdir "${copy}" cpack --preset ${PRESET})
    file(SHA256 "${package}" ours)
    file(SHA256 "${copy}/build-${PRESET}/${name}" theirs)
    if(NOT ours STREQUAL theirs)
        message(FATAL_ERROR "${name} differs when built in ${copy}: ${ours} against ${theirs}")
    endif()
    message(STATUS "${name}: the same bytes from ${copy}")
elseif(CHECK STREQUAL "autopkgtest")
    asroot() # autopkgtest -- null installs the package
    execute_process(COMMAND dpkg-query -W -f=\${Status} cavedump OUTPUT_VARIABLE before ERROR_QUIET)
    execute_process(COMMAND autopkgtest "${package}" -- null RESULT_VARIABLE status
        OUTPUT_VARIABLE tested ERROR_VARIABLE tested)
    if(NOT before MATCHES "install ok installed")
        run(dpkg --purge cavedump)
    endif()
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "autopkgtest: status ${status}\n${tested}")
    endif()
else()
    message(FATAL_ERROR "no such check: ${CHECK}")
endif()

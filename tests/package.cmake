# SPDX-License-Identifier: MIT
# One check of a package that the package step made in BUILD. The packages are
# judged as a user gets them: what they hold against the one install list, and the
# program in them run on the samples as golden.cmake runs the built one.
#
#   cmake -DCHECK=name -DBUILD=dir -DSOURCE=dir -DVERSION=version "-DINSTALLED=file;..."
#         -DPROGRAM=path -DSAMPLES=dir -DGOLDEN=dir [-DEMULATOR=cmd] [-DLINEENDS=CRLF]
#         [-DPRESET=name] -P package.cmake
#
# CHECK: contents (the package holds the install list and nothing else), lintian,
# depends, hardening, roundtrip (dpkg -i, the samples, dpkg --purge; root only),
# static, run (the unpacked program on the samples), links (every relative link of a
# README in the package leads to a file in it, or to a heading of that README),
# reproducible (the same bytes from a copy of the sources in another folder, built by
# PRESET).

# The package of this version: a build folder may still hold one of an earlier version.
file(GLOB package "${BUILD}/cavedump_${VERSION}_*.deb" "${BUILD}/cavedump-${VERSION}-*.tar.gz"
    "${BUILD}/cavedump-${VERSION}-*.zip")
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
    run(${LINTIAN} --pedantic --display-info --display-experimental "${package}")
    message("${out}")
    run(${LINTIAN} --fail-on error,warning "${package}")
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
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT uid STREQUAL "0")
        message("installing a package needs root: not tried")
        return() # the test's SKIP_REGULAR_EXPRESSION shows it as skipped
    endif()
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
    file(GLOB_RECURSE readmes "${work}/*/README*")
    if(NOT readmes)
        message(FATAL_ERROR "${name} holds no README")
    endif()
    foreach(readme IN LISTS readmes)
        get_filename_component(folder "${readme}" DIRECTORY)
        file(READ "${readme}" text)
        # The headings' anchors, as a Markdown viewer makes them.
        string(REGEX MATCHALL "\n#+ [^\n]*" headings "\n${text}")
        set(anchors "")
        foreach(heading IN LISTS headings)
            string(REGEX REPLACE "^\n#+ " "" heading "${heading}")
            string(TOLOWER "${heading}" heading)
            string(REGEX REPLACE "[^a-z0-9 _-]" "" heading "${heading}")
            string(REPLACE " " "-" heading "${heading}")
            list(APPEND anchors "#${heading}")
        endforeach()
        # Square brackets would keep a CMake list from splitting: "](" becomes "<(".
        string(REPLACE "[" "" text "${text}")
        string(REPLACE "](" "<(" text "${text}")
        string(REGEX MATCHALL "<\\([^)]*\\)" links "${text}")
        foreach(link IN LISTS links)
            string(REGEX REPLACE "^<\\((.*)\\)$" "\\1" target "${link}")
            if(target MATCHES "^[a-z]+:")
                continue() # a web address, not the package's business
            elseif(target MATCHES "^#")
                list(FIND anchors "${target}" found)
                if(found EQUAL -1)
                    message(SEND_ERROR "${readme}: a link to ${target}, which no heading has")
                endif()
            elseif(NOT EXISTS "${folder}/${target}")
                message(SEND_ERROR "${readme}: a link to ${target}, which the package lacks")
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
else()
    message(FATAL_ERROR "no such check: ${CHECK}")
endif()

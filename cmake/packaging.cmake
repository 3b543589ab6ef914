# SPDX-License-Identifier: MIT
# What is installed, and how CPack packs it. CAVEDUMP_PACKAGE picks the layout:
#   (empty)   cmake --install: bin/cavedump and the manual under the prefix;
#   deb       a Debian package: the program under /usr, the manual compressed, the
#             copyright and changelog under /usr/share/doc/cavedump;
#   portable  a .tar.gz with the program, its manual, LICENSE, the samples and a
#             README.md of its own in one top folder,
#             cavedump-VERSION-SYSTEM-PROCESSOR; for Windows a .zip, with the manual
#             as a web page;
#   web       a .zip with the web page, LICENSE and README.txt in one top folder,
#             cavedump-VERSION-web: the page as a download that opens from disk;
#   debian-source  installs as the empty layout does; its package is Debian's
#             source package, made and built by packaging/debsource.cmake with
#             Debian's own tools, whose debian/rules installs with the empty layout.
# Each layout installs its files with ship(), which also lists them, under the prefix,
# in cavedump_installed, and the program's place in cavedump_program: the one install
# list that the install and package tests hold the layout to.

set(cavedump_installed "")
macro(ship dir)
    foreach(file ${ARGN})
        if(TARGET ${file})
            install(TARGETS ${file} RUNTIME DESTINATION ${dir})
            set(cavedump_program "${dir}/${file}${CMAKE_EXECUTABLE_SUFFIX}")
            cmake_path(NORMAL_PATH cavedump_program)
            list(APPEND cavedump_installed ${cavedump_program})
        else()
            install(FILES ${file} DESTINATION ${dir})
            cmake_path(GET file FILENAME name)
            set(installed "${dir}/${name}")
            cmake_path(NORMAL_PATH installed)
            list(APPEND cavedump_installed ${installed})
        endif()
    endforeach()
endmacro()

set(CAVEDUMP_PACKAGE "" CACHE STRING "Install layout and package: empty, deb, portable, web or debian-source")
set_property(CACHE CAVEDUMP_PACKAGE PROPERTY STRINGS "" deb portable web debian-source)

# The maintainer and the description are those of the Debian source package.
include(${PROJECT_SOURCE_DIR}/packaging/copyright.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/packaging/debian/control ${PROJECT_SOURCE_DIR}/packaging/epoch)
debcontrol(${PROJECT_SOURCE_DIR} Maintainer CPACK_PACKAGE_CONTACT)
debcontrol(${PROJECT_SOURCE_DIR} Description cavedump_description)
string(REGEX MATCH "^[^\n]*" CPACK_PACKAGE_DESCRIPTION_SUMMARY "${cavedump_description}")
# The long description, below the summary, its lines' leading blanks taken off: the
# .deb's, and the opening of the portable archives' README.
string(FIND "${cavedump_description}" "\n " start)
math(EXPR start "${start} + 2")
string(SUBSTRING "${cavedump_description}" ${start} -1 cavedump_about)
string(REPLACE "\n " "\n" cavedump_about "${cavedump_about}")
set(CPACK_PACKAGE_NAME cavedump)
set(CPACK_PACKAGE_VENDOR "The cavedump developers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Same sources, same packages. Every time stamp in a package is SOURCE_DATE_EPOCH:
# the one in the environment if set; else the time of the last commit, from git in a
# clone, or from packaging/epoch in a tree that git archive made, where git has
# written it; taken at configure time and handed to cpack through its project config
# file. The files' modes are set by the install rules, whatever the umask. The .deb
# holds its files sorted and owned by root as it is; the .tar.gz is packed again to
# be so too.
include(${PROJECT_SOURCE_DIR}/packaging/epoch.cmake)
sourceepoch(${PROJECT_SOURCE_DIR} cavedump_epoch cavedump_noepoch)
if(cavedump_epoch)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/cpack-epoch.cmake.in cpack-epoch.cmake @ONLY)
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/cpack-epoch.cmake)
elseif(CAVEDUMP_PACKAGE)
    # A package without it would carry today's time and differ from every other
    # build of the same sources: refused before anything is built. Said only in the
    # builds that make packages, not in every plain build.
    message(FATAL_ERROR "${cavedump_noepoch}")
endif()
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" cavedump_platform)

if(CAVEDUMP_PACKAGE STREQUAL "deb")
    # Debian's own flags (hardening among them), as dpkg-buildflags gives them for this
    # machine, with every hardening feature on. Run in the source folder, so that its
    # -ffile-prefix-map keeps the folder's path out of the binary. Stack clash and
    # control-flow protection, which newer dpkg versions turn on by themselves, are
    # added the way a package adds a flag: through the maintainer's append variable.
    find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
    set(appended -fstack-clash-protection)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
        string(APPEND appended " -fcf-protection")
    elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
        string(APPEND appended " -mbranch-protection=standard")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    "DEB_CXXFLAGS_MAINT_APPEND=${appended}" ${DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE dpkg_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
            COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
    separate_arguments(dpkg_compile UNIX_COMMAND "${dpkg_CPPFLAGS} ${dpkg_CXXFLAGS}")
    separate_arguments(dpkg_link UNIX_COMMAND "${dpkg_LDFLAGS}")
    target_compile_options(cavereport PRIVATE ${dpkg_compile})
    target_compile_options(cavedump PRIVATE ${dpkg_compile})
    target_link_options(cavedump PRIVATE ${dpkg_link})
    message(STATUS "Flags from dpkg-buildflags: ${dpkg_compile} ${dpkg_link}")
    # Debian strips the compiler's version note too; CPack's plain strip keeps it.
    add_custom_command(TARGET cavedump POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:cavedump> VERBATIM)

    set(docdir ${CMAKE_INSTALL_DATADIR}/doc/cavedump)
    set(manpage ${CMAKE_CURRENT_BINARY_DIR}/cavedump.1.gz)
    set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
    # gzip -n leaves out the name and time, so the same text gives the same bytes.
    find_program(GZIP gzip REQUIRED)
    add_custom_command(OUTPUT ${manpage}
        COMMAND ${GZIP} -9n -c ${cavedump_manual} > ${manpage}
        DEPENDS ${cavedump_manual} VERBATIM)
    add_custom_command(OUTPUT ${changelog}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/CHANGELOG.md
                -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/changelog "-DMAINTAINER=${CPACK_PACKAGE_CONTACT}"
                -DVERSION=${PROJECT_VERSION} -P ${PROJECT_SOURCE_DIR}/packaging/debchangelog.cmake
        COMMAND ${GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/changelog
        DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debchangelog.cmake
        VERBATIM)
    add_custom_target(debdocs ALL DEPENDS ${manpage} ${changelog})

    debcopyright(${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/copyright "${CPACK_PACKAGE_CONTACT}")

    ship(${CMAKE_INSTALL_BINDIR} cavedump)
    ship(${CMAKE_INSTALL_MANDIR}/man1 ${manpage})
    ship(${docdir} ${CMAKE_CURRENT_BINARY_DIR}/copyright ${changelog})

    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    debcontrol(${PROJECT_SOURCE_DIR} Section CPACK_DEBIAN_PACKAGE_SECTION)
    debcontrol(${PROJECT_SOURCE_DIR} Priority CPACK_DEBIAN_PACKAGE_PRIORITY)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${cavedump_about}") # CPack indents it again
elseif(CAVEDUMP_PACKAGE STREQUAL "portable")
    # The archive's README starts with what to run from the archive, then gives the
    # README's own sections on using the program (from its mark <!-- package --> to
    # "## The page"), which link to nothing outside them.
    if(WIN32)
        set(head README-windows.md.in)
    else()
        set(head README-linux.md.in)
    endif()
    file(READ ${PROJECT_SOURCE_DIR}/packaging/${head} readmehead)
    string(CONFIGURE "${readmehead}" readmehead @ONLY)
    file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
    if(NOT readme MATCHES "\n<!-- package -->\n(.*)\n## The page\n")
        message(FATAL_ERROR "README.md: no <!-- package --> mark before \"## The page\"")
    endif()
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/README.md "${readmehead}${CMAKE_MATCH_1}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/${head})
    file(GLOB samplefiles ${PROJECT_SOURCE_DIR}/samples/*.cav)
    ship(. cavedump LICENSE ${CMAKE_CURRENT_BINARY_DIR}/README.md)
    ship(samples ${samplefiles})
    set(CPACK_PACKAGE_FILE_NAME cavedump-${PROJECT_VERSION}-${cavedump_platform})
    if(WIN32)
        # Windows has no man: the manual goes along as a web page, and the package is
        # a .zip, which Windows opens by itself.
        find_program(MANDOC mandoc REQUIRED)
        set(manpage ${CMAKE_CURRENT_BINARY_DIR}/cavedump.html)
        add_custom_command(OUTPUT ${manpage}
            COMMAND ${MANDOC} -Thtml ${cavedump_manual} > ${manpage}
            DEPENDS ${cavedump_manual} VERBATIM)
        add_custom_target(htmlmanual ALL DEPENDS ${manpage})
        ship(. ${manpage})
        set(CPACK_GENERATOR ZIP)
    else()
        ship(. ${cavedump_manual})
        set(CPACK_GENERATOR TGZ)
        set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/normalise-archive.cmake)
    endif()
elseif(CAVEDUMP_PACKAGE STREQUAL "web")
    if(NOT CAVEDUMP_WASI)
        message(FATAL_ERROR "CAVEDUMP_PACKAGE=web packs the page, which only the web preset builds")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/web/README.txt README.txt @ONLY)
    ship(. ${cavedump_pagefiles} LICENSE ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
    set(CPACK_PACKAGE_FILE_NAME cavedump-${PROJECT_VERSION}-web)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/normalise-archive.cmake)
elseif(CAVEDUMP_PACKAGE STREQUAL "" OR CAVEDUMP_PACKAGE STREQUAL "debian-source")
    ship(${CMAKE_INSTALL_BINDIR} cavedump)
    ship(${CMAKE_INSTALL_MANDIR}/man1 ${cavedump_manual})
    set(CPACK_GENERATOR TGZ)
else()
    message(FATAL_ERROR "CAVEDUMP_PACKAGE is deb, portable, web, debian-source or empty, not '${CAVEDUMP_PACKAGE}'")
endif()

include(CPack)

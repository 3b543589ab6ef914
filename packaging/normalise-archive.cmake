# SPDX-License-Identifier: MIT
# Run by cpack after it has made its packages: every .tar.gz among them is packed
# again with GNU tar so that nothing of the machine or the moment is in it: entries
# sorted by name, owned by root, modes from the install rules without the umask, every
# time stamp SOURCE_DATE_EPOCH, and gzip with no name or time of its own. Every .zip
# is packed again likewise, by normalise-zip.py.
find_program(TAR tar REQUIRED)
find_program(GZIP gzip REQUIRED)
foreach(archive IN LISTS CPACK_PACKAGE_FILES)
    if(archive MATCHES "\\.zip$")
        find_program(PYTHON3 python3 REQUIRED)
        execute_process(COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/normalise-zip.py "${archive}"
            COMMAND_ERROR_IS_FATAL ANY)
        continue()
    endif()
    if(NOT archive MATCHES "\\.tar\\.gz$")
        continue()
    endif()
    set(unpacked "${archive}.unpacked")
    file(REMOVE_RECURSE "${unpacked}")
    file(MAKE_DIRECTORY "${unpacked}")
    execute_process(COMMAND ${TAR} -xzf "${archive}" -C "${unpacked}" COMMAND_ERROR_IS_FATAL ANY)
    set(mtime "")
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        set(mtime "--mtime=@$ENV{SOURCE_DATE_EPOCH}")
    endif()
    file(GLOB tops RELATIVE "${unpacked}" "${unpacked}/*")
    execute_process(
        COMMAND ${TAR} --sort=name --format=gnu --owner=0 --group=0 --numeric-owner
                --mode=u=rwX,go=rX ${mtime} -C "${unpacked}" -cf - ${tops}
        COMMAND ${GZIP} -9n
        OUTPUT_FILE "${archive}"
        COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${unpacked}")
endforeach()

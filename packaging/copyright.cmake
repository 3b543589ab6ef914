# SPDX-License-Identifier: MIT
# debcopyright(SOURCE OUTPUT CONTACT): writes the machine-readable copyright file of
# Debian, from packaging/debian/copyright.in, with the license text of LICENSE, each
# line indented by one blank and an empty line written as " .".
function(debcopyright source output contact)
    file(READ "${source}/LICENSE" expat)
    string(REGEX REPLACE "^MIT License\n\n" "" expat "${expat}")
    string(REGEX REPLACE "\n+$" "" expat "${expat}")
    string(REPLACE "\n\n" "\n.\n" expat "${expat}")
    string(REPLACE "\n" "\n " expat " ${expat}")
    
    configure_file("${source}/packaging/debian/copyright.in" "${output}" @ONLY)
endfunction()

# debcontrol(SOURCE FIELD VAR): the value of FIELD in packaging/debian/control, the
# one place that names the maintainer and describes the package. A field's following
# lines are kept as they stand there, each beginning with a blank.
function(debcontrol source field var)
    file(READ "${source}/packaging/debian/control" control)
    if(NOT control MATCHES "\n${field}: ([^\n]*(\n [^\n]*)*)")
        message(FATAL_ERROR "packaging/debian/control has no ${field} field")
    endif()
    set(${var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

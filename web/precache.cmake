# SPDX-License-Identifier: MIT
# Writes the page's service worker: TEMPLATE with the list of the page's FILES in PAGE,
# and a version that is a hash of their names and bytes, so that a page whose files
# change gets a new version, and one whose files do not keeps its own.
#
#   cmake -DPAGE=dir "-DFILES=name;..." -DTEMPLATE=sw.js -P precache.cmake
#                                                           (writes PAGE/sw.js)

set(names ${FILES})
list(SORT names)
set(summary "")
set(CAVEDUMP_PAGELIST "")
foreach(name IN LISTS names)
    file(SHA256 "${PAGE}/${name}" hash)
    string(APPEND summary "${name} ${hash}\n")
    list(APPEND CAVEDUMP_PAGELIST "\"${name}\"")
endforeach()
string(SHA256 CAVEDUMP_PAGEHASH "${summary}")
string(SUBSTRING "${CAVEDUMP_PAGEHASH}" 0 16 CAVEDUMP_PAGEHASH)
list(JOIN CAVEDUMP_PAGELIST ", " CAVEDUMP_PAGELIST)
configure_file("${TEMPLATE}" "${PAGE}/sw.js" @ONLY)

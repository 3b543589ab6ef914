// SPDX-License-Identifier: MIT
// facts.js - the two facts the page shares with the program, set once in the top
// CMakeLists.txt: the build fills them in when it copies the page's modules.

/** The report's letters for tile values 0 to 15. */
export const letters = "@CAVEDUMP_LETTERS@";

/** How many bytes of a file the program reads at most, its head: no more are read or
 * handed to it, so that the report is the same and a file of gigabytes costs nothing. */
export const headsize = Number("@CAVEDUMP_HEADSIZE@");

// SPDX-License-Identifier: MIT
// savenames.js - the names under which Save all writes the reports: each unique, and
// each safe for any extractor on any system, since a path given to the page is data
// that may hold anything a file system or an archive allows.
//
// A path keeps its text, "/" its only separator, and every character that an
// extractor could read as more than a letter is written as URLs write it, %XX of its
// UTF-8 bytes: "%" itself, "\" (a separator on Windows), ":" (a drive, or a stream of a
// file on NTFS), the others Windows forbids, and control characters. A "." or ".."
// part, an empty part and a "/" at either end are written so too, so no name is
// absolute or climbs out of the folder it is extracted into; and so are a part's last
// "." or blank, which Windows drops, and the first letter of a part that Windows takes
// for a device (CON, PRN, AUX, NUL, COM1, LPT1... with any ending: nul.cav.txt). A name
// already taken, as Windows and macOS compare names (case and Unicode form aside), gets
// "%(2)", "%(3)"... before its ending, which no written path can hold; a part longer
// than the 255 bytes a file system allows is cut, "%~" where it was cut.

/** @typedef {{ path: string, out: Uint8Array, err: Uint8Array }} Finished */
/** @typedef {{ path: string, bytes: Uint8Array }} Entry */

const encoder = new TextEncoder();
// The characters written as %XX wherever they stand.
const unsafe = /[%\\:*?"<>|\x00-\x1f\x7f]/gu;
// Windows' devices, whatever follows the name (blanks, then an ending or nothing).
const device = /^(con|prn|aux|nul|(com|lpt)[0-9\u00b9\u00b2\u00b3]) *(\.|$)/iu;
// The longest part of a path, in bytes, that every common file system holds.
const longest = 255;

/**
 * The text c as %XX of its UTF-8 bytes.
 * @param {string} c
 */
const escape = (c) => Array.from(encoder.encode(c), (b) => `%${b.toString(16).toUpperCase().padStart(2, "0")}`).join("");

/**
 * The safe form of one path, as said above; no two paths have the same one.
 * @param {string} path
 * @returns {string}
 */
export function safename(path) {
    const parts = path.split("/").map((part) => {
        const safe = part === "." || part === ".." ? escape(part) : part.replace(unsafe, escape).replace(/[. ]$/u, escape);
        return device.test(safe) ? escape(safe[0]) + safe.slice(1) : safe;
    });
    // A "/" stays a separator only between two parts that are not empty.
    return parts.reduce((name, part, i) =>
        name + (parts[i - 1] && part ? "/" : escape("/")) + part);
}

/** The length of text in UTF-8 bytes. @param {string} text */
const size = (text) => encoder.encode(text).length;

/**
 * Text cut to at most room bytes of whole characters, "%~" after it.
 * @param {string} text
 * @param {number} room
 */
function cut(text, room) {
    let kept = "";
    for (const c of text) {
        if (size(kept + c) > room - 2) break;
        kept += c;
    }
    return `${kept}%~`;
}

/**
 * The name of base, mark and ending, each part of it cut to the longest: a folder's at
 * its end, the file's before its own ending (".cav" of a.cav), the mark and ending.
 * @param {string} base
 * @param {string} mark
 * @param {string} ending
 */
function fit(base, mark, ending) {
    const parts = base.split("/").map((part) => (size(part) > longest ? cut(part, longest) : part));
    const file = base.slice(base.lastIndexOf("/") + 1);
    const own = /\.[^.]{1,16}$/u.exec(file)?.[0] ?? "";
    const tail = own + mark + ending;
    parts[parts.length - 1] = size(file + mark + ending) <= longest ? file + mark + ending
        : cut(file.slice(0, file.length - own.length), longest - size(tail)) + tail;
    return parts.join("/");
}

/**
 * The form in which Windows and macOS compare names: case and Unicode form aside.
 * @param {string} name
 */
const folded = (name) => name.normalize("NFC").toUpperCase().toLowerCase();

/**
 * The index's text of a path: control characters as the symbols that stand for them,
 * so that each path is one line.
 * @param {string} path
 */
const shown = (path) => path.replace(/[\x00-\x1f\x7f]/gu, (c) => String.fromCharCode(c === "\x7f" ? 0x2421 : 0x2400 + c.charCodeAt(0)));

/**
 * Save all's entries for the finished files, in the gallery's order: PATH.txt, the
 * report, for each, and PATH.messages.txt where it wrote messages, under the safe form
 * of PATH; and index.txt, a line for each file: its path, a tab, its report's name
 * and, where it has one, a tab and its messages' name.
 * @param {Finished[]} files
 * @returns {Entry[]}
 */
export function savenames(files) {
    const index = "index.txt";
    const taken = new Set([folded(index)]);
    /** @type {Entry[]} */
    const entries = [];
    /**
     * The first name of base and ending not taken, now taken.
     * @param {string} base
     * @param {string} ending
     */
    const claim = (base, ending) => {
        let name = fit(base, "", ending);
        for (let n = 2; taken.has(folded(name)); n++) name = fit(base, `%(${n})`, ending);
        taken.add(folded(name));
        return name;
    };
    const lines = files.map(({ path, out, err }) => {
        const base = safename(path);
        const saved = [{ path: claim(base, ".txt"), bytes: out }];
        if (err.length > 0) saved.push({ path: claim(base, ".messages.txt"), bytes: err });
        entries.push(...saved);
        return [shown(path), ...saved.map((entry) => entry.path)].join("\t") + "\n";
    });
    entries.push({ path: index, bytes: encoder.encode(lines.join("")) });
    return entries;
}

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
// absolute or climbs out of the folder it is extracted into. A name already taken gets
// "%(2)", "%(3)"... before its ending, which no written path can hold.

/** @typedef {{ path: string, out: Uint8Array, err: Uint8Array }} Finished */
/** @typedef {{ path: string, bytes: Uint8Array }} Entry */

const encoder = new TextEncoder();
// The characters written as %XX wherever they stand.
const unsafe = /[%\\:*?"<>|\x00-\x1f\x7f]/gu;

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
    const parts = path.split("/").map((part) =>
        (part === "." || part === ".." ? escape(part) : part.replace(unsafe, escape)));
    // A "/" stays a separator only between two parts that are not empty.
    return parts.reduce((name, part, i) =>
        name + (parts[i - 1] && part ? "/" : escape("/")) + part);
}

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
    const taken = new Set([index]);
    /** @type {Entry[]} */
    const entries = [];
    /**
     * The first name of base and ending not taken, now taken.
     * @param {string} base
     * @param {string} ending
     */
    const claim = (base, ending) => {
        let name = base + ending;
        for (let n = 2; taken.has(name); n++) name = `${base}%(${n})${ending}`;
        taken.add(name);
        return name;
    };
    const lines = files.map(({ path, out, err }) => {
        const base = safename(path);
        const names = [claim(base, ".txt")];
        entries.push({ path: names[0], bytes: out });
        if (err.length > 0) {
            names.push(claim(base, ".messages.txt"));
            entries.push({ path: names[1], bytes: err });
        }
        return [shown(path), ...names].join("\t") + "\n";
    });
    entries.push({ path: index, bytes: encoder.encode(lines.join("")) });
    return entries;
}

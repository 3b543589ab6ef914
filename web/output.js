// SPDX-License-Identifier: MIT
// output.js - what the page takes from the program's output, never from the file
// itself: the bytes as text, the one line that says what the report is, and the map
// picture drawn from the report's own letter picture. Each file's output is decoded
// here once, into the record that its tile and its card both show; and counts of
// files, as the page says them.

import { letters } from "./facts.js";

/** @typedef {import("./program.js").Run} Run */
/** What a file came to: the program's run, or why there is none; and what was noted
 * of it on the way (an archive member's name, say).
 * @typedef {{ path: string, notes: string[], run: Run } | { path: string, notes: string[], error: string }} Outcome */
/** A file as the page keeps it: its outcome, and what its report says of it, decoded
 * once; run is null when the program did not run, and line then says why. Its texts
 * are not kept (texts() makes them), so that ten thousand files hold little more than
 * the program's bytes.
 * @typedef {{ path: string, notes: string[], kind: "atari" | "kv64" | "neither", line: string, name: string,
 *             run: Run | null }} Decoded */
/** A file's two streams as text, and its map's letter rows (null when it has none).
 * @typedef {{ text: string, messages: string, rows: string[] | null }} Texts */

// The program's bytes as a terminal shows them: UTF-8 where they are valid UTF-8, and
// any other byte as its Latin-1 character. Each byte is first taken as Latin-1; then
// each sequence that is one valid UTF-8 character, by the lead byte that starts it
// (no overlong forms, surrogates or code points past U+10FFFF), is read as UTF-8.
const utf8 = new TextDecoder("utf-8", { fatal: true, ignoreBOM: true }); // U+FEFF is a character like any other
const sequence = /[\xc2-\xdf][\x80-\xbf]|\xe0[\xa0-\xbf][\x80-\xbf]|[\xe1-\xec\xee\xef][\x80-\xbf]{2}|\xed[\x80-\x9f][\x80-\xbf]|\xf0[\x90-\xbf][\x80-\xbf]{2}|[\xf1-\xf3][\x80-\xbf]{3}|\xf4[\x80-\x8f][\x80-\xbf]{2}/g;
/** @param {Uint8Array} bytes */
export function astext(bytes) {
    try {
        return utf8.decode(bytes);
    } catch {
        const latin1 = Array.from(bytes, (byte) => String.fromCharCode(byte)).join("");
        return latin1.replace(sequence, (one) => utf8.decode(Uint8Array.from(one, (c) => c.charCodeAt(0))));
    }
}

/** What a report, split in lines, says of the file in one line, which report it is
 * (ATARI: the report with a name line; KV64; or neither when nothing was printed),
 * and the cave's name where the report gives one.
 * @param {string[]} lines @returns {{ kind: "atari" | "kv64" | "neither", line: string, name: string }} */
export function describe(lines) {
    if (!lines[0].startsWith("flags:")) return { kind: "neither", line: "no report", name: "" };
    const atari = lines[1].startsWith("name :");
    /** @param {number} n */
    const type = (n) => (lines.find((l) => l.endsWith(`-(${n})-`)) ?? "").includes("Intermission")
        ? "intermission" : "cave";
    const name = atari ? lines[1].slice("name :         ".length) : "";
    let line = (atari ? "ATARI " : "KV64 ") + type(1);
    if (type(2) !== type(1)) line += ` (its map: ${type(2)})`;
    if (atari) line += " " + name;
    return { kind: atari ? "atari" : "kv64", line, name };
}

// The map picture of a report split in lines: the 22 rows after the second type line
// and the closing row below them, 40 letters each; null when it has none.
const tilerow = new RegExp(`^[${letters.replace(/[\]\\^-]/g, "\\$&")}]{40}$`);
/** @type {Record<string, number>} */
const tilevalue = Object.fromEntries([...letters].map((c, value) => [c, value]));
/** @param {string[]} lines */
export function picture(lines) {
    const start = lines.findIndex((line) => line.endsWith("-(2)-")) + 1;
    const rows = lines.slice(start, start + 23);
    const whole = start > 0 && rows.length === 23 && rows.every((row) => tilerow.test(row));
    return whole ? rows : null;
}

/** The record of a file's outcome, decoded once.
 * @param {Outcome} outcome @returns {Decoded} */
export function decode(outcome) {
    const { path, notes } = outcome;
    if ("error" in outcome) return { path, notes, kind: "neither", line: outcome.error, name: "", run: null };
    return { path, notes, ...describe(astext(outcome.run.out).split("\n")), run: outcome.run };
}

/** What a tile or a card shows of a file, made when it is built.
 * @param {Decoded} file @returns {Texts} */
export function texts({ run }) {
    const text = run ? astext(run.out) : "";
    return { text, messages: run ? astext(run.err) : "", rows: run && picture(text.split("\n")) };
}

/** The map as a picture of one pixel a tile, scaled up by the style sheet: a data URL
 * of a BMP image of 16 colours, which is all but the tile values themselves, so that
 * it costs next to nothing to make each time a tile or a card comes into view.
 * palette holds the "#rrggbb" colour of each tile value.
 * @param {string[]} rows @param {string[]} palette */
export function mapurl(rows, palette) {
    const head = new DataView(new ArrayBuffer(14 + 40 + 4 * 16));
    const size = head.byteLength + 23 * 20;
    /** @type {[number, number, 2 | 4][]} */
    const fields = [[0, 0x4d42, 2], [2, size, 4], [10, head.byteLength, 4], // file: "BM", size, pixels at
                    [14, 40, 4], [18, 40, 4], [22, 23, 4], [26, 1, 2], [28, 4, 2], // 40 x 23, 4 bits
                    [34, 23 * 20, 4], [46, 16, 4]];
    for (const [at, value, bytes] of fields)
        if (bytes === 2) head.setUint16(at, value, true);
        else head.setUint32(at, value, true);
    palette.forEach((hex, value) => // blue, green, red, 0
        [5, 3, 1].forEach((from, i) => head.setUint8(54 + 4 * value + i, parseInt(hex.slice(from, from + 2), 16))));
    // Rows from the bottom up, two tiles a byte, the left one in the high four bits.
    let pixels = "";
    for (const row of rows.slice().reverse())
        for (let i = 0; i < 40; i += 2)
            pixels += String.fromCharCode(16 * tilevalue[row[i]] + tilevalue[row[i + 1]]);
    return "data:image/bmp;base64," + btoa(String.fromCharCode(...new Uint8Array(head.buffer)) + pixels);
}

/** "12,345": a count, its digits in threes. Written out, since the browser's first
 * toLocaleString loads its locale data, which holds the page's thread for some 30 ms.
 * @param {number} n */
export const number = (n) => String(n).replace(/\B(?=(\d{3})+$)/g, ",");

/** "1,000 files: 400 ATARI, 400 KV64, 200 neither": how many files, of each kind.
 * @param {number} files @param {{ atari: number, kv64: number, neither: number }} kinds */
export function counted(files, { atari, kv64, neither }) {
    return `${number(files)} ${files === 1 ? "file" : "files"}: ${number(atari)} ATARI, ` +
        `${number(kv64)} KV64, ${number(neither)} neither`;
}

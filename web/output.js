// SPDX-License-Identifier: MIT
// output.js - what the page takes from the program's output, never from the file
// itself: the bytes as text, the one line that says what the report is, and the map
// picture drawn from the report's own letter picture. Used by the gallery's tiles and
// by the card.
"use strict";

const output = (() => {
    // The report's letters for tile values 0 to 15, as the build gives them to the
    // program and the page alike, and the colour of each value, as the style sheet
    // gives it.
    const letters = "@CAVEDUMP_LETTERS@";
    const palette = [...letters].map((_, value) =>
        getComputedStyle(document.documentElement).getPropertyValue(`--tile-${value}`).trim());

    // The program's bytes as a terminal shows them: UTF-8 where they are valid UTF-8,
    // and any other byte as its Latin-1 character.
    const utf8 = new TextDecoder("utf-8", { fatal: true });
    function valid(bytes) {
        try {
            utf8.decode(bytes);
            return true;
        } catch {
            return false;
        }
    }
    function astext(bytes) {
        if (valid(bytes)) return utf8.decode(bytes);
        let text = "";
        let from = 0; // bytes from here up to i are valid UTF-8, not yet added to text
        for (let i = 0; i < bytes.length;) {
            // The shortest valid sequence at i: a prefix of a longer one is not valid.
            let n = 1;
            while (n <= 4 && !valid(bytes.subarray(i, i + n))) n++;
            if (n <= 4) {
                i += n;
                continue;
            }
            text += utf8.decode(bytes.subarray(from, i)) + String.fromCharCode(bytes[i]);
            from = ++i;
        }
        return text + utf8.decode(bytes.subarray(from));
    }

    // What a report, split in lines, says of the file in one line, which report it is
    // (ATARI: the report with a name line; KV64; or neither when nothing was printed),
    // and the cave's name where the report gives one.
    function describe(lines) {
        if (!lines[0].startsWith("flags:")) return { kind: "neither", line: "no report", name: "" };
        const atari = lines[1].startsWith("name :");
        const type = (n) => (lines.find((l) => l.endsWith(`-(${n})-`)) ?? "").includes("Intermission")
            ? "intermission" : "cave";
        const name = atari ? lines[1].slice("name :         ".length) : "";
        let line = (atari ? "ATARI " : "KV64 ") + type(1);
        if (type(2) !== type(1)) line += ` (its map: ${type(2)})`;
        if (atari) line += " " + name;
        return { kind: atari ? "atari" : "kv64", line, name };
    }

    // The map picture of a report split in lines: the 22 rows after the second type
    // line and the closing row below them, 40 letters each; null when it has none.
    const tilerow = new RegExp(`^[${letters.replace(/[\]\\^-]/g, "\\$&")}]{40}$`);
    const tilevalue = Object.fromEntries([...letters].map((c, value) => [c, value]));
    function picture(lines) {
        const start = lines.findIndex((line) => line.endsWith("-(2)-")) + 1;
        const rows = lines.slice(start, start + 23);
        const whole = start > 0 && rows.length === 23 && rows.every((row) => tilerow.test(row));
        return whole ? rows : null;
    }

    // The map as a picture of one pixel a tile, scaled up by the style sheet: an image
    // of 16 colours in the BMP format, which is all but the tile values themselves, so
    // that it costs next to nothing to make each time a tile or a card comes into view.
    const bmphead = (() => {
        const head = new DataView(new ArrayBuffer(14 + 40 + 4 * 16));
        const size = head.byteLength + 23 * 20;
        [[0, 0x4d42, 2], [2, size, 4], [10, head.byteLength, 4], // file: "BM", size, pixels at
         [14, 40, 4], [18, 40, 4], [22, 23, 4], [26, 1, 2], [28, 4, 2], // 40 x 23, 4 bits
         [34, 23 * 20, 4], [46, 16, 4]].forEach(([at, value, bytes]) =>
            (bytes === 2 ? head.setUint16(at, value, true) : head.setUint32(at, value, true)));
        palette.forEach((hex, value) => // blue, green, red, 0
            [5, 3, 1].forEach((from, i) => head.setUint8(54 + 4 * value + i, parseInt(hex.slice(from, from + 2), 16))));
        return String.fromCharCode(...new Uint8Array(head.buffer));
    })();

    // An image of the map rows (as picture gives them) of the file at path.
    function mapimage(rows, path) {
        // Rows from the bottom up, two tiles a byte, the left one in the high four bits.
        let pixels = "";
        for (const row of rows.slice().reverse())
            for (let i = 0; i < 40; i += 2)
                pixels += String.fromCharCode(16 * tilevalue[row[i]] + tilevalue[row[i + 1]]);
        const map = element("img", "map");
        map.width = 40;
        map.height = 23;
        map.alt = `map of ${path}, 40 by 23 tiles, drawn from its report`;
        map.src = "data:image/bmp;base64," + btoa(bmphead + pixels);
        return map;
    }

    // An element of tag with a class and text, each when given.
    function element(tag, className, text) {
        const e = document.createElement(tag);
        if (className) e.className = className;
        if (text !== undefined) e.textContent = text;
        return e;
    }

    return { letters, palette, astext, describe, picture, mapimage, element };
})();

// SPDX-License-Identifier: MIT
// What the page reads off the program's output, on the samples' expected output and
// on outputs changed from it: the heading, the kind, the map and its picture.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { test } from "node:test";
import { page } from "./modules.js";

const { astext, counted, decode, mapurl, number, texts } = await page("output.js");
const { letters } = await page("facts.js");
const golden = (name) => new Uint8Array(readFileSync(new URL(`../golden/${name}`, import.meta.url)));
const run = (out, err = new Uint8Array(0)) => ({ out, err, status: 0 });
const text = (s) => new TextEncoder().encode(s);

test("each sample's heading, kind, name and map rows", () => {
    const stairs = decode({ path: "s.cav", notes: [], run: run(golden("atari-stairs.out")) });
    assert.deepEqual([stairs.kind, stairs.line, stairs.name], ["atari", "ATARI cave GLASS STAIRS", "GLASS STAIRS"]);
    const lines = texts(stairs).text.split("\n");
    assert.deepEqual(texts(stairs).rows, lines.slice(4, 27));
    const ring = decode({ path: "r.cav", notes: ["n"], run: run(golden("atari-ring.out")) });
    assert.equal(ring.line.startsWith("ATARI intermission "), true);
    const garden = decode({ path: "g.cav", notes: [], run: run(golden("kv64-garden.out"), golden("kv64-garden.err")) });
    assert.deepEqual([garden.kind, garden.line, garden.name], ["kv64", "KV64 cave", ""]);
    assert.equal(texts(garden).messages, "ATARI File with wrong format size kv64-garden.cav\n");
    const failed = decode({ path: "x", notes: [], error: "why" });
    assert.deepEqual([failed.kind, failed.line, failed.run, texts(failed)], ["neither", "why", null, { text: "", messages: "", rows: null }]);
});

test("the heading's map type comes from the second type line, the first's from the first", () => {
    const lines = new TextDecoder().decode(golden("atari-stairs.out")).split("\n");
    const mixed = [...lines];
    mixed[3] = mixed[3].replace("------ Cave -------", "--- Intermission --");
    assert.equal(decode({ path: "m", notes: [], run: run(text(mixed.join("\n"))) }).line,
                 "ATARI cave (its map: intermission) GLASS STAIRS");
    mixed[4] = mixed[4].slice(0, 39) + "?";
    assert.equal(texts(decode({ path: "m", notes: [], run: run(text(mixed.join("\n"))) })).rows, null);
    assert.equal(decode({ path: "e", notes: [], run: run(new Uint8Array(0)) }).kind, "neither");
});

test("bytes that are not UTF-8 show as Latin-1, the rest as UTF-8, a byte order mark kept", () => {
    assert.equal(astext(Uint8Array.from([0xef, 0xbb, 0xbf, 0x63, 0xc3, 0xa9, 0xff, 0xef, 0xbb, 0xbf, 0xe2, 0x82, 0x41, 0xed, 0xa0, 0x80,
                                         0xf4, 0x90, 0x80, 0x80, 0xe0, 0x9f, 0xbf, 0xf0, 0x9f, 0x98, 0x80])),
                 "\ufeffc\u00e9\u00ff\ufeff\u00e2\u0082A\u00ed\u00a0\u0080\u00f4\u0090\u0080\u0080\u00e0\u009f\u00bf\u{1f600}");
    assert.equal(astext(Uint8Array.from([0xef, 0xbb, 0xbf, 0x41])), "\ufeffA");
});

test("the map picture: each tile value's colour in its place, rows from the bottom up", () => {
    const palette = [...letters].map((_, v) => "#" + [v, 16 * v, 255 - v].map((c) => c.toString(16).padStart(2, "0")).join(""));
    const rows = Array.from({ length: 23 }, (_, r) => Array.from({ length: 40 }, (_, c) => letters[(r + 3 * c) % 16]).join(""));
    const bmp = Buffer.from(mapurl(rows, palette).slice("data:image/bmp;base64,".length), "base64");
    assert.equal(bmp.length, 14 + 40 + 64 + 23 * 20);
    assert.equal(bmp.readUInt32LE(2), bmp.length);
    palette.forEach((hex, v) => assert.deepEqual([...bmp.subarray(54 + 4 * v, 57 + 4 * v)], [255 - v, 16 * v & 255, v]));
    for (let r = 0; r < 23; r++)
        for (let c = 0; c < 40; c++) {
            const byte = bmp[118 + (22 - r) * 20 + (c >> 1)];
            assert.equal(c % 2 ? byte & 15 : byte >> 4, letters.indexOf(rows[r][c]), `row ${r}, column ${c}`);
        }
});

test("counts in threes, as English writes them, and a file or files", () => {
    for (const n of [0, 7, 999, 1000, 65537, 100000, 1234567, 2 ** 32])
        assert.equal(number(n), n.toLocaleString("en"), String(n));
    assert.equal(counted(1, { atari: 0, kv64: 1, neither: 0 }), "1 file: 0 ATARI, 1 KV64, 0 neither");
    assert.equal(counted(65537, { atari: 65536, kv64: 0, neither: 1 }), "65,537 files: 65,536 ATARI, 0 KV64, 1 neither");
});

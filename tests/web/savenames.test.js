// SPDX-License-Identifier: MIT
// Save all's names: paths that clobber or escape on Linux, Windows or macOS, and any
// paths at all; and its zip, every entry of which unzip and 7z extract to a file of its
// own, and which Python's zipfile reads as written, zip64 past 65,535 entries.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, relative } from "node:path";
import test from "node:test";
import fc from "fast-check";
import { page } from "./modules.js";

const { savenames, safename } = await page("savenames.js");
const { make } = await page("zipwrite.js");
// The archivers write names not ASCII as they are only in a UTF-8 locale; elsewhere
// they escape them (#U00e9), whatever locale the tests were started in.
process.env.LC_ALL = "C.UTF-8";
const bytes = (text) => new TextEncoder().encode(text);
const text = (data) => new TextDecoder().decode(data);
const finished = (path, err = "") => ({ path, out: bytes(`report of ${path}`), err: bytes(err) });
const folder = mkdtempSync(join(tmpdir(), "cavedump-save-all-"));
test.after(() => rmSync(folder, { recursive: true }));
/** Writes the zip of entries as name; gives Python's zipfile's names, test, contents and
 * kinds of entry in it: time, flags, extra field, method, system and mode. */
async function written(name, entries) {
    writeFileSync(join(folder, name), new Uint8Array(await make(entries).arrayBuffer()));
    return JSON.parse(execFileSync("python3", ["-c", `import json, sys, zipfile
z = zipfile.ZipFile(sys.argv[1]); print(json.dumps([z.namelist(), z.testzip(), {n: z.read(n).hex() for n in z.namelist()}, sorted({json.dumps([i.date_time,
      i.flag_bits, i.extra.hex(), i.compress_type, i.create_system, i.external_attr >> 16], separators=",:") for i in z.infolist()})]))`, name],
    { cwd: folder, maxBuffer: 1 << 26 }).toString());
}

test("taken names get a suffix no path has, unsafe ones are escaped, long ones cut; the index maps each", async () => {
    // Each file's path, its messages, and its entries' names.
    const rows = [["dup.cav", "", "dup.cav.txt"], ["dup.cav", "twice", "dup.cav%(2).txt", "dup.cav.messages.txt"],
        ["dup.cav (2)", "", "dup.cav (2).txt"], ["x.cav", "bad", "x.cav.txt", "x.cav.messages.txt"],
        ["x.cav.messages", "", "x.cav.messages%(2).txt"], ["index", "", "index%(2).txt"],
        ["C:\\evil.cav", "", "C%3A%5Cevil.cav.txt"], ["..\\..\\plain.cav", "", "..%5C..%5Cplain.cav.txt"],
        ["a.zip/sub\\..\\..\\evil3.cav", "", "a.zip/sub%5C..%5C..%5Cevil3.cav.txt"], ["/abs//x/", "", "%2Fabs%2F%2Fx%2F.txt"],
        ["./../%2E", "", "%2E/%2E%2E/%252E.txt"], ["a\tb\nc", "", "a%09b%0Ac.txt"],
        // Windows' devices with any ending, a part's last dot or blank, names equal but for case or Unicode form.
        ["nul.cav", "", "%6Eul.cav.txt"], ["NUL", "", "%4EUL.txt"], ["Con/aux.cav.", "", "%43on/%61ux.cav%2E.txt"],
        ["com1 .cav", "m", "%63om1 .cav.txt", "%63om1 .cav.messages.txt"], ["LPT9", "", "%4CPT9.txt"], ["COM²", "", "%43OM².txt"],
        ["prn/CONSOLE", "", "%70rn/CONSOLE.txt"], ["a./b /c", "", "a%2E/b%20/c.txt"], ["case.cav", "", "case.cav.txt"],
        ["CASE.cav", "", "CASE.cav%(2).txt"], ["INDEX", "", "INDEX%(3).txt"], ["sub/café.cav", "", "sub/café.cav.txt"],
        ["sub/cafe\u0301.cav", "", "sub/cafe\u0301.cav%(2).txt"],
        // Parts over 255 bytes, of a file (twice, with messages) and of a folder, and of two-byte letters.
        [`${"L".repeat(300)}.cav`, "", `${"L".repeat(245)}%~.cav.txt`],
        [`${"L".repeat(300)}.cav`, "m", `${"L".repeat(241)}%~.cav%(2).txt`, `${"L".repeat(236)}%~.cav.messages.txt`],
        [`${"F".repeat(300)}/x.cav`, "", `${"F".repeat(253)}%~/x.cav.txt`], ["é".repeat(200), "", `${"é".repeat(124)}%~.txt`]];
    const entries = savenames(rows.map(([path, err]) => finished(path, err)));
    assert.deepEqual(entries.map((e) => [e.path, text(e.bytes)]), [...rows.flatMap(([path, err, report, messages]) =>
        [[report, `report of ${path}`], ...messages ? [[messages, err]] : []]), ["index.txt", rows.map(([path, , ...names]) =>
        `${[path.replace("a\tb\nc", "a\u2409b\u240ac"), ...names].join("\t")}\n`).join("")]]);
    writeFileSync(join(folder, "all.zip"), new Uint8Array(await make(entries).arrayBuffer()));
    for (const [out, command, ...args] of [["u", "unzip", "-qq", "-d", "u"], ["7", "7z", "x", "-bd", "-o7"]]) {
        execFileSync(command, [...args, "all.zip"], { cwd: folder, stdio: "pipe" });
        const made = readdirSync(join(folder, out), { recursive: true, withFileTypes: true }).filter((e) => e.isFile())
            .map((e) => join(e.parentPath ?? e.path, e.name)).map((path) => [relative(join(folder, out), path), readFileSync(path).toString()]);
        assert.deepEqual(made.sort(), entries.map((e) => [e.path, text(e.bytes)]).sort(), command);
    }
});

test("the zip: entries sorted by their names' bytes, the same bytes in any order, zip64 past 65,535 entries", async () => {
    const files = [["b.txt", Uint8Array.from({ length: 100 }, (_, i) => (i * 157 + 11) & 255)],
                   ["a/b.txt", bytes(Array.from({ length: 300 }, (_, i) => `row ${i} of the cave\n`).join(""))],
                   ["a.txt", new Uint8Array(0)], ["\uff21.txt", bytes("A")], ["\u{1F600}.txt", bytes("!")]]
        .map(([path, data]) => ({ path, bytes: data }));
    const sorted = ["a.txt", "a/b.txt", "b.txt", "\uff21.txt", "\u{1F600}.txt"];
    assert.deepEqual(await written("files.zip", files), [sorted, null,
        Object.fromEntries(sorted.map((path) => [path, Buffer.from(files.find((f) => f.path === path).bytes).toString("hex")])),
        [JSON.stringify([[1980, 1, 1, 0, 0, 0], 0x800, "", 0, 3, 0o100644])]]);
    assert.deepEqual(readFileSync(join(folder, "files.zip")), Buffer.from(await make(files.reverse()).arrayBuffer()));
    const many = Array.from({ length: 65536 }, (_, i) => ({ path: `r${65535 - i}`, bytes: Uint8Array.of(i & 255) }));
    const [names, , contents] = await written("many.zip", many);
    assert.deepEqual([names.length, contents.r0, contents.r65535], [65536, "ff", "00"]);
    // The zip64 end record, right after the directory, counts them all.
    const zip = readFileSync(join(folder, "many.zip")), end64 = zip.lastIndexOf("PK\x06\x06");
    assert.deepEqual([end64, zip.readBigUInt64LE(end64 + 32)], [Number(zip.readBigUInt64LE(end64 + 48) + zip.readBigUInt64LE(end64 + 40)), 65536n]);
});

test("any paths give unique names that are relative, plain, fit Windows and decode to the path", () => {
    const part = fc.string({ unit: fc.constantFrom("/", "\\", ".", ":", "%", "(", " ", "a", "A", "é", "e\u0301", "\n", "\u{1F600}",
                                                   "nul", "CoM1", "x".repeat(90)) });
    fc.assert(fc.property(fc.array(fc.tuple(part, fc.boolean()), { maxLength: 12 }), (given) => {
        const names = savenames(given.map(([path, err]) => finished(path, err ? "!" : ""))).map((e) => e.path);
        assert.equal(new Set(names.map((name) => name.normalize("NFC").toLowerCase())).size, names.length);
        for (const name of names) {
            assert.ok(name.split("/").every((p) => p !== "" && p !== "." && p !== ".." && !/[\\:\n]|[. ]$/u.test(p) &&
                !/^(con|prn|aux|nul|com[0-9¹²³]|lpt[0-9¹²³]) *(\.|$)/iu.test(p) && bytes(p).length <= 255), name);
        }
        for (const [path] of given) assert.equal(decodeURIComponent(safename(path)), path);
    }));
});

// SPDX-License-Identifier: MIT
// Save all's names: the paths that clobbered or escaped in 1.3.0, and any paths at all;
// and its zip, every entry of which unzip and 7z extract to a file of its own.
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
const bytes = (text) => new TextEncoder().encode(text);
const finished = (path, err = "") => ({ path, out: bytes(`report of ${path}`), err: bytes(err) });

test("taken names get a suffix no path has, and unsafe ones are escaped", async (t) => {
    const files = [finished("dup.cav"), finished("dup.cav", "twice"), finished("dup.cav (2)"),
                   finished("x.cav", "bad"), finished("x.cav.messages"), finished("index"),
                   finished("C:\\evil.cav"), finished("..\\..\\plain.cav"), finished("a.zip/sub\\..\\..\\evil3.cav"),
                   finished("/abs//x/"), finished("./../%2E"), finished("a\tb\nc")];
    const entries = savenames(files);
    const folder = mkdtempSync(join(tmpdir(), "cavedump-save-all-"));
    t.after(() => rmSync(folder, { recursive: true }));
    writeFileSync(join(folder, "all.zip"), new Uint8Array(await make(entries).arrayBuffer()));
    for (const [out, command, ...args] of [["u", "unzip", "-qq", "-d", "u"], ["7", "7z", "x", "-bd", "-o7"]]) {
        execFileSync(command, [...args, "all.zip"], { cwd: folder, stdio: "pipe" });
        const made = readdirSync(join(folder, out), { recursive: true, withFileTypes: true }).filter((e) => e.isFile())
            .map((e) => join(e.parentPath, e.name)).map((path) => [relative(join(folder, out), path), readFileSync(path).toString()]);
        assert.deepEqual(made.sort(), entries.map((e) => [e.path, new TextDecoder().decode(e.bytes)]).sort(), command);
    }
    assert.deepEqual(entries.map((e) => e.path), [
        "dup.cav.txt", "dup.cav%(2).txt", "dup.cav.messages.txt", "dup.cav (2).txt",
        "x.cav.txt", "x.cav.messages.txt", "x.cav.messages%(2).txt", "index%(2).txt",
        "C%3A%5Cevil.cav.txt", "..%5C..%5Cplain.cav.txt", "a.zip/sub%5C..%5C..%5Cevil3.cav.txt",
        "%2Fabs%2F%2Fx%2F.txt", "%2E/%2E%2E/%252E.txt", "a%09b%0Ac.txt", "index.txt"]);
    // Each entry holds its own file's bytes.
    assert.deepEqual(entries.slice(0, 4).map((e) => new TextDecoder().decode(e.bytes)),
                     ["report of dup.cav", "report of dup.cav", "twice", "report of dup.cav (2)"]);
    assert.equal(new TextDecoder().decode(entries.at(-1).bytes).split("\n").slice(0, 4).join("\n"),
                 "dup.cav\tdup.cav.txt\ndup.cav\tdup.cav%(2).txt\tdup.cav.messages.txt\n" +
                 "dup.cav (2)\tdup.cav (2).txt\nx.cav\tx.cav.txt\tx.cav.messages.txt");
    assert.match(new TextDecoder().decode(entries.at(-1).bytes), /\na\u2409b\u240ac\ta%09b%0Ac.txt\n$/u);
});

test("any paths give unique names that are relative, plain and decode to the path", () => {
    const part = fc.string({ unit: fc.constantFrom("/", "\\", ".", ":", "%", "(", "a", "é", "\n", "\u{1F600}") });
    fc.assert(fc.property(fc.array(fc.tuple(part, fc.boolean()), { maxLength: 12 }), (given) => {
        const names = savenames(given.map(([path, err]) => finished(path, err ? "!" : ""))).map((e) => e.path);
        assert.equal(new Set(names).size, names.length);
        for (const name of names)
            assert.ok(name.split("/").every((p) => p !== "" && p !== "." && p !== ".." && !/[\\:\n]/u.test(p)), name);
        for (const [path] of given) assert.equal(decodeURIComponent(safename(path)), path);
    }));
});

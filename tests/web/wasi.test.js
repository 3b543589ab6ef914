// SPDX-License-Identifier: MIT
// The program's WASI module judged by a runtime nobody here wrote: under Node's own
// node:wasi (the tests' emulator, cmake/toolchains/web.mjs) and under the page's layer
// (program.js, wasi.js), on the samples, on made files and on names at Linux's limits,
// each must give the native program's bytes and status, the native program run on
// the same file under the same name in the same folder.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { chdir, cwd } from "node:process";
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import test from "node:test";
import { page, pageprogram } from "./modules.js";

const { CAVEDUMP_PROGRAM: native } = process.env;
const emulator = new URL("../../cmake/toolchains/web.mjs", import.meta.url).pathname;
const samples = new URL("../../samples/", import.meta.url).pathname;
const root = mkdtempSync(join(tmpdir(), "cavedump-wasi-"));
test.after(() => spawnSync("rm", ["-rf", root]));

/** Writes bytes at path below root, a folder at a time, as Linux lets it: a part of
 * more than 255 bytes makes no file, and a path longer than PATH_MAX is made from the
 * folders before it. */
function put(path, bytes) {
    const [back, parts] = [cwd(), path.split("/")];
    chdir(root);
    try {
        for (const part of parts.slice(0, -1)) chdir((mkdirSync(part, { recursive: true }), part));
        writeFileSync(parts.at(-1), bytes);
    } catch (e) {
        assert.equal(e.code, "ENAMETOOLONG");
    } finally {
        chdir(back);
    }
}

// Made files: random bytes about the formats' sizes, some after a signature.
let seed = 7;
const random = (n) => ((seed = (seed * 1103515245 + 12345) % 2 ** 31), seed % n);
const made = Array.from({ length: 40 }, () => Uint8Array.from([...[[], [0xab, 0xab, 0xab, 0xab], [0x00, 0xbe]][random(3)],
    ...Array.from({ length: [0, 1, 497, 498, 503, 504, 1024, 1100][random(8)] }, () => random(256))]));
const ring = readFileSync(join(samples, "atari-ring.cav"));
// Odd names, and names at Linux's limits and past them: a part of 255 bytes and one of
// 256 or 300, a path of 4095 bytes and one of 4096 or more, 500 to 2000 folders; and
// an archive's members of archives.test.js under their archive's name.
const names = ["a b.cav", "%s%n.cav", "café.cav", "-", "--help", "d/e/f.cav", "\x7f\x01.cav", `long/${"L".repeat(300)}.cav`,
               `${"a/".repeat(2045)}x.cav`, `${"a/".repeat(2045)}xy.cav`, `${"b/".repeat(2097)}y.cav`, Array(64).fill("x".repeat(250)).join("/"),
               ...[500, 1000, 2000].map((n) => `${"c/".repeat(n)}x.cav`),
               ...[`long/${"E".repeat(251)}.cav`, `long/${"L".repeat(252)}.cav`, `${"b/".repeat(2100)}y.cav`, `${"a/".repeat(2000)}x.cav`].map((name) => `deep.zip/${name}`)];
const cases = [...readdirSync(samples).filter((name) => name.endsWith(".cav")).map((name) => [name, readFileSync(join(samples, name))]),
               ...made.map((bytes, i) => [`r${i}.cav`, bytes]), ...names.map((name) => [name, ring])];

/** A run's two streams and status, as one text, from a process or the page's layer. */
const got = (run) => JSON.stringify([...[run.stdout ?? run.out, run.stderr ?? run.err].map((b) => Buffer.from(b).toString("latin1")), run.status]);

test("node:wasi and the page's layer give the native program's bytes and status", { skip: !native && "needs the native program (CTest gives it)" }, async () => {
    const { cavedump, module } = await pageprogram();
    for (const [path, bytes] of cases) put(path, bytes);
    const differ = [];
    for (const [path, bytes] of cases) {
        const expected = got(spawnSync(native, [path], { cwd: root }));
        // node:wasi opens a name joined to its folder's own path, which must fit in
        // PATH_MAX: a path of 4095 bytes that Linux opens from its folder, it cannot.
        if (path.length >= 4096 || path.length + root.length < 4095) {
            const wasi = spawnSync(process.execPath, ["--experimental-wasi-unstable-preview1", "--no-warnings", emulator, join(process.env.CAVEDUMP_PAGE_MODULES, "cavedump.wasm"), path], { cwd: root });
            if (got(wasi) !== expected) differ.push(`node:wasi on ${path.slice(0, 40)}`);
        }
        if (got(cavedump(module, path, bytes)) !== expected) differ.push(`the page's layer on ${path.slice(0, 40)}`);
    }
    assert.deepEqual(differ, []);
});

test("the names no file can have, said why; with no file under it, the program says what Linux makes it say", async () => {
    const { unfit } = await page("wasi.js");
    const { cavedump, module } = native ? await pageprogram() : {};
    if (native) assert.equal(got(cavedump(module, "", null)), got(spawnSync(native, [""], { cwd: root })));
    assert.deepEqual([["a", "b.cav"], ["", "x"], ["a", "..", "b"], [""], ["."], ["a/b"], ["a\0"]].map(unfit),
                     ["", "its name is absolute", 'its name holds "..", which would climb out of its folder',
                      'a name may not be ""', 'a name may not be "."', 'a name may not hold "/"', "a name may not hold a NUL character"]);
});

// SPDX-License-Identifier: MIT
// The reader on archives that zip, 7z and bsdtar make here, and on hostile ones made
// from theirs: every member under the name unzip gives it, with the bytes unzip (or
// the tool itself) extracts.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, relative } from "node:path";
import test from "node:test";
import { page } from "./modules.js";

const { members } = await page("zipread.js");
const { fromfile } = await page("sources.js");
const headsize = 1024;
const root = mkdtempSync(join(tmpdir(), "cavedump-archives-"));
test.after(() => spawnSync("rm", ["-rf", root]));
/** Runs a tool that must succeed; gives its standard output. */
const run = (cwd, command, ...args) => execFileSync(command, args, { cwd, maxBuffer: 1 << 26, stdio: "pipe" });
const at = (...parts) => join(root, ...parts);
const hex = (bytes) => Buffer.from(bytes).toString("hex");
const write = (path, bytes) => (mkdirSync(dirname(path), { recursive: true }), writeFileSync(path, bytes));

// Files as people keep them: the samples, UTF-8 names in both of Unicode's forms, a
// macOS resource fork, and a member larger than what is read whole.
const sample = (name) => readFileSync(new URL(`../../samples/${name}`, import.meta.url));
const ring = sample("atari-ring.cav");
const files = { "atari-ring.cav": ring, "kv64-garden.cav": sample("kv64-garden.cav"), "sub/café.cav": ring,
                "sub/cafe\u0301.cav": sample("atari-stairs.cav"), "sub/日本.cav": ring.subarray(9),
                "__MACOSX/sub/._café.cav": Buffer.from("\0\u0005\u0016\u0007\0\u0002\0\0Mac OS X"),
                "big.cav": Buffer.concat([ring, Buffer.alloc(200_000, "row of the cave\n")]) };
for (const [path, bytes] of Object.entries(files)) write(at("tree", path), bytes);

/** Each file under folder as [its path, its head in hex], sorted. */
const walk = (folder) => readdirSync(folder, { recursive: true, withFileTypes: true }).filter((entry) => entry.isFile())
    .map((entry) => join(entry.parentPath, entry.name))
    .map((path) => [relative(folder, path), hex(readFileSync(path).subarray(0, headsize))]).sort();

/** What unzip extracts of the archive, as walk() gives it; or 7z, which finds an end
 * record farther from the end than unzip does when it extracts. */
function extracted(name) {
    mkdirSync(at("out", name), { recursive: true });
    if (name === "far.zip") run(root, "7z", "x", "-bd", `-o${at("out", name)}`, name);
    else spawnSync("unzip", ["-qq", "-o", "-d", at("out", name), at(name)]);
    return walk(at("out", name));
}

/** The reader's notes on the archive, and its members as walk() gives them. */
async function read(name) {
    const { members: list, notes } = await members(fromfile(new Blob([readFileSync(at(name))])), headsize);
    // A member whose name is not ASCII says how it was read, and only that one.
    for (const { path, notes: said } of list)
        assert.equal(said.some((note) => note.startsWith("its name is read")), /[^\0-\x7f]/u.test(path), path);
    return { notes, got: (await Promise.all(list.map(async (m) => [m.path, await m.head().then(hex, (e) => e.message)]))).sort(), list };
}

test("archives from zip, 7z and bsdtar, padded, appended to and joined to a program", async () => {
    const tree = at("tree");
    run(tree, "zip", "-qr", "../info.zip", ".");
    run(tree, "7z", "a", "-tzip", "-bd", "../7z-deflate.zip", ".");
    run(tree, "7z", "a", "-tzip", "-mx0", "-bd", "../7z-stored.zip", ".");
    run(tree, "bsdtar", "--format", "zip", "-cf", "../bsdtar-dot.zip", ".");
    run(tree, "bsdtar", "--format", "zip", "-cf", "../bsdtar-star.zip", ...readdirSync(tree));
    writeFileSync(at("bsdtar-padded.zip"), run(root, "bsdtar", "--format", "zip", "-cf", "-", "tree"));
    writeFileSync(at("appended.zip"), Buffer.concat([readFileSync(at("info.zip")), Buffer.alloc(100, 7)]));
    // A self-extracting archive: a program, then an archive with zip64 end records
    // whose offsets were not moved by the program's length.
    run(tree, "zip", "-qr", "-fz", "../zip64.zip", ".");
    writeFileSync(at("sfx.zip"), Buffer.concat([Buffer.alloc(3000, "\x7fELF"), readFileSync(at("zip64.zip"))]));
    // The end record as far from the end as it may be: its longest comment, 64 KiB after it.
    const far = (n) => Buffer.concat([readFileSync(at("zip64.zip")).subarray(0, -2), Buffer.from([0xff, 0xff]),
                                      Buffer.alloc(0xffff, "C"), Buffer.alloc(n)]);
    writeFileSync(at("far.zip"), far(65536));
    writeFileSync(at("too-far.zip"), far(65537));
    await assert.rejects(read("too-far.zip"), /no end record$/u);
    const padded = readFileSync(at("bsdtar-padded.zip"));
    const notes = {
        "bsdtar-padded.zip": [`the ${padded.length - padded.lastIndexOf("PK\x05\x06") - 22} bytes after its end record were skipped`],
        "appended.zip": ["the 100 bytes after its end record were skipped"],
        "sfx.zip": ["its zip64 end record is 3000 bytes past where its locator says",
                    "the 3000 bytes before it (a program it was joined to, perhaps) were skipped"] };
    notes["far.zip"] = ["the 65536 bytes after its end record were skipped"];
    for (const name of ["info.zip", "7z-deflate.zip", "7z-stored.zip", "bsdtar-dot.zip", "bsdtar-star.zip",
                        "bsdtar-padded.zip", "appended.zip", "sfx.zip", "far.zip"]) {
        const { notes: said, got, list } = await read(name);
        assert.deepEqual(got, extracted(name), name);
        assert.equal(got.length, Object.keys(files).length, name);
        assert.deepEqual(said, notes[name] ?? [], name);
        if (name === "bsdtar-dot.zip") assert.match(list[0].notes.at(-1), /in the archive is \.\/[^/]/u);
    }
});

test("an archive of 65,537 members whose count wrapped to 1, as older writers leave it", async () => {
    run(root, "python3", "-c", `import zipfile
with zipfile.ZipFile("many.zip", "w") as z:
    for i in range(65537): z.writestr("c%d.cav" % i, str(i))`);
    // Its zip64 end record and locator taken out, the count of the end record left at 16 bits.
    const made = readFileSync(at("many.zip"));
    const end = Buffer.from(made.subarray(made.lastIndexOf("PK\x05\x06")));
    end.writeUInt16LE(1, 8);
    end.writeUInt16LE(1, 10);
    writeFileSync(at("wrapped.zip"), Buffer.concat([made.subarray(0, made.lastIndexOf("PK\x06\x06")), end]));
    const { notes, got } = await read("wrapped.zip");
    const listed = run(root, "unzip", "-Z1", "wrapped.zip").toString().trim().split("\n");
    assert.deepEqual(got.map(([path]) => path), listed.sort());
    assert.deepEqual(got.filter(([path, head]) => path !== `c${Buffer.from(head, "hex")}.cav`), []);
    assert.deepEqual(notes, ["its end record counts 1 member, but its directory holds 65537"]);
});

// The program's runs under these names are judged in wasi.test.js.
test("the deepest and longest names, read as unzip and 7-Zip read them", async () => {
    const renamed = { "edge.cav": `long/${"E".repeat(251)}.cav`, "long.cav": `long/${"L".repeat(252)}.cav`,
                      "over.cav": `${"b/".repeat(2100)}y.cav` };
    write(at("deep", `${"a/".repeat(2000)}x.cav`), ring);
    for (const name of Object.keys(renamed)) write(at("deep", name), files["big.cav"].subarray(name.length));
    run(at("deep"), "zip", "-qrD", "../deep.zip", ".");
    run(root, "7z", "rn", "-bd", "deep.zip", ...Object.entries(renamed).flat());
    // unzip cannot make a part over 255 bytes or a path over 4095: 7z gives their bytes.
    const made = extracted("deep.zip");
    const want = [...made, ...[renamed["long.cav"], renamed["over.cav"]].map((name) =>
        [name, hex(run(root, "7z", "e", "-so", "deep.zip", name).subarray(0, headsize))])].sort();
    const { got } = await read("deep.zip");
    assert.deepEqual(got, want);
    assert.equal(made.length, 2);
});

test("a Unicode Path field read where its CRC-32 is the name's, code page 437 where it is not; no absolute name, no ..", async () => {
    // zipfile flags a name that is not ASCII as UTF-8: the names go in as X and are made
    // code page 437 after.
    run(root, "python3", "-c", `import struct, zipfile, zlib
def field(name, crc=None):
    data = b"\\x01" + struct.pack("<I", zlib.crc32(name) if crc is None else crc) + "café-up.cav".encode()
    return struct.pack("<HH", 0x7075, len(data)) + data
with zipfile.ZipFile("unicode.zip", "w") as z:
    for name, crc in (("cafX-up.cav", None), ("cafX-no.cav", 1)):
        info = zipfile.ZipInfo(name)
        info.extra = field(name.replace("X", "\\x82").encode("latin-1"), crc)
        z.writestr(info, "cave")
    z.writestr("/abs.cav", "cave")
    z.writestr("a/../../up.cav", "cave")
open("unicode.zip", "r+b").write(open("unicode.zip", "rb").read().replace(b"cafX", b"caf\\x82"))`);
    const { got, list } = await read("unicode.zip");
    const cave = hex(Buffer.from("cave"));
    assert.deepEqual(got, [[run(root, "unzip", "-Z1", "unicode.zip").toString().split("\n")[0], cave], ["café-no.cav", cave],
                           ["/abs.cav", "its name is absolute, and it is not read"],
                           ["a/../../up.cav", 'its name holds "..", which would climb out of its folder, and it is not read']].sort());
    assert.deepEqual(list.slice(0, 2).map((m) => m.notes), [["its name is read from its Unicode Path field (0x7075)"], ["its name is read as code page 437"]]);
});

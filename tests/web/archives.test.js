// SPDX-License-Identifier: MIT
// The reader on archives that zip, 7z, bsdtar and Python's zipfile make here, read from
// a file or served over HTTP, and on hostile ones made from theirs: every member under
// the name unzip gives it, with the bytes unzip (or the tool itself) extracts, or the
// reason it cannot be read.
// The program's runs on the deepest and longest names are judged in wasi.test.js.
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { once } from "node:events";
import { createServer } from "node:http";
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, renameSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join, relative } from "node:path";
import test from "node:test";
import { page } from "./modules.js";

const { members } = await page("zipread.js");
const { fromfile, fromurl } = await page("sources.js");
const headsize = 1024;
// The archivers write names not ASCII as they are only in a UTF-8 locale; elsewhere
// they escape them (#U00e9), whatever locale the tests were started in.
process.env.LC_ALL = "C.UTF-8";
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
    .map((entry) => join(entry.parentPath ?? entry.path, entry.name))
    .map((path) => [relative(folder, path), hex(readFileSync(path).subarray(0, headsize))]).sort();

/** What unzip extracts of the archive, as walk() gives it; or 7z, which finds an end
 * record farther from the end than unzip does when it extracts, and extracts where the
 * directory's stated size is too long, which unzip takes for a zip bomb. */
function extracted(name) {
    mkdirSync(at("out", name), { recursive: true });
    if (name === "far.zip" || name === "utf8-long.zip") spawnSync("7z", ["x", "-bd", `-o${at("out", name)}`, at(name)]);
    else spawnSync("unzip", ["-qq", "-o", "-d", at("out", name), at(name)]);
    // unzip keeps a name's bytes where the UTF-8 flag is not set: the one name here that
    // is not UTF-8 is given the name code page 437 reads in it.
    const raw = Buffer.from(at("out", name, "caf\x82\xb0.cav"), "latin1");
    if (existsSync(raw)) renameSync(raw, at("out", name, "café░.cav"));
    return walk(at("out", name));
}

/** The reader's notes on the archive (or on source), and its members as walk() gives them. */
async function read(name, source = fromfile(new Blob([readFileSync(at(name))]))) {
    const { members: list, notes } = await members(source, headsize);
    // A member whose name is not ASCII says how it was read, and only that one.
    for (const { path, notes: said } of list)
        assert.equal(said.some((note) => note.startsWith("its name is read")), /[^\0-\x7f]/u.test(path), path);
    return { notes, got: (await Promise.all(list.map(async (m) => [m.path, await m.head().then(hex, (e) => e.message)]))).sort(), list };
}

test("archives from zip, 7z, bsdtar and Python, padded, appended to, joined to a program, served, damaged", async (t) => {
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
    // Info-ZIP's UTF-8 names, the directory's size stated right or (as a tester's zip 3.0
    // wrote it) wrong; and made a byte short, or a few bytes off either way, which unzip
    // and 7-Zip compensate; with a program before it as well, which neither can place.
    run(tree, "zip", "-qUN=UTF8", "-r", "../utf8.zip", ".");
    // Its directory's size, from its offset to the end record, and as that record states it.
    const utf8 = readFileSync(at("utf8.zip")), end = utf8.lastIndexOf("PK\x05\x06");
    const [dirsize, stated] = [end - utf8.readUInt32LE(end + 16), utf8.readUInt32LE(end + 12)];
    for (const [name, by, program = 0] of [["utf8-short.zip", -1], ["utf8-short5.zip", -5], ["utf8-long.zip", 3], ["utf8-sfx-short.zip", -1, 999]]) {
        const copy = Buffer.concat([Buffer.alloc(program, "\x7fELF"), utf8]);
        writeFileSync(at(name), (copy.writeUInt32LE(dirsize + by, copy.lastIndexOf("PK\x05\x06") + 12), copy));
    }
    // Python's zipfile: stored and deflated members, a folder, a UTF-8 name flagged, a
    // name only code page 437 holds, an archive stored in the archive; then damaged in
    // its directory (encrypted, method 8 made 12, a CRC-32, a stored member's size) and
    // in a byte of a deflated and of a stored member's data; cut 60 bytes into its
    // directory; a member of 100 MB; written to a pipe, with data descriptors and zip64
    // sizes; and one of zip64 extra fields and end records, made by hand.
    run(root, "python3", "-c", String.raw`import io, random, struct, zipfile, zlib
noise, S, D = bytes(random.Random(7).randrange(256) for _ in range(3000)), zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED; text = b"".join(b"row %d of the cave\n" % i for i in range(300))
# A pipe, that zipfile cannot seek in: it writes a data descriptor after each member.
class Pipe(io.BytesIO): seek = property()
def zipped(members, stream=False):
    out = Pipe() if stream else io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data, method in members:
            z.compression = method
            with z.open(name, "w", force_zip64=stream) as f: f.write(data)
    return out.getvalue()
mixed = zipped([("stored.cav", noise[:1500], S), ("folder/", b"", S), ("folder/deflated.cav", text, D), ("small.cav", text[:700], D),
                ("ünï-日本.cav", noise[:900], S), ("cafXX.cav", text[:300], D), ("inner.zip", zipped([("in.cav", text, S)]), S)])
mixed, damaged = mixed.replace(b"cafXX", b"caf\x82\xb0"), bytearray(mixed.replace(b"cafXX", b"caf\x82\xb0"))
for at, flip in ((mixed.rindex(b"stored.cav") - 38, 1), (mixed.rindex(b"folder/deflated.cav") - 36, 4), (mixed.rindex(b"caf\x82\xb0.cav") - 30, 1),
                 (mixed.rindex(b"inner.zip") - 22, 1), (mixed.index(b"small.cav") + 30, 0x55), (mixed.rindex(noise[:900]) + 500, 0x55)): damaged[at] ^= flip
name, packed, most = b"sixty-four.cav", zlib.compress(text, wbits=-15), 2**32 - 1
local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 8, 0, 0x21, zlib.crc32(text), len(packed), len(text), len(name), 0) + name + packed
central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 8, 0, 0x21, zlib.crc32(text), most, most, len(name), 28,
                      0, 0, 0, 0, most) + name + struct.pack("<HHQQQ", 1, 24, len(text), len(packed), 0)
for name, data in {"mixed.zip": mixed, "damaged.zip": damaged, "cut.zip": mixed[:zipfile.ZipFile(io.BytesIO(mixed)).start_dir + 60],
                   "big.zip": zipped([("big.cav", text + bytes(100_000_000), D), ("after.cav", noise * 40, S)]),
                   "stream.zip": zipped([("s/deflated.cav", text, D), ("s/stored.cav", noise, S)], stream=True),
                   "zip64.zip": local + central + struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(central), len(local))
                   + struct.pack("<IIQI", 0x07064B50, 0, len(local + central), 1) + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, most, most, 0)
                   }.items(): open(name.replace(".zip", "-py.zip"), "wb").write(data)`);
    const padded = readFileSync(at("bsdtar-padded.zip"));
    const [all, skipped] = [Object.keys(files).length, (n) => `the ${n} bytes after its end record were skipped`];
    const resized = (by) => `its end record says its directory is ${dirsize + by} bytes long, but it is ${dirsize}: that was read`;
    // Each archive, how many members it holds, and what is noted of it.
    for (const [name, count, ...noted] of [["info.zip", all], ["7z-deflate.zip", all], ["7z-stored.zip", all],
        ["bsdtar-dot.zip", all], ["bsdtar-star.zip", all], ["bsdtar-padded.zip", all, skipped(padded.length - padded.lastIndexOf("PK\x05\x06") - 22)],
        ["appended.zip", all, skipped(100)], ["sfx.zip", all, "its zip64 end record is 3000 bytes past where its locator says",
         "the 3000 bytes before it (a program it was joined to, perhaps) were skipped"], ["far.zip", all, skipped(65536)],
        ["utf8.zip", all, ...stated === dirsize ? [] : [resized(stated - dirsize)]], ["utf8-short.zip", all, resized(-1)],
        ["utf8-short5.zip", all, resized(-5)], ["utf8-long.zip", all, resized(3)], ["mixed-py.zip", 6], ["big-py.zip", 2], ["stream-py.zip", 2], ["zip64-py.zip", 1]]) {
        const { notes, got, list } = await read(name);
        assert.deepEqual([got, got.length, notes], [extracted(name), count, noted], name);
        if (name === "bsdtar-dot.zip") assert.match(list[0].notes.at(-1), /in the archive is \.\/[^/]/u);
    }
    const broken = { "stored.cav": "encrypted", "folder/deflated.cav": "method 12 (bzip2)", "small.cav": "damaged",
                     "ünï-日本.cav": "CRC-32", "café░.cav": "CRC-32", "inner.zip": "two sizes differ" };
    assert.deepEqual((await read("damaged-py.zip")).got.map(([path, why]) => [path, why.includes(broken[path]) ? broken[path] : why]),
                     Object.entries(broken).sort(), "damaged-py.zip");
    // Over HTTP from a server that sends whole files, and from one that answers ranges.
    const [big, data] = [await read("big-py.zip"), readFileSync(at("big-py.zip"))];
    const server = createServer(({ url, headers }, response) => {
        const [, first, last] = /^bytes=(\d*)-(\d*)$/u.exec(headers.range ?? "") ?? [];
        if (!url.startsWith("/ranged/") || first === undefined) return response.end(data);
        const [start, stop] = first ? [Number(first), Number(last) + 1] : [Math.max(0, data.length - last), data.length];
        response.writeHead(206, { "Content-Range": `bytes ${start}-${stop - 1}/${data.length}` }).end(data.subarray(start, stop));
    }).listen(0, "127.0.0.1");
    t.after(() => server.close());
    await once(server, "listening");
    for (const path of ["/big.zip", "/ranged/big.zip"]) {
        const { got, notes } = await read(path, fromurl(new URL(`http://127.0.0.1:${server.address().port}${path}`)));
        assert.deepEqual([got, notes], [big.got, []], path);
    }
    // Refused, and by unzip too, each for the reason that is true.
    for (const [name, why] of [["too-far.zip", /no end record$/u], ["cut-py.zip", /no end record$/u],
                               ["utf8-sfx-short.zip", /: no directory is where its end record says/u]]) {
        await assert.rejects(read(name), why, name);
        assert.notEqual(spawnSync("unzip", ["-l", at(name)]).status, 0, name);
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

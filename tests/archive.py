#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The page's zip reader (zipread.js, over sources.js) and writer (zipwrite.js) under Node,
which has the browser's Blob, fetch and DecompressionStream: on archives made here, names and
heads must be what Python's zipfile reads, damage must be refused with why, a member of 100 MB
must cost no more than its head, served whole or in ranges from 127.0.0.1, and zipfile must
read what the writer writes.

    python3 tests/archive.py MODULES NODE CHROMIUM

MODULES is the build's copy of the page's modules. Only what needs a browser is tried in
headless Chromium, on a page of the modules alone: that a member of 100 MB costs no more than
its head, which only a browser's streams, that wait for their reader, can show.
"""

import base64, io, json, os, pathlib, random, re, shutil, struct, subprocess, sys, tempfile, zipfile, zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page import Browser, Quiet, serve  # noqa: E402

HEAD = 1024
SETUP = """globalThis.counted = 0;  // bytes read from file()'s sources
globalThis.file = async (name) => { const s = archive.fromfile(await readsite(name));
    return { size: s.size, read: (at, n) => (counted += n, s.read(at, n)) }; };
globalThis.b64 = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(""));
globalThis.list = (source) => archive.members(source, %d).then(({ members }) => Promise.all(members.map(async (m) =>
    [m.path, await m.head().then(b64, (e) => "error: " + e.message)])), (e) => "error: " + e.message);""" % HEAD
# What SETUP finds: the modules' functions, and readsite(name), a Blob of the file name
# that the server serves; under Node, read from the site folder, which the driver is given.
GLOBALS = """const [{ members }, { fromfile, fromurl }, { make }] = await Promise.all(
    ["zipread.js", "sources.js", "zipwrite.js"].map((name) => import(`${modules}/${name}`)));
globalThis.archive = { members, fromfile, fromurl: (url) => fromurl(new URL(url, base)) };
globalThis.savezip = { make };"""
# Under Node: SETUP, then an expression, whose value, awaited, it prints as JSON.
DRIVER = """import "%s";
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";
const [folder, site, base, setup, expression] = process.argv.slice(2);
const modules = pathToFileURL(folder).href;
%s
globalThis.readsite = (name) => new Blob([readFileSync(`${site}/${name}`)]);
(0, eval)(setup);
process.stdout.write(JSON.stringify(await (0, eval)(expression)));
""" % (pathlib.Path(__file__).resolve().parent / "web" / "modules.js", GLOBALS)
# A run of node that takes this long has failed: a few seconds are enough.
NODE_SECONDS = 120
# The same in Chromium, for what only a browser shows: a page of the modules alone.
HARNESS = """<!doctype html><meta charset="utf-8"><script type="module">
const [modules, base] = ["./modules", location.href];
%s
globalThis.readsite = async (name) => (await fetch(name)).blob();
globalThis.ready = true;
</script>""" % GLOBALS


class Ranges(Quiet):
    """Python's server, which sends whole files, but answering ranges under /ranged/."""
    def do_GET(self):
        asked = re.fullmatch(r"bytes=(\d*)-(\d*)", self.headers.get("Range", ""))
        if not self.path.startswith("/ranged/") or not asked:
            return super().do_GET()
        data = pathlib.Path(self.directory, self.path[len("/ranged/"):]).read_bytes()
        first, last = asked.groups()
        start, stop = (int(first), int(last) + 1) if first else (max(0, len(data) - int(last)), len(data))
        self.send_response(206)
        self.send_header("Content-Range", "bytes %d-%d/%d" % (start, stop - 1, len(data)))
        self.end_headers()
        self.wfile.write(data[start:stop])


class Pipe(io.BytesIO):
    """Where zipfile cannot seek back: it writes a data descriptor after each member."""
    def seek(self, *args):
        raise OSError("a pipe")


def zipped(members, stream=False):
    """An archive of members, (name, bytes, method); with stream, to a Pipe, with zip64 sizes."""
    out = Pipe() if stream else io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for name, data, method in members:
            z.compression = method
            with z.open(name, "w", force_zip64=stream) as f:
                f.write(data)
    return out.getvalue()


def zip64(name, data):
    """A deflated member with its sizes and offset in a zip64 extra field, and zip64 end records."""
    packed, crc, most = zlib.compress(data, wbits=-15), zlib.crc32(data), 2**32 - 1
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 8, 0, 0x21, crc, len(packed), len(data), len(name), 0) + name + packed
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 8, 0, 0x21, crc, most, most, len(name), 28,
                          0, 0, 0, 0, most) + name + struct.pack("<HHQQQ", 1, 24, len(data), len(packed), 0)
    return local + central + struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, len(central), len(local)) + \
        struct.pack("<IIQI", 0x07064B50, 0, len(local + central), 1) + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, most, most, 0)


def expected(data):
    """What zipfile reads: each member's name and its first HEAD bytes in base64."""
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        return [[i.filename, base64.b64encode(z.open(i).read(HEAD)).decode()] for i in z.infolist() if not i.is_dir()]


def main():
    modules, node, chromium = sys.argv[1:4]
    noise = bytes(random.Random(7).randrange(256) for _ in range(3000))
    text = b"".join(b"row %d of the cave\n" % i for i in range(300))
    S, D = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
    # A name only code page 437 holds, put in afterwards: zipfile flags all but ASCII as UTF-8.
    mixed = zipped([("stored.cav", noise[:1500], S), ("folder/", b"", S), ("folder/deflated.cav", text, D),
                    ("small.cav", text[:700], D), ("ünï-日本.cav", noise[:900], S), ("cafXX.cav", text[:300], D),
                    ("inner.zip", zipped([("in.cav", text, S)]), S)]).replace(b"cafXX", b"caf\x82\xb0")
    # In the directory: the encrypted flag, method 8 made 12, a CRC-32, a stored member's size
    # once inflated; a byte of the data of a deflated and of a stored member.
    damaged = bytearray(mixed)
    for at, flip in ((mixed.rindex(b"stored.cav") - 38, 1), (mixed.rindex(b"folder/deflated.cav") - 36, 4),
                     (mixed.rindex(b"caf\x82\xb0.cav") - 30, 1), (mixed.rindex(b"inner.zip") - 22, 1),
                     (mixed.index(b"small.cav") + 30, 0x55), (mixed.rindex(noise[:900]) + 500, 0x55)):
        damaged[at] ^= flip
    broken = {"stored.cav": "encrypted", "folder/deflated.cav": "method 12 (bzip2)", "small.cav": "damaged",
              "ünï-日本.cav": "CRC-32", "café░.cav": "CRC-32", "inner.zip": "two sizes differ"}
    # After the big member, one that keeps its data out of the tail read with the directory.
    big = zipped([("big.cav", text + bytes(100_000_000), D), ("after.cav", noise * 40, S)])
    archives = {"mixed.zip": mixed, "damaged.zip": bytes(damaged), "big.zip": big,
                "cut.zip": mixed[:zipfile.ZipFile(io.BytesIO(mixed)).start_dir + 60],
                "stream.zip": zipped([("s/deflated.cav", text, D), ("s/stored.cav", noise, S)], stream=True),
                "zip64.zip": zip64(b"sixty-four.cav", text)}
    files = {"b.txt": noise[:100], "a/b.txt": text, "a.txt": b"", "\uff21.txt": b"A", "\U0001f600.txt": b"!"}
    with tempfile.TemporaryDirectory() as root:
        site = pathlib.Path(root, "site")
        site.mkdir()
        for name, data in archives.items():
            (site / name).write_bytes(data)
        shutil.copytree(modules, site / "modules")
        (site / "harness.html").write_text(HARNESS)
        pathlib.Path(root, "driver.mjs").write_text(DRIVER)
        server = serve(site, Ranges)
        base = "http://127.0.0.1:%d/" % server.server_address[1]
        browser = Browser(chromium, os.path.join(root, "profile"))

        def evaluate(expression):
            done = subprocess.run([node, os.path.join(root, "driver.mjs"), modules, site, base, SETUP, expression],
                                  capture_output=True, text=True, timeout=NODE_SECONDS)
            if done.returncode != 0:
                raise RuntimeError("node failed: " + done.stderr)
            return json.loads(done.stdout)
        try:
            browser.page("Page.enable")
            browser.page("Page.navigate", url=base + "harness.html")
            browser.wait("globalThis.ready === true", "the harness's modules")
            browser.evaluate(SETUP)
            got = {name: evaluate("file(%r).then(list)" % name) for name in archives}
            # big.zip is larger than the tail read first; big.zip?whole is not in the cache.
            got["big head"] = browser.evaluate("""file("big.zip").then(async (s) => {
                const { members: [member] } = await archive.members(s, %d);
                counted = 0; return [b64(await member.head()), counted]; })""" % HEAD)
            got["served whole"], got["served in ranges"], made = (
                evaluate(js) for js in (
                    "list(archive.fromurl('big.zip?whole'))", "list(archive.fromurl('ranged/big.zip'))",
                    # Saved twice, in two orders; then more members than an end record counts.
                    """(async () => { const f = %s.map(([path, b]) =>
                        ({ path, bytes: Uint8Array.from(atob(b), (c) => c.charCodeAt(0)) }));
                    return Promise.all([savezip.make(f), savezip.make(f.reverse()), savezip.make(Array.from(
                        { length: 65536 }, (_, i) => ({ path: "r" + (65535 - i), bytes: Uint8Array.of(i & 255) })))]
                        .map(async (z) => b64(new Uint8Array(await z.arrayBuffer())))); })()"""
                    % json.dumps([[k, base64.b64encode(v).decode()] for k, v in files.items()])))
        finally:
            browser.close()
            server.shutdown()
    want = {name: expected(data) for name, data in archives.items() if name not in ("cut.zip", "damaged.zip")}
    want.update({"cut.zip": "refused", "served whole": want["big.zip"], "served in ranges": want["big.zip"],
                 "damaged.zip": [[p, broken.get(p, h)] for p, h in want["mixed.zip"]], "big head": [want["big.zip"][0][1], "less"]})
    got["cut.zip"] = re.sub("^error: .*no end record$", "refused", str(got["cut.zip"]))
    if isinstance(got["damaged.zip"], list):
        got["damaged.zip"] = [[p, broken[p] if broken.get(p, "\0") in h else h] for p, h in got["damaged.zip"]]
    # The big member's head must not read all of its data.
    got["big head"][1] = "less" if got["big head"][1] < zipfile.ZipFile(io.BytesIO(big)).infolist()[0].compress_size else "all"
    with zipfile.ZipFile(io.BytesIO(base64.b64decode(made[0]))) as z:
        got["savezip"] = [made[0] == made[1], z.namelist(), z.testzip(), {n: z.read(n) for n in z.namelist()},
                          {(i.date_time, i.flag_bits, i.extra, i.compress_type, i.create_system, i.external_attr >> 16)
                           for i in z.infolist()}]
        want["savezip"] = [True, sorted(files, key=str.encode), None, files,
                           {((1980, 1, 1, 0, 0, 0), 0x800, b"", S, 3, 0o100644)}]
    with zipfile.ZipFile(io.BytesIO(base64.b64decode(made[2]))) as z:
        # zipfile reads a directory by its size, whatever its count: the zip64 end record's is read here.
        end = z.fp.getvalue()[z.start_dir + sum(len(i.filename) + 46 for i in z.infolist()):]
        got["savezip zip64"] = [len(z.infolist()), z.read("r0"), z.read("r65535"), end[:4] + end[32:40]]
        want["savezip zip64"] = [65536, b"\xff", b"\x00", struct.pack("<IQ", 0x06064B50, 65536)]
    failures = ["%s: got %.300r, expected %.300r" % (k, got[k], want[k]) for k in want if got[k] != want[k]]
    print("\n".join(failures + ["archive: %d passed, %d failed" % (len(want) - len(failures), len(failures))]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

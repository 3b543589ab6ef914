#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How the page runs the program, in headless Chromium: an instance reused gives what
a fresh one gives, file for file; a run that cannot be made fails with why, never
waits for ever; the page opened from disk starts its workers.

    python3 tests/runner.py PAGE SAMPLES CHROMIUM
"""

import base64
import json
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page import Browser, serve  # noqa: E402

# Each file run fresh, then by one instance in order, by another in reverse order and
# by the page's workers; gives the names of the files whose runs differ.
SAME = """(async (files) => {
    const bytes = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
    files = files.map(([path, data]) => [path, bytes(data)]);
    const module = await WebAssembly.compile(bytes(cavedumpwasm));
    const tried = (run, path, data) => { try { return run(path, data); } catch (e) { return e.message; } };
    const fresh = [];
    for (const [path, data] of files) fresh.push(tried(await cavedumpinstance(module), path, data));
    const first = await cavedumpinstance(module), second = await cavedumpinstance(module);
    const forward = files.map(([path, data]) => tried(first, path, data));
    const backward = files.slice().reverse().map(([path, data]) => tried(second, path, data)).reverse();
    const workers = await Promise.all(files.map(([path, data]) => runner.run(path, data).catch((e) => e.message)));
    const text = (run) => JSON.stringify(run, (key, value) => (key === "out" || key === "err" ? String(value) : value));
    return files.filter((_, i) => ![forward, backward, workers].every((runs) => text(fresh[i]) === text(runs[i])))
        .map(([path]) => path.slice(0, 40));
})"""
# Workers that fail at their first job.
BROKEN = """window.Worker = class extends Worker {
    constructor() { super(URL.createObjectURL(new Blob(["onmessage = (e) => { if (!e.data.module) throw 0; };"]))); }
};"""


def files(samples):
    """The samples, and random bytes about the formats' sizes, some after a signature,
    under odd names: blanks, %, not ASCII, a name a folder had before, 16 KiB paths."""
    rng = random.Random(7)
    made = [(n, open(os.path.join(samples, n), "rb").read()) for n in sorted(os.listdir(samples)) if n.endswith(".cav")]
    names = ["a b.cav", "%s%n.cav", "café.cav", "-", "--help", "d/e/f.cav", "d", "\x7f\x01.cav"]
    names += ["/".join(["x" * 250] * 64) + str(i) for i in range(6)]
    for i in range(60):
        data = bytes(rng.randrange(256) for _ in range(rng.choice([0, 1, 497, 498, 503, 504, 1024, 1100])))
        data = rng.choice([b"", b"\xab\xab\xab\xab", b"\x00\xbe"]) + data
        made.append((names[i] if i < len(names) else "r%d.cav" % i, data))
    return [(path, base64.b64encode(data).decode()) for path, data in made]


def main():
    page, samples, binary = sys.argv[1:4]
    failures, browsers = [], []
    sample = json.dumps(list(open(os.path.join(samples, "atari-stairs.cav"), "rb").read()))
    run = "runner.run('x.cav', new Uint8Array(%s)).then((r) => 'status ' + r.status, (e) => e.message)" % sample
    with tempfile.TemporaryDirectory() as root:
        server = serve(page)
        served = "http://127.0.0.1:%d/index.html" % server.server_address[1]

        def opened(url, cores, before=""):
            """A fresh browser showing url, as on a machine of that many cores."""
            browsers.append(Browser(binary, os.path.join(root, str(len(browsers)))))
            browsers[-1].page("Page.addScriptToEvaluateOnNewDocument", source=before +
                              'Object.defineProperty(navigator, "hardwareConcurrency", { value: %d });' % cores)
            browsers[-1].open(url)
            return browsers[-1]
        try:
            chromium = opened(served, 2)
            # The renderer's WebAssembly memories, all taken, leave the worker none to
            # instantiate the program with; given back, they do.
            full = chromium.evaluate("window.taken = []; try { while (taken.length < 5000) "
                                     "taken.push(new WebAssembly.Memory({ initial: 1 })); } catch {} taken.length")
            said = chromium.evaluate(run)
            chromium.evaluate("taken = null")
            chromium.page("HeapProfiler.collectGarbage")
            again = chromium.evaluate(run)
            if "could not run" not in said or "memory" not in said or again != "status 0":
                failures.append("with %d memories taken, a run gave %r, then %r" % (full, said, again))
            differ = chromium.evaluate("%s(%s)" % (SAME, json.dumps(files(samples))))
            if differ != []:
                failures.append("reused, these differ from a fresh run: %r" % differ)
            # Workers that die: their jobs fail, and the page runs the next one itself.
            chromium = opened(served, 2, BROKEN)
            said = chromium.evaluate("Promise.all([1, 2, 3].map(() => %s))" % run)
            if not all("its worker failed" in s for s in said) or chromium.evaluate(run) != "status 0":
                failures.append("with broken workers, runs gave %r" % said)
            # From disk, with three cores: two workers, and the policy refuses nothing.
            chromium = opened("file://" + os.path.abspath(page) + "/index.html", 3)
            said = chromium.evaluate("%s.then((said) => [said, runner.size, window.refused])" % run)
            if said != ["status 0", 2, []]:
                failures.append("from disk: run, workers and refused: %r" % said)
        finally:
            for chromium in browsers:
                chromium.close()
            server.shutdown()
    print("\n".join(failures + ["runner: %d failed" % len(failures)]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

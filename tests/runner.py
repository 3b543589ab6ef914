#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How the page runs the program, in headless Chromium: an instance reused gives what
a fresh one gives, file for file; a run that cannot be made fails with why, never
waits for ever; the page opened from disk starts its workers.

    python3 tests/runner.py PAGE MODULES SAMPLES CHROMIUM

PAGE is the built page, MODULES the build's copies of its modules, which a harness
beside the page imports to run the program as the page does.
"""

import base64
import json
import os
import random
import shutil
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page import Browser, serve  # noqa: E402

# Each file run fresh, then by one instance in order, by another in reverse order and
# by the page's workers; gives the names of the files whose runs differ.
SAME = """(async (files) => {
    const bytes = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
    files = files.map(([path, data]) => [path, bytes(data)]);
    const module = await WebAssembly.compile(bytes(cavedumpwasm));
    const { cavedumpinstance } = await import("./modules/program.js");
    const tried = (run, path, data) => { try { return run(path, data); } catch (e) { return e.message; } };
    const fresh = [];
    for (const [path, data] of files) fresh.push(tried(await cavedumpinstance(module), path, data));
    const first = await cavedumpinstance(module), second = await cavedumpinstance(module);
    const forward = files.map(([path, data]) => tried(first, path, data));
    const backward = files.slice().reverse().map(([path, data]) => tried(second, path, data)).reverse();
    const workers = await Promise.all(files.map(([path, data]) => bridge.run(path, data).catch((e) => e.message)));
    const text = (run) => JSON.stringify(run, (key, value) => (key === "out" || key === "err" ? String(value) : value));
    return files.filter((_, i) => ![forward, backward, workers].every((runs) => text(fresh[i]) === text(runs[i])))
        .map(([path]) => path.slice(0, 40));
})"""
# The harness: the page's scripts that come before its own, and the bridge to the
# workers made from the modules, as the page makes it.
HARNESS = """import { createbridge } from "./modules/bridge.js";
window.bridge = createbridge({ wasm: cavedumpwasm, workercode: cavedumpworker, cores: navigator.hardwareConcurrency });
"""
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
    page, modules, samples, binary = sys.argv[1:5]
    failures, browsers = [], []
    sample = json.dumps(list(open(os.path.join(samples, "atari-stairs.cav"), "rb").read()))
    run = "bridge.run('x.cav', new Uint8Array(%s)).then((r) => 'status ' + r.status, (e) => e.message)" % sample
    with tempfile.TemporaryDirectory() as root:
        site = os.path.join(root, "site")
        shutil.copytree(page, site)
        shutil.copytree(modules, os.path.join(site, "modules"))
        with open(os.path.join(site, "harness.js"), "w") as f:
            f.write(HARNESS)
        with open(os.path.join(page, "index.html")) as f:
            head = f.read().split("<body>")[0]
        with open(os.path.join(site, "harness.html"), "w") as f:
            f.write(head + '<body><p id="cards" data-done="0">' + "".join(
                '<script src="%s"></script>' % n for n in ("cavedumpwasm.js", "cavedumpworker.js", "cavedump.js"))
                + '<script type="module" src="harness.js"></script></body></html>')
        server = serve(site)
        served = "http://127.0.0.1:%d/harness.html" % server.server_address[1]

        def opened(url, cores, before=""):
            """A fresh browser showing url, as on a machine of that many cores."""
            browsers.append(Browser(binary, os.path.join(root, str(len(browsers)))))
            browsers[-1].page("Page.addScriptToEvaluateOnNewDocument", source=before +
                              'Object.defineProperty(navigator, "hardwareConcurrency", { value: %d });' % cores)
            browsers[-1].open(url)
            if url == served:
                browsers[-1].wait("'bridge' in window", "the harness's bridge")
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
            # Workers that die: only the job that a worker died on alone fails; the
            # others of its batch run again, and once workers fail before their first
            # answer as often as there are to be workers, the page runs the rest itself.
            chromium = opened(served, 2, BROKEN)
            said = chromium.evaluate("Promise.all([1, 2, 3].map(() => %s))" % run)
            if not ("its worker failed" in said[0] and said[1:] == ["status 0"] * 2) or chromium.evaluate(run) != "status 0":
                failures.append("with broken workers, runs gave %r" % said)
            # From disk, with three cores: two workers, and the policy refuses nothing.
            chromium = opened("file://" + os.path.abspath(page) + "/index.html", 3)
            chromium.pick([os.path.join(samples, "atari-stairs.cav")], 1)
            workers = [t for t in chromium.call("Target.getTargets")["targetInfos"] if t["type"] == "worker"]
            said = chromium.evaluate("[document.querySelector('.tile .line').textContent, window.refused]")
            if said != ["ATARI cave GLASS STAIRS", []] or len(workers) != 2:
                failures.append("from disk: tile, refused and workers: %r, %d" % (said, len(workers)))
            # A member of 2,000 folders, and one whose name no file system holds, on the
            # page's own thread (one core): no task there may take 100 ms, and the long
            # name's card says what the program says when it cannot open a file.
            deep = os.path.join(root, "deep.zip")
            with zipfile.ZipFile(deep, "w") as z:
                for name in ("first.cav", "a/" * 2000 + "x.cav", "b/" * 2000 + "y.cav", "long/" + "L" * 300 + ".cav"):
                    z.writestr(name, open(os.path.join(samples, "atari-ring.cav"), "rb").read())
            chromium = opened(served.replace("harness", "index"), 1)
            chromium.evaluate("window.long = []; new PerformanceObserver((list) => long.push(...list.getEntries()"
                              ".map((e) => e.duration))).observe({ type: 'longtask' })")
            chromium.pick([deep, os.path.join(samples, "atari-stairs.cav")], 5)
            said = chromium.evaluate("[long, [...document.querySelectorAll('.tile .line')].map((t) => t.textContent)]")
            if max(said[0], default=0) >= 100 or said[1][1:3] != [said[1][0]] * 2 or said[1][3:] != ["no report", "ATARI cave GLASS STAIRS"]:
                failures.append("deep and long names: long tasks and tiles %r" % said)
        finally:
            for chromium in browsers:
                chromium.close()
            server.shutdown()
    print("\n".join(failures + ["runner: %d failed" % len(failures)]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

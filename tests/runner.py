#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""How the page runs the program, in headless Chromium: a run that cannot be made fails
with why and the next one works; the page opened from disk runs its worker, and ends
it once the pick is done; a pick of deep names takes no task of 100 ms on the page's
thread.

    python3 tests/runner.py PAGE MODULES SAMPLES CHROMIUM

PAGE is the built page, MODULES the build's copies of its modules, which a harness
beside the page imports to run the program as the page does. What the program gives
on odd names and random files is judged against the native program under Node
(tests/web/wasi.test.js), and workers that die by the bridge's own test.
"""

import json
import os
import shutil
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page import Browser, serve  # noqa: E402

# The harness: the bridge made from the modules, as the page makes it, with the program
# and the worker's code that the build put beside them.
HARNESS = """import { createbridge } from "./modules/bridge.js";
const [wasm, workercode] = await Promise.all(["cavedump.wasm", "cavedumpworker.txt"].map((name) => fetch(`modules/${name}`)));
window.bridge = createbridge({ module: WebAssembly.compileStreaming(wasm), workercode: await workercode.text() });
"""


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
        head = open(os.path.join(page, "index.html")).read().split("<body>")[0]
        with open(os.path.join(site, "harness.html"), "w") as f:
            f.write(head + '<body><p id="cards" data-done="0"><script type="module" src="harness.js"></script></body></html>')
        server = serve(site)
        served = "http://127.0.0.1:%d/harness.html" % server.server_address[1]

        def opened(url):
            """A fresh browser showing url."""
            browsers.append(Browser(binary, os.path.join(root, str(len(browsers)))))
            browsers[-1].open(url)
            if url == served:
                browsers[-1].wait("'bridge' in window", "the harness's bridge")
            return browsers[-1]
        try:
            chromium = opened(served)
            # The renderer's WebAssembly memories, all taken, leave the worker none to
            # make an instance of the program with; given back, they do.
            full = chromium.evaluate("window.taken = []; try { while (taken.length < 5000) "
                                     "taken.push(new WebAssembly.Memory({ initial: 1 })); } catch {} taken.length")
            got = chromium.evaluate(run)
            chromium.evaluate("taken = null")
            chromium.page("HeapProfiler.collectGarbage")
            again = chromium.evaluate(run)
            if "could not run" not in got or "memory" not in got or again != "status 0":
                failures.append("with %d memories taken, a run gave %r, then %r" % (full, got, again))
            # From disk: a report, which only its worker can have made, the policy refusing
            # nothing, and no worker left once the pick is done.
            chromium = opened("file://" + os.path.abspath(page) + "/index.html")
            chromium.pick([os.path.join(samples, "atari-stairs.cav")], 1)
            workers = [t for t in chromium.call("Target.getTargets")["targetInfos"] if t["type"] == "worker"]
            got = chromium.evaluate("[document.querySelector('.tile .line').textContent, window.refused]")
            if got != ["ATARI cave GLASS STAIRS", []] or len(workers) != 0:
                failures.append("from disk: tile, refused and workers: %r, %d" % (got, len(workers)))
            # Members of 2,000 folders, and one whose name Linux cannot open: no task on
            # the page's thread may take 100 ms, and the long name's card says what the
            # program says when it cannot open a file.
            deep = os.path.join(root, "deep.zip")
            with zipfile.ZipFile(deep, "w") as z:
                for name in ("first.cav", "a/" * 2000 + "x.cav", "b/" * 2000 + "y.cav", "long/" + "L" * 300 + ".cav"):
                    z.writestr(name, open(os.path.join(samples, "atari-ring.cav"), "rb").read())
            chromium = opened(served.replace("harness", "index"))
            chromium.evaluate("window.long = []; new PerformanceObserver((list) => long.push(...list.getEntries()"
                              ".map((e) => e.duration))).observe({ type: 'longtask' })")
            chromium.pick([deep, os.path.join(samples, "atari-stairs.cav")], 5)
            got = chromium.evaluate("[long, [...document.querySelectorAll('.tile .line')].map((t) => t.textContent)]")
            if max(got[0], default=0) >= 100 or got[1][1:3] != [got[1][0]] * 2 or got[1][3:] != ["no report", "ATARI cave GLASS STAIRS"]:
                failures.append("deep and long names: long tasks and tiles %r" % got)
        finally:
            for chromium in browsers:
                chromium.close()
            server.shutdown()
    print("\n".join(failures + ["runner: %d failed" % len(failures)]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

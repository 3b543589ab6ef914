#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Runs one row of page.cases in a fresh headless Chromium, on the files its header
# names, made here, and prints each check that fails.
#
#     python3 tests/web/page.py CASES NAME PAGE SAMPLES GOLDEN CHROMIUM CMAKE
#
# PAGE is the built page's folder, or the download's .zip, which "open: disk" unpacks
# and opens; GOLDEN the samples' expected output, which golden.cmake, run by CMAKE,
# compares with each card's and each saved report's.

import base64, codecs, json, os, pathlib, random, shutil, subprocess, sys, tempfile, time, zipfile  # noqa: E401

from chromium import TOP, Browser, Quiet, serve

# Each tile in turn, built by scrolling to it, opened with a click as a visitor would:
# its path and its card's, the card's two texts, error line and map's "r,g,b" pixels;
# and how far anything, tile or card, runs out sideways.
CARDS = """(async () => {
    const [card, root] = [document.getElementById("card"), document.documentElement];
    const right = (e, box) => e.getBoundingClientRect().right - box.getBoundingClientRect().right;
    let sideways = 0, tile;
    const shown = [];
    for (let at = 0; at < cards.querySelector(".tile")?.getAttribute("aria-setsize"); at++) {
        for (let t = 0; !(tile = cards.querySelector(`.tile[data-index="${at}"]`)) && t < 500; t++)
            cards.querySelector(".tile:last-child").scrollIntoView(), await new Promise((go) => setTimeout(go, 10));
        sideways = Math.max(sideways, right(tile, cards), root.scrollWidth - root.clientWidth);
        tile.click();
        const map = card.querySelector("img.map");
        await map?.decode();
        const canvas = Object.assign(document.createElement("canvas"), { width: map?.naturalWidth, height: map?.naturalHeight });
        if (map) canvas.getContext("2d").drawImage(map, 0, 0);
        const data = map ? canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data : [];
        shown.push({ path: card.dataset.path, tile: tile.dataset.path, report: card.querySelector("pre.report")?.textContent,
            messages: card.querySelector("pre.messages")?.textContent ?? "", error: card.querySelector(".error")?.textContent,
            pixels: [...Array(data.length / 4).keys()].map((i) => [0, 1, 2].map((c) => data[4 * i + c]).join()) });
        sideways = Math.max(sideways, root.scrollWidth - root.clientWidth, ...[...card.querySelectorAll("pre, img")].map((e) =>
            Math.max(right(e, card), getComputedStyle(e).overflowX === "visible" ? e.scrollWidth - e.clientWidth : 0)));
        card.querySelector("button.close").click();
    }
    return [shown, sideways];
})()"""
# The open card: how far its report reaches past its own box, the card or the screen;
# how many lines more than the report's it takes; whether its heading, focused, Close
# and the report's end are on the screen.
FITS = """((card, pre, style, box) => [Math.max(pre.scrollWidth - pre.clientWidth, pre.getBoundingClientRect().right -
    Math.min(innerWidth, box.right)), Math.round((pre.clientHeight - parseFloat(style.paddingTop) - parseFloat(style.paddingBottom))
    / parseFloat(style.lineHeight)) - pre.textContent.replace(/\\n$/, "").split("\\n").length, ...[card.querySelector("h2"),
    card.querySelector(".close"), pre].map((e) => e.getBoundingClientRect().top >= Math.max(0, box.top) &&
    e.getBoundingClientRect().bottom <= Math.min(innerHeight, box.bottom) && (e !== card.firstChild || e === document.activeElement))]
)(card, card.querySelector("pre.report"), getComputedStyle(card.querySelector("pre.report")), card.getBoundingClientRect())"""
# Steps done and checks made by one expression in the page, VALUE the step's value as
# JSON; a check's expression gives what it found, as page.cases writes it.
JS = {
    "tiles": "[...document.querySelectorAll('#cards .tile')].map((t) => t.dataset.path).join(' ')",
    "columns": "String([...cards.querySelectorAll('.tile')].filter((t) => t.offsetTop === cards.firstChild.offsetTop).length)",
    "built": "String(cards.querySelectorAll('.tile').length)", "summary": "summary.textContent", "said": "said.join(' | ')", "refused": "refused.join(' ')", "done": "cards.dataset.done",
    "counts": "[...document.querySelectorAll('#kinds .count')].map((c) => c.textContent).join(' ')",
    "focused": """((e) => e.classList.contains("tile") ? e.dataset.index : e === document.querySelector("#card h2") ?
        "heading@" + e.closest("dialog").dataset.path : e.id ? "#" + e.id : e.tagName.toLowerCase())(document.activeElement)""",
    "caches": "caches.keys().then((names) => String(names.length))",
    "lines": "[...document.querySelectorAll('#cards .tile .line')].map((t) => t.textContent).join(' | ')",
    "longest": "((most) => most < 100 ? VALUE : most + ' ms')(Math.max(0, ...long))",
    # The renderer's WebAssembly memories all taken, so that a worker can make no
    # instance of the program; and given back.
    "starve": """void ((taken) => { try { while (taken.length < 5000) taken.push(new WebAssembly.Memory({ initial: 1 })); } catch {} })(
        window.taken = [])""",
    # Each probe once: an inline script, a string run as code, a fetch of another origin.
    "blocked": """(window.ran ?? (window.ran = [], document.head.append(Object.assign(document.createElement("script"), { textContent:
        "ran.push('inline')" })), setTimeout("ran.push('eval')"), fetch(`http://localhost:${location.port}/`, { mode: "no-cors" })
        .then(() => ran.push("elsewhere"), () => {}))) && [["inline", "script-src-elem"], ["eval", "script-src"], ["elsewhere",
        "connect-src"]].filter(([probe, directive]) => refused.includes(directive) && !ran.includes(probe)).map(([probe]) => probe).join(" ")""",
    "absent": "document.querySelector(VALUE) ? 'present' : VALUE",
    "controlled": "navigator.serviceWorker.controller ? VALUE : 'not served by its worker'",
    "click": "void document.querySelector(VALUE).click()", "focus": "void document.querySelector(VALUE).focus()",
    "clear": "void (clear.focus(), clear.click())", "find": """void ((kind, words) => { search.value = words ?? "";
        document.querySelector(`#kinds input[value=${kind}]`).click(); search.dispatchEvent(new Event("input")); })(...VALUE.split(/ (.*)/))""",
}
KEYS = {"ArrowLeft": 37, "ArrowUp": 38, "ArrowRight": 39, "ArrowDown": 40, "Home": 36, "End": 35,
        "PageUp": 33, "PageDown": 34, "Enter": 13, "Escape": 27, "Space": 32, "Tab": 9, "ShiftTab": 9}
CLOSED = "document.getElementById('card').open || !document.getElementById('card').dataset.path"


# The files of page.cases' header, in root, and the site to serve them and the page from.
def files(root, samples):
    for name in ("atari-ring.cav", "atari-stairs.cav", "kv64-garden.cav", "set/z/atari-ring.cav", "set/atari-stairs.cav",
                 "set/a/b/kv64-garden.cav", "café.cav", "top/tools/cavedump/samples/café.cav"):
        os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
        shutil.copy(os.path.join(samples, sample(name)), os.path.join(root, name))
    with zipfile.ZipFile(os.path.join(root, "caves.zip"), "w") as z:
        z.write(os.path.join(samples, "kv64-garden.cav"), "kv64-garden.cav", zipfile.ZIP_STORED)
        z.mkdir("set1")
        z.write(os.path.join(samples, "atari-stairs.cav"), "set1/atari-stairs.cav", zipfile.ZIP_DEFLATED)
    pathlib.Path(root, "cut.zip").write_bytes(pathlib.Path(root, "caves.zip").read_bytes()[:-30])
    text = b"".join(b"row %d of the cave\n" % i for i in range(300))
    with zipfile.ZipFile(os.path.join(root, "big.zip"), "w") as z:
        z.writestr("big.cav", pathlib.Path(samples, "atari-stairs.cav").read_bytes() + text + bytes(100_000_000), zipfile.ZIP_DEFLATED)
        z.writestr("after.cav", bytes(random.Random(7).randrange(256) for _ in range(3000)) * 40, zipfile.ZIP_STORED)
    with zipfile.ZipFile(os.path.join(root, "deep.zip"), "w") as z:
        for name in ("first.cav", "a/" * 2000 + "x.cav", "b/" * 2000 + "y.cav", "long/" + "L" * 300 + ".cav"):
            z.write(os.path.join(samples, "atari-ring.cav"), name)
    site = os.path.join(root, "top", "tools", "cavedump")
    shutil.copytree(samples, os.path.join(site, "samples"), dirs_exist_ok=True)
    for name in ("caves.zip", "big.zip"):
        shutil.copy(os.path.join(root, name), site)
    return site


# The sample whose bytes the file of path has.
def sample(path):
    return {"café.cav": "atari-ring.cav", "big.cav": "atari-stairs.cav"}.get(os.path.basename(path), os.path.basename(path))


# The steps of the row called name, a setup's first where it has one, as (key, value).
def steps(table, name):
    with open(table, encoding="utf-8") as f:
        rows = {lines[0]: lines[1:] for lines in ([(line.partition(":")[0], line.partition(":")[2].strip()) for line in p.split("\n")
                if line and not line.startswith("#")] for p in f.read().split("\n\n")) if lines}
    found = rows[("case", name)]
    return (rows[("setup", found[0][1])] + found[1:]) if found[:1] and found[0][0] == "after" else found


class Row:
    def __init__(self, root, page, samples, golden, binary, cmake):
        self.root, self.page, self.golden, self.cmake, self.shown = root, page, golden, cmake, {}
        if page.endswith(".zip"):  # the download: one folder, unpacked as a user unpacks it
            with zipfile.ZipFile(page) as z:
                tops = {n.split("/")[0] for n in z.namelist()}
                z.extractall(os.path.join(root, "unpacked"))
            assert len(tops) == 1, "the download holds %d top folders, not one" % len(tops)
            self.page = os.path.join(root, "unpacked", tops.pop())
        self.site, self.servers = files(root, samples), [serve(os.path.join(root, "top"))]
        self.chromium = Browser(binary, os.path.join(root, "profile"))
        self.js, self.wait = self.chromium.evaluate, self.chromium.wait
        self.url = "http://127.0.0.1:%d/tools/cavedump/index.html" % self.servers[0].server_address[1]

    # Why standard output and standard error (bytes) are not the expected files of the
    # sample path stands for, judged by golden.cmake as every other route is; or nothing.
    def differs(self, path, out, err):
        with tempfile.TemporaryDirectory() as folder:
            for data, suffix in ((out, ".out"), (err, ".err")):
                pathlib.Path(folder, "card" + suffix).write_bytes(data)
            done = subprocess.run([self.cmake, "-DACTUAL=" + os.path.join(folder, "card"), "-DNAME=" + path, "-DEXPECTED=" +
                                   os.path.join(self.golden, sample(path)[:-4]), "-P", os.path.join(TOP, "tests", "golden.cmake")],
                                  capture_output=True, text=True, check=False)
        return [done.stderr or "golden.cmake failed and said nothing"] if done.returncode else []

    def open(self, value):
        words = value.split()
        width = int(words[1]) if len(words) > 1 else 1200
        shutil.copytree(self.page, self.site, dirs_exist_ok=True)
        Quiet.ranged = []
        self.js("window.replaced = true")  # until the page asked for has come in place of this one
        self.chromium.open(pathlib.Path(self.site, "index.html").as_uri() if value == "disk" else
                           self.url + ("?" + words[0] if words and value != "app" else ""), width, width < 400)
        self.wait("!window.replaced && cards?.dataset.done !== undefined", "the page's opening")
        self.js("""[window.said, window.settled] = [[], 0]; new MutationObserver(() => said.push(announce.textContent)).observe(announce,
            { childList: true }); new MutationObserver(() => settled++).observe(cards, { attributeFilter: ["data-done"] });
            window.long = []; new PerformanceObserver((list) => long.push(...list.getEntries().map((e) => e.duration)))
            .observe({ type: "longtask" })""")
        if value == "app":
            self.wait("navigator.serviceWorker.ready.then((r) => r.active?.state === 'activated')", "the worker's start")

    def pick(self, value, selector="#pick", wait=True):
        settled = self.js("settled")
        self.chromium.choose([os.path.join(self.root, n) for n in value.split()], selector)
        if wait:
            self.wait("settled > %d && document.getElementById('cancel').hidden" % settled, "the picked files' cards")

    folder = lambda self, value: self.pick(value, "#pickfolder")  # noqa: E731

    def cards(self, value):
        shown, sideways = self.js(CARDS)
        wrong = ["something runs out %d pixels sideways" % sideways] * (sideways > 0)
        for card in (c for c in shown if os.path.exists(os.path.join(self.golden, sample(c["path"])[:-4] + ".out"))):
            wrong += self.differs(card["path"], (card["report"] or "").encode(), card["messages"].encode())
            lines = (card["report"] or "").split("\n")
            top = next((i for i, line in enumerate(lines) if line.endswith("-(2)-")), -1) + 1
            pairs = set(zip("".join(lines[top:top + 23]), card["pixels"]))
            if len(card["pixels"]) != 920 or len(pairs) != len({p[0] for p in pairs}) or len(pairs) != len({p[1] for p in pairs}):
                wrong.append("%s: its map's pixels do not follow its letters" % card["path"])
        self.shown = {c["path"]: c for c in shown}
        return " ".join([c["path"] if c["path"] == c["tile"] else c["tile"] + " shows " + c["path"] for c in shown] + wrong)

    def card(self, value):
        card = self.shown.get(value.split(" = ")[0], {})
        told = "a report" if card.get("report") else codecs.encode(card.get("messages", ""), "unicode_escape").decode()
        return value.split(" = ")[0] + " = " + (told or str(card.get("error")))

    def heard(self, value):
        tile = self.chromium.page("Runtime.evaluate", expression="cards.querySelector('[data-index=\"%s\"]')" % value.split()[0])
        heard = self.chromium.page("Accessibility.getPartialAXTree", fetchRelatives=False, objectId=tile["result"]["objectId"])
        return value.split()[0] + " = " + heard["nodes"][0]["name"]["value"]

    def width(self, value, height=1400):
        self.chromium.page("Emulation.setDeviceMetricsOverride", width=int(value), height=height, deviceScaleFactor=1, mobile=int(value) < 400)
        self.wait("innerWidth === %d" % int(value), "the new width")

    def fits(self, value):
        wrong = []
        for width in value.split():
            self.width(width.rstrip("~"), 800)
            self.js("document.querySelector('#card .close')?.click()")
            self.wait(CLOSED, "the card's closing")
            self.js("scrollTo(0, 0)")
            self.wait("scrollY === 0 && !!cards.querySelector('[data-index=\"0\"]')", "the first tile")
            over, wrapped, heading, close, end = self.js("cards.querySelector('[data-index=\"0\"]').click(), %s" % FITS)
            if over > 0 or (wrapped > 0 and not width.endswith("~")) or not heading or not close or end:
                wrong.append("%s: %d past, %d wrapped, heading %s, Close %s, end %s" % (width, over, wrapped, heading, close, end))
        self.close(value)
        return " ".join(wrong) or value

    def away(self, value):
        self.js("scrollTo(0, 0); cards.querySelector('.tile').focus(); scrollTo(0, document.body.scrollHeight)")
        self.wait("!!cards.querySelector(`[data-index='${cards.firstChild.getAttribute('aria-setsize') - 1}']`)", "the last row")
        return self.js("document.activeElement.dataset.index + ' ' + document.activeElement.offsetTop")

    def axe(self, value):
        return " ".join(self.chromium.axe()) or value

    def close(self, value):
        self.js("document.querySelector('#card .close').click()")
        self.wait(CLOSED, "the card's closing")

    def scheme(self, value):
        self.chromium.page("Emulation.setEmulatedMedia", features=[{"name": "prefers-color-scheme", "value": value}])

    def keys(self, value):
        trail = []
        for name in (press.split("=")[0] for press in value.split()):
            for kind in ("keyDown", "keyUp"):
                self.chromium.page("Input.dispatchKeyEvent", type=kind, key={"Space": " ", "ShiftTab": "Tab"}.get(name, name),
                                   windowsVirtualKeyCode=KEYS[name], modifiers=8 * (name == "ShiftTab"), code=name.replace("Shift", ""),
                                   text={"Enter": "\r", "Space": " "}.get(name, "") if kind == "keyDown" else "")
            self.wait(CLOSED, "the card's closing")  # in a task of its own: a person's next key comes after it
            trail.append(name + "=" + self.js(JS["focused"]))
        return " ".join(trail)

    def cancel(self, value):
        self.js("pick.addEventListener('change', () => { window.cancelled = true; cancel.focus(); cancel.click(); })")
        self.pick(value, wait=False)
        self.wait("window.cancelled && document.getElementById('cancel').hidden", "the cancelled batch's end")

    def saved(self, value):
        folder = os.path.join(self.root, "saved")
        self.chromium.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=folder)
        self.js("document.getElementById('save-all').click()")
        while not os.path.exists(os.path.join(folder, "cavedump-reports.zip")):
            assert time.monotonic() < self.chromium.deadline, "the saved .zip did not come in time"
            time.sleep(0.1)
        with zipfile.ZipFile(os.path.join(folder, "cavedump-reports.zip")) as z:
            members = {i.filename: z.read(i) for i in z.infolist()}
        pairs = [(w.split(">")[0], w.split(">")[-1]) for w in value.split()]
        wrong = [why for path, stem in pairs for why in self.differs(path, members.pop(stem + ".txt", b"none"),
                                                                      members.pop(stem + ".messages.txt", b"none"))]
        index = [line.split("\t")[:2] for line in members.pop("index.txt", b"").decode().splitlines()]
        wrong += ["index %r" % index] * (index != [[p, s + ".txt"] for p, s in pairs]) + ["more: %r" % sorted(members)] * bool(members)
        return "; ".join(wrong) or value

    def shot(self, value):
        pathlib.Path(value).write_bytes(base64.b64decode(self.chromium.page("Page.captureScreenshot", format="png")["data"]))

    def installable(self, value):
        errors = self.chromium.page("Page.getInstallabilityErrors")["installabilityErrors"]
        return "not installable: %r" % errors if errors else value

    def offline(self, value):
        self.servers[-1].shutdown()
        self.servers[-1].server_close()
        self.chromium.page("Network.clearBrowserCache")  # what is left is the worker's
        self.open("app")

    def deploy(self, value):
        index = pathlib.Path(self.site, "index.html")
        index.write_text(index.read_text(encoding="utf-8").replace("</footer>", " (new)</footer>"), encoding="utf-8")
        subprocess.run([self.cmake, "-DPAGE=" + self.site, "-DFILES=" + ";".join(sorted(set(os.listdir(self.page)) - {"sw.js"})),
                        "-DTEMPLATE=" + os.path.join(TOP, "web", "sw.js"), "-P", os.path.join(TOP, "web", "precache.cmake")], check=True)
        self.servers.append(serve(os.path.join(self.root, "top"), port=self.servers[0].server_address[1]))
        self.js("document.dispatchEvent(new Event('visibilitychange'))")
        self.wait("!document.getElementById('updating').hidden", "the notice of a new version")

    def update(self, value):
        hidden, label, _ = self.js("update.click(), [losing.hidden, update.textContent, update.click()]")
        self.wait("document.querySelector('footer')?.textContent.endsWith('(new)') && cards?.dataset.done !== undefined", "the new version")
        return "the warning hidden" if hidden else label

    def feed(self, value):
        self.js("taken = null")
        self.chromium.page("HeapProfiler.collectGarbage")

    def workers(self, value):
        return str(sum(t["type"] == "worker" for t in self.chromium.call("Target.getTargets")["targetInfos"]))

    def ranged(self, value):
        after = sum(stop - start for start, stop in Quiet.ranged[1:])
        return value if after < int(value.split()[1]) else "%d bytes after the tail" % after


def main():
    table, name, *rest = sys.argv[1:8]
    failures, key = [], "start"
    with tempfile.TemporaryDirectory() as root:
        row = Row(root, *rest)
        try:
            for key, value in steps(table, name):
                got = row.js(JS[key].replace("VALUE", json.dumps(value))) if key in JS else getattr(row, key)(value)
                later = time.monotonic() + 3  # what the page shows a task or a frame later
                while key in JS and got not in (None, value) and time.monotonic() < later:
                    time.sleep(0.1)
                    got = row.js(JS[key].replace("VALUE", json.dumps(value)))
                if got is not None and got != value:
                    failures.append("%s: %r, expected %r" % (key, got, value))
        except Exception as e:  # a step that cannot be done ends the row, which fails
            failures.append("%s: %s: %s" % (key, type(e).__name__, e))
        finally:
            row.chromium.close()
            row.servers[-1].shutdown()
    print("\n".join(failures + ["page.%s: %d failed" % (name, len(failures))]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The web page in a real browser: headless Chromium opens the built page from a
server of our own on 127.0.0.1, with ?cave= for each sample, a bad URL among them and
a copy of one under a name that is not ASCII; then the same samples are picked with
the page's file input, and a folder of them with its folder input. Every card must show
the program's standard output and standard error exactly as the expected files hold
them, and a map whose pixels follow the report's letters; the page must keep to its
Content-Security-Policy and, 320 pixels wide, must not scroll sideways. The server and
the browser are started and stopped here, on loopback only, each with a time limit.

    python3 tests/page.py PAGE SAMPLES GOLDEN CHROMIUM CMAKE [--screenshot FILE]

PAGE is the built page's folder, SAMPLES the cave files, GOLDEN their expected output,
which golden.cmake, run by CMAKE, compares with each card's.
With --screenshot, FILE gets a picture of the page's gallery of the samples instead,
and FILE with -phone before its suffix the same 375 pixels wide, a card open.
"""

import base64
import collections
import fcntl
import functools
import http.server
import io
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

BROWSER_SECONDS = 90


# What the test reads off the page, opening each tile's card with a click as a visitor
# would: the card's path and the tile's, its two pre texts as text, its map's pixels as
# "#rrggbb" colours, and its error line; #cards' count of files finished; the CSP in
# force and anything it refused; and whether anything, tile or card, runs out sideways.
CARDS = """(async () => {
    const grid = document.getElementById("cards");
    const card = document.getElementById("card");
    const frame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
    const right = (e, box) => e.getBoundingClientRect().right - box.getBoundingClientRect().right;
    const root = document.documentElement;
    let sideways = 0;
    const built = grid.querySelectorAll(".tile").length;
    const cards = [];
    for (let at = 0; at < Number(grid.dataset.done); at++) {
        let tile;
        for (let tries = 0; !(tile = grid.querySelector(`.tile[data-index="${at}"]`)) && tries < 50; tries++) {
            grid.querySelector(".tile:last-child").scrollIntoView();
            await frame();
        }
        sideways = Math.max(sideways, right(tile, grid), root.scrollWidth - root.clientWidth);
        tile.click();
        const map = card.querySelector("img.map");
        cards.push({
            name: card.dataset.path, tile: tile.dataset.path,
            report: card.querySelector("pre.report")?.textContent ?? "",
            messages: card.querySelector("pre.messages")?.textContent ?? "",
            error: card.querySelector(".error")?.textContent ?? "",
            pixels: !map ? [] : await (async () => {
                await map.decode();
                const canvas = document.createElement("canvas");
                [canvas.width, canvas.height] = [map.naturalWidth, map.naturalHeight];
                const context = canvas.getContext("2d");
                context.drawImage(map, 0, 0);
                const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
                return [...Array(data.length / 4).keys()].map((i) => "#" + [0, 1, 2].map((c) =>
                    data[4 * i + c].toString(16).padStart(2, "0")).join(""));
            })(),
        });
        // A report or map past its card's edge, or the page wider than the screen.
        sideways = Math.max(sideways, root.scrollWidth - root.clientWidth, ...[...card.querySelectorAll("pre, img")].map((e) =>
            Math.max(right(e, card), getComputedStyle(e).overflowX === "visible" ? e.scrollWidth - e.clientWidth : 0)));
        card.querySelector("button.close").click();
    }
    return {
        done: grid.dataset.done, built, cards, sideways,
        csp: document.querySelector("meta[http-equiv='Content-Security-Policy']")?.content ?? "",
        refused: window.refused, said: window.said,
    };
})()"""


def readcards(browser):
    """Every file's card on the page that browser shows, in the gallery's order."""
    return browser.evaluate(CARDS)


# The filter set to a kind and the search to words: the summary line, the filter's
# counts and the tiles left.
FIND = """(async (kind, words) => {
    document.querySelector(`#kinds input[value="${kind}"]`).click();
    document.getElementById("search").value = words;
    document.getElementById("search").dispatchEvent(new Event("input"));
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
    return [document.getElementById("summary").textContent,
            [...document.querySelectorAll("#kinds .count")].map((c) => c.textContent).join(" "),
            [...document.querySelectorAll("#cards .tile")].map((t) => t.dataset.path)];
})(%s)"""
KEYS = {"ArrowLeft": 37, "ArrowUp": 38, "ArrowRight": 39, "ArrowDown": 40, "Home": 36, "End": 35,
        "PageUp": 33, "PageDown": 34, "Enter": 13, "Escape": 27, " ": 32, "Tab": 9, "ShiftTab": 9}
# The open card, measured: how far its report reaches past its own box (its scrollWidth
# against its width), past the card or past the screen, in pixels; how many lines more
# than the report's it takes; whether its heading is on the screen with the focus; and
# whether Close is on the screen while the report's end is still below.
FITS = """((card, pre, style, box) => [Math.max(pre.scrollWidth - pre.clientWidth, pre.getBoundingClientRect().right -
    Math.min(innerWidth, box.right)), Math.round((pre.clientHeight - parseFloat(style.paddingTop) - parseFloat(style.paddingBottom))
    / parseFloat(style.lineHeight)) - pre.textContent.replace(/\\n$/, "").split("\\n").length, ...[card.querySelector("h2"),
    card.querySelector(".close"), pre].map((e) => e.getBoundingClientRect().top >= Math.max(0, box.top) &&
    e.getBoundingClientRect().bottom <= Math.min(innerHeight, box.bottom) && (e !== card.firstChild || e === document.activeElement))]
)(card, card.querySelector("pre.report"), getComputedStyle(card.querySelector("pre.report")), card.getBoundingClientRect())"""


def keys(browser, names):
    """Presses each key of names in turn, as a keyboard would; gives where each left the
    focus (a tile's place, the card's "heading" or a tag) and the open card's path."""
    trail = []
    for name in names:
        for kind in ("keyDown", "keyUp"):
            browser.page("Input.dispatchKeyEvent", type=kind, key=name[-3:] if name == "ShiftTab" else name, windowsVirtualKeyCode=KEYS[name],
                         modifiers=8 * (name == "ShiftTab"), code={" ": "Space", "ShiftTab": "Tab"}.get(name, name),
                         text={"Enter": "\r", " ": " "}.get(name, "") if kind == "keyDown" else "")
        # A card's closing ends in a task of its own, which empties it: wait for that,
        # as a person's next key would come after it.
        browser.wait("document.getElementById('card').open || !document.getElementById('card').dataset.path", "the card's closing")
        trail.append(browser.evaluate("""[document.activeElement.dataset.index ?? (document.activeElement ===
             document.querySelector("#card h2") ? "heading" : document.activeElement.tagName),
             document.getElementById("card").open ? document.getElementById("card").dataset.path : null]"""))
    return trail


def saveall(browser, folder):
    """The bytes of the archive that #save-all saves into folder."""
    browser.call("Browser.setDownloadBehavior", behavior="allow", downloadPath=folder)
    browser.evaluate("document.getElementById('save-all').click()")
    saved = os.path.join(folder, "cavedump-reports.zip")
    while not os.path.exists(saved):
        if time.monotonic() > browser.deadline:
            raise TimeoutError("the saved archive did not come in time")
        time.sleep(0.1)
    with open(saved, "rb") as f:
        return f.read()


# Set before the page's own scripts run: whatever the CSP refuses is kept.
WATCH = """window.refused = [];
document.addEventListener("securitypolicyviolation", (e) => window.refused.push(e.violatedDirective));"""


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder, handler=Quiet, port=0):
    """A server of folder on 127.0.0.1 (at port, or any free one), in a thread of its
    own until its shutdown()."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class Browser:
    """Headless Chromium, driven through its DevTools protocol on a pair of pipes (its
    descriptors 3 and 4), so that the test can wait for the page to finish its work."""

    def __init__(self, binary, profile):
        self.deadline = time.monotonic() + BROWSER_SECONDS
        commands, self.commands = os.pipe()
        self.replies, replies = os.pipe()
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD, 100) for fd in (commands, replies)]

        def wire():
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)

        self.process = subprocess.Popen(
            [binary, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-sync",
             "--disable-component-update", "--user-data-dir=" + profile,
             "--window-size=1200,1400", "--remote-debugging-pipe", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=wire, pass_fds=(3, 4), start_new_session=True)
        for fd in (commands, replies, *high):
            os.close(fd)
        self.buffer, self.next, self.thrown = b"", 0, []
        pages = [t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        self.session = self.call("Target.attachToTarget", targetId=pages[0]["targetId"],
                                 flatten=True)["sessionId"]
        # Whatever the page throws and nothing catches, an exception or a rejected
        # promise, fails the next evaluate() and close(): no test passes over it.
        self.page("Runtime.enable")

    def call(self, method, session=None, **params):
        self.next += 1
        message = {"id": self.next, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.buffer:
                left = self.deadline - time.monotonic()
                if left <= 0 or not select.select([self.replies], [], [], left)[0]:
                    raise TimeoutError("chromium did not answer %s in time" % method)
                chunk = os.read(self.replies, 65536)
                if not chunk:
                    raise EOFError("chromium ended")
                self.buffer += chunk
            reply, self.buffer = self.buffer.split(b"\0", 1)
            reply = json.loads(reply)
            # A rejection that finds its handler only later counts too: the page would
            # have shown it as an error all the same.
            if reply.get("method") == "Runtime.exceptionThrown":
                thrown = reply["params"]["exceptionDetails"]
                self.thrown.append(thrown["text"] + " " + thrown.get("exception", {}).get("description", ""))
            if reply.get("id") == self.next:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def page(self, method, **params):
        return self.call(method, session=self.session, **params)

    def evaluate(self, expression):
        """The value of expression in the page, awaited; an exception it throws is raised
        here."""
        reply = self.page("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in reply:
            raise RuntimeError("the page threw: %s" % reply["exceptionDetails"].get("exception", {}).get(
                "description", reply["exceptionDetails"]["text"]))
        self.uncaught()
        return reply["result"].get("value")

    # What axe-core (as npm ci installs it beside the sources) finds in the page as it is
    # now, by every rule it has, experimental ones too: each rule broken, and where.
    def axe(self):
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "node_modules/axe-core/axe.min.js")) as f:
            return self.evaluate("""(window.axe ? Promise.resolve() : Promise.resolve(eval(%s))).then(() => axe.run(document,
                { runOnly: axe.getRules().map((r) => r.ruleId) })).then((found) => found.violations.map((v) => v.id + ": " +
                v.nodes.map((n) => n.target).join(" ")))""" % json.dumps(f.read()))

    # Raises what the page has thrown uncaught since it was last asked.
    def uncaught(self):
        thrown, self.thrown = self.thrown, []
        if thrown:
            raise RuntimeError("the page threw uncaught: " + "; ".join(thrown))

    def wait(self, expression, what):
        """Waits until expression is true in the page, within the browser's time limit."""
        while not self.evaluate(expression):
            if time.monotonic() > self.deadline:
                raise TimeoutError(what + " did not happen in time")
            time.sleep(0.1)

    def open(self, url, width=1200, mobile=False):
        """Opens url at width pixels and waits until its cards are all shown."""
        self.page("Emulation.setDeviceMetricsOverride", width=width, height=1400,
                  deviceScaleFactor=1, mobile=mobile)
        self.page("Page.enable")
        self.page("Page.addScriptToEvaluateOnNewDocument", source=WATCH)
        self.page("Page.navigate", url=url)
        self.wait("document.getElementById('cards')?.dataset.done !== undefined", "the page's first cards")

    def choose(self, paths, selector="#pick"):
        """Gives paths to one of the page's file inputs, as a visitor picks them."""
        # The input is named by a handle of the page's own script, not by a node of
        # DevTools' copy of the document, which a page just opened may still replace;
        # nor does DevTools then follow every node the page adds, as no visitor's
        # browser does.
        node = self.page("Runtime.evaluate", expression="document.querySelector(%s)" % json.dumps(selector))
        self.page("DOM.setFileInputFiles", objectId=node["result"]["objectId"], files=paths)

    def pick(self, paths, count, selector="#pick"):
        """Picks paths with one of the page's file inputs, as a visitor would, and waits
        for count more files."""
        cards = int(self.evaluate("document.getElementById('cards').dataset.done"))
        self.choose(paths, selector)
        self.wait("document.getElementById('cards').dataset.done === '%d'" % (cards + count),
                  "the picked files' cards")

    def close(self):
        """Ends Chromium and every process it started, and waits until they have all
        exited: its helpers write to the profile too, and one still writing there would
        race the removal of that folder."""
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait(timeout=BROWSER_SECONDS)
        deadline = time.monotonic() + BROWSER_SECONDS
        while running(self.process.pid):
            if time.monotonic() > deadline:
                raise TimeoutError("chromium's helper processes did not end in time")
            time.sleep(0.02)
        os.close(self.commands)
        os.close(self.replies)
        self.uncaught()


def running(group):
    """Whether a process of the process group is still running. One that has exited
    but is not yet reaped (a helper whose parent has gone) counts as ended."""
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry, encoding="ascii", errors="replace") as f:
                stat = f.read()
        except (OSError, ValueError):
            continue
        # After the name in parentheses: state, parent and process group.
        state, _, pgrp = stat[stat.rindex(")") + 2:].split()[:3]
        if int(pgrp) == group and state != "Z":
            return True
    return False


def differs(cmake, golden, name, out, err):
    """Whether a file's standard output and standard error (bytes) differ from its
    sample's expected files, judged by golden.cmake as every other route is."""
    sample = {"café.cav": "atari-ring.cav"}.get(name.split("/")[-1], name.split("/")[-1])
    with tempfile.TemporaryDirectory() as folder:
        actual = os.path.join(folder, "card")
        for data, suffix in ((out, ".out"), (err, ".err")):
            with open(actual + suffix, "wb") as f:
                f.write(data)
        done = subprocess.run([cmake, "-DACTUAL=" + actual, "-DNAME=" + name,
                               "-DEXPECTED=" + os.path.join(golden, sample[:-len(".cav")]),
                               "-P", os.path.join(os.path.dirname(__file__), "golden.cmake")],
                              capture_output=True, text=True, check=False)
    return done.returncode != 0 and (done.stderr or "golden.cmake failed and said nothing")


def main():
    page, samples, golden, browser, cmake = sys.argv[1:6]
    screenshot = sys.argv[7] if sys.argv[6:7] == ["--screenshot"] else None
    names = sorted(n for n in os.listdir(samples) if n.endswith(".cav"))
    with tempfile.TemporaryDirectory() as root:
        site = os.path.join(root, "site")
        shutil.copytree(page, site)
        shutil.copytree(samples, os.path.join(site, "samples"))
        shutil.copy(os.path.join(samples, "atari-ring.cav"), os.path.join(site, "samples", "café.cav"))
        # A folder to pick: its files in an order that is not the order of their paths.
        folder = os.path.join(root, "set")
        for place in ("set/z/" + names[0], "set/" + names[1], "set/a/b/" + names[2]):
            os.makedirs(os.path.join(root, os.path.dirname(place)), exist_ok=True)
            shutil.copy(os.path.join(samples, os.path.basename(place)), os.path.join(root, place))
        # An archive with a folder, a stored and a deflated member, and one cut short in
        # its central directory.
        zipped = os.path.join(root, "caves.zip")
        with zipfile.ZipFile(zipped, "w") as archive:
            archive.write(os.path.join(samples, names[2]), names[2], zipfile.ZIP_STORED)
            archive.mkdir("set1")
            archive.write(os.path.join(samples, names[1]), "set1/" + names[1], zipfile.ZIP_DEFLATED)
        with open(zipped, "rb") as whole, open(os.path.join(root, "cut.zip"), "wb") as cut:
            cut.write(whole.read()[:-30])
        shutil.copy(zipped, site)
        server = serve(site)
        chromium = Browser(browser, os.path.join(root, "profile"))
        try:
            base = "http://127.0.0.1:%d/index.html?" % server.server_address[1]
            if screenshot:
                # The gallery of the samples and a folder of them; narrow, a card open.
                for width, mobile, path in ((1200, False, screenshot),
                                            (375, True, "-phone".join(os.path.splitext(screenshot)))):
                    chromium.open(base + "&".join("cave=samples/" + n for n in names), width, mobile)
                    chromium.pick([folder], 3, "#pickfolder")
                    if mobile:
                        chromium.evaluate("document.querySelector('.tile[data-index=\"1\"]').click()")
                    shot = chromium.page("Page.captureScreenshot", format="png")["data"]
                    with open(path, "wb") as f:
                        f.write(base64.b64decode(shot))
                    print("page: screenshot in %s" % path)
                return 0
            # A bad URL between good ones, a name that is not ASCII, and an archive.
            wanted = ["samples/" + names[0], "%25ff.cav", "samples/caf%C3%A9.cav"] + ["samples/" + n for n in names[1:]] + ["caves.zip"]
            chromium.open(base + "&".join("cave=" + w for w in wanted), 320, True)
            heard = chromium.page("Accessibility.getPartialAXTree", fetchRelatives=False, objectId=chromium.page(
                "Runtime.evaluate", expression="document.querySelector('.tile[data-index=\"3\"]')")["result"]["objectId"])
            # The same files once more, picked: each gets a card of its own; then a folder;
            # then two archives, what a screen reader hears of them kept.
            chromium.pick([os.path.abspath(os.path.join(samples, n)) for n in names], len(names))
            chromium.pick([folder], 3, "#pickfolder")
            # A good archive before another item, then a damaged one.
            chromium.evaluate("window.said = []; new MutationObserver(() => said.push(announce.textContent)).observe(announce, { childList: true })")
            chromium.pick([zipped, os.path.join(root, "cut.zip")], 3)
            shown = readcards(chromium)
            # The card of the widest report, at each width; the first tile focused and the
            # page scrolled to its end; the page then, at 320 pixels.
            fits = {}
            for width in (1280, 768, 375, 320):
                chromium.page("Emulation.setDeviceMetricsOverride", width=width, height=800, deviceScaleFactor=1, mobile=width < 400)
                fits[width] = chromium.evaluate("""document.querySelector('#card .close')?.click(); scrollTo(0, 0); new Promise((go) => requestAnimationFrame(() =>
                    requestAnimationFrame(go))).then(() => { document.querySelector('[data-index="0"]').click(); return %s; })""" % FITS)
            chromium.evaluate("document.querySelector('#card .close').click()")
            away = chromium.evaluate("""(async (frame) => { scrollTo(0, 0); await frame(); document.querySelector('.tile').focus(); scrollTo(0,
                document.body.scrollHeight); await frame(); await frame(); return [document.activeElement.dataset.index, document.activeElement
                .offsetTop]; })(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve))))""")
            audits = {"320 px": chromium.axe()}
            # The rest at a width of several tiles a row.
            chromium.page("Emulation.setDeviceMetricsOverride", width=1200, height=1400,
                          deviceScaleFactor=1, mobile=False)
            found = [chromium.evaluate(FIND % ("%r, %r" % pair)) for pair in
                     (("atari", "ring"), ("all", "SET/"), ("all", ""))]
            columns = chromium.evaluate("""[...document.querySelectorAll(".tile")].filter((t) =>
                t.offsetTop === document.querySelector(".tile").offsetTop).length""")
            audits["gallery"] = chromium.axe()
            chromium.evaluate("document.querySelector('.tile').focus()")
            trail = keys(chromium, ["ArrowRight", "ArrowDown", "ArrowLeft", "End", "Home", "ArrowRight",
                                    "ArrowRight", "Enter", "Escape", "ArrowUp", "ArrowDown", " ", "Escape",
                                    "PageDown", "PageUp", "ArrowRight", "ShiftTab", "Tab"])
            for state, scheme, tile in (("dark scheme", "dark", "#none"), ("dark scheme, a card open", "dark", ".tile"),
                                        ("card open", "light", ".tile"), ("a damaged archive's tile", "light", "[data-path='cut.zip']")):
                chromium.page("Emulation.setEmulatedMedia", features=[{"name": "prefers-color-scheme", "value": scheme}])
                chromium.evaluate("document.querySelector(%r)?.click()" % tile)
                audits[state] = chromium.axe()
                chromium.evaluate("document.querySelector('#card .close')?.click()")
            saved = saveall(chromium, os.path.join(root, "saved"))
            # Cancel pressed as a pick starts: once it hides, the focus is on a tile.
            chromium.evaluate("pick.addEventListener('change', () => { window.cancelled = true; cancel.focus(); cancel.click(); })")
            chromium.choose([os.path.abspath(os.path.join(samples, n)) for n in names])
            chromium.wait("window.cancelled && document.getElementById('cancel').hidden", "the cancelled batch's end")
            # Then Clear, which turns itself off: the focus goes to the file chooser.
            cancelled, *cleared = chromium.evaluate("""[document.activeElement.className, clear.focus(), clear.click(),
                document.getElementById('cards').dataset.done,
                document.querySelectorAll('.tile').length, document.getElementById('summary').textContent,
                document.activeElement.id, document.getElementById('clear').disabled]""")
            audits["empty"] = chromium.axe()
        finally:
            chromium.close()
            server.shutdown()

    cards = shown["cards"]
    good = [names[0], "café.cav"] + names[1:] + names + sorted(["set/z/" + names[0], "set/" + names[1], "set/a/b/" + names[2]])
    zipped = ["caves.zip/" + names[2], "caves.zip/set1/" + names[1]]
    good[len(names) + 1:len(names) + 1] = zipped  # named by ?cave=, then picked
    good += zipped
    order = good[:1] + ["%ff.cav"] + good[1:] + ["cut.zip"]
    failures = []
    if shown["done"] != str(len(order)):
        failures.append("the page did not finish: data-done is %r" % shown["done"])
    if not 0 < shown["built"] < len(order):
        failures.append("%d tiles of %d are built, not those of the rows near the screen" % (shown["built"], len(order)))
    if [c["name"] for c in cards] != order or [c["tile"] for c in cards] != order:
        failures.append("cards %r, tiles %r, expected %r" % ([c["name"] for c in cards], [c["tile"] for c in cards], order))
    elif "not a URL" not in cards[1]["error"] or not cards[-1]["error"]:
        failures.append("the bad URL's card says %r, the cut archive's %r" % (cards[1]["error"], cards[-1]["error"]))
    elif heard["nodes"][0]["name"]["value"] != "atari-stairs.cav ATARI cave GLASS STAIRS":
        failures.append("a screen reader hears the tile of atari-stairs.cav as %r" % heard["nodes"][0]["name"])
    if any(d not in shown["csp"] for d in ("default-src 'self'", "'wasm-unsafe-eval'")) or \
            "unsafe-inline" in shown["csp"] or shown["refused"]:
        failures.append("CSP %r refused %r" % (shown["csp"], shown["refused"]))
    if shown["sideways"] > 0:
        failures.append("320 pixels wide, something runs out %d pixels sideways" % shown["sideways"])
    # The filter and the search: each kind's count among the files the search finds,
    # by path or by cave name, and the summary of the tiles left.
    caves = {"atari-ring.cav": "ring", "café.cav": "ring", "atari-stairs.cav": "glass stairs"}
    kinds = {n: "neither" if n in ("%ff.cav", "cut.zip") else "kv64" if "kv64" in n else "atari" for n in order}
    tally = lambda some: [sum(kinds[n] == k for n in some) for k in ("atari", "kv64", "neither")]  # noqa: E731
    for (kind, words), got in zip((("atari", "ring"), ("all", "SET/"), ("all", "")), found):
        hits = [n for n in order if words.lower() in n.lower() or words.lower() in caves.get(n.split("/")[-1], "")]
        left = [n for n in hits if kind in ("all", kinds[n])]
        want = ["%d file%s: %d ATARI, %d KV64, %d neither" % (len(left), "s"[len(left) == 1:], *tally(left)) +
                (" (of %d)" % len(order) if len(left) < len(order) else ""), " ".join(map(str, [len(hits)] + tally(hits))), left]
        if got != want:
            failures.append("%s %r shows %r, expected %r" % (kind, words, got, want))
    # The keyboard: arrows move by one and by a row, Enter and Space open the card,
    # Escape closes it and gives the focus back to the tile.
    # PageDown goes a screen's rows down, here to the last tile, and PageUp back up to
    # the first row; the gallery is one Tab stop, entered at the tile last left.
    c, last = columns, len(order) - 1
    expected = [[str(i), None] for i in (1, 1 + c, c, last, 0, 1, 2)] + [["heading", order[2]], ["2", None],
                ["2", None], [str(2 + c), None], ["heading", order[2 + c]]] + [[str(i), None] for i in (2 + c, last,
                last % c, last % c + 1)] + [["SUMMARY", None], [str(last % c + 1), None]]
    if columns < 2 or trail != expected:
        failures.append("keys went %r, expected %r (%d columns)" % (trail, expected, columns))
    if away != ["0", 0] or cancelled != "tile":  # offsetTop: the tile kept in its own place
        failures.append("the focus, scrolled away from the first tile, is on %r; after Cancel on %r" % (away, cancelled))
    # Every character of the report on the screen at every width, no line wrapped from
    # 768 pixels up; the heading focused in view, and Close in view over the report.
    for width, (over, wrapped, heading, close, report) in fits.items():
        print("page: the card %d pixels wide: %d past its box, %d lines wrapped, heading %s, Close %s" % (width, over, wrapped, heading, close))
        failures += ["the card at %d pixels is cut, wrapped, or hides its heading or Close" % width] * (
            over > 0 or (wrapped > 0 and width >= 768) or not heading or not close or report)
    failures += ["axe, %s: %s" % (state, v) for state, violations in audits.items() for v in violations]
    if shown["said"] != ["Reading 2 files.", "3 files: 1 ATARI, 1 KV64, 1 neither."]:
        failures.append("a screen reader heard %r of two archives" % shown["said"])
    # Save all: PATH.txt and PATH.messages.txt for each file run, a path given again
    # with "%(2)", and index.txt, a line for each.
    with zipfile.ZipFile(io.BytesIO(saved)) as archive:
        members = {info.filename: archive.read(info) for info in archive.infolist()}
    seen = collections.Counter()
    for name in good:
        seen[name] += 1
        stem = name + ("%%(%d)" % seen[name] if seen[name] > 1 else "")
        why = differs(cmake, golden, name, members.pop(stem + ".txt", b"none"), members.pop(stem + ".messages.txt", b"none"))
        if why:
            failures.append("saved %s: %s" % (stem, why))
    index = [line.split("\t")[:2] for line in members.pop("index.txt", b"").decode().splitlines()]
    if index != [[name, name + ("%%(%d)" % k if k > 1 else "") + ".txt"]
                 for name, k in zip(good, (good[:i + 1].count(n) for i, n in enumerate(good)))] or members:
        failures.append("saved more than asked: %r, or an index of %r" % (sorted(members), index))
    if cleared != [None, None, "0", 0, "", "pick", True]:
        failures.append("after Clear: data-done, tiles, summary, focus and Clear off are %r" % cleared)
    passed, whole = 0, len(failures)  # whole: failures of the page, not of one card
    checked = [card for card in cards if card["name"] in good]
    for card in checked:
        wrong = [why for why in [differs(cmake, golden, card["name"], card["report"].encode("utf-8"),
                                         card["messages"].encode("utf-8"))] if why]
        # The map: 23 rows of 40 pixels, a colour for each letter and a letter for each colour.
        lines = card["report"].split("\n")
        top = next(i for i, line in enumerate(lines) if line.endswith("-(2)-")) + 1
        letters = "".join(lines[top:top + 23])
        pairs = set(zip(letters, card["pixels"]))
        if len(card["pixels"]) != 920 or len(pairs) != len({p[0] for p in pairs}) or \
                len(pairs) != len({p[1] for p in pairs}):
            wrong.append("%s: the map's %d pixels do not follow the report's letters" % (card["name"], len(card["pixels"])))
        passed += not wrong
        failures += wrong
    for failure in failures:
        print(failure)
    print("page: %d passed, %d failed" % (passed, len(checked) - passed + whole))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

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
With --screenshot, FILE gets a picture of the page showing the first sample instead,
and FILE with -phone before its suffix the same 375 pixels wide.
"""

import base64
import fcntl
import functools
import http.server
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time

BROWSER_SECONDS = 90


# What the test reads off the page: each card's title, its two pre texts as text, its
# map's pixels as "#rrggbb" colours, and its error line; #cards' count of files shown;
# the CSP in force and anything it refused; and whether anything runs out sideways.
CARDS = """(async () => ({
    done: document.getElementById("cards").dataset.done,
    cards: await Promise.all([...document.querySelectorAll(".card")].map(async (card) => ({
        name: card.querySelector("h2").textContent,
        report: card.querySelector("pre.report")?.textContent ?? "",
        messages: card.querySelector("pre.messages")?.textContent ?? "",
        error: card.querySelector(".error")?.textContent ?? "",
        pixels: await (async () => {
            const map = card.querySelector("img.map");
            if (!map) return [];
            map.loading = "eager";
            await map.decode();
            const canvas = document.createElement("canvas");
            [canvas.width, canvas.height] = [map.naturalWidth, map.naturalHeight];
            const context = canvas.getContext("2d");
            context.drawImage(map, 0, 0);
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            return [...Array(data.length / 4).keys()].map((i) => "#" + [0, 1, 2].map((c) =>
                data[4 * i + c].toString(16).padStart(2, "0")).join(""));
        })(),
    }))),
    csp: document.querySelector("meta[http-equiv='Content-Security-Policy']")?.content ?? "",
    refused: window.refused,
    // How far the page, or a report or map past its card's edge, runs out sideways.
    sideways: Math.max(document.documentElement.scrollWidth - document.documentElement.clientWidth,
        ...[...document.querySelectorAll(".card pre, .card img")].map((e) => Math.max(
            e.getBoundingClientRect().right - e.closest(".card").getBoundingClientRect().right,
            getComputedStyle(e).overflowX === "visible" ? e.scrollWidth - e.clientWidth : 0))),
}))()"""
# Set before the page's own scripts run: whatever the CSP refuses is kept.
WATCH = """window.refused = [];
document.addEventListener("securitypolicyviolation", (e) => window.refused.push(e.violatedDirective));"""


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


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
            preexec_fn=wire, pass_fds=(3, 4))
        for fd in (commands, replies, *high):
            os.close(fd)
        self.buffer, self.next = b"", 0
        pages = [t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        self.session = self.call("Target.attachToTarget", targetId=pages[0]["targetId"],
                                 flatten=True)["sessionId"]

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
            if reply.get("id") == self.next:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply["result"]

    def page(self, method, **params):
        return self.call(method, session=self.session, **params)

    def evaluate(self, expression):
        return self.page("Runtime.evaluate", expression=expression, awaitPromise=True,
                         returnByValue=True)["result"].get("value")

    def open(self, url, width=1200, mobile=False):
        """Opens url at width pixels and waits until its cards are all shown."""
        self.page("Emulation.setDeviceMetricsOverride", width=width, height=1400,
                  deviceScaleFactor=1, mobile=mobile)
        self.page("Page.enable")
        self.page("Page.addScriptToEvaluateOnNewDocument", source=WATCH)
        self.page("Page.navigate", url=url)
        while self.evaluate("document.getElementById('cards')?.dataset.done ?? null") is None:
            if time.monotonic() > self.deadline:
                raise TimeoutError("the page did not finish in time")
            time.sleep(0.1)

    def pick(self, paths, count, selector="#pick"):
        """Picks paths with one of the page's file inputs, as a visitor would, and waits
        for count more cards."""
        cards = self.evaluate("document.querySelectorAll('.card').length")
        root = self.page("DOM.getDocument")["root"]["nodeId"]
        node = self.page("DOM.querySelector", nodeId=root, selector=selector)["nodeId"]
        self.page("DOM.setFileInputFiles", nodeId=node, files=paths)
        # DevTools would otherwise follow every node the page adds, as no visitor's
        # browser does.
        self.page("DOM.disable")
        while self.evaluate("document.getElementById('cards').dataset.done") != str(cards + count):
            if time.monotonic() > self.deadline:
                raise TimeoutError("the picked files were not all shown in time")
            time.sleep(0.1)

    def close(self):
        self.process.kill()
        self.process.wait(timeout=BROWSER_SECONDS)
        os.close(self.commands)
        os.close(self.replies)


def differs(cmake, golden, card, folder):
    """Whether a card's report and messages differ from its sample's expected files,
    judged by golden.cmake as every other route is."""
    sample = {"café.cav": "atari-ring.cav"}.get(card["name"].split("/")[-1], card["name"].split("/")[-1])
    actual = os.path.join(folder, "card")
    for part, suffix in (("report", ".out"), ("messages", ".err")):
        with open(actual + suffix, "wb") as f:
            f.write(card[part].encode("utf-8"))
    done = subprocess.run([cmake, "-DACTUAL=" + actual, "-DNAME=" + card["name"],
                           "-DEXPECTED=" + os.path.join(golden, sample[:-len(".cav")]),
                           "-P", os.path.join(os.path.dirname(__file__), "golden.cmake")],
                          capture_output=True, text=True, check=False)
    return done.returncode != 0 and done.stderr


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
        handler = functools.partial(Quiet, directory=site)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        chromium = Browser(browser, os.path.join(root, "profile"))
        try:
            base = "http://127.0.0.1:%d/index.html?" % server.server_address[1]
            if screenshot:
                for width, mobile, path in ((1200, False, screenshot),
                                            (375, True, "-phone".join(os.path.splitext(screenshot)))):
                    chromium.open(base + "cave=samples/" + names[0], width, mobile)
                    shot = chromium.page("Page.captureScreenshot", format="png")["data"]
                    with open(path, "wb") as f:
                        f.write(base64.b64decode(shot))
                    print("page: screenshot in %s" % path)
                return 0
            # A bad URL between good ones, and a name that is not ASCII.
            wanted = ["samples/" + names[0], "%25ff.cav", "samples/caf%C3%A9.cav"] + ["samples/" + n for n in names[1:]]
            chromium.open(base + "&".join("cave=" + w for w in wanted), 320, True)
            # The same files once more, picked: each gets a card of its own; then a folder.
            chromium.pick([os.path.abspath(os.path.join(samples, n)) for n in names], len(names))
            chromium.pick([folder], 3, "#pickfolder")
            shown = chromium.evaluate(CARDS)
        finally:
            chromium.close()
            server.shutdown()

    cards = shown["cards"]
    good = [names[0], "café.cav"] + names[1:] + names + sorted(["set/z/" + names[0], "set/" + names[1], "set/a/b/" + names[2]])
    failures = []
    if shown["done"] != str(len(good) + 1):
        failures.append("the page did not finish: data-done is %r" % shown["done"])
    if [c["name"] for c in cards] != good[:1] + ["%ff.cav"] + good[1:]:
        failures.append("cards %r, expected %r" % ([c["name"] for c in cards], good))
    elif "not a URL" not in cards[1]["error"]:
        failures.append("the bad URL's card says %r" % cards[1]["error"])
    if any(d not in shown["csp"] for d in ("default-src 'self'", "'wasm-unsafe-eval'")) or \
            "unsafe-inline" in shown["csp"] or shown["refused"]:
        failures.append("CSP %r refused %r" % (shown["csp"], shown["refused"]))
    if shown["sideways"] > 0:
        failures.append("320 pixels wide, something runs out %d pixels sideways" % shown["sideways"])
    passed, whole = 0, len(failures)  # whole: failures of the page, not of one card
    for card in cards[:1] + cards[2:]:
        with tempfile.TemporaryDirectory() as folder:
            wrong = [why for why in [differs(cmake, golden, card, folder)] if why]
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
    print("page: %d passed, %d failed" % (passed, len(cards) - 1 - passed + whole))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

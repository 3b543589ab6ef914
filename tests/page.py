#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The web page in a real browser: headless Chromium opens the built page from a
server of our own on 127.0.0.1, with ?cave= for each sample, then the same samples are
picked with the page's file input, and every card must show
the program's standard output and standard error exactly as the expected files hold
them, and a map picture of 880 + 40 tiles. The server and the browser are started and
stopped here, on loopback only, each with a time limit.

    python3 tests/page.py PAGE SAMPLES GOLDEN CHROMIUM [--screenshot FILE]

PAGE is the built page's folder, SAMPLES the cave files, GOLDEN their expected output.
With --screenshot, FILE gets a picture of the page showing the first sample instead.
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


# What the test reads off the page: each card's title, its two pre texts as text, and
# the number of tiles in its picture; and #cards' count of ?cave= files shown.
CARDS = """({
    done: document.getElementById("cards").dataset.done,
    cards: [...document.querySelectorAll(".card")].map((card) => ({
        name: card.querySelector("h2").textContent,
        report: card.querySelector("pre.report")?.textContent ?? "",
        messages: card.querySelector("pre.messages")?.textContent ?? "",
        tiles: card.querySelectorAll(".map span").length,
    })),
})"""


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
        return self.page("Runtime.evaluate", expression=expression,
                         returnByValue=True)["result"].get("value")

    def open(self, url):
        """Opens url and waits until its cards are all shown."""
        self.page("Page.navigate", url=url)
        while self.evaluate("document.getElementById('cards')?.dataset.done ?? null") is None:
            if time.monotonic() > self.deadline:
                raise TimeoutError("the page did not finish in time")
            time.sleep(0.1)

    def pick(self, paths):
        """Picks files with the page's file input, as a visitor would, and waits for
        their cards."""
        cards = self.evaluate("document.querySelectorAll('.card button').length")
        root = self.page("DOM.getDocument")["root"]["nodeId"]
        node = self.page("DOM.querySelector", nodeId=root, selector="#pick")["nodeId"]
        self.page("DOM.setFileInputFiles", nodeId=node, files=paths)
        while self.evaluate("document.querySelectorAll('.card button').length") < cards + len(paths):
            if time.monotonic() > self.deadline:
                raise TimeoutError("the picked files were not all shown in time")
            time.sleep(0.1)

    def close(self):
        self.process.kill()
        self.process.wait(timeout=BROWSER_SECONDS)
        os.close(self.commands)
        os.close(self.replies)


def main():
    page, samples, golden, browser = sys.argv[1:5]
    screenshot = sys.argv[6] if sys.argv[5:6] == ["--screenshot"] else None
    names = sorted(n for n in os.listdir(samples) if n.endswith(".cav"))
    with tempfile.TemporaryDirectory() as root:
        site = os.path.join(root, "site")
        shutil.copytree(page, site)
        shutil.copytree(samples, os.path.join(site, "samples"))
        handler = functools.partial(Quiet, directory=site)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        chromium = Browser(browser, os.path.join(root, "profile"))
        try:
            base = "http://127.0.0.1:%d/index.html?" % server.server_address[1]
            if screenshot:
                chromium.open(base + "cave=samples/" + names[0])
                shot = chromium.page("Page.captureScreenshot", format="png")["data"]
                with open(screenshot, "wb") as f:
                    f.write(base64.b64decode(shot))
                print("page: screenshot in %s" % screenshot)
                return 0
            chromium.open(base + "&".join("cave=samples/" + n for n in names))
            # The same files once more, picked: each gets a card of its own.
            chromium.pick([os.path.abspath(os.path.join(samples, n)) for n in names])
            shown = chromium.evaluate(CARDS)
        finally:
            chromium.close()
            server.shutdown()

    cards = shown["cards"]
    failures = []
    if shown["done"] != str(len(names)):
        failures.append("the page did not finish: data-done is %r" % shown["done"])
    if [c["name"] for c in cards] != names * 2:
        failures.append("cards %r, expected %r" % ([c["name"] for c in cards], names * 2))
    passed, whole = 0, len(failures)  # whole: failures of the page, not of one card
    for card in cards:
        wrong = []
        base = os.path.join(golden, card["name"][:-len(".cav")])
        for part, suffix in (("report", ".out"), ("messages", ".err")):
            with open(base + suffix, encoding="latin-1") as f:
                expected = f.read()
            if card[part] != expected:
                wrong.append("%s: pre.%s differs from %s:\n%r\n%r" % (
                    card["name"], part, base + suffix, card[part][:300], expected[:300]))
        if card["tiles"] != 880 + 40:
            wrong.append("%s: the picture holds %d tiles" % (card["name"], card["tiles"]))
        passed += not wrong
        failures += wrong
    for failure in failures:
        print(failure)
    print("page: %d passed, %d failed" % (passed, len(cards) - passed + whole))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

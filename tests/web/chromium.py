#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Headless Chromium for the page's tests and benchmarks, driven through its DevTools
# protocol, and a server of our own on 127.0.0.1 to open the page from; each with a time
# limit. page.py runs the rows of page.cases with them.

import fcntl, functools, http.server, json, os, pathlib, re, select, signal, subprocess, threading, time  # noqa: E401

BROWSER_SECONDS = 90
TOP = str(pathlib.Path(__file__).resolve().parents[2])
# Set before the page's own scripts run: whatever the CSP refuses is kept.
WATCH = """window.refused = [];
document.addEventListener("securitypolicyviolation", (e) => window.refused.push(e.violatedDirective));"""


# Python's server, which sends whole files, but answering ranges of what it serves under
# a folder ranged/ that is not there, and noting each range it answers.
class Quiet(http.server.SimpleHTTPRequestHandler):
    ranged = []

    def log_message(self, *args):
        pass

    def do_GET(self):
        asked = re.fullmatch(r"bytes=(\d*)-(\d*)", self.headers.get("Range", ""))
        if "/ranged/" not in self.path or not asked:
            return super().do_GET()
        data = pathlib.Path(self.translate_path(self.path.replace("/ranged/", "/"))).read_bytes()
        first, last = asked.groups()
        start, stop = (int(first), min(len(data), int(last) + 1)) if first else (max(0, len(data) - int(last)), len(data))
        self.send_response(206)
        self.send_header("Content-Range", "bytes %d-%d/%d" % (start, stop - 1, len(data)))
        self.end_headers()
        self.wfile.write(data[start:stop])
        Quiet.ranged.append((start, stop))


# A server of folder on 127.0.0.1 (at port, or any free one), in a thread of its own
# until its shutdown().
def serve(folder, handler=Quiet, port=0):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# Headless Chromium, driven through its DevTools protocol on a pair of pipes (its
# descriptors 3 and 4), so that a test can wait for the page to finish its work.
class Browser:
    def __init__(self, binary, profile):
        self.deadline = time.monotonic() + BROWSER_SECONDS
        commands, self.commands = os.pipe()
        self.replies, replies = os.pipe()
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD, 100) for fd in (commands, replies)]
        self.process = subprocess.Popen(
            [binary, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-sync", "--disable-component-update", "--user-data-dir=" + profile,
             "--window-size=1200,1400", "--remote-debugging-pipe", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=lambda: (os.dup2(high[0], 3), os.dup2(high[1], 4)), pass_fds=(3, 4), start_new_session=True)
        for fd in (commands, replies, *high):
            os.close(fd)
        self.buffer, self.next, self.thrown = b"", 0, []
        pages = [t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        self.session = self.call("Target.attachToTarget", targetId=pages[0]["targetId"], flatten=True)["sessionId"]
        # Whatever the page throws and nothing catches, an exception or a rejected
        # promise, fails the next evaluate() and close(): no test passes over it.
        self.page("Runtime.enable")

    def call(self, method, session=None, **params):
        self.next += 1
        message = dict({"id": self.next, "method": method, "params": params}, **({"sessionId": session} if session else {}))
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

    # The value of expression in the page, awaited; an exception it throws is raised here.
    def evaluate(self, expression):
        reply = self.page("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
        if "exceptionDetails" in reply:
            raise RuntimeError("the page threw: %s" % reply["exceptionDetails"].get("exception", {}).get(
                "description", reply["exceptionDetails"]["text"]))
        self.uncaught()
        return reply["result"].get("value")

    # What axe-core (as npm ci installs it beside the sources) finds in the page as it is
    # now, by every rule it has, experimental ones too: each rule broken, and where.
    def axe(self):
        with open(os.path.join(TOP, "node_modules/axe-core/axe.min.js")) as f:
            return self.evaluate("""(window.axe ? Promise.resolve() : Promise.resolve(eval(%s))).then(() => axe.run(document,
                { runOnly: axe.getRules().map((r) => r.ruleId) })).then((found) => found.violations.map((v) => v.id + ": " +
                v.nodes.map((n) => n.target).join(" ")))""" % json.dumps(f.read()))

    # Raises what the page has thrown uncaught since it was last asked.
    def uncaught(self):
        thrown, self.thrown = self.thrown, []
        if thrown:
            raise RuntimeError("the page threw uncaught: " + "; ".join(thrown))

    # Waits until expression is true in the page, within the browser's time limit.
    def wait(self, expression, what):
        while not self.evaluate(expression):
            if time.monotonic() > self.deadline:
                raise TimeoutError(what + " did not happen in time")
            time.sleep(0.1)

    # Opens url at width pixels (a phone's screen with mobile) and waits for its cards.
    def open(self, url, width=1200, mobile=False):
        self.page("Emulation.setDeviceMetricsOverride", width=width, height=1400, deviceScaleFactor=1, mobile=mobile)
        self.page("Page.enable")
        self.page("Page.addScriptToEvaluateOnNewDocument", source=WATCH)
        self.page("Page.navigate", url=url)
        self.wait("document.getElementById('cards')?.dataset.done !== undefined", "the page's first cards")

    # Gives paths to one of the page's file inputs, as a visitor picks them. The input is
    # named by a handle of the page's own script, not by a node of DevTools' copy of the
    # document, which a page just opened may still replace; nor does DevTools then
    # follow every node the page adds, as no visitor's browser does.
    def choose(self, paths, selector="#pick"):
        node = self.page("Runtime.evaluate", expression="document.querySelector(%s)" % json.dumps(selector))
        self.page("DOM.setFileInputFiles", objectId=node["result"]["objectId"], files=paths)

    # Ends Chromium and every process it started, and waits until they have all exited
    # (one that has exited but is not yet reaped counts as ended): its helpers write to
    # the profile too, and one still writing there would race the removal of that folder.
    def close(self):
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.process.wait(timeout=BROWSER_SECONDS)
        deadline = time.monotonic() + BROWSER_SECONDS
        while any(group(entry) == self.process.pid for entry in filter(str.isdigit, os.listdir("/proc"))):
            if time.monotonic() > deadline:
                raise TimeoutError("chromium's helper processes did not end in time")
            time.sleep(0.02)
        os.close(self.commands)
        os.close(self.replies)
        self.uncaught()


# The process group of a process that runs (after its name in parentheses in its stat:
# its state, parent and process group), or None.
def group(pid):
    try:
        stat = pathlib.Path("/proc", pid, "stat").read_text(encoding="ascii", errors="replace")
    except (OSError, ValueError):
        return None
    state, _, pgrp = stat[stat.rindex(")") + 2:].split()[:3]
    return int(pgrp) if state != "Z" else None

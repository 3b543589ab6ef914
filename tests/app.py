#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The page as a product, in headless Chromium, driven as page.py drives it.

    python3 tests/app.py download ZIP SAMPLES GOLDEN CHROMIUM CMAKE
    python3 tests/app.py served PAGE SAMPLES GOLDEN CHROMIUM CMAKE

download: the page's .zip is unpacked into a fresh folder and opened from disk
(file://), as a user opens it; the samples are picked, and each card must be what
golden.cmake expects.

served: the page is served from a folder below the top of a server on 127.0.0.1
and, once its service worker is active, Chromium must report no reason it could not
be installed. Then the server is stopped and the page opened again: it must open,
and the samples picked there must give exact cards. Then a new version is deployed
(the page's files changed, its worker written again by the build's own script) and
the server started again: the open page must say so, and its #update button must
load the new version.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

from page import Browser, differs, readcards, serve


def reopen(chromium, url):
    """Opens url in place of the page open now, and waits for the new page's cards."""
    chromium.evaluate("window.replaced = true")
    chromium.open(url)
    chromium.wait("!window.replaced && document.getElementById('cards')?.dataset.done !== undefined",
                  "opening " + url)


def picked(chromium, samples, golden, cmake, route):
    """Picks every sample and gives why each card is not as expected, if it is not."""
    names = sorted(n for n in os.listdir(samples) if n.endswith(".cav"))
    chromium.pick([os.path.join(samples, n) for n in names], len(names))
    cards = readcards(chromium)["cards"]
    wrong = [] if [c["name"] for c in cards] == names else ["%s: cards %r" % (route, [c["name"] for c in cards])]
    for card in cards:
        why = differs(cmake, golden, card["name"], card["report"].encode(), card["messages"].encode())
        wrong += [route + ": " + why] if why else []
    return wrong


def download(archive, samples, golden, browser, cmake, root):
    with zipfile.ZipFile(archive) as z:
        tops = {name.split("/")[0] for name in z.namelist()}
        z.extractall(os.path.join(root, "unpacked"))
    if len(tops) != 1:
        return ["%s holds %d top folders, not one" % (archive, len(tops))]
    index = pathlib.Path(root, "unpacked", tops.pop(), "index.html").resolve()
    chromium = Browser(browser, os.path.join(root, "profile"))
    try:
        chromium.open(index.as_uri())
        # From disk there is neither manifest nor service worker, and nothing refused.
        quiet = chromium.evaluate("!document.querySelector('link[rel=manifest]') && !window.refused.length")
        return picked(chromium, samples, golden, cmake, "from disk") + ([] if quiet else [
            "from disk: a manifest was linked or the CSP refused something"])
    finally:
        chromium.close()


def served(page, samples, golden, browser, cmake, root):
    # Below the server's top, as on a host of many tools: nothing may assume the top.
    top = os.path.join(root, "site")
    site = os.path.join(top, "tools", "cavedump")
    shutil.copytree(page, site)
    server = serve(top)
    port = server.server_address[1]
    url = "http://127.0.0.1:%d/tools/cavedump/index.html" % port
    chromium = Browser(browser, os.path.join(root, "profile"))
    failures = []
    try:
        chromium.open(url)
        chromium.wait("navigator.serviceWorker.ready.then((r) => r.active?.state === 'activated')",
                      "the service worker's activation")
        errors = chromium.page("Page.getInstallabilityErrors")["installabilityErrors"]
        if errors:
            failures.append("not installable: %r" % errors)

        # Offline: with the server gone, the page opens from its worker's cache.
        server.shutdown()
        server.server_close()
        reopen(chromium, url)
        if not chromium.evaluate("!!navigator.serviceWorker.controller"):
            failures.append("offline: the page is not served by its worker")
        failures += picked(chromium, samples, golden, cmake, "offline")

        # A new version: the page's files change and its worker is written anew.
        with open(os.path.join(site, "index.html"), encoding="utf-8") as f:
            text = f.read()
        with open(os.path.join(site, "index.html"), "w", encoding="utf-8") as f:
            f.write(text.replace("</footer>", " (new)</footer>"))
        files = sorted(set(os.listdir(site)) - {"sw.js"})
        subprocess.run([cmake, "-DPAGE=" + site, "-DFILES=" + ";".join(files),
                        "-DTEMPLATE=" + os.path.join(os.path.dirname(__file__), "..", "web", "sw.js"),
                        "-P", os.path.join(os.path.dirname(__file__), "..", "web", "precache.cmake")],
                       check=True)
        server = serve(top, port=port)
        # The page looks for a new version whenever it comes back into view.
        chromium.evaluate("document.dispatchEvent(new Event('visibilitychange'))")
        chromium.wait("!document.getElementById('updating').hidden", "the notice of a new version")
        # Files are shown: the notice says they would go, and Update asks once more.
        chromium.evaluate("document.getElementById('update').click()")
        asked = chromium.evaluate("[losing.hidden, update.textContent, update.click()]")
        failures += ["with files shown, the notice's warning is hidden and Update says: %r" % asked] * (asked != [False, "Clear them and update", None])
        chromium.wait("document.querySelector('footer')?.textContent.endsWith('(new)') &&"
                      " document.getElementById('cards')?.dataset.done !== undefined", "the reload into the new version")
        caches = chromium.evaluate("caches.keys()")
        if len(caches) != 1:
            failures.append("after the update the caches are %r, not the new one alone" % caches)
    finally:
        chromium.close()
        server.shutdown()
    return failures


def main():
    mode, where, samples, golden, browser, cmake = sys.argv[1:7]
    with tempfile.TemporaryDirectory() as root:
        failures = {"download": download, "served": served}[mode](where, samples, golden, browser, cmake, root)
    for failure in failures:
        print(failure)
    print("app %s: %d passed, %d failed" % (mode, 0 if failures else 1, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

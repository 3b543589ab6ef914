// SPDX-License-Identifier: MIT
// app.js - the page as an app, where it is served (https, or http on this machine):
// links its manifest, so that the browser offers to install it, and registers its
// service worker (sw.js), which keeps the page for use offline. When a new version has
// been deployed, the worker of that version waits, and a line says so, with a button
// that hands the page over to it and reloads; nothing changes under a page until then.
// While files are shown or being read, the line says that updating clears them, and
// the button asks once more before it does.
// Opened from disk, there is neither manifest nor worker, and nothing is said of them.

import { byid } from "./dom.js";

/** Links the manifest and registers the service worker, where the page is served;
 * busy says whether the page has files that an update would clear.
 * @param {() => boolean} busy */
export function install(busy) {
    if (location.protocol === "file:" || !("serviceWorker" in navigator)) return;
    const manifest = document.createElement("link");
    manifest.rel = "manifest";
    manifest.href = "manifest.webmanifest";
    document.head.append(manifest);

    const notice = byid("updating");
    const update = byid("update");
    let asked = false;
    let warned = false; // the button has asked once more
    // The new version has taken over: this page asked for it, so load it. A page that
    // did not ask (another window did) keeps what it has until it is reloaded.
    navigator.serviceWorker.addEventListener("controllerchange", () => {
        if (asked) location.reload();
    });

    // The worker and the files it keeps are fetched past the HTTP cache, so that a new
    // version is seen as soon as it is deployed: on opening, whenever the page comes
    // back into view, and every hour it stays open. The worker of the version ready to
    // take over is the registration's waiting one.
    navigator.serviceWorker.register("sw.js", { updateViaCache: "none" }).then((registration) => {
        // The first version of a page has no version before it to replace.
        function offer() {
            if (navigator.serviceWorker.controller) notice.hidden = false;
        }
        if (registration.waiting) offer();
        registration.addEventListener("updatefound", () => {
            const installing = registration.installing;
            installing?.addEventListener("statechange", () => {
                if (installing.state === "installed") offer();
            });
        });
        update.addEventListener("click", () => {
            if (busy() && !warned) {
                warned = true;
                update.textContent = "Clear them and update";
                return;
            }
            asked = true;
            registration.waiting?.postMessage("update");
        });
        const check = () => registration.update().catch(() => {}); // offline: try later
        document.addEventListener("visibilitychange", () => {
            if (document.visibilityState === "visible") check();
        });
        setInterval(check, 60 * 60 * 1000);
    }, () => {}); // no worker (a browser that refuses it): the page works as it is
}

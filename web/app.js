// SPDX-License-Identifier: MIT
// app.js - the page as an app, where it is served (https, or http on this machine):
// links its manifest, so that the browser offers to install it, and registers its
// service worker (sw.js), which keeps the page for use offline. When a new version has
// been deployed, the worker of that version waits, and a line says so, with a button
// that hands the page over to it and reloads; nothing changes under a page until then.
// Opened from disk, there is neither manifest nor worker, and nothing is said of them.

import { byid } from "./dom.js";

/** Links the manifest and registers the service worker, where the page is served. */
export function install() {
    if (location.protocol === "file:" || !("serviceWorker" in navigator)) return;
    const manifest = document.createElement("link");
    manifest.rel = "manifest";
    manifest.href = "manifest.webmanifest";
    document.head.append(manifest);

    const notice = byid("updating");
    /** @type {ServiceWorker | null} */
    let waiting = null; // the worker of the version ready to take over
    let asked = false;
    /** @param {ServiceWorker} worker */
    function offer(worker) {
        // The first version of a page has no version before it to replace.
        if (!navigator.serviceWorker.controller) return;
        waiting = worker;
        notice.hidden = false;
    }
    byid("update").addEventListener("click", () => {
        asked = true;
        waiting?.postMessage("update");
    });
    // The new version has taken over: this page asked for it, so load it. A page that
    // did not ask (another window did) keeps what it has until it is reloaded.
    navigator.serviceWorker.addEventListener("controllerchange", () => {
        if (asked) location.reload();
    });

    // The worker and the files it keeps are fetched past the HTTP cache, so that a new
    // version is seen as soon as it is deployed: on opening, whenever the page comes
    // back into view, and every hour it stays open.
    navigator.serviceWorker.register("sw.js", { updateViaCache: "none" }).then((registration) => {
        if (registration.waiting) offer(registration.waiting);
        registration.addEventListener("updatefound", () => {
            const installing = registration.installing;
            installing?.addEventListener("statechange", () => {
                if (installing.state === "installed") offer(installing);
            });
        });
        const check = () => registration.update().catch(() => {}); // offline: try later
        document.addEventListener("visibilitychange", () => {
            if (document.visibilityState === "visible") check();
        });
        setInterval(check, 60 * 60 * 1000);
    }, () => {}); // no worker (a browser that refuses it): the page works as it is
}

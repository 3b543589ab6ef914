// SPDX-License-Identifier: MIT
// sw.js - the page's service worker, where the page is served: keeps every file of the
// page in a cache of this version, serves them from there first, so that the page
// opens and works with the server gone, and takes over from an older version only when
// the page asks (its #update button), so that no open page has its files swapped
// under it. The build writes the version, a hash of the page's files, and their list.
"use strict";

const version = "@CAVEDUMP_PAGEHASH@";
const files = [@CAVEDUMP_PAGELIST@];

// One cache a version, named after the folder the page is served from too, so that
// copies of the page at two paths of one host keep out of each other's way.
const prefix = `cavedump ${registration.scope} `;
const cache = prefix + version;
const here = new Set(files.map((file) => new URL(file, registration.scope).href));
const start = new URL("index.html", registration.scope).href;

// The files are fetched past the HTTP cache, so that a new version is not mixed with
// pieces of an old one that the browser kept.
addEventListener("install", (event) => {
    event.waitUntil(caches.open(cache).then((open) =>
        open.addAll(files.map((file) => new Request(file, { cache: "reload" })))));
});

addEventListener("activate", (event) => {
    event.waitUntil(caches.keys().then((names) => Promise.all(names
        .filter((name) => name.startsWith(prefix) && name !== cache)
        .map((name) => caches.delete(name)))));
});

addEventListener("message", (event) => {
    if (event.data === "update") skipWaiting();
});

// The page's own files come from the cache; the page's folder and index.html with any
// ?cave= come as index.html. Everything else, the cave files that ?cave= names among
// them, goes to the network as it would without this worker.
addEventListener("fetch", (event) => {
    const url = new URL(event.request.url);
    url.search = "";
    url.hash = "";
    const wanted = url.href === registration.scope ? start : url.href;
    if (event.request.method !== "GET" || !here.has(wanted)) return;
    event.respondWith(caches.open(cache)
        .then((open) => open.match(wanted))
        .then((cached) => cached ?? fetch(event.request)));
});

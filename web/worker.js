// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page beside it, on a core of its own: each
// message is one job, { id, path, bytes }, answered by { id, run } or { id, error }.
"use strict";
importScripts("cavedumpwasm.js", "cavedump.js", "program.js");

onmessage = ({ data: { id, path, bytes } }) => {
    cavedump(path, bytes).then((run) => postMessage({ id, run }),
                               (e) => postMessage({ id, error: String(e && e.message ? e.message : e) }));
};

// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page beside it, on a core of its own: each
// message is a list of jobs, { id, path, file } or { id, path, bytes }, and each job
// is answered, in order, by { id, run } or { id, error }.
"use strict";
importScripts("cavedumpwasm.js", "cavedump.js", "program.js");

onmessage = ({ data: jobs }) => {
    runall(jobs).forEach((run, i) => run.then(
        (result) => postMessage({ id: jobs[i].id, run: result }),
        (e) => postMessage({ id: jobs[i].id, error: String(e && e.message ? e.message : e) })));
};

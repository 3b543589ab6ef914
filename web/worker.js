// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page, on a thread of its own. The build puts
// this file after the program's runtime and program.js into the one script a worker
// is started from. The first message is the program's module, compiled by the page;
// each one after it is a job, { id, path, bytes }, answered by { id, run } or
// { id, error }, in the order the jobs came.
"use strict";

// Jobs that come before the module wait for it.
let received;
const module = new Promise((resolve) => (received = resolve));
addEventListener("message", ({ data }) => {
    if (data.module) {
        received(data.module);
        return;
    }
    const { id, path, bytes } = data;
    cavedump(module, path, bytes).then(
        (run) => postMessage({ id, run }, [run.out.buffer, run.err.buffer]),
        (e) => postMessage({ id, error: e.message }));
});

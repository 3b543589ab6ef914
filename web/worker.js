// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page, on a thread of its own. The build puts
// this file after the program's runtime and program.js into the one script a worker
// is started from. The first message is the program's module, compiled by the page;
// each one after it a batch of jobs, [{ id, path, bytes }], answered by one message,
// [{ id, run } or { id, error }], in the order the jobs came.
"use strict";

// Jobs that come before the module wait for it.
let received;
const module = new Promise((resolve) => (received = resolve));
addEventListener("message", async ({ data }) => {
    if (data.module) {
        received(data.module);
        return;
    }
    const answers = [];
    const moved = [];
    for (const { id, path, bytes } of data) {
        try {
            const run = await cavedump(module, path, bytes);
            answers.push({ id, run });
            moved.push(run.out.buffer, run.err.buffer);
        } catch (e) {
            answers.push({ id, error: e.message });
        }
    }
    postMessage(answers, moved);
});

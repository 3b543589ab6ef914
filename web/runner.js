// SPDX-License-Identifier: MIT
// runner.js - runs cavedump (program.js) for the page, one file at a time or several
// at once: runner.run(path, bytes) gives the promise of the program's run on a file
// called path holding bytes, or fails with why there is none.
"use strict";

const runner = (() => {
    // The program runs in workers, one a core, while the page makes the cards; where the
    // page may start no worker (opened from disk), it runs here.
    const workers = [];
    try {
        for (let i = Math.min(Math.max(navigator.hardwareConcurrency || 1, 1), 4); i > 0; i--)
            workers.push(new Worker("worker.js"));
    } catch {
        workers.length = 0;
    }
    const waiting = new Map(); // id: the { resolve, reject } of a job a worker has
    let lastid = 0;
    for (const worker of workers) {
        worker.addEventListener("message", ({ data: { id, run, error } }) => {
            const job = waiting.get(id);
            waiting.delete(id);
            if (error === undefined) job.resolve(run);
            else job.reject(new Error(error));
        });
        // A worker that fails answers nothing more: its jobs fail, and from then on the
        // program runs here.
        worker.addEventListener("error", (e) => {
            e.preventDefault();
            workers.length = 0;
            for (const job of waiting.values()) job.reject(new Error("cavedump could not run: " + e.message));
            waiting.clear();
        });
    }

    // Runs the program on the file at path holding bytes, in a worker, taking turns, or
    // here, one run after the other; gives the promise of its run.
    let local = Promise.resolve();
    function runone(path, bytes) {
        if (workers.length === 0) {
            const run = local.then(() => cavedump(path, bytes));
            local = run.catch(() => {});
            return run;
        }
        return new Promise((resolve, reject) => {
            const id = ++lastid;
            waiting.set(id, { resolve, reject });
            workers[id % workers.length].postMessage({ id, path, bytes });
        });
    }

    return { run: runone };
})();

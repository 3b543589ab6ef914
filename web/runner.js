// SPDX-License-Identifier: MIT
// runner.js - runs cavedump (program.js) for the page, several files at once:
// runner.run(path, bytes) gives the promise of the program's run on a file called path
// holding bytes, or fails with why there is none; runner.size says how many runs go at
// once.
"use strict";

const runner = (() => {
    // The build gives the program and the workers' code as base64 text (cavedumpwasm.js,
    // cavedumpworker.js).
    const decoded = (base64) => Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));

    // The program is compiled once, here, and the compiled module is sent to every
    // worker, which only instantiates it.
    const module = WebAssembly.compile(decoded(cavedumpwasm));
    module.catch(() => {}); // each run that needs it fails with why

    // Workers start from a blob: URL of the code the build wrote for them
    // (cavedumpworker.js), which a page opened from disk may do as well as a served one.
    // The page has a core's work of its own, making the cards: on two cores one worker
    // was faster than two. With one core there is no worker, and the program runs on
    // the page's thread.
    const cores = navigator.hardwareConcurrency || 1;
    const wanted = Math.min(Math.max(cores - 1, 0), 4);
    // Jobs go to a worker in batches, a message each, since a message between threads
    // costs as much as a run: a worker holds two batches at most, one it runs and one
    // that waits, so that it never waits for the page; the other jobs wait here, and go
    // as one batch when it answers.
    const batch = 64; // jobs at most
    // A worker that answers nothing for this long is taken for dead: a run takes a
    // fraction of a millisecond.
    const patience = 30000;

    const queue = []; // jobs not yet given to a worker: { path, bytes, resolve, reject }
    const helpers = []; // { worker, jobs: Map of id to job, batches: how many it holds, timer }
    let lastid = 0;

    // Ends a worker that failed, and its jobs with why; the others, or the page, do the
    // rest.
    function fail(helper, why) {
        if (!helpers.includes(helper)) return;
        helpers.splice(helpers.indexOf(helper), 1);
        clearTimeout(helper.timer);
        helper.worker.terminate();
        for (const job of helper.jobs.values()) job.reject(new Error(`cavedump could not run: ${why}`));
        dispatch();
    }

    // Starts the wait for a worker's next answer, if it holds any jobs.
    function watch(helper) {
        clearTimeout(helper.timer);
        if (helper.jobs.size > 0)
            helper.timer = setTimeout(() => fail(helper, `its worker did not answer in ${patience / 1000} s`), patience);
    }

    try {
        const code = new Blob([decoded(cavedumpworker)], { type: "text/javascript" });
        const url = URL.createObjectURL(code);
        for (let i = 0; i < wanted; i++) {
            const helper = { worker: new Worker(url), jobs: new Map(), batches: 0, timer: 0 };
            helper.worker.addEventListener("message", ({ data: answers }) => {
                helper.batches--;
                for (const { id, run, error } of answers) {
                    const job = helper.jobs.get(id);
                    helper.jobs.delete(id);
                    if (error === undefined) job.resolve(run);
                    else job.reject(new Error(error));
                }
                watch(helper);
                dispatch();
            });
            helper.worker.addEventListener("error", (e) => {
                e.preventDefault();
                fail(helper, `its worker failed: ${e.message || "it could not start"}`);
            });
            helper.worker.addEventListener("messageerror", () => fail(helper, "its worker could not read a job"));
            helpers.push(helper);
        }
    } catch {
        // No worker may start here: the page runs the program itself.
    }
    module.then((compiled) => helpers.slice().forEach((helper) => {
        try {
            helper.worker.postMessage({ module: compiled });
        } catch (e) {
            fail(helper, `its worker could not be given the program: ${e.message}`);
        }
    }), (e) => helpers.slice().forEach((helper) => fail(helper, `it could not be compiled: ${e.message}`)));

    // Gives waiting jobs to the workers with room for them, shared out evenly, or runs
    // them here, one after the other, when no worker is left.
    let local = Promise.resolve();
    function dispatch() {
        while (queue.length > 0 && helpers.length === 0) {
            const { path, bytes, resolve, reject } = queue.shift();
            const run = local.then(() => cavedump(module, path, bytes));
            run.then(resolve, reject);
            local = run.catch(() => {});
        }
        while (queue.length > 0) {
            const helper = helpers.reduce((a, b) => (b.batches < a.batches ? b : a));
            if (helper.batches >= 2) break;
            const jobs = queue.splice(0, Math.min(batch, Math.ceil(queue.length / helpers.length)))
                .map((job) => ({ id: ++lastid, job }));
            jobs.forEach(({ id, job }) => helper.jobs.set(id, job));
            helper.batches++;
            helper.worker.postMessage(jobs.map(({ id, job: { path, bytes } }) => ({ id, path, bytes })));
            if (helper.batches === 1) watch(helper);
        }
    }

    // The runs asked for in one go are given out together.
    let pending = false;
    function run(path, bytes) {
        return new Promise((resolve, reject) => {
            queue.push({ path, bytes, resolve, reject });
            if (!pending) queueMicrotask(() => {
                pending = false;
                dispatch();
            });
            pending = true;
        });
    }

    return { run, get size() { return Math.max(helpers.length, 1); } };
})();

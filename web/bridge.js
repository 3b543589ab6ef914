// SPDX-License-Identifier: MIT
// bridge.js - runs cavedump for the page, several files at once, on workers: run(path,
// bytes, signal) gives the promise of the program's run on a file called path holding
// bytes, or fails with why there is none; aborting signal takes back a run not yet
// made. Where no worker can start, the program runs on the page's thread.

import { toworker } from "./messages.js";
import { cavedump } from "./program.js";

/** @typedef {import("./program.js").Run} Run */
/** @typedef {import("./messages.js").Answer} Answer */
/** A run asked for: suspect once a worker failed while it held it among others.
 * @typedef {{ path: string, bytes: Uint8Array, signal?: AbortSignal, suspect: boolean,
 *             resolve: (run: Run) => void, reject: (e: Error) => void }} Wanted */
/** @typedef {{ worker: Worker, jobs: Map<number, Wanted>, batches: number, answered: boolean,
 *             timer: ReturnType<typeof setTimeout> | undefined }} Helper */

// Jobs go to a worker in batches, a message each, since a message between threads
// costs as much as a run: a worker holds two batches at most, one it runs and one that
// waits, so that it never waits for the page; the other jobs wait here, and go as one
// batch when it answers.
const batchsize = 64;
// A worker that answers nothing for this long is taken for stuck: a run takes a
// fraction of a millisecond.
const patience = 30000;

/** The error a run taken back fails with. */
export const aborted = () => new DOMException("the run was taken back", "AbortError");

/** The bridge to workers (as many as the cores less the page's own, from 1 to 4, none
 * with one core), started by spawn from the workers' code and given the program, each
 * as base64 text; where none can start, the program runs here, by here.
 * @param {{ wasm: string, workercode: string, cores: number, spawn?: (url: string) => Worker,
 *           here?: typeof cavedump }} given */
export function createbridge({ wasm, workercode, cores, spawn = (url) => new Worker(url), here = cavedump }) {
    /** @param {string} base64 */
    const decoded = (base64) => Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    // The program is compiled once, here, and the compiled module is sent to every
    // worker, which only instantiates it.
    const module = WebAssembly.compile(decoded(wasm));
    module.catch(() => {}); // each run that needs it fails with why
    // The page has a core's work of its own, making the cards: on two cores one
    // worker was faster than two.
    const wanted = Math.min(Math.max(cores - 1, 0), 4);
    /** @type {string | null} */
    let url = null;
    try {
        url = URL.createObjectURL(new Blob([decoded(workercode)], { type: "text/javascript" }));
    } catch {
        // No worker may start here: the page runs the program itself.
    }
    // Workers that failed before answering anything, since one last answered: past
    // as many as are wanted, workers cannot work here, and no more are started.
    let unstarted = 0;

    /** @type {Wanted[]} */
    let queue = []; // runs not yet given to a worker
    /** @type {Helper[]} */
    const helpers = [];
    let lastid = 0;

    /** Ends a worker and takes it out of the pool, its jobs still in it.
     * @param {Helper} helper */
    function end(helper) {
        if (!helpers.includes(helper)) return false;
        helpers.splice(helpers.indexOf(helper), 1);
        clearTimeout(helper.timer);
        helper.worker.terminate();
        return true;
    }

    /** Ends a worker that failed. A job it held alone, or held once before, fails with
     * why; the others are suspects, run again one at a time, so that only the job
     * that stalled or killed a worker fails.
     * @param {Helper} helper @param {string} why */
    function fail(helper, why) {
        if (!end(helper)) return;
        if (!helper.answered) unstarted++;
        const jobs = [...helper.jobs.values()];
        for (const job of jobs) {
            if (job.suspect || jobs.length === 1) job.reject(new Error(`cavedump could not run: ${why}`));
            else job.suspect = true;
        }
        queue = jobs.filter((job) => job.suspect && jobs.length > 1 && !job.signal?.aborted).concat(queue);
        dispatch();
    }

    /** Starts the wait for a worker's next answer, if it holds any jobs.
     * @param {Helper} helper */
    function watch(helper) {
        clearTimeout(helper.timer);
        if (helper.jobs.size > 0)
            helper.timer = setTimeout(() => fail(helper, `its worker did not answer in ${patience / 1000} s`), patience);
    }

    /** A new worker, given the program, or null when none can start. */
    function hire() {
        if (url === null || unstarted > wanted) return null;
        /** @type {Helper} */
        let helper;
        try {
            helper = { worker: spawn(url), jobs: new Map(), batches: 0, answered: false, timer: undefined };
        } catch {
            url = null;
            return null;
        }
        helper.worker.addEventListener("message", (event) => {
            const answers = /** @type {Answer[]} */ (event.data);
            helper.batches--;
            helper.answered = true;
            unstarted = 0;
            for (const answer of answers) {
                const job = helper.jobs.get(answer.id);
                helper.jobs.delete(answer.id);
                if (!job) continue;
                if ("run" in answer) job.resolve(answer.run);
                else job.reject(new Error(answer.error));
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
        module.then((compiled) => {
            try {
                toworker(helper.worker, { kind: "module", module: compiled });
            } catch (e) {
                fail(helper, `its worker could not be given the program: ${e instanceof Error ? e.message : e}`);
            }
        }, (e) => fail(helper, `it could not be compiled: ${e.message}`));
        return helper;
    }

    // Runs here follow one another as promises do, all in one task of the page's
    // thread unless it is given back: once they have held it for a slice, it is, and
    // the runs go on in a task of their own, so that the page never stops answering.
    let sliced = 0; // when the page's thread was last given back
    const slice = 16; // ms
    function giveway() {
        if (performance.now() - sliced < slice) return undefined;
        return new Promise((resolve) => {
            const channel = new MessageChannel();
            channel.port1.onmessage = () => {
                channel.port1.close();
                sliced = performance.now();
                resolve(undefined);
            };
            channel.port2.postMessage(null);
        });
    }

    // Gives waiting jobs to the workers with room for them, shared out evenly, or runs
    // them here, one after the other, when no worker can be had.
    /** @type {Promise<unknown>} */
    let local = Promise.resolve();
    function dispatch() {
        while (queue.length > 0 && helpers.length < wanted && hire());
        while (queue.length > 0 && helpers.length === 0) {
            const job = /** @type {Wanted} */ (queue.shift());
            const run = local.then(giveway).then(() => {
                if (job.signal?.aborted) throw aborted();
                return here(module, job.path, job.bytes);
            });
            run.then(job.resolve, job.reject);
            local = run.catch(() => {});
        }
        while (queue.length > 0) {
            // A suspect goes alone to an idle worker, and that worker gets nothing
            // else until it answers, so that if it fails, it is for that job.
            const free = helpers.filter((h) => ![...h.jobs.values()].some((job) => job.suspect));
            if (free.length === 0) break;
            const helper = free.reduce((a, b) => (b.batches < a.batches ? b : a));
            if (helper.batches >= 2 || (queue[0].suspect && helper.batches > 0)) break;
            const size = queue[0].suspect ? 1 : Math.min(batchsize, Math.ceil(queue.length / helpers.length));
            let count = 0;
            while (count < size && count < queue.length && !queue[count].suspect) count++;
            const jobs = queue.splice(0, Math.max(count, 1)).map((job) => ({ id: ++lastid, job }));
            jobs.forEach(({ id, job }) => helper.jobs.set(id, job));
            helper.batches++;
            toworker(helper.worker, { kind: "jobs", jobs: jobs.map(({ id, job: { path, bytes } }) => ({ id, path, bytes })) });
            if (helper.batches === 1) watch(helper);
        }
    }

    /** Takes back a run: out of the queue, or, when it is all that its worker holds
     * still wanted, by ending the worker.
     * @param {Wanted} job */
    function takeback(job) {
        job.reject(aborted());
        if (queue.includes(job)) {
            queue = queue.filter((other) => other !== job);
            return;
        }
        const helper = helpers.find((h) => [...h.jobs.values()].includes(job));
        if (helper && idle(helper)) {
            end(helper);
            dispatch();
        }
    }

    // The runs asked for in one go are given out together.
    let pending = false;
    /** @param {string} path @param {Uint8Array} bytes @param {AbortSignal} [signal] @returns {Promise<Run>} */
    function run(path, bytes, signal) {
        if (signal?.aborted) return Promise.reject(aborted());
        return new Promise((resolve, reject) => {
            /** @type {Wanted} */
            const job = { path, bytes, signal, suspect: false, resolve, reject };
            signal?.addEventListener("abort", () => takeback(job), { once: true });
            queue.push(job);
            if (!pending) queueMicrotask(() => {
                pending = false;
                dispatch();
            });
            pending = true;
        });
    }

    /** Whether a worker holds no job still wanted. @param {Helper} helper */
    const idle = (helper) => [...helper.jobs.values()].every((job) => job.signal?.aborted);

    // Ends the workers that hold no job still wanted: after a Cancel or a Clear they
    // are not needed until the next pick, which starts them again.
    function rest() {
        helpers.filter(idle).forEach(end);
    }

    return { run, rest, workers: () => helpers.length };
}

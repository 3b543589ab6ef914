// SPDX-License-Identifier: MIT
// bridge.js - runs cavedump for the page on one worker, in the shape of squoosh's
// worker bridge: run(path, bytes, signal) gives the promise of the program's run on a
// file called path holding bytes (none where null), or fails with why there is none;
// aborting signal takes the run back. rest() ends the worker (after a Cancel, a Clear
// or the end of a pick), and the next run starts a new one.

import { toworker } from "./messages.js";

/** @typedef {import("./program.js").Run} Run */
/** @typedef {import("./messages.js").Answer} Answer */
/** A run asked for, and how its promise ends.
 * @typedef {{ path: string, bytes: Uint8Array | null, signal?: AbortSignal,
 *             resolve: (run: Run) => void, reject: (e: Error) => void }} Asked */

// Jobs go to the worker in batches, a message each, since a message between threads
// costs as much as a run, and it answers each batch with one message. The worker is
// sent the next batch while it still holds one, so that it never waits for the page.
// After a worker dies, its successor answers job by job ("each"), so that if it dies
// too, the page knows the job it was on.
const batchsize = 64;

/** The error a run taken back fails with. */
export const aborted = () => new DOMException("the run was taken back", "AbortError");

/** The bridge to a worker started by spawn from workercode, the worker's script as
 * text, and sent module, the program compiled once.
 * @param {{ module: Promise<WebAssembly.Module>, workercode: string, spawn?: (url: string) => Worker }} given */
export function createbridge({ module, workercode, spawn = (url) => new Worker(url) }) {
    const url = URL.createObjectURL(new Blob([workercode], { type: "text/javascript" }));
    /** @type {Asked[]} */
    let waiting = []; // runs not yet sent to the worker
    /** @type {{ worker: Worker, held: Asked[], each: boolean } | null} */
    let current = null; // the worker, the runs sent to it not yet answered, in order, and how it answers
    let careful = false; // whether a worker died since the last rest()
    /** @type {WebAssembly.Module | null} */
    let compiled = null;
    let broken = ""; // why the program cannot run here at all
    module.then((done) => ((compiled = done), send()), (e) => ((broken = `it could not be compiled: ${e.message}`), send()));

    /** Ends the worker; gives the runs it held, in order. */
    function end() {
        const held = current?.held ?? [];
        current?.worker.terminate();
        current = null;
        return held;
    }

    /** A new worker, given the program. @param {WebAssembly.Module} program */
    function start(program) {
        const helper = { worker: spawn(url), held: /** @type {Asked[]} */ ([]), each: careful };
        helper.worker.addEventListener("message", (event) => {
            for (const answer of /** @type {Answer[]} */ (event.data)) {
                const job = /** @type {Asked} */ (helper.held.shift());
                if ("run" in answer) job.resolve(answer.run);
                else job.reject(new Error(answer.error));
            }
            send();
        });
        /** A worker that dies, where it answered job by job, fails the run it was on, the
         * first it had not answered; the others it held go to a new worker, which answers
         * job by job.
         * @param {string} why */
        const died = (why) => {
            if (current !== helper) return;
            const held = end();
            if (helper.each) held.shift()?.reject(new Error(`cavedump could not run: ${why}`));
            careful = true;
            waiting = held.concat(waiting);
            send();
        };
        helper.worker.addEventListener("error", (e) => {
            e.preventDefault();
            died(`its worker failed: ${e.message || "it could not start"}`);
        });
        helper.worker.addEventListener("messageerror", () => died("its worker could not read a job"));
        toworker(helper.worker, { kind: "module", module: program });
        return helper;
    }

    // Sends the waiting runs, once the program is compiled, starting a worker if none runs.
    function send() {
        waiting = waiting.filter((job) => !job.signal?.aborted);
        if (waiting.length === 0 || !(compiled || broken)) return;
        try {
            if (!compiled) throw new Error(broken);
            current ??= start(compiled);
        } catch (e) {
            waiting.splice(0).forEach((job) => job.reject(new Error(`cavedump could not run: ${e instanceof Error ? e.message : e}`)));
            return;
        }
        while (waiting.length > 0 && current.held.length <= batchsize) {
            const jobs = waiting.splice(0, batchsize);
            current.held.push(...jobs);
            toworker(current.worker, { kind: "jobs", jobs: jobs.map(({ path, bytes }) => ({ path, bytes })), each: current.each });
        }
    }

    // The runs asked for in one go are sent together.
    let pending = false;
    /** @param {string} path @param {Uint8Array | null} bytes @param {AbortSignal} [signal] @returns {Promise<Run>} */
    function run(path, bytes, signal) {
        if (signal?.aborted) return Promise.reject(aborted());
        return new Promise((resolve, reject) => {
            waiting.push({ path, bytes, signal, resolve, reject });
            signal?.addEventListener("abort", () => reject(aborted()), { once: true });
            if (!pending) queueMicrotask(() => ((pending = false), send()));
            pending = true;
        });
    }

    // Ends the worker: a run it held that is not taken back goes to a new one.
    function rest() {
        waiting = end().concat(waiting);
        careful = false;
        send();
    }

    return { run, rest, workers: () => (current ? 1 : 0) };
}

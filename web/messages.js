// SPDX-License-Identifier: MIT
// messages.js - what the page and its workers say to each other, typed once for both
// sides: a wrong message does not pass the type check. The page sends a worker the
// compiled program first, then batches of jobs; the worker answers each batch with
// one message, an answer a job, in the order the jobs came.

/** @typedef {import("./program.js").Run} Run */
/** @typedef {{ id: number, path: string, bytes: Uint8Array }} Job */
/** @typedef {{ kind: "module", module: WebAssembly.Module } | { kind: "jobs", jobs: Job[] }} ToWorker */
/** @typedef {{ id: number, run: Run } | { id: number, error: string }} Answer */

/** Sends a worker a message.
 * @param {Worker} worker @param {ToWorker} message */
export const toworker = (worker, message) => worker.postMessage(message);

/** Answers the page from a worker, handing over the bytes of the runs.
 * @param {Answer[]} answers */
export function topage(answers) {
    /** @type {Transferable[]} */
    const moved = [];
    for (const answer of answers) if ("run" in answer) moved.push(answer.run.out.buffer, answer.run.err.buffer);
    postMessage(answers, { transfer: moved });
}

// SPDX-License-Identifier: MIT
// messages.js - what the page and its worker say to each other, typed once for both
// sides: a wrong message does not pass the type check. The page sends the worker the
// compiled program first, then batches of jobs; the worker answers them in the order
// they came, a message a batch, or, where the batch says "each", a message a job, so
// that the page knows which job it was on if it dies.

/** @typedef {import("./program.js").Run} Run */
/** A run asked for: the file's path, and its bytes, or null where there is no file.
 * @typedef {{ path: string, bytes: Uint8Array | null }} Job */
/** @typedef {{ kind: "module", module: WebAssembly.Module } | { kind: "jobs", jobs: Job[], each: boolean }} ToWorker */
/** @typedef {{ run: Run } | { error: string }} Answer */

/** Sends the worker a message. @param {Worker} worker @param {ToWorker} message */
export const toworker = (worker, message) => worker.postMessage(message);

/** Answers the page from the worker, handing over the bytes of the runs. @param {Answer[]} answers */
export function topage(answers) {
    /** @type {Transferable[]} */
    const moved = answers.flatMap((answer) => ("run" in answer ? [answer.run.out.buffer, answer.run.err.buffer] : []));
    postMessage(answers, { transfer: moved });
}

// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page, on a thread of its own: the page sends it
// the compiled module, then batches of jobs, and it answers each batch, or each job of
// it where the batch asks so. The build bundles it into the text the page starts its
// worker from.

import { topage } from "./messages.js";
import { cavedump } from "./program.js";

/** @typedef {import("./messages.js").ToWorker} ToWorker */
/** @typedef {import("./messages.js").Answer} Answer */

/** @type {WebAssembly.Module} */
let module;
addEventListener("message", (event) => {
    const data = /** @type {ToWorker} */ (/** @type {MessageEvent} */ (event).data);
    if (data.kind === "module") {
        module = data.module;
        return;
    }
    /** @type {Answer[]} */
    const answers = [];
    for (const { path, bytes } of data.jobs) {
        try {
            answers.push({ run: cavedump(module, path, bytes) });
        } catch (e) {
            answers.push({ error: e instanceof Error ? e.message : String(e) });
        }
        if (data.each) topage(answers.splice(0));
    }
    if (answers.length > 0) topage(answers);
});

// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page, on a thread of its own. The build bundles
// it after the program's runtime into the one script a worker is started from.

import { topage } from "./messages.js";
import { cavedump } from "./program.js";

/** @typedef {import("./messages.js").ToWorker} ToWorker */
/** @typedef {import("./messages.js").Answer} Answer */

// Jobs that come before the module wait for it.
/** @type {(module: WebAssembly.Module) => void} */
let received = () => {};
/** @type {Promise<WebAssembly.Module>} */
const module = new Promise((resolve) => (received = resolve));
addEventListener("message", async (event) => {
    const data = /** @type {ToWorker} */ (/** @type {MessageEvent} */ (event).data);
    if (data.kind === "module") {
        received(data.module);
        return;
    }
    /** @type {Answer[]} */
    const answers = [];
    for (const { id, path, bytes } of data.jobs) {
        try {
            answers.push({ id, run: await cavedump(module, path, bytes) });
        } catch (e) {
            answers.push({ id, error: e instanceof Error ? e.message : String(e) });
        }
    }
    topage(answers);
});

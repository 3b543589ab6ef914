// SPDX-License-Identifier: MIT
// worker.js - runs the program for the page, on a thread of its own: the page sends it
// the compiled module, then jobs, and it answers each job in turn. The build bundles it
// into the text the page starts its worker from.

import { topage } from "./messages.js";
import { cavedump } from "./program.js";

/** @typedef {import("./messages.js").ToWorker} ToWorker */

/** @type {WebAssembly.Module} */
let module;
addEventListener("message", (event) => {
    const data = /** @type {ToWorker} */ (/** @type {MessageEvent} */ (event).data);
    if (data.kind === "module") {
        module = data.module;
        return;
    }
    for (const { path, bytes } of data.jobs) {
        try {
            topage({ run: cavedump(module, path, bytes) });
        } catch (e) {
            topage({ error: e instanceof Error ? e.message : String(e) });
        }
    }
});

// SPDX-License-Identifier: MIT
// program.js - runs cavedump, a WASI command module, on one file, as the command line
// would: the file's path as its one argument, so there is no prompt, and standard
// input at its end. Each run is a fresh instance of the one compiled module, on the
// system wasi.js gives it, so that nothing of one run reaches the next; a trap ends
// that run alone.

import { Exit, system } from "./wasi.js";

/** The program's run on a file: its two streams' bytes and its exit status.
 * @typedef {{ out: Uint8Array, err: Uint8Array, status: number }} Run */

/** Runs the program, compiled as module, on the file at path (a name, or folders and a
 * name joined by "/") holding bytes, or where they are null, on no file under that
 * name. Gives its two streams as bytes and its status, or throws why there is no run.
 * @param {WebAssembly.Module} module @param {string} path @param {Uint8Array | null} bytes
 * @returns {Run} */
export function cavedump(module, path, bytes) {
    /** @type {WebAssembly.Memory | undefined} */
    let memory;
    const job = system({ args: ["cavedump", path], path, bytes }, () => /** @type {WebAssembly.Memory} */ (memory));
    let status = 0;
    try {
        const instance = new WebAssembly.Instance(module, job.imports);
        memory = /** @type {WebAssembly.Memory} */ (instance.exports.memory);
        /** @type {() => void} */ (instance.exports._start)();
    } catch (e) {
        if (!(e instanceof Exit)) throw new Error(`cavedump could not run: ${e instanceof Error ? e.message : e}`);
        status = e.status;
    }
    return { out: job.out(), err: job.err(), status };
}

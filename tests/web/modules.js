// SPDX-License-Identifier: MIT
// Where the unit tests find the page's modules: the build's copies, with its facts
// filled in (CAVEDUMP_PAGE_MODULES, as CTest gives it), or else the sources, for the
// modules that need no fact.
import { readFileSync } from "node:fs";
import { Duplex } from "node:stream";
import { pathToFileURL } from "node:url";
import { createInflateRaw } from "node:zlib";

const folder = process.env.CAVEDUMP_PAGE_MODULES ?? new URL("../../web", import.meta.url).pathname;

/** The module of the page called name. @param {string} name */
export const page = (name) => import(pathToFileURL(`${folder}/${name}`).href);

/** The program as the page's worker runs it: program.js's cavedump, and the module the
 * build put beside the modules, compiled. */
export async function pageprogram() {
    const { cavedump } = await page("program.js");
    return { cavedump, module: new WebAssembly.Module(readFileSync(`${folder}/cavedump.wasm`)) };
}

// Browsers, and Node from 20.12 on, inflate raw deflate as the page asks them to;
// Node 18, Debian 12's, does not: it is given zlib's raw inflater in the same shape.
try {
    new DecompressionStream("deflate-raw");
} catch {
    const Native = DecompressionStream;
    globalThis.DecompressionStream = class {
        constructor(format) {
            if (format !== "deflate-raw") return new Native(format);
            return Duplex.toWeb(createInflateRaw());
        }
    };
}

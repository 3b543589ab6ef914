// SPDX-License-Identifier: MIT
// Runs a WASI command module under Node's own node:wasi, as an emulator runs a cross
// build's program: node web.mjs MODULE.wasm ARGS..., with the process's streams and
// environment, and the host's folders opened to it: the root, and the current folder
// as ".", so that both absolute and relative names open as the terminal's would.
import { readFileSync } from "node:fs";
import { WASI } from "node:wasi";

const [module, ...args] = process.argv.slice(2);
const wasi = new WASI({ version: "preview1", args: ["cavedump", ...args], env: process.env,
                        preopens: { "/": "/", ".": process.cwd() }, returnOnExit: true });
const instance = new WebAssembly.Instance(new WebAssembly.Module(readFileSync(module)),
                                          { wasi_snapshot_preview1: wasi.wasiImport });
process.exitCode = wasi.start(instance);

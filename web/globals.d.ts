// SPDX-License-Identifier: MIT
// What the page's scripts find loaded before them, written by the build: the
// program's runtime (cavedump.js), and the program and the workers' code as base64
// text (cavedumpwasm.js, cavedumpworker.js).
declare function createCavedump(options: object): Promise<unknown>;
declare const cavedumpwasm: string;
declare const cavedumpworker: string;

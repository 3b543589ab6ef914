// SPDX-License-Identifier: MIT
// What the page's bundle holds besides its modules, as esbuild loads them: the program
// (cavedump.wasm.gz, its bytes gzipped) and the worker's bundled code
// (cavedumpworker.txt, text).
declare module "*.gz" {
    const bytes: Uint8Array<ArrayBuffer>;
    export default bytes;
}
declare module "*.txt" {
    const text: string;
    export default text;
}

#!/usr/bin/env node
// SPDX-License-Identifier: MIT
// What a name costs the page's program: one run on a cave file under a short name,
// under a path of 500, 1000 and 2000 folders, and under names Linux cannot open (a
// part of 300 bytes, a path of 4200 bytes), each followed by a run under a short name,
// which clears what the one before made. Runs the page's own program.js and runtime
// under Node, as a worker runs them; prints the median of ROUNDS runs of each, in ms,
// and exits 1 when a name costs more than goal ms more than the short one.
//
//     bench/names.mjs [ROUNDS]     (after cmake --workflow --preset web, or its build)
import { readFileSync } from "node:fs";

process.env.CAVEDUMP_PAGE_MODULES ??= new URL("../build-web/web/modules", import.meta.url).pathname;
const { pageprogram } = await import("../tests/web/modules.js");
const { cavedump, wasm } = await pageprogram();
const rounds = Number(process.argv[2] ?? 21);
const goal = 5;
const cave = readFileSync(new URL("../samples/atari-ring.cav", import.meta.url));

const names = { "short name": "x.cav", "500 folders": `${"a/".repeat(500)}x.cav`,
                "1000 folders": `${"a/".repeat(1000)}x.cav`, "2000 folders": `${"a/".repeat(2000)}x.cav`,
                "a part of 300 bytes": `long/${"L".repeat(300)}.cav`, "a path of 4200 bytes": `${"b/".repeat(2097)}y.cav` };
const median = (values) => values.sort((a, b) => a - b)[values.length >> 1];
/** ms of one run of the program under path. */
async function timed(path) {
    const started = performance.now();
    await cavedump(wasm, `deep.zip/${path}`, cave);
    return performance.now() - started;
}

let missed = false;
let short = 0;
for (const [what, path] of Object.entries(names)) {
    const runs = [];
    const after = [];
    for (let i = 0; i < rounds; i++) {
        runs.push(await timed(path));
        after.push(await timed("x.cav"));
    }
    const [cost, next] = [median(runs), median(after)];
    short ||= cost;
    const met = cost <= short + goal && next <= short + goal;
    missed ||= !met;
    console.log(`${what.padEnd(22)} ${cost.toFixed(2).padStart(7)} ms, the run after it ${next.toFixed(2).padStart(6)} ms`
                + `   goal <= ${(short + goal).toFixed(2)}   ${met ? "met" : "MISSED"}`);
}
process.exit(missed ? 1 : 0);

// SPDX-License-Identifier: MIT
// The bridge to its worker, with workers of the test's own that answer or die on the
// jobs they are given, runs taken back and the worker ended (Cancel, Clear) at any
// point: every run ends; a run ends with its own bytes, or fails only when it killed
// its worker, or was taken back; one worker at most runs, none once nothing is wanted,
// and the next run starts a new one.
import assert from "node:assert/strict";
import { test } from "node:test";
import fc from "fast-check";
import { page } from "./modules.js";

const { createbridge } = await page("bridge.js");
const [encode, decode] = [(text) => new TextEncoder().encode(text), (bytes) => new TextDecoder().decode(bytes)];
const tick = () => new Promise((go) => setImmediate(go));

// A worker that runs the jobs of a batch one at a time, each in a task of its own, and
// answers the batch at its end, or each job where the batch says "each": a job whose
// path starts with "kill" ends it with an error instead, its answers not yet sent lost.
class Fake extends EventTarget {
    constructor(pool) {
        super();
        this.pool = pool;
        pool.started++;
        pool.most = Math.max(pool.most, ++pool.alive);
        this.dead = false;
        this.busy = Promise.resolve();
    }
    postMessage(message) {
        if (message.kind !== "jobs") return;
        const answers = [];
        const answer = () => this.dead || this.dispatchEvent(new MessageEvent("message", { data: answers.splice(0) }));
        for (const { path } of message.jobs) {
            this.busy = this.busy.then(tick).then(() => {
                if (this.dead) return;
                if (path.startsWith("kill")) {
                    this.dispatchEvent(Object.assign(new Event("error", { cancelable: true }), { message: "killed" }));
                    return this.terminate();
                }
                answers.push({ run: { out: encode(path), err: new Uint8Array(0), status: 0 } });
                if (message.each) answer();
            });
        }
        this.busy = this.busy.then(() => answers.length > 0 && answer());
    }
    terminate() {
        if (!this.dead) this.pool.alive--;
        this.dead = true;
    }
}

test("each run ends as its job deserves, on one worker at most, and none once nothing is wanted", async () => {
    await fc.assert(fc.asyncProperty(
        fc.array(fc.record({ kind: fc.constantFrom("good", "good", "good", "kill"),
                             abort: fc.option(fc.nat(6), { nil: undefined }) }), { minLength: 1, maxLength: 150 }),
        fc.option(fc.nat(6), { nil: undefined }),
        async (jobs, rest) => {
            const pool = { alive: 0, most: 0, started: 0 };
            const bridge = createbridge({ module: Promise.resolve({}), workercode: "", spawn: () => new Fake(pool) });
            const ended = jobs.map(() => null);
            const controllers = jobs.map(() => new AbortController());
            jobs.forEach(({ kind }, i) => bridge.run(`${kind}${i}`, new Uint8Array(0), controllers[i].signal).then(
                (run) => (ended[i] = decode(run.out)), (e) => (ended[i] = e)));
            for (let step = 0; step < 2000 && ended.includes(null); step++) {
                jobs.forEach(({ abort }, i) => abort === step && controllers[i].abort());
                if (rest === step) bridge.rest();
                await tick();
            }
            assert.ok(!ended.includes(null), "a run never ended");
            jobs.forEach(({ kind, abort }, i) => {
                const end = ended[i];
                if (end instanceof Error && end.name === "AbortError") return assert.notEqual(abort, undefined);
                if (kind === "good") return assert.equal(end, `good${i}`);
                assert.match(end?.message, /^cavedump could not run: its worker failed: killed$/u, `kill${i} gave ${end}`);
            });
            assert.ok(pool.most <= 1, `${pool.most} workers at once`);
            bridge.rest();
            assert.equal(pool.alive, 0, "a worker left running");
            const started = pool.started;
            assert.equal(decode((await bridge.run("next", new Uint8Array(0))).out), "next");
            assert.equal(pool.started, started + 1, "the next run started no new worker");
        }), { numRuns: 200 });
});

test("where no worker starts, or the program cannot be compiled, every run fails with why", async () => {
    const nothing = createbridge({ module: Promise.resolve({}), workercode: "", spawn: () => { throw new Error("no workers here"); } });
    const uncompiled = createbridge({ module: Promise.reject(new Error("no WebAssembly")), workercode: "", spawn: () => assert.fail() });
    const outcomes = (bridge) => Promise.all([1, 2].map(() => bridge.run("x.cav", new Uint8Array(0)).then(() => "ran", (e) => e.message)));
    assert.deepEqual(await outcomes(nothing), Array(2).fill("cavedump could not run: no workers here"));
    assert.deepEqual(await outcomes(uncompiled), Array(2).fill("cavedump could not run: it could not be compiled: no WebAssembly"));
});

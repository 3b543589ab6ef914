// SPDX-License-Identifier: MIT
// The bridge to the workers, with workers of its own that answer, die or go silent on
// the jobs they are given, and runs taken back at any point: every run ends; a run
// ends with its own bytes, or fails only when it killed or stalled a worker alone,
// or was taken back; and no worker outlives the work.
import assert from "node:assert/strict";
import { test } from "node:test";
import fc from "fast-check";
import { page } from "./modules.js";

const { createbridge } = await page("bridge.js");
const encode = (text) => new TextEncoder().encode(text);
const decode = (bytes) => new TextDecoder().decode(bytes);

// A worker that runs each job of a batch in turn: "kill" ends it with an error,
// "stall" leaves it silent for good, anything else is answered with its own name.
class Fake extends EventTarget {
    constructor(pool) {
        super();
        this.pool = pool;
        pool.most = Math.max(pool.most, ++pool.alive);
        this.dead = false;
        this.busy = Promise.resolve();
    }
    postMessage(message) {
        if (message.kind !== "jobs") return;
        this.busy = this.busy.then(() => new Promise((go) => setImmediate(go))).then(() => {
            const answers = [];
            for (const { id, path } of message.jobs) {
                if (this.dead || path.startsWith("stall")) return;
                if (path.startsWith("kill")) {
                    this.dispatchEvent(Object.assign(new Event("error", { cancelable: true }), { message: "killed" }));
                    return;
                }
                answers.push({ id, run: { out: encode(path), err: new Uint8Array(0), status: 0 } });
            }
            this.dispatchEvent(new MessageEvent("message", { data: answers }));
        });
    }
    terminate() {
        if (!this.dead) this.pool.alive--;
        this.dead = true;
    }
}

test("each run ends as its job deserves, and no worker outlives the work", async (t) => {
    // Time passes only when the test says, for the bridge's wait on a silent worker:
    // timers of the test's own, as Node 18's mock timers do not reach the bridge's.
    const [setTimeout, clearTimeout] = [globalThis.setTimeout, globalThis.clearTimeout];
    t.after(() => Object.assign(globalThis, { setTimeout, clearTimeout }));
    const timers = new Map();
    let [now, last] = [0, 0];
    Object.assign(globalThis, {
        setTimeout: (f, ms) => (timers.set(++last, { f, at: now + ms }), last),
        clearTimeout: (id) => timers.delete(id),
    });
    const tick = (ms) => {
        now += ms;
        for (const [id, { f, at }] of [...timers]) if (at <= now && timers.delete(id)) f();
    };
    await fc.assert(fc.asyncProperty(
        fc.integer({ min: 1, max: 5 }),
        fc.array(fc.record({ kind: fc.constantFrom("good", "good", "good", "kill", "stall"),
                             abort: fc.option(fc.nat(6), { nil: undefined }) }), { minLength: 1, maxLength: 40 }),
        async (cores, jobs) => {
            const pool = { alive: 0, most: 0 };
            const bridge = createbridge({
                wasm: "AGFzbQEAAAA=", workercode: "", cores, spawn: () => /** @type {any} */ (new Fake(pool)),
                here: async (module, path) => ({ out: encode("here " + path), err: new Uint8Array(0), status: 0 }),
            });
            const ended = jobs.map(() => null);
            const controllers = jobs.map(() => new AbortController());
            jobs.forEach(({ kind }, i) => bridge.run(`${kind}${i}`, new Uint8Array(0), controllers[i].signal).then(
                (run) => (ended[i] = decode(run.out)), (e) => (ended[i] = e)));
            for (let step = 0; step < 200 && ended.includes(null); step++) {
                jobs.forEach(({ abort }, i) => abort === step && controllers[i].abort());
                await new Promise((go) => setImmediate(go));
                if (step % 10 === 9) tick(30000);
            }
            assert.ok(!ended.includes(null), "a run never ended");
            jobs.forEach(({ kind, abort }, i) => {
                const end = ended[i];
                if (end instanceof Error && end.name === "AbortError") return assert.notEqual(abort, undefined);
                if (kind === "good") return assert.ok([`good${i}`, `here good${i}`].includes(end), `good${i} gave ${end}`);
                assert.ok(end === `here ${kind}${i}` || /could not run/.test(end?.message), `${kind}${i} gave ${end}`);
            });
            assert.ok(pool.most <= Math.min(Math.max(cores - 1, 0), 4), `${pool.most} workers at once`);
            bridge.rest();
            assert.equal(pool.alive, 0, "workers left running");
        }), { numRuns: 200 });
});

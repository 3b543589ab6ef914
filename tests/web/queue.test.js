// SPDX-License-Identifier: MIT
// The queue against a model of it: random picks of cave files, good, empty and damaged
// archives and folders, in any order and size, with Cancel and Clear at any point,
// while a fake program and fake reads answer in a random order.
import assert from "node:assert/strict";
import { test } from "node:test";
import fc from "fast-check";
import { page } from "./modules.js";

const { createqueue } = await page("queue.js");
const bytes = (text) => new TextEncoder().encode(text);

// A pick's item: a cave file (that the program may fail on), or an archive of some
// members (each a file that may fail), which may be damaged.
const file = fc.record({ kind: fc.constant("file"), fails: fc.boolean() });
const archive = fc.record({ kind: fc.constant("archive"), damaged: fc.boolean(),
                            members: fc.array(fc.boolean(), { maxLength: 4 }) });
const pick = fc.array(fc.oneof(file, archive), { minLength: 1, maxLength: 5 });

// Every leaf is named apart: its pick and place, so a misplaced one shows.
let named = 0;

class Pick {
    constructor(items) { this.items = items; }
    check() { return true; }
    async run(model, real) {
        const at = model.picks.length;
        const jobs = [];
        const leaves = [];
        for (const item of this.items) {
            const name = `p${at}-${named++}`;
            if (item.kind === "file") {
                jobs.push({ parts: [name], head: () => real.later(bytes(item.fails ? "fail" : name)) });
                leaves.push({ path: name, error: item.fails });
            } else if (item.damaged) {
                jobs.push({ parts: [name + ".zip"], members: () => real.later(null) });
                leaves.push({ path: name + ".zip", error: true });
            } else {
                const members = item.members.map((fails, i) => ({
                    path: `m/${i}`, notes: [`note ${i}`],
                    head: () => real.later(bytes(fails ? "fail" : `${name}.zip/m/${i}`)) }));
                jobs.push({ parts: [name + ".zip"], members: () => real.later({ members, notes: [] }) });
                if (members.length === 0) leaves.push({ path: name + ".zip", error: true });
                item.members.forEach((fails, i) => leaves.push({ path: `${name}.zip/m/${i}`, error: fails }));
            }
        }
        model.picks.push({ leaves, cancelled: false, epoch: model.epoch });
        for (const leaf of leaves) model.owner.set(leaf.path, model.picks.length - 1);
        real.done = false;
        real.queue.add(jobs);
    }
    toString() { return `pick(${JSON.stringify(this.items)})`; }
}
class Cancel {
    check() { return true; }
    async run(model, real) {
        model.picks.forEach((p) => (p.cancelled = true));
        real.queue.cancel();
    }
    toString() { return "cancel"; }
}
class Clear {
    check() { return true; }
    async run(model, real) {
        model.epoch++;
        real.shown = [];
        real.queue.clear();
    }
    toString() { return "clear"; }
}

test("every file ends once, in order, counted, and nothing outlives a Clear", async () => {
    await fc.assert(fc.asyncProperty(
        fc.scheduler(), fc.integer({ min: 2, max: 8 }),
        fc.commands([pick.map((items) => new Pick(items)), fc.constant(new Cancel()), fc.constant(new Clear())],
                    { maxCommands: 8 }),
        async (s, ahead, commands) => {
            const model = { picks: [], epoch: 0, owner: new Map() };
            const faults = [];
            const real = {
                shown: [], done: true,
                // A read or a run that ends when the scheduler says: a null listing is
                // a damaged archive, and a head saying "fail" one the program fails on.
                later: (value) => s.schedule(Promise.resolve(value)).then((v) => {
                    if (v === null) throw new Error("it is damaged");
                    return v;
                }),
            };
            real.queue = createqueue({
                ahead,
                run: (path, head) => real.later(head).then((h) => {
                    const said = new TextDecoder().decode(h);
                    if (said === "fail") throw new Error("no run");
                    return { out: bytes(`${path}=${said}`), err: new Uint8Array(0), status: 0 };
                }),
                onfile(outcome, counts) {
                    const owner = model.picks[model.owner.get(outcome.path)];
                    if (!owner || owner.epoch !== model.epoch) faults.push(`${outcome.path} shown after a Clear`);
                    if (counts.finished > counts.total) faults.push(`${counts.finished} of ${counts.total}`);
                    real.shown.push(outcome);
                },
                ondone(counts) {
                    if (counts.finished !== counts.total) faults.push(`done at ${counts.finished} of ${counts.total}`);
                    real.done = true;
                },
            });
            await fc.scheduledModelRun(s, () => ({ model, real }), commands);
            // Every read and run ends, and what they set off ends too.
            do {
                await s.waitAll();
                await new Promise((resolve) => setImmediate(resolve));
            } while (s.count() > 0);
            assert.deepEqual(faults, []);
            assert.equal(real.queue.progress(), null, "the queue still runs");
            assert.ok(real.done, "the queue never said it was done");
            // What shows since the last Clear: each of its picks' files in the order
            // given, an archive's members in its place, all of them unless a Cancel
            // came after the pick, and then those before where it cut.
            const current = model.picks.filter((p) => p.epoch === model.epoch);
            const expected = [];
            let at = 0;
            for (const p of current) {
                let n = 0;
                while (n < p.leaves.length && at < real.shown.length && real.shown[at].path === p.leaves[n].path) {
                    n++;
                    at++;
                }
                if (!p.cancelled) assert.equal(n, p.leaves.length, `a pick lost ${p.leaves[n]?.path}`);
                expected.push(...p.leaves.slice(0, n));
            }
            assert.equal(at, real.shown.length, `unexpected ${real.shown[at]?.path}`);
            real.shown.forEach((outcome, i) => {
                const leaf = expected[i];
                if (leaf.error) assert.ok("error" in outcome, `${leaf.path} should have failed`);
                else assert.equal(new TextDecoder().decode(outcome.run.out), `${leaf.path}=${leaf.path}`);
            });
        }), { numRuns: 300 });
});

// SPDX-License-Identifier: MIT
// The queue against a model of it: random picks of cave files, good, empty and damaged
// archives and folders, in any order and size, with Cancel and Clear at any point,
// while the fake reads and runs of the test end in whatever order fast-check chooses.
import assert from "node:assert/strict";
import { test } from "node:test";
import fc from "fast-check";
import { page } from "./modules.js";

const { createqueue } = await page("queue.js");
const bytes = (text) => new TextEncoder().encode(text);
const text = (b) => new TextDecoder().decode(b);

// A pick's item: a cave file, which the program may fail on, or an archive of some
// members, each such a file, which may be damaged. A folder is a pick of files.
const item = fc.oneof(fc.record({ fails: fc.boolean() }),
                      fc.record({ damaged: fc.boolean(), members: fc.array(fc.boolean(), { maxLength: 4 }) }));
const command = (name, run) => ({ check: () => true, run, toString: () => name });
let named = 0; // every file is named apart, so that one out of place shows

/** Queues a pick's jobs; the model keeps the files each job comes to, in order. */
const pick = (items) => command(`pick(${JSON.stringify(items)})`, async (model, real) => {
    const jobs = [];
    const files = [];
    for (const it of items) {
        const name = `f${named++}`;
        if ("fails" in it) {
            jobs.push({ parts: [name], head: () => real.later(bytes(it.fails ? "fail" : name)) });
            files.push({ path: name, fails: it.fails });
            continue;
        }
        const members = it.members.map((fails, i) => ({ path: `m/${i}`, notes: [],
                                                        head: () => real.later(bytes(fails ? "fail" : `${name}.zip/m/${i}`)) }));
        jobs.push({ parts: [name + ".zip"], members: () => real.later(it.damaged ? null : { members, notes: [] }) });
        if (it.damaged || members.length === 0) files.push({ path: name + ".zip", fails: true });
        else it.members.forEach((fails, i) => files.push({ path: `${name}.zip/m/${i}`, fails }));
    }
    model.picks.push({ files, cut: false, epoch: model.epoch });
    files.forEach((f) => model.epochs.set(f.path, model.epoch));
    real.done = false;
    real.queue.add(jobs);
});
const cancel = command("cancel", async (model, real) => {
    model.picks.forEach((p) => (p.cut = true));
    real.queue.cancel();
});
const clear = command("clear", async (model, real) => {
    model.epoch++;
    real.shown = [];
    real.queue.clear();
});

test("every file ends once, in order, counted, and nothing outlives a Clear", async () => {
    await fc.assert(fc.asyncProperty(
        fc.scheduler(), fc.integer({ min: 2, max: 8 }),
        fc.commands([fc.array(item, { minLength: 1, maxLength: 5 }).map(pick), fc.constant(cancel), fc.constant(clear)],
                    { maxCommands: 8 }),
        async (s, ahead, commands) => {
            const model = { picks: [], epoch: 0, epochs: new Map() };
            const faults = [];
            // A read or a run ends when the scheduler says: a null listing is a damaged
            // archive, and a head saying "fail" a file the program fails on.
            const later = (value) => s.schedule(Promise.resolve(value)).then((v) => v ?? Promise.reject(new Error("damaged")));
            const real = { shown: [], done: true, later };
            real.queue = createqueue({
                ahead,
                run: (path, head) => later(head).then((h) => (text(h) === "fail" ? Promise.reject(new Error("no run"))
                    : { out: bytes(`${path}=${text(h)}`), err: new Uint8Array(0), status: 0 })),
                onfile(outcome, counts) {
                    if (model.epochs.get(outcome.path) !== model.epoch) faults.push(`${outcome.path} after a Clear`);
                    if (counts.finished > counts.total) faults.push(`${counts.finished} of ${counts.total}`);
                    real.shown.push(outcome);
                },
                ondone(counts) {
                    if (counts.finished !== counts.total) faults.push(`done at ${counts.finished} of ${counts.total}`);
                    real.done = true;
                },
            });
            await fc.scheduledModelRun(s, () => ({ model, real }), commands);
            do { // every read and run ends, and what they set off ends too
                await s.waitAll();
                await new Promise((resolve) => setImmediate(resolve));
            } while (s.count() > 0);
            assert.deepEqual(faults, []);
            assert.equal(real.queue.progress(), null, "the queue still runs");
            assert.ok(real.done, "the queue never said it was done");
            // Since the last Clear: each pick's files in the order given, an archive's
            // members in its place, all of them unless a Cancel came after the pick.
            let at = 0;
            for (const p of model.picks.filter((p) => p.epoch === model.epoch)) {
                let n = 0;
                for (; n < p.files.length && real.shown[at]?.path === p.files[n].path; n++, at++) {
                    const { fails, path } = p.files[n];
                    if (fails) assert.ok("error" in real.shown[at], `${path} should have failed`);
                    else assert.equal(text(real.shown[at].run.out), `${path}=${path}`);
                }
                if (!p.cut) assert.equal(n, p.files.length, `a pick lost ${p.files[n]?.path}`);
            }
            assert.equal(at, real.shown.length, `unexpected ${real.shown[at]?.path}`);
        }), { numRuns: 300 });
});

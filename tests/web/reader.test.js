// SPDX-License-Identifier: MIT
// The reader fed any bytes, and a good archive cut, padded and prefixed: it ends, with
// members or with an Error that says why in its words or those of the page's name rules
// (never one of JavaScript's, a TypeError or RangeError of a bug), and what it lets be
// changes nothing it reads.
import assert from "node:assert/strict";
import test from "node:test";
import fc from "fast-check";
import { page } from "./modules.js";

const { members } = await page("zipread.js");
const { make } = await page("zipwrite.js");
const { fromfile } = await page("sources.js");
const { centralsig, end64sig, endsig, localsig, locatorsig } = await page("zipformat.js");
const bytes = (text) => new TextEncoder().encode(text);
const good = new Uint8Array(await make([{ path: "a.cav", bytes: bytes("cave ".repeat(300)) },
                                        { path: "d/b.cav", bytes: bytes("b") }]).arrayBuffer());
/** A reason the reader gives, from e; throws e where it is not one: a TypeError, say. */
function reason(e) {
    if (!(e instanceof Error) || e.constructor !== Error || !/^(it|its|the archive|a name) /u.test(e.message)) throw e;
    return e.message;
}
/** The listing as text, or "refused: why". */
async function listing(...parts) {
    try {
        const { members: list, notes } = await members(fromfile(new Blob(parts)), 1024);
        const heads = await Promise.all(list.map((m) => m.head().then((h) => h.join(), (e) => `error: ${reason(e)}`)));
        return JSON.stringify([list.map((m) => m.path), heads, notes.filter((n) => !/skipped/u.test(n))]);
    } catch (e) {
        return `refused: ${reason(e)}`;
    }
}

test("any bytes, signatures and changed archives among them, end with a listing or a reason, never another Error", { timeout: 120_000 }, async () => {
    const signatures = [localsig, centralsig, endsig, end64sig, locatorsig].map((s) => Uint8Array.of(s, s >>> 8, s >>> 16, s >>> 24));
    const changed = fc.array(fc.tuple(fc.nat(good.length - 1), fc.nat(255)), { maxLength: 6 }).map((changes) =>
        changes.reduce((copy, [at, byte]) => ((copy[at] = byte), copy), Uint8Array.from(good)));
    const part = fc.oneof(fc.uint8Array({ maxLength: 64 }), fc.constantFrom(...signatures), changed);
    await fc.assert(fc.asyncProperty(fc.array(part, { maxLength: 24 }), async (parts) => void await listing(...parts)), { numRuns: 300 });
});

test("a good archive cut anywhere, or with bytes before or after it", { timeout: 120_000 }, async () => {
    const whole = await listing(good);
    assert.match(whole, /^\[\["a\.cav","d\/b\.cav"\]/u);
    // The last entry's name made to run past the directory's end: refused, no member lost.
    const overrun = Uint8Array.from(good);
    overrun[Buffer.from(good).lastIndexOf(Buffer.from([0x50, 0x4b, 1, 2])) + 28]++;
    assert.match(await listing(overrun), /^refused: .*breaks off at member 2/u);
    await fc.assert(fc.asyncProperty(fc.nat(good.length - 1), async (cut) => assert.match(await listing(good.subarray(0, cut)), /^refused/u)));
    const junk = fc.uint8Array({ maxLength: 3000 });
    await fc.assert(fc.asyncProperty(junk.filter((j) => j[0] !== 0x50), junk, async (before, after) =>
        assert.equal(await listing(before, good, after), whole)), { numRuns: 200 });
});

// SPDX-License-Identifier: MIT
// queue.js - the files waiting to be shown, run in the order they came, the next ones
// read ahead. add(jobs) queues jobs as the intake makes them; each file's outcome goes
// in order to onfile, and ondone follows when the queue runs dry. An archive's members
// take its place in the queue, each a file of its own named ARCHIVE/MEMBER; an archive
// that cannot be read is one file whose error says why. Nothing here touches the page:
// the program's runs come from the run it is given, and which names it can be given
// from the page's system (wasi.js).

import { unfit } from "./wasi.js";

/** @typedef {import("./program.js").Run} Run */
/** @typedef {import("./output.js").Outcome} Outcome */
/** @typedef {import("./zipread.js").Listing} Listing */
/** A cave file: its folders' names and its own, and the promise of its first bytes.
 * @typedef {{ parts: string[], head: () => Promise<Uint8Array> }} FileJob */
/** A .zip archive: its folders' names and its own, and the promise of its members.
 * @typedef {{ parts: string[], members: () => Promise<Listing> }} ArchiveJob */
/** @typedef {FileJob | ArchiveJob} Job */
/** @typedef {{ listing: Listing } | { run: Run } | { error: string }} Result */
/** A job queued: what was noted of it, what takes it back, and its result once started.
 * @typedef {{ job: Job, notes: string[], abort: AbortController, result: Promise<Result> | null }} Item */
/** @typedef {{ finished: number, total: number }} Counts */
/** @typedef {(path: string, bytes: Uint8Array | null, signal: AbortSignal) => Promise<Run>} Runner */

/** @param {unknown} e */
const message = (e) => (e instanceof Error ? e.message : String(e));

/** A queue that runs files through run, 256 read ahead unless told otherwise.
 * @param {{ run: Runner, onfile: (outcome: Outcome, counts: Counts) => void,
 *           ondone: (counts: Counts) => void, ahead?: number }} given */
export function createqueue({ run, onfile, ondone, ahead = 256 }) {
    /** @type {Item[]} */
    let queue = []; // the jobs not yet shown
    /** @type {Item | null} */
    let current = null; // the job whose outcome is awaited
    let total = 0; // files in this batch, an archive counted as one until it is opened
    let finished = 0;
    let running = false;
    let generation = 0; // counts the clearings, so that an outcome from before one is dropped
    let cancels = 0; // counts the cancellings, so that an archive opened across one stays shut

    /** @param {Job} job @param {string[]} notes @returns {Item} */
    const item = (job, notes) => ({ job, notes, abort: new AbortController(), result: null });

    /** The promise of a job's result: an archive's members, or the program's run on the
     * file's head; an error says why there is neither. A file under a name no file on
     * Linux can have is run with no file under its name, and the program says what it
     * says on Linux when it cannot open one.
     * @param {Item} queued @returns {Promise<Result>} */
    function begin({ job, abort }) {
        if ("members" in job) return job.members().then((listing) => ({ listing }));
        const head = unfit(job.parts) ? Promise.resolve(null) : job.head();
        return head.then((bytes) => run(job.parts.join("/"), bytes, abort.signal)).then((done) => ({ run: done }));
    }

    // Starts every job among the first ahead of the queue that is not started yet, so
    // that the program never waits for a file's head.
    function refill() {
        for (const queued of queue.slice(0, ahead)) {
            if (queued.result) continue;
            queued.result = begin(queued);
            queued.result.catch(() => {}); // a failure shows on its file's card, when its turn comes
        }
    }

    /** The result of a queued job, or an error when it failed or was taken back.
     * @param {Item} queued @returns {Promise<Result>} */
    function settle(queued) {
        const { signal } = queued.abort;
        const back = new Promise((resolve) => {
            if (signal.aborted) resolve(undefined);
            signal.addEventListener("abort", resolve, { once: true });
        }).then(() => ({ error: "taken back" }));
        const result = queued.result ?? Promise.reject(new Error("the page never started it"));
        return Promise.race([result, back]).catch((e) => ({ error: message(e) }));
    }

    async function drain() {
        if (running) return;
        running = true;
        while (queue.length > 0) {
            refill();
            const queued = /** @type {Item} */ (queue.shift());
            current = queued;
            const made = generation;
            const cut = cancels;
            let result = await settle(queued);
            current = null;
            if (made !== generation) continue;
            const path = queued.job.parts.join("/");
            if ("listing" in result) {
                if (cut !== cancels) {
                    total--;
                    continue;
                }
                const { members, notes } = result.listing;
                if (members.length > 0) {
                    const parts = queued.job.parts;
                    queue = members.map((member) => item({ parts: parts.concat(member.path.split("/")), head: member.head },
                                                          [...queued.notes, ...notes, ...member.notes])).concat(queue);
                    total += members.length - 1;
                    continue;
                }
                result = { error: "the archive holds no files" };
            }
            finished++;
            onfile({ path, notes: queued.notes, ...result }, { finished, total });
        }
        running = false;
        const counts = { finished, total };
        total = finished = 0;
        ondone(counts);
    }

    /** Queues jobs after those waiting. @param {Job[]} jobs */
    function add(jobs) {
        queue = queue.concat(jobs.map((job) => item(job, [])));
        total += jobs.length;
        drain();
    }

    // Drops what waits, and takes back its runs; the file being waited for is still shown.
    function cancel() {
        cancels++;
        total -= queue.length;
        queue.forEach((queued) => queued.abort.abort());
        queue = [];
    }

    // Drops what waits and the file being waited for: the batch starts again from none.
    function clear() {
        generation++;
        cancels++;
        queue.forEach((queued) => queued.abort.abort());
        current?.abort.abort();
        queue = [];
        total = finished = 0;
    }

    /** How far the batch has got: null when none runs. @returns {Counts | null} */
    const progress = () => (running ? { finished, total } : null);

    return { add, cancel, clear, progress };
}

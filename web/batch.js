// SPDX-License-Identifier: MIT
// batch.js - the files waiting to be shown, run one after the other in the order they
// came, with the next ones read ahead: batch.add(jobs) queues jobs as intake.js makes
// them, and each file's outcome goes, in order, to the page's onfile as { path, out,
// err, status } (the program's run, runner.js) or { path, error } (why there is none).
// An archive's members take its place in the queue, each a file of its own named
// ARCHIVE/MEMBER; an archive that cannot be read is one file whose error says why.
"use strict";

const batch = (() => {
    // How many queued files are read and handed to the program before their turn: a
    // file's head takes long to come compared with a run, and fewer than this kept the
    // program waiting on a thousand files.
    const ahead = 256;
    let queue = []; // the jobs not yet shown, each with its result once started
    let total = 0; // files in this batch, an archive counted as one until it is opened
    let finished = 0;
    let running = false;
    let generation = 0; // counts the clearings, so that an outcome from before one is dropped
    let cancels = 0; // counts the cancellings, so that an archive opened across one stays shut
    const hooks = { onfile() {}, ondone() {} };

    // Why the in-page file system cannot hold a file under these folder and file names,
    // or "" when it can.
    function unfit(parts) {
        for (const part of parts) {
            if (part === "" || part === "." || part === "..") return `a name may not be "${part}"`;
            if (part.includes("/")) return 'a name may not hold "/"';
            if (part.includes("\0")) return "a name may not hold a NUL character";
        }
        return "";
    }

    // The promise of a job's outcome: an archive's members, or the program's run on the
    // file's head, which fails with why there is none.
    function begin(job) {
        if (job.members) return job.members().then((members) => ({ members }));
        const why = unfit(job.parts);
        if (why) return Promise.reject(new Error(`cavedump was not run: the page cannot hold this file's name (${why})`));
        return job.head().then((bytes) => runner.run(job.parts.join("/"), bytes));
    }

    // Starts the first jobs of the queue that are not started yet, up to ahead of them.
    function start() {
        for (const job of queue.slice(0, ahead)) {
            if (job.result) continue;
            job.result = begin(job);
            job.result.catch(() => {}); // a failure shows on its file's card, when its turn comes
        }
    }

    async function run() {
        if (running) return;
        running = true;
        while (queue.length > 0) {
            if (!queue[Math.min(queue.length, ahead / 2) - 1].result) start();
            const job = queue.shift();
            const made = generation;
            const cut = cancels;
            let outcome;
            try {
                outcome = await job.result;
            } catch (e) {
                outcome = { error: e instanceof Error ? e.message : String(e) };
            }
            if (made !== generation) continue;
            if (outcome.members && cut !== cancels) {
                total--;
                continue;
            }
            if (outcome.members) {
                const members = outcome.members.map((member) =>
                    ({ parts: job.parts.concat(member.path.split("/")), head: member.head }));
                if (members.length > 0) {
                    queue = members.concat(queue);
                    total += members.length - 1;
                    continue;
                }
                outcome = { error: "the archive holds no files" };
            }
            finished++;
            hooks.onfile({ path: job.parts.join("/"), ...outcome });
        }
        running = false;
        total = finished = 0;
        hooks.ondone();
    }

    function add(jobs) {
        queue = queue.concat(jobs);
        total += jobs.length;
        run();
    }

    // Drops what waits; the file being waited for is still shown.
    function cancel() {
        cancels++;
        total -= queue.length;
        queue = [];
    }

    // Drops what waits and the file being waited for: the batch starts again from none.
    function clear() {
        generation++;
        cancels++;
        queue = [];
        total = finished = 0;
    }

    // How far the batch has got: null when none runs.
    const progress = () => (running ? { finished, total } : null);

    return { hooks, add, cancel, clear, progress };
})();

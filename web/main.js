// SPDX-License-Identifier: MIT
// main.js - the page: joins its parts. Files and archives picked, dropped or named by
// ?cave= (intake.js) go to the queue (queue.js), which has cavedump run on each in
// order through the worker bridge (bridge.js); each file's outcome is decoded once
// (output.js) into the gallery (gallery.js), whose tiles open cards (card.js). The
// page decodes no file itself: all it shows is taken from the program's output.

import { install } from "./app.js";
import { createbridge } from "./bridge.js";
import { announce, byid, complain, element, palette } from "./dom.js";
import { letters } from "./facts.js";
import * as gallery from "./gallery.js";
import { dropped, folder, fromurls, picked } from "./intake.js";
import { counted, decode, number } from "./output.js";
import { createqueue } from "./queue.js";
import wasm from "./cavedump.wasm.gz";
import workercode from "./cavedumpworker.txt";

/** @typedef {import("./queue.js").Job} Job */

const cards = byid("cards");
const cancel = /** @type {HTMLButtonElement} */ (byid("cancel"));
const clear = /** @type {HTMLButtonElement} */ (byid("clear"));

// The program is inflated and compiled once, here, and sent to the worker, which only
// makes instances of it.
const inflated = new Response(new Blob([wasm]).stream().pipeThrough(new DecompressionStream("gzip"))).arrayBuffer();
const bridge = createbridge({ module: inflated.then((bytes) => WebAssembly.compile(bytes)), workercode });

// The page shows the queue's work at most ten times a second, so that it is laid out
// once for many files. A control that hides itself or turns itself off hands the
// focus on: to the current tile, or to the file chooser when there is none.
let shownat = 0;
function show() {
    const focused = document.activeElement;
    gallery.refresh();
    const going = queue.progress();
    byid("progress").textContent = going ? `${going.finished} of ${going.total}` : "";
    cancel.hidden = !going;
    clear.disabled = !going && gallery.size() === 0;
    byid("losing").hidden = clear.disabled;
    if (focused instanceof HTMLButtonElement && (focused.hidden || focused.disabled) && !gallery.focus())
        byid("pick").focus();
    shownat = performance.now();
}
// A screen reader hears when a batch starts, how far it has got every few seconds,
// and how it ended, with what the files were.
/** @type {{ atari: number, kv64: number, neither: number } | null} */
let batch = null; // the kinds of the files of the batch running, counted
let saidat = 0;
let cancelled = false;
const queue = createqueue({
    run: bridge.run,
    onfile(outcome, { finished, total }) {
        const file = decode(outcome);
        gallery.add(file);
        if (batch) batch[file.kind]++;
        if (performance.now() - saidat > 5000) {
            announce(`${number(finished)} of ${number(total)} files read.`);
            saidat = performance.now();
        }
        if (performance.now() - shownat > 100) show();
    },
    // #cards carries data-done, the number of files finished, once the queue is done.
    // The worker is ended, and what its runs left behind with it, until the next pick.
    ondone({ finished }) {
        bridge.rest();
        show();
        cards.dataset.done = String(gallery.size());
        if (batch) announce((cancelled ? "Cancelled. " : "") + counted(finished, batch) + ".");
        batch = null;
    },
});
/** @param {Job[]} jobs */
const add = (jobs) => {
    complain("");
    if (!batch && jobs.length > 0) {
        batch = { atari: 0, kv64: 0, neither: 0 };
        saidat = performance.now();
        announce(`Reading ${number(jobs.length)} ${jobs.length === 1 ? "file" : "files"}.`);
    }
    if (jobs.length > 0) cancelled = false;
    queue.add(jobs);
    show();
};

/** @param {string} id @param {(files: FileList) => Job[]} jobs */
function chooser(id, jobs) {
    const input = /** @type {HTMLInputElement} */ (byid(id));
    input.addEventListener("change", () => {
        if (input.files) add(jobs(input.files));
        input.value = "";
    });
}
chooser("pick", picked);
chooser("pickfolder", folder);
document.addEventListener("dragover", (e) => {
    e.preventDefault();
    document.body.classList.add("over");
});
document.addEventListener("dragleave", (e) => {
    if (e.relatedTarget === null) document.body.classList.remove("over");
});
document.addEventListener("drop", (e) => {
    e.preventDefault();
    document.body.classList.remove("over");
    if (!e.dataTransfer) return;
    dropped(e.dataTransfer.items).then(add, (why) => complain(`What was dropped could not be read: ${why}.`));
});
cancel.addEventListener("click", () => {
    queue.cancel();
    cancelled = true;
    bridge.rest();
    show();
});
clear.addEventListener("click", () => {
    queue.clear();
    bridge.rest();
    gallery.clear();
    batch = null;
    complain("");
    announce("Cleared.");
    show();
    if (!queue.progress()) cards.dataset.done = "0";
});

// The legend: each tile's letter, value and colour.
for (const [value, c] of [...letters].entries()) {
    const item = element("li", "", `${c} ${value}`);
    item.style.setProperty("--c", palette[value]);
    byid("legend").querySelector("ul")?.append(item);
}

add(fromurls(new URLSearchParams(location.search).getAll("cave"), location.href));
install(() => !clear.disabled);

// SPDX-License-Identifier: MIT
// main.js - the page: joins its parts. Files and archives picked, dropped or named by
// ?cave= (intake.js) go to the queue (queue.js), which has cavedump run on each in
// order through the worker bridge (bridge.js); each file's outcome is decoded once
// (output.js) into the gallery (gallery.js), whose tiles open cards (card.js). The
// page decodes no file itself: all it shows is taken from the program's output.

import { install } from "./app.js";
import { createbridge } from "./bridge.js";
import { byid, complain, element, palette } from "./dom.js";
import { letters } from "./facts.js";
import * as gallery from "./gallery.js";
import { dropped, folder, picked, wanted } from "./intake.js";
import { decode } from "./output.js";
import { createqueue } from "./queue.js";

/** @typedef {import("./queue.js").Job} Job */

const cards = byid("cards");
const cancel = /** @type {HTMLButtonElement} */ (byid("cancel"));

const bridge = createbridge({ wasm: cavedumpwasm, workercode: cavedumpworker, cores: navigator.hardwareConcurrency || 1 });

// The page shows the queue's work at most ten times a second, so that it is laid out
// once for many files.
let shownat = 0;
let last = ""; // the line of the last file finished, for a screen reader
function show() {
    gallery.refresh();
    const going = queue.progress();
    byid("progress").textContent = going ? `${going.finished} of ${going.total}` : "";
    cancel.hidden = !going;
    byid("announce").textContent = last;
    shownat = performance.now();
}
const queue = createqueue({
    run: bridge.run,
    onfile(outcome) {
        const file = decode(outcome);
        gallery.add(file);
        last = `${file.path}: ${file.line}`;
        if (performance.now() - shownat > 100) show();
    },
    // #cards carries data-done, the number of files finished, once the queue is done.
    ondone() {
        show();
        cards.dataset.done = String(gallery.size());
    },
});
/** @param {Job[]} jobs */
const add = (jobs) => {
    complain("");
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
    bridge.rest();
    show();
});
byid("clear").addEventListener("click", () => {
    queue.clear();
    bridge.rest();
    gallery.clear();
    last = "";
    complain("");
    show();
    if (!queue.progress()) cards.dataset.done = "0";
});

// The legend: each tile's letter, value and colour.
for (const [value, c] of [...letters].entries()) {
    const item = element("li", "", `${c} ${value}`);
    item.style.setProperty("--c", palette[value]);
    byid("legend").querySelector("ul")?.append(item);
}

add(wanted(new URLSearchParams(location.search).getAll("cave"), location.href));
install();

// SPDX-License-Identifier: MIT
// page.js - the page: joins its parts. Files and archives picked, dropped or named by
// ?cave= (intake.js) go to the batch (batch.js), which has cavedump (runner.js) run on
// each in order; each file's outcome goes into the gallery (gallery.js), whose tiles
// open cards (card.js). The page decodes no file itself: all it shows is taken from
// the program's output (output.js).
"use strict";

{
    const $ = (id) => document.getElementById(id);
    const cards = $("cards");

    // The page shows the batch's work at most ten times a second, so that it is laid
    // out once for many files.
    let shownat = 0;
    let last = ""; // the line of the last file finished, for a screen reader
    function show() {
        gallery.refresh();
        const going = batch.progress();
        $("progress").textContent = going ? `${going.finished} of ${going.total}` : "";
        $("cancel").hidden = !going;
        $("announce").textContent = last;
        shownat = performance.now();
    }
    batch.hooks.onfile = (outcome) => {
        const file = gallery.add(outcome);
        last = `${file.path}: ${file.line}`;
        if (performance.now() - shownat > 100) show();
    };
    // #cards carries data-done, the number of files finished, once the batch is done.
    batch.hooks.ondone = () => {
        show();
        cards.dataset.done = String(gallery.size());
    };
    const add = (jobs) => {
        batch.add(jobs);
        show();
    };

    $("pick").addEventListener("change", (e) => {
        add(intake.picked(e.target.files));
        e.target.value = "";
    });
    $("pickfolder").addEventListener("change", (e) => {
        add(intake.folder(e.target.files));
        e.target.value = "";
    });
    document.addEventListener("dragover", (e) => {
        e.preventDefault();
        document.body.classList.add("over");
    });
    document.addEventListener("dragleave", (e) => {
        if (e.relatedTarget === null) document.body.classList.remove("over");
    });
    document.addEventListener("drop", async (e) => {
        e.preventDefault();
        document.body.classList.remove("over");
        add(await intake.dropped(e.dataTransfer.items));
    });
    $("cancel").addEventListener("click", () => {
        batch.cancel();
        show();
    });
    $("clear").addEventListener("click", () => {
        batch.clear();
        gallery.clear();
        last = "";
        show();
        if (!batch.progress()) cards.dataset.done = "0";
    });

    // The legend: each tile's letter, value and colour.
    for (const [value, c] of [...output.letters].entries()) {
        const item = output.element("li", "", `${c} ${value}`);
        item.style.setProperty("--c", output.palette[value]);
        $("legend").querySelector("ul").append(item);
    }

    add(intake.wanted(new URLSearchParams(location.search).getAll("cave")));
}

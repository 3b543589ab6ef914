// SPDX-License-Identifier: MIT
// page.js - runs cavedump, compiled to WebAssembly, once for each cave file given to
// the page, as the command line would: the file's name as its one argument, so there
// is no prompt. Each file gets a card with the program's standard output and standard
// error, byte for byte, a picture of the map drawn from the report's own letter
// picture, and a button that saves the report. The page decodes no file itself.
"use strict";

// The report's letters for tile values 0 to 15.
const letters = "BDmwWeRdfbASoOI.";
const cards = document.getElementById("cards");

// One character a byte, so that every byte the program wrote is shown as it is.
const astext = (bytes) => bytes.map((b) => String.fromCharCode(b)).join("");

function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
}

// Runs the program on one file. A fresh instance each time: a run ends the program,
// and nothing of one run may reach the next.
async function cavedump(name, bytes) {
    const out = [];
    const err = [];
    const options = {
        noInitialRun: true,
        preRun: [() => options.FS.init(() => null, (c) => c !== null && out.push(c),
                                       (c) => c !== null && err.push(c))],
    };
    const program = await createCavedump(options);
    program.FS.mkdir("/caves");
    program.FS.chdir("/caves");
    program.FS.writeFile(name, bytes);
    let status;
    try {
        status = program.callMain([name]);
    } catch (e) {
        if (!e || e.name !== "ExitStatus") throw e;
        status = e.status;
    }
    return { out, err, status };
}

// The map picture of a report: the 22 rows after the second type line and the closing
// row below them, 40 letters each; null when the report has none.
function picture(report) {
    const lines = report.split("\n");
    const start = lines.findIndex((line) => line.endsWith("-(2)-")) + 1;
    const rows = lines.slice(start, start + 23);
    const whole = start > 0 && rows.length === 23 &&
        rows.every((row) => row.length === 40 && [...row].every((c) => letters.includes(c)));
    return whole ? rows : null;
}

function drawmap(rows) {
    const map = element("div", "map");
    map.setAttribute("role", "img");
    map.setAttribute("aria-label", "the map, 40 by 23 tiles, drawn from the report");
    for (const row of rows)
        for (const c of row) map.append(element("span", "v" + letters.indexOf(c)));
    return map;
}

function legend() {
    const list = element("div", "legend");
    list.setAttribute("aria-hidden", "true");
    [...letters].forEach((c, value) => list.append(element("span", "v" + value, c + " " + value)));
    return list;
}

function save(name, bytes) {
    const link = element("a");
    link.href = URL.createObjectURL(new Blob([new Uint8Array(bytes)], { type: "text/plain" }));
    link.download = name + ".txt";
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

async function show(name, bytes) {
    const card = element("article", "card");
    card.append(element("h2", "", name));
    cards.append(card);
    try {
        const run = await cavedump(name, bytes);
        const report = astext(run.out);
        const body = element("div", "body");
        const text = element("div");
        text.append(element("pre", "messages", astext(run.err)), element("pre", "report", report));
        body.append(text);
        const rows = picture(report);
        if (rows) {
            const figure = element("div");
            figure.append(drawmap(rows), legend());
            body.append(figure);
        }
        card.append(body);
        if (run.status !== 0) card.append(element("p", "", "exit status " + run.status));
        const button = element("button", "", "Save report");
        button.type = "button";
        button.disabled = run.out.length === 0;
        button.addEventListener("click", () => save(name, run.out));
        card.append(button);
    } catch (e) {
        card.append(element("p", "messages", "cavedump could not run: " + e));
    }
}

// The program never reads past the first 1024 bytes of a file, so no more are handed
// to it: the report is the same, and a file of gigabytes costs no memory.
const headsize = 1024;

async function showall(files) {
    for (const file of files)
        await show(file.name, new Uint8Array(await file.slice(0, headsize).arrayBuffer()));
}

const drop = document.getElementById("drop");
const pick = document.getElementById("pick");
pick.addEventListener("change", () => showall([...pick.files]).then(() => (pick.value = "")));
drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
drop.addEventListener("dragleave", () => drop.classList.remove("over"));
drop.addEventListener("drop", (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    showall([...e.dataTransfer.files]);
});

// ?cave=URL, as often as wanted: files from this page's own server, shown on opening.
// When they are all shown, #cards carries data-done with their number.
(async () => {
    const wanted = new URLSearchParams(location.search).getAll("cave");
    for (const url of wanted) {
        const where = new URL(url, location.href);
        const name = decodeURIComponent(where.pathname.split("/").pop());
        if (where.origin !== location.origin) {
            cards.append(element("p", "messages", name + ": not on this page's server"));
            continue;
        }
        const response = await fetch(where).catch((e) => ({ ok: false, statusText: String(e) }));
        if (!response.ok) {
            cards.append(element("p", "messages", name + ": " + response.statusText));
            continue;
        }
        await show(name, new Uint8Array(await response.arrayBuffer()));
    }
    cards.dataset.done = String(wanted.length);
})();

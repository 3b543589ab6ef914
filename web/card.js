// SPDX-License-Identifier: MIT
// card.js - one file's card, opened over the gallery: the program's standard output
// and standard error byte for byte (as a terminal shows them), the line taken from the
// report, the map, and a button that saves the report. It is built when opened, from
// what the gallery keeps of the file, and emptied when closed; the gallery's tiles
// are what stays on the page. It opens at its top, its heading (which names the
// dialog) taking the focus; its buttons stay in view below the report.

import { byid, element, mapimage } from "./dom.js";
import { texts } from "./output.js";

/** @typedef {import("./output.js").Decoded} Decoded */

const box = /** @type {HTMLDialogElement} */ (byid("card"));
/** @type {(() => void) | null} */
let closed = null; // what to do when the open card closes

/** Saves a Blob as a file called name, as the browser saves a download.
 * @param {string} name @param {Blob} blob */
export function save(name, blob) {
    const link = element("a");
    link.href = URL.createObjectURL(blob);
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

/** Opens the card of a file as the gallery keeps it; then, once it is closed, calls
 * then.
 * @param {Decoded} file @param {() => void} then */
export function open(file, then) {
    const { path, run } = file;
    const heading = element("h2", "", path === "" ? "(a file with an empty name)" : path);
    heading.id = "card-heading";
    heading.tabIndex = -1;
    const made = texts(file);
    // Beside a report, the message about the other format is a note; alone, the
    // messages are the error they are.
    const messages = element("pre", file.kind === "neither" ? "messages error" : "messages note", made.messages);
    const report = element("pre", "report", made.text);
    const body = element("div", "body");
    const text = element("div", "text");
    text.append(messages, report);
    body.append(text);
    if (made.rows) body.append(mapimage(made.rows, path));
    /** @type {HTMLElement[]} */
    const parts = [heading, ...file.notes.map((note) => element("p", "note", note)),
                   element("p", run === null ? "error" : "line", file.line), body];
    const actions = element("p", "actions");
    if (run !== null) {
        // The style sheet fits the widest line to the card's width.
        report.style.setProperty("--columns", String(Math.max(...made.text.split("\n").map((line) => line.length))));
        if (run.status !== 0) parts.push(element("p", "error", "exit status " + run.status));
        const button = element("button", "", "Save report");
        button.type = "button";
        button.setAttribute("aria-label", `Save report of ${path}`);
        button.disabled = run.out.length === 0;
        button.addEventListener("click", () =>
            save(path.split("/").pop() + ".txt", new Blob([/** @type {BlobPart} */ (run.out)], { type: "text/plain" })));
        actions.append(button);
    }
    const shut = element("button", "close", "Close");
    shut.type = "button";
    shut.addEventListener("click", () => box.close());
    actions.append(shut);
    parts.push(actions);
    box.dataset.path = path;
    box.replaceChildren(...parts);
    closed = then;
    box.showModal();
    box.scrollTop = 0;
    heading.focus();
}

// Closed by its button or by Escape, the card is emptied and the gallery told. The
// event comes a moment after the closing: by then another card may be open.
box.addEventListener("close", () => {
    if (box.open) return;
    const then = closed;
    closed = null;
    box.replaceChildren();
    delete box.dataset.path;
    then?.();
});

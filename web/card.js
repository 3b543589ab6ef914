// SPDX-License-Identifier: MIT
// card.js - one file's card, opened over the gallery: the program's standard output
// and standard error byte for byte (as a terminal shows them), the line taken from the
// report, the map, and a button that saves the report. It is built when opened, from
// what the gallery keeps of the file, and emptied when closed; the gallery's tiles
// are what stays on the page.
"use strict";

const card = (() => {
    const { element } = output;
    const box = document.getElementById("card");
    let closed = null; // what to do when the open card closes

    // Saves a Blob as a file called name, as the browser saves a download.
    function save(name, blob) {
        const link = element("a");
        link.href = URL.createObjectURL(blob);
        link.download = name;
        link.click();
        setTimeout(() => URL.revokeObjectURL(link.href), 1000);
    }

    // Opens the card of a file as the gallery keeps it ({ path, line, kind, out, err,
    // status } or { path, line, error }); then, once it is closed, calls then.
    function open(file, then) {
        const { path } = file;
        const parts = [element("h2", "", path === "" ? "(a file with an empty name)" : path)];
        // Beside a report, the message about the other format is a note; alone, the
        // messages are the error they are.
        const messages = element("pre", file.kind === "neither" ? "messages error" : "messages note");
        const report = element("pre", "report");
        const body = element("div", "body");
        const text = element("div", "text");
        text.append(messages, report);
        body.append(text);
        if (file.error !== undefined) {
            parts.push(element("p", "error", file.error), body);
        } else {
            const said = output.astext(file.out);
            messages.textContent = output.astext(file.err);
            report.textContent = said;
            report.tabIndex = 0;
            report.setAttribute("aria-label", `report of ${path}`);
            const rows = output.picture(said.split("\n"));
            if (rows) body.append(output.mapimage(rows, path));
            parts.push(element("p", "line", file.line), body);
            if (file.status !== 0) parts.push(element("p", "error", "exit status " + file.status));
            const button = element("button", "", "Save report");
            button.type = "button";
            button.setAttribute("aria-label", `Save report of ${path}`);
            button.disabled = file.out.length === 0;
            button.addEventListener("click", () =>
                save(path.split("/").pop() + ".txt", new Blob([file.out], { type: "text/plain" })));
            parts.push(button);
        }
        const shut = element("button", "close", "Close");
        shut.type = "button";
        shut.addEventListener("click", () => box.close());
        parts.push(shut);
        box.dataset.path = path;
        box.setAttribute("aria-label", `card of ${path}`);
        box.replaceChildren(...parts);
        closed = then;
        box.showModal();
        report.focus({ preventScroll: true });
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

    return { open, save };
})();

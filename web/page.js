// SPDX-License-Identifier: MIT
// page.js - the page: has cavedump (program.js) run once for each cave file picked,
// dropped or named by ?cave=, and gives each a card with the program's standard output
// and standard error, byte for byte, a line taken from the report, a picture of the
// map drawn from the report's own letter picture, and a button that saves the report.
// The page decodes no file itself.
//
// A collection of a thousand files must not cost a thousand compilations or a million
// elements: the WebAssembly is compiled once and runs in workers beside the page, each
// map is one small image, and a card off the screen is neither laid out nor painted
// (content-visibility in style.css), nor its image made.
"use strict";

// The report's letters for tile values 0 to 15, as the build found them in the
// program's sources, and the colour of each value, as the style sheet gives it.
const letters = "@CAVEDUMP_LETTERS@";
const palette = [...letters].map((_, value) =>
    getComputedStyle(document.documentElement).getPropertyValue(`--tile-${value}`).trim());
const $ = (id) => document.getElementById(id);
const cards = $("cards");

function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
}

// The program's bytes as a terminal shows them: UTF-8 where they are valid UTF-8,
// and any other byte as its Latin-1 character.
const utf8 = new TextDecoder("utf-8", { fatal: true });
function valid(bytes) {
    try {
        utf8.decode(bytes);
        return true;
    } catch {
        return false;
    }
}
function astext(bytes) {
    if (valid(bytes)) return utf8.decode(bytes);
    let text = "";
    let from = 0; // bytes from here up to i are valid UTF-8, not yet added to text
    for (let i = 0; i < bytes.length;) {
        // The shortest valid sequence at i: a prefix of a longer one is not valid.
        let n = 1;
        while (n <= 4 && !valid(bytes.subarray(i, i + n))) n++;
        if (n <= 4) {
            i += n;
            continue;
        }
        text += utf8.decode(bytes.subarray(from, i)) + String.fromCharCode(bytes[i]);
        from = ++i;
    }
    return text + utf8.decode(bytes.subarray(from));
}

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

// What a report, split in lines, says of the file in one line, and which report it
// is: ATARI (the report with a name line), KV64, or none when nothing was printed.
function describe(lines) {
    if (!lines[0].startsWith("flags:")) return { kind: "neither", line: "no report" };
    const atari = lines[1].startsWith("name :");
    const type = (n) => (lines.find((l) => l.endsWith(`-(${n})-`)) ?? "").includes("Intermission")
        ? "intermission" : "cave";
    let line = (atari ? "ATARI " : "KV64 ") + type(1);
    if (type(2) !== type(1)) line += ` (its map: ${type(2)})`;
    if (atari) line += " " + lines[1].slice("name :         ".length);
    return { kind: atari ? "atari" : "kv64", line };
}

// The map picture of a report split in lines: the 22 rows after the second type line
// and the closing row below them, 40 letters each; null when the report has none.
const tilerow = new RegExp(`^[${letters.replace(/[\]\\^-]/g, "\\$&")}]{40}$`);
const tilevalue = Object.fromEntries([...letters].map((c, value) => [c, value]));
function picture(lines) {
    const start = lines.findIndex((line) => line.endsWith("-(2)-")) + 1;
    const rows = lines.slice(start, start + 23);
    const whole = start > 0 && rows.length === 23 && rows.every((row) => tilerow.test(row));
    return whole ? rows : null;
}

// The map as a picture of one pixel a tile, scaled up by the style sheet: an image of
// 16 colours in the BMP format, which is all but the tile values themselves, so that
// it costs a thousand maps nothing to make and nothing to keep until they are seen.
const bmphead = (() => {
    const head = new DataView(new ArrayBuffer(14 + 40 + 4 * 16));
    const size = head.byteLength + 23 * 20;
    [[0, 0x4d42, 2], [2, size, 4], [10, head.byteLength, 4], // file: "BM", size, pixels at
     [14, 40, 4], [18, 40, 4], [22, 23, 4], [26, 1, 2], [28, 4, 2], // 40 x 23, 4 bits
     [34, 23 * 20, 4], [46, 16, 4]].forEach(([at, value, bytes]) =>
        (bytes === 2 ? head.setUint16(at, value, true) : head.setUint32(at, value, true)));
    palette.forEach((hex, value) => // blue, green, red, 0
        [5, 3, 1].forEach((from, i) => head.setUint8(54 + 4 * value + i, parseInt(hex.slice(from, from + 2), 16))));
    return String.fromCharCode(...new Uint8Array(head.buffer));
})();

function drawmap(rows, path) {
    // Rows from the bottom up, two tiles a byte, the left one in the high four bits.
    let pixels = "";
    for (const row of rows.slice().reverse())
        for (let i = 0; i < 40; i += 2)
            pixels += String.fromCharCode(16 * tilevalue[row[i]] + tilevalue[row[i + 1]]);
    const map = element("img", "map");
    map.width = 40;
    map.height = 23;
    map.alt = `map of ${path}, 40 by 23 tiles, drawn from its report`;
    map.loading = "lazy";
    map.src = "data:image/bmp;base64," + btoa(bmphead + pixels);
    return map;
}

function save(path, bytes) {
    const link = element("a");
    link.href = URL.createObjectURL(new Blob([bytes], { type: "text/plain" }));
    link.download = path.split("/").pop() + ".txt";
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

// How many cards of each kind the page shows.
const counts = { atari: 0, kv64: 0, neither: 0 };
function summarise() {
    const total = counts.atari + counts.kv64 + counts.neither;
    $("summary").textContent = total === 0 ? "" :
        `${total} ${total === 1 ? "file" : "files"}: ${counts.atari} ATARI, ` +
        `${counts.kv64} KV64, ${counts.neither} neither`;
}

// A card for one file: parts are its folders' names and its own, result the promise of
// the program's run on it, which fails with why there is none. Gives the card, its
// kind and its one line.
async function card({ parts, result }) {
    const path = parts.join("/");
    const box = element("article", "card");
    box.append(element("h2", "", path === "" ? "(a file with an empty name)" : path));
    let kind = "neither";
    let line;
    try {
        const run = await result;
        const report = astext(run.out);
        const lines = report.split("\n");
        const said = describe(lines);
        kind = said.kind;
        line = said.line;
        box.append(element("p", "line", line));
        const text = element("div", "text");
        // Beside a report, the message about the other format is a note; alone, the
        // messages are the error they are.
        const messages = element("pre", kind === "neither" ? "messages error" : "messages note",
                                 astext(run.err));
        const reportbox = element("pre", "report", report);
        reportbox.tabIndex = 0;
        reportbox.setAttribute("aria-label", `report of ${path}`);
        text.append(messages, reportbox);
        const body = element("div", "body");
        body.append(text);
        const rows = picture(lines);
        if (rows) body.append(drawmap(rows, path));
        box.append(body);
        if (run.status !== 0) box.append(element("p", "error", "exit status " + run.status));
        const button = element("button", "", "Save report");
        button.type = "button";
        button.setAttribute("aria-label", `Save report of ${path}`);
        button.disabled = run.out.length === 0;
        button.addEventListener("click", () => save(path, run.out));
        box.append(button);
    } catch (e) {
        line = e instanceof Error ? e.message : String(e);
        box.append(element("p", "error", line));
    }
    return { box, kind, line: `${path}: ${line}` };
}

// The files waiting to be shown, each { parts, file } or { parts, load } (load gives
// the promise of its bytes), and the batch being shown;
// generation counts the clearings, so that a card made before one is dropped.
let queue = [];
let shown = 0;
let total = 0;
let running = false;
let generation = 0;
let pending = document.createDocumentFragment();

function progress() {
    $("progress").textContent = running ? `${shown} of ${total}` : "";
    $("cancel").hidden = !running;
}

// Shows what is queued, in order; a card goes on the page a few at a time, so that the
// page is laid out once for many of them. When the queue is empty, #cards carries
// data-done with the number of cards on the page.
async function run() {
    if (running) return;
    running = true;
    let flushed = performance.now();
    const flush = () => {
        cards.append(pending);
        summarise();
        progress();
        flushed = performance.now();
    };
    while (queue.length > 0) {
        if (!queue[Math.min(queue.length, 32) - 1].result) start(64);
        const made = generation;
        const { box, kind, line } = await card(queue.shift());
        if (made !== generation) continue;
        pending.append(box);
        counts[kind]++;
        $("announce").textContent = line;
        shown++;
        if (performance.now() - flushed > 100) flush();
    }
    running = false;
    shown = total = 0;
    flush();
    cards.dataset.done = String(cards.children.length);
}

// Starts the runs of the next count queued files that are not started yet. A worker is
// handed the file's head, not the file: handing over a file costs a round trip to the
// browser for its size.
function start(count) {
    for (const job of queue.slice(0, count)) {
        if (job.result) continue;
        const path = job.parts.join("/");
        const why = unfit(job.parts);
        job.result = why
            ? Promise.reject(new Error(`cavedump was not run: the page cannot hold this file's name (${why})`))
            : (job.file ? readhead(job.file.stream()) : job.load()).then((bytes) => runner.run(path, bytes));
    }
    // A failure shows on its file's card, when its turn comes.
    queue.slice(0, count).forEach((job) => job.result.catch(() => {}));
}

function enqueue(files) {
    queue.push(...files);
    total += files.length;
    progress();
    run();
}


// Every file below a dropped folder, with its path from the folder's parent.
async function walk(entry, into) {
    if (entry.isFile) {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        into.push({ parts: entry.fullPath.split("/").slice(1), file });
    } else if (entry.isDirectory) {
        const reader = entry.createReader();
        for (;;) {
            const some = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
            if (some.length === 0) break;
            for (const inner of some) await walk(inner, into);
        }
    }
}

const joined = (file) => file.parts.join("/");
const bypath = (a, b) => (joined(a) < joined(b) ? -1 : joined(a) > joined(b) ? 1 : 0);

$("pick").addEventListener("change", (e) => {
    enqueue([...e.target.files].map((file) => ({ parts: [file.name], file })));
    e.target.value = "";
});
$("pickfolder").addEventListener("change", (e) => {
    const files = [...e.target.files].map((file) => ({
        parts: file.webkitRelativePath.split("/"), file }));
    enqueue(files.sort(bypath));
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
    // The entries must be taken before the handler's first wait.
    const entries = [...e.dataTransfer.items].map((item) => item.webkitGetAsEntry()).filter(Boolean);
    const files = [];
    for (const entry of entries) await walk(entry, files);
    enqueue(entries.some((entry) => entry.isDirectory) ? files.sort(bypath) : files);
});
$("cancel").addEventListener("click", () => {
    total -= queue.length;
    queue = [];
});
$("clear").addEventListener("click", () => {
    generation++;
    total -= queue.length;
    queue = [];
    pending = document.createDocumentFragment();
    cards.replaceChildren();
    Object.keys(counts).forEach((kind) => (counts[kind] = 0));
    summarise();
    if (!running) cards.dataset.done = "0";
});

// The legend: each tile's letter, value and colour.
for (const [value, c] of [...letters].entries()) {
    const item = element("li", "", `${c} ${value}`);
    item.style.setProperty("--c", palette[value]);
    $("legend").querySelector("ul").append(item);
}

// The program never reads past the head of a file, its first 1024 bytes as the build
// found them in its sources, so no more are read or handed to it: the report is the
// same, and a file of gigabytes costs nothing.
const headsize = @CAVEDUMP_HEADSIZE@;

// The first headsize bytes of a stream, read no further. A file's are read so because
// that asks the browser for neither its size nor a slice of it, each a round trip.
async function readhead(stream) {
    const reader = stream.getReader();
    const head = new Uint8Array(headsize);
    let length = 0;
    while (length < headsize) {
        const { done, value } = await reader.read();
        if (done) break;
        const part = value.subarray(0, headsize - length);
        head.set(part, length);
        length += part.length;
    }
    reader.cancel();
    return head.slice(0, length);
}

// At most the first headsize bytes of a response: asked for as a range, and the
// reading stopped there if the server sends more. 416 is the answer to a range that
// starts past the end: the file is empty.
async function fetchhead(where) {
    const response = await fetch(where, { redirect: "manual", headers: { Range: `bytes=0-${headsize - 1}` } });
    if (response.type === "opaqueredirect") throw new Error("it redirects elsewhere, and redirects are not followed");
    if (response.status === 416) return new Uint8Array(0);
    if (!response.ok) throw new Error(`the server answered ${response.status} ${response.statusText}`);
    return readhead(response.body);
}

// ?cave=URL, as often as wanted: files from this page's own server, shown on opening,
// each on its own: one that cannot be had gets its card saying why, and the rest go on.
{
    const wanted = new URLSearchParams(location.search).getAll("cave");
    const failing = (why) => () => Promise.reject(new Error(why));
    enqueue(wanted.map((url) => {
        let where;
        let name;
        try {
            where = new URL(url, location.href);
            name = decodeURIComponent(where.pathname.split("/").pop());
        } catch {
            return { parts: [url], load: failing("not a URL whose file name this page can read") };
        }
        if (where.origin !== location.origin)
            return { parts: [name], load: failing("not on this page's server") };
        return { parts: [name], load: () => fetchhead(where) };
    }));
}

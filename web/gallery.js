// SPDX-License-Identifier: MIT
// gallery.js - the files shown, as a grid of tiles in the order they came: each tile
// the file's map, its name and the line taken from its report, and activating one
// opens its card (card.js). A filter by kind and a search by path or cave name choose
// which tiles are shown; the summary line counts them. Only the rows on the screen,
// and a few either side, are built: the grid's height stands for all of them, so ten
// thousand files cost the page no more elements than ten.
//
// To a screen reader and the keyboard the grid is a listbox: one Tab stop, the
// current tile, which the arrows, Home, End, PageUp and PageDown move; each tile says
// its position among all those shown. The current tile is always built, wherever the
// page has scrolled to, so that the focus never falls out of the grid.

import * as card from "./card.js";
import { announce, byid, complain, element, mapimage } from "./dom.js";
import { counted, number, texts } from "./output.js";
import { savenames } from "./savenames.js";
import { make } from "./zipwrite.js";

/** @typedef {import("./output.js").Decoded} Decoded */

const grid = byid("cards");
const keep = 3; // rows built above and below those on the screen

/** @type {Decoded[]} */
let files = []; // every file finished, in order, decoded once
/** @type {number[]} */
let shown = []; // the index in files of each tile the filter lets through, in order
let kind = "all"; // the kind the filter shows
let words = ""; // the search, in lower case
let found = { atari: 0, kv64: 0, neither: 0 }; // files of each kind the search lets through
/** @type {Map<number, HTMLButtonElement>} */
const tiles = new Map(); // the tiles built, by their index in shown
let current = 0; // the index in shown of the tile that takes the focus

/** Counts the file at index in files, and gives it a tile, as far as the search and
 * the filter let it through.
 * @param {number} index */
function take(index) {
    const file = files[index];
    if (words !== "" && !file.path.toLowerCase().includes(words) && !file.name.toLowerCase().includes(words))
        return;
    found[file.kind]++;
    if (kind === "all" || kind === file.kind) shown.push(index);
}

/** Keeps a file as decoded; it shows at the next refresh.
 * @param {Decoded} file */
export function add(file) {
    files.push(file);
    take(files.length - 1);
}

// The grid's columns, the width of a column (and with its gap) and the height of a
// row with its gap, in pixels, as the style sheet lays them out for the page's width.
function layout() {
    const style = getComputedStyle(grid);
    const tracks = style.gridTemplateColumns;
    const gap = parseFloat(style.rowGap) || 0;
    return { columns: tracks.includes("repeat") ? 1 : tracks.split(" ").length,
             width: parseFloat(tracks), column: parseFloat(tracks) + (parseFloat(style.columnGap) || 0),
             row: parseFloat(style.gridAutoRows) + gap, gap };
}

/** A path cut in its middle when it is too long for its tile: its start gives way
 * first, its last name (or the last 20 characters of it, as many as a tile has room
 * for) last.
 * @param {string} path */
function name(path) {
    const cut = Math.max(path.lastIndexOf("/") + 1, path.length - 20);
    const both = element("span", "name");
    both.append(element("span", "", path.slice(0, cut)), element("span", "", path.slice(cut)));
    return both;
}

/** @param {number} at */
function tile(at) {
    const file = files[shown[at]];
    const button = element("button", "tile");
    button.type = "button";
    button.dataset.path = file.path;
    button.dataset.index = String(at);
    button.title = file.path;
    button.setAttribute("role", "option");
    button.setAttribute("aria-posinset", String(at + 1));
    const { rows } = texts(file);
    const picture = rows ? mapimage(rows, file.path) : element("span", "mark", file.run === null ? "!" : "?");
    picture.setAttribute("aria-hidden", "true");
    button.append(picture, name(file.path), element("span", file.run !== null ? "line" : "line error", file.line));
    return button;
}

// Builds the tiles of the rows on the screen and a few either side, and the current
// tile wherever it is, and drops the others; the grid's padding stands for the rows
// above them, its height for all. The tiles are in the document in their order. The
// current tile, when it is out of the window of rows, is pinned where it belongs all
// the same.
function render() {
    const { columns, width, column, row, gap } = layout();
    const rows = Math.ceil(shown.length / columns);
    grid.style.height = `${Math.max(0, rows * row - gap)}px`;
    const top = grid.getBoundingClientRect().top;
    const first = Math.min(Math.max(Math.floor(-top / row) - keep, 0), rows);
    const last = Math.min(Math.max(Math.ceil((innerHeight - top) / row) + keep, first), rows);
    grid.style.paddingTop = `${first * row}px`;
    const from = first * columns;
    const to = Math.min(last * columns, shown.length);
    for (const [at, built] of tiles) {
        if ((at < from || at >= to) && at !== current) {
            built.remove();
            tiles.delete(at);
        }
    }
    const kept = current < shown.length && (current < from || current >= to) ? current : -1;
    const wanted = Array.from({ length: to - from }, (_, offset) => from + offset); // in the document's order
    if (kept >= 0 && kept < from) wanted.unshift(kept);
    else if (kept >= 0) wanted.push(kept);
    /** @type {HTMLButtonElement | undefined} */
    let previous;
    for (const at of wanted) {
        let built = tiles.get(at);
        if (!built) {
            built = tile(at);
            tiles.set(at, built);
            if (previous) previous.after(built);
            else grid.prepend(built);
        }
        previous = built;
    }
    for (const [at, built] of tiles) {
        built.tabIndex = at === current ? 0 : -1;
        built.setAttribute("aria-selected", String(at === current));
        built.setAttribute("aria-setsize", String(shown.length));
        built.classList.toggle("kept", at === kept);
        if (at === kept) Object.assign(built.style, { top: `${Math.floor(at / columns) * row}px`,
                                                      left: `${(at % columns) * column}px`,
                                                      width: `${width}px`, height: `${row - gap}px` });
        else built.removeAttribute("style");
    }
}

// Shows what was added since the last time: the summary line and the filter's counts,
// for what the filter and search show, and the tiles.
export function refresh() {
    const count = kind === "all" ? found : { atari: 0, kv64: 0, neither: 0, [kind]: shown.length };
    const all = found.atari + found.kv64 + found.neither;
    byid("summary").textContent = files.length === 0 ? "" :
        counted(shown.length, count) + (shown.length < files.length ? ` (of ${number(files.length)})` : "");
    for (const input of document.querySelectorAll("#kinds input")) {
        const { value, labels } = /** @type {HTMLInputElement} */ (input);
        const count = labels?.[0].querySelector(".count");
        if (count) count.textContent = String(value === "all" ? all : found[/** @type {keyof typeof found} */ (value)]);
    }
    /** @type {HTMLButtonElement} */ (byid("save-all")).disabled = files.length === 0;
    render();
}

// Chooses the tiles again after the filter or the search changed.
function choose() {
    kind = /** @type {HTMLInputElement} */ (document.querySelector("#kinds input:checked")).value;
    words = /** @type {HTMLInputElement} */ (byid("search")).value.trim().toLowerCase();
    found = { atari: 0, kv64: 0, neither: 0 };
    shown = [];
    current = 0;
    files.forEach((_, index) => take(index));
    // Every tile built goes, to be built again as the filter now chooses.
    for (const built of tiles.values()) built.remove();
    tiles.clear();
    refresh();
}
// What a filter or a search leaves is said once the typing has paused.
let telling = 0;
function chosen() {
    choose();
    clearTimeout(telling);
    telling = setTimeout(() => announce(byid("summary").textContent || "No files shown."), 1000);
}

export function clear() {
    files = [];
    choose();
}

/** How many files are kept. */
export const size = () => files.length;

/** Moves the focus to the tile at an index in shown, scrolling it into view first
 * when it is not built or not wholly on the screen; says whether there was a tile.
 * @param {number} at */
function focusat(at) {
    if (shown.length === 0) return false;
    current = at = Math.min(Math.max(at, 0), shown.length - 1);
    const { columns, row, gap } = layout();
    const top = grid.getBoundingClientRect().top + Math.floor(at / columns) * row;
    if (top < 0) scrollBy(0, top);
    else if (top + row - gap > innerHeight) scrollBy(0, top + row - gap - innerHeight);
    render();
    tiles.get(at)?.focus();
    return true;
}

/** Gives the current tile the focus, where there is one; says whether there was. */
export const focus = () => focusat(current);

// The save-all archive: for every file that was run, its standard output and,
// where it wrote any, its standard error, under names that are safe and unique, and
// an index of the paths they stand for (savenames.js).
function saveall() {
    const members = savenames(files.flatMap(({ path, run }) => (run ? [{ path, out: run.out, err: run.err }] : [])));
    try {
        card.save("cavedump-reports.zip", make(members));
        complain("");
    } catch (e) {
        complain(`The reports could not be saved: ${e instanceof Error ? e.message : e}.`);
    }
}

/** The tile an event happened in, if any. @param {Event} e */
const within = (e) => /** @type {HTMLElement | null} */ (/** @type {Element} */ (e.target).closest(".tile"));
grid.addEventListener("click", (e) => {
    const built = within(e);
    if (!built) return;
    const at = Number(built.dataset.index);
    card.open(files[shown[at]], () => focusat(at));
});
// A tile focused by a click or by Tab becomes the current one.
grid.addEventListener("focusin", (e) => {
    const built = within(e);
    if (!built || Number(built.dataset.index) === current) return;
    current = Number(built.dataset.index);
    render();
});
// A page of rows: as many as the screen shows whole, one at least.
const page = () => layout().columns * Math.max(1, Math.floor(innerHeight / layout().row));
/** @type {Record<string, (at: number) => number>} */
const moves = {
    ArrowLeft: (at) => at - 1, ArrowRight: (at) => at + 1,
    ArrowUp: (at) => at - layout().columns, ArrowDown: (at) => at + layout().columns,
    PageUp: (at) => Math.max(at % layout().columns, at - page()),
    PageDown: (at) => Math.min(at + page(), shown.length - 1),
    Home: () => 0, End: () => shown.length - 1,
};
grid.addEventListener("keydown", (e) => {
    const built = within(e);
    const move = moves[e.key];
    if (!built || !move || e.altKey || e.ctrlKey || e.metaKey) return;
    e.preventDefault();
    const at = move(Number(built.dataset.index));
    if (at >= 0 && at < shown.length) focusat(at);
});
byid("kinds").addEventListener("change", chosen);
byid("search").addEventListener("input", chosen);
byid("save-all").addEventListener("click", saveall);
// A scroll or a new width rebuilds the window once a frame at most.
let asked = false;
const later = () => {
    if (asked) return;
    asked = true;
    requestAnimationFrame(() => {
        asked = false;
        render();
    });
};
addEventListener("scroll", later, { passive: true });
addEventListener("resize", later);

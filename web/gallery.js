// SPDX-License-Identifier: MIT
// gallery.js - the files shown, as a grid of tiles in the order they came: each tile
// the file's map, its name and the line taken from its report, and activating one
// opens its card (card.js). A filter by kind and a search by path or cave name choose
// which tiles are shown; the summary line counts them. Only the rows on the screen,
// and a few either side, are built: the grid's height stands for all of them, so ten
// thousand files cost the page no more elements than ten.
"use strict";

const gallery = (() => {
    const { element } = output;
    const $ = (id) => document.getElementById(id);
    const grid = $("cards");
    const keep = 3; // rows built above and below those on the screen

    // Every file finished, in order, as small as it can be kept: { path, kind, line,
    // name, out, err, status }, or { path, kind, line, error } for one with no run.
    let files = [];
    let shown = []; // the index in files of each tile the filter lets through, in order
    let kind = "all"; // the kind the filter shows
    let words = ""; // the search, in lower case
    let found = { atari: 0, kv64: 0, neither: 0 }; // files of each kind the search lets through
    const tiles = new Map(); // a tile built: its place in shown, and it

    // Counts the file at index in files, and gives it a tile, as far as the search and
    // the filter let it through.
    function take(index) {
        const file = files[index];
        if (words !== "" && !file.path.toLowerCase().includes(words) && !file.name.toLowerCase().includes(words))
            return;
        found[file.kind]++;
        if (kind === "all" || kind === file.kind) shown.push(index);
    }

    // Keeps a file's outcome as batch.js gives it, and gives what is kept; it shows at
    // the next refresh.
    function add(outcome) {
        let file;
        if (outcome.error !== undefined) {
            file = { path: outcome.path, kind: "neither", line: outcome.error, name: "", error: outcome.error };
        } else {
            const said = output.describe(output.astext(outcome.out).split("\n"));
            file = { path: outcome.path, ...said, out: outcome.out, err: outcome.err, status: outcome.status };
        }
        files.push(file);
        take(files.length - 1);
        return file;
    }

    // The grid's columns and the height of a row with its gap, in pixels, as the style
    // sheet lays them out for the page's width.
    function layout() {
        const style = getComputedStyle(grid);
        const tracks = style.gridTemplateColumns;
        const gap = parseFloat(style.rowGap) || 0;
        return { columns: tracks.includes("repeat") ? 1 : tracks.split(" ").length,
                 row: parseFloat(style.gridAutoRows) + gap, gap };
    }

    function tile(at) {
        const file = files[shown[at]];
        const button = element("button", "tile");
        button.type = "button";
        button.dataset.path = file.path;
        button.dataset.index = String(at);
        button.setAttribute("aria-label", `${file.path}: ${file.line}`);
        const rows = file.out ? output.picture(output.astext(file.out).split("\n")) : null;
        const picture = rows ? output.mapimage(rows, file.path) : element("span", "mark", file.error ? "!" : "?");
        picture.setAttribute("aria-hidden", "true");
        button.append(picture, element("span", "name", file.path),
                      element("span", file.error === undefined ? "line" : "line error", file.line));
        return button;
    }

    // Builds the tiles of the rows on the screen and a few either side, and drops the
    // others; the grid's padding stands for the rows above them, its height for all.
    function render() {
        const { columns, row, gap } = layout();
        const rows = Math.ceil(shown.length / columns);
        grid.style.height = `${Math.max(0, rows * row - gap)}px`;
        const top = grid.getBoundingClientRect().top;
        const first = Math.min(Math.max(Math.floor(-top / row) - keep, 0), rows);
        const last = Math.min(Math.max(Math.ceil((innerHeight - top) / row) + keep, first), rows);
        grid.style.paddingTop = `${first * row}px`;
        const from = first * columns;
        const to = Math.min(last * columns, shown.length);
        for (const [at, built] of tiles) {
            if (at >= from && at < to) continue;
            built.remove();
            tiles.delete(at);
        }
        let previous = null;
        for (let at = from; at < to; at++) {
            let built = tiles.get(at);
            if (!built) {
                built = tile(at);
                tiles.set(at, built);
                if (previous) previous.after(built);
                else grid.prepend(built);
            }
            previous = built;
        }
    }

    // Drops every tile built, to be built again as the filter now chooses.
    function dropall() {
        for (const built of tiles.values()) built.remove();
        tiles.clear();
    }

    // The summary line and the filter's counts, for what the filter and search show.
    function summarise() {
        const count = kind === "all" ? found : { atari: 0, kv64: 0, neither: 0, [kind]: shown.length };
        const all = found.atari + found.kv64 + found.neither;
        const hidden = files.length - shown.length;
        $("summary").textContent = files.length === 0 ? "" :
            `${shown.length} ${shown.length === 1 ? "file" : "files"}: ${count.atari} ATARI, ` +
            `${count.kv64} KV64, ${count.neither} neither` + (hidden ? ` (of ${files.length})` : "");
        for (const input of document.querySelectorAll("#kinds input"))
            input.labels[0].querySelector(".count").textContent = String(input.value === "all" ? all : found[input.value]);
        $("save-all").disabled = files.length === 0;
    }

    // Shows what was added since the last time.
    function refresh() {
        summarise();
        render();
    }

    // Chooses the tiles again after the filter or the search changed.
    function choose() {
        kind = document.querySelector("#kinds input:checked").value;
        words = $("search").value.trim().toLowerCase();
        found = { atari: 0, kv64: 0, neither: 0 };
        shown = [];
        files.forEach((_, index) => take(index));
        dropall();
        refresh();
    }

    function clear() {
        files = [];
        choose();
    }

    // Moves the focus to the tile at a place in shown, scrolling it into view first
    // when it is not built or not wholly on the screen.
    function focusat(at) {
        if (shown.length === 0) return;
        at = Math.min(Math.max(at, 0), shown.length - 1);
        const { columns, row, gap } = layout();
        const top = grid.getBoundingClientRect().top + Math.floor(at / columns) * row;
        if (top < 0) scrollBy(0, top);
        else if (top + row - gap > innerHeight) scrollBy(0, top + row - gap - innerHeight);
        render();
        tiles.get(at)?.focus();
    }

    // The save-all archive: PATH.txt for each file's standard output and, where it
    // wrote any, PATH.messages.txt for its standard error, every file that was run. A
    // path given again gets " (2)", " (3)"... so that no member hides another.
    function saveall() {
        const members = [];
        const seen = new Map();
        for (const file of files) {
            if (file.error !== undefined) continue;
            const times = (seen.get(file.path) ?? 0) + 1;
            seen.set(file.path, times);
            const path = times === 1 ? file.path : `${file.path} (${times})`;
            members.push({ path: path + ".txt", bytes: file.out });
            if (file.err.length > 0) members.push({ path: path + ".messages.txt", bytes: file.err });
        }
        card.save("cavedump-reports.zip", savezip.make(members));
    }

    grid.addEventListener("click", (e) => {
        const built = e.target.closest(".tile");
        if (!built) return;
        const at = Number(built.dataset.index);
        card.open(files[shown[at]], () => focusat(at));
    });
    const moves = {
        ArrowLeft: (at) => at - 1, ArrowRight: (at) => at + 1,
        ArrowUp: (at) => at - layout().columns, ArrowDown: (at) => at + layout().columns,
        Home: () => 0, End: () => shown.length - 1,
    };
    grid.addEventListener("keydown", (e) => {
        const built = e.target.closest(".tile");
        const move = moves[e.key];
        if (!built || !move || e.altKey || e.ctrlKey || e.metaKey) return;
        e.preventDefault();
        const at = move(Number(built.dataset.index));
        if (at >= 0 && at < shown.length) focusat(at);
    });
    $("kinds").addEventListener("change", choose);
    $("search").addEventListener("input", choose);
    $("save-all").addEventListener("click", saveall);
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

    return { add, refresh, clear, size: () => files.length };
})();

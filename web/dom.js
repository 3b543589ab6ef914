// SPDX-License-Identifier: MIT
// dom.js - the elements the gallery and the card share: a plain element, and the map
// image drawn in the style sheet's tile colours.

import { letters } from "./facts.js";
import { mapurl } from "./output.js";

/** An element of tag with a class and text, each when given.
 * @template {keyof HTMLElementTagNameMap} K
 * @param {K} tag @param {string} [className] @param {string} [text] @returns {HTMLElementTagNameMap[K]} */
export function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
}

/** The colour of each tile value, as the style sheet gives it. */
export const palette = [...letters].map((_, value) =>
    getComputedStyle(document.documentElement).getPropertyValue(`--tile-${value}`).trim());

/** An image of the map rows of the file at path.
 * @param {string[]} rows @param {string} path */
export function mapimage(rows, path) {
    const map = element("img", "map");
    map.width = 40;
    map.height = 23;
    map.alt = `map of ${path}, 40 by 23 tiles, drawn from its report`;
    map.src = mapurl(rows, palette);
    return map;
}

/** The page's element of id, which the page always has.
 * @param {string} id @returns {HTMLElement} */
export function byid(id) {
    const found = document.getElementById(id);
    if (!found) throw new Error(`the page has no #${id}`);
    return found;
}

/** Says in the page what went wrong that no file's card can say, until the next
 * thing said or the next pick.
 * @param {string} text */
export function complain(text) {
    const line = byid("trouble");
    line.textContent = text;
    line.hidden = text === "";
}

/** Tells a screen reader text, politely: the page says when a batch starts, how far
 * it has got now and then, how it ended, and what a filter or a search leaves shown.
 * @param {string} text */
export function announce(text) {
    byid("announce").textContent = text;
}

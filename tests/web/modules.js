// SPDX-License-Identifier: MIT
// Where the unit tests find the page's modules: the build's copies, with its facts
// filled in (CAVEDUMP_PAGE_MODULES, as CTest gives it), or else the sources, for the
// modules that need no fact.
import { pathToFileURL } from "node:url";

const folder = process.env.CAVEDUMP_PAGE_MODULES ?? new URL("../../web", import.meta.url).pathname;

/** The module of the page called name. @param {string} name */
export const page = (name) => import(pathToFileURL(`${folder}/${name}`).href);

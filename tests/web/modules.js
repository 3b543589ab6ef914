// SPDX-License-Identifier: MIT
// The page's modules for the tests: the build's copy of web/ where
// CAVEDUMP_PAGE_MODULES names it, the sources otherwise.
import { pathToFileURL } from "node:url";

const folder = process.env.CAVEDUMP_PAGE_MODULES
    ? pathToFileURL(`${process.env.CAVEDUMP_PAGE_MODULES}/`) : new URL("../../web/", import.meta.url);

/** @param {string} name */
export const page = (name) => import(new URL(name, folder).href);

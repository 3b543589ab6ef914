// SPDX-License-Identifier: MIT
// intake.js - reading what the visitor gives the page: files and folders picked or
// dropped, and ?cave= URLs of the page's own server. Each becomes a job for the queue
// (queue.js): a cave file, whose head is read when its turn comes near, or a .zip
// archive (zipread.js), whose members are listed then.

import { headsize } from "./facts.js";
import { fetchhead, fromfile as source, fromurl, readhead } from "./sources.js";
import { members } from "./zipread.js";

/** @typedef {import("./queue.js").Job} Job */

/** @param {string} path */
const isarchive = (path) => /\.zip$/i.test(path);

/** The job for a File at parts: an archive is opened, any other file is a cave file.
 * @param {string[]} parts @param {File} file @returns {Job} */
function fromfile(parts, file) {
    if (isarchive(file.name)) return { parts, members: () => members(source(file), headsize) };
    return { parts, head: () => readhead(file.stream(), headsize) };
}

/** @param {Job} job */
const joined = (job) => job.parts.join("/");
/** @param {Job} a @param {Job} b */
const bypath = (a, b) => (joined(a) < joined(b) ? -1 : joined(a) > joined(b) ? 1 : 0);

/** Files picked with a file input, in the order given.
 * @param {FileList | File[]} list */
export const picked = (list) => [...list].map((file) => fromfile([file.name], file));

/** The files of a folder picked with a folder input, sorted by path.
 * @param {FileList | File[]} list */
export const folder = (list) =>
    [...list].map((file) => fromfile(file.webkitRelativePath.split("/"), file)).sort(bypath);

/** A job that fails with why. @param {string[]} parts @param {string} why @returns {Job} */
const failing = (parts, why) => ({ parts, head: () => Promise.reject(new Error(why)) });

/** Every file below a dropped entry, with its path from the folder's parent; an entry
 * that cannot be read is a file whose card says why, and the rest go on.
 * @param {FileSystemEntry} entry @param {Job[]} into */
async function walk(entry, into) {
    const parts = entry.fullPath.split("/").slice(1);
    try {
        if (entry.isFile) {
            const file = await new Promise((resolve, reject) => /** @type {FileSystemFileEntry} */ (entry).file(resolve, reject));
            into.push(fromfile(parts, file));
        } else if (entry.isDirectory) {
            const reader = /** @type {FileSystemDirectoryEntry} */ (entry).createReader();
            for (;;) {
                /** @type {FileSystemEntry[]} */
                const some = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
                if (some.length === 0) break;
                for (const inner of some) await walk(inner, into);
            }
        }
    } catch (e) {
        into.push(failing(parts, `the browser could not read it: ${e instanceof Error ? e.message : e}`));
    }
}

/** The promise of the jobs for what was dropped: files in the order dropped, or, when
 * a folder is among them, everything sorted by path. Must be called before the drop
 * handler's first wait, while the items can still be had.
 * @param {DataTransferItemList} items @returns {Promise<Job[]>} */
export async function dropped(items) {
    const entries = [...items].map((item) => item.webkitGetAsEntry()).filter((entry) => entry !== null);
    /** @type {Job[]} */
    const jobs = [];
    for (const entry of entries) await walk(entry, jobs);
    return entries.some((entry) => entry.isDirectory) ? jobs.sort(bypath) : jobs;
}

/** The jobs for ?cave= URLs: files from the page's own server (base's origin), each
 * on its own: one that cannot be had gets its card saying why, and the rest go on.
 * @param {string[]} urls @param {string} base @returns {Job[]} */
export function fromurls(urls, base) {
    return urls.map((url) => {
        let where;
        let name;
        try {
            where = new URL(url, base);
            name = decodeURIComponent(where.pathname.split("/").pop() ?? "");
        } catch {
            return failing([url], "not a URL whose file name this page can read");
        }
        if (where.origin !== new URL(base).origin) return failing([name], "not on this page's server");
        if (isarchive(name)) return { parts: [name], members: () => members(fromurl(where), headsize) };
        return { parts: [name], head: () => fetchhead(where, headsize) };
    });
}

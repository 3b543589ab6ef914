// SPDX-License-Identifier: MIT
// intake.js - reading what the visitor gives the page: files and folders picked or
// dropped, and ?cave= URLs of the page's own server. Each becomes a job for the batch
// (batch.js): { parts, head } for a cave file, where parts are its folders' names and
// its own and head() gives the promise of its first bytes, or { parts, members } for a
// .zip archive (archive.js), where members() gives the promise of its members, each
// with a head() of its own.
"use strict";

const intake = (() => {
    // The program never reads past the head of a file, its first bytes, whose number
    // the build gives the program and the page alike, so no more are read or handed to
    // it: the report is the same, and a file of gigabytes costs nothing.
    const headsize = @CAVEDUMP_HEADSIZE@;

    // The first headsize bytes of a stream, read no further. A file's are read so
    // because that asks the browser for neither its size nor a slice of it, each a
    // round trip.
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

    // At most the first headsize bytes of a file on the page's server: asked for as a
    // range, as archives are, and the reading stopped there if the server sends more.
    // 416 is the answer to a range that starts past the end: the file is empty.
    async function fetchhead(where) {
        const response = await archive.request(where, `0-${headsize - 1}`);
        return response.status === 416 ? new Uint8Array(0) : readhead(response.body);
    }

    // The job for a File at parts: an archive is opened, any other file is a cave file.
    function fromfile(parts, file) {
        if (archive.isarchive(file.name))
            return { parts, members: () => archive.members(archive.fromfile(file), headsize) };
        return { parts, head: () => readhead(file.stream()) };
    }

    const joined = (job) => job.parts.join("/");
    const bypath = (a, b) => (joined(a) < joined(b) ? -1 : joined(a) > joined(b) ? 1 : 0);

    // Files picked with a file input, in the order given.
    const picked = (list) => [...list].map((file) => fromfile([file.name], file));

    // The files of a folder picked with a folder input, sorted by path.
    const folder = (list) =>
        [...list].map((file) => fromfile(file.webkitRelativePath.split("/"), file)).sort(bypath);

    // Every file below a dropped entry, with its path from the folder's parent.
    async function walk(entry, into) {
        if (entry.isFile) {
            const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
            into.push(fromfile(entry.fullPath.split("/").slice(1), file));
        } else if (entry.isDirectory) {
            const reader = entry.createReader();
            for (;;) {
                const some = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
                if (some.length === 0) break;
                for (const inner of some) await walk(inner, into);
            }
        }
    }

    // The promise of the jobs for what was dropped: files in the order dropped, or, when
    // a folder is among them, everything sorted by path. Must be called before the drop
    // handler's first wait, while the items can still be had.
    function dropped(items) {
        const entries = [...items].map((item) => item.webkitGetAsEntry()).filter(Boolean);
        return (async () => {
            const jobs = [];
            for (const entry of entries) await walk(entry, jobs);
            return entries.some((entry) => entry.isDirectory) ? jobs.sort(bypath) : jobs;
        })();
    }

    // The jobs for ?cave= URLs: files from this page's own server, each on its own: one
    // that cannot be had gets its card saying why, and the rest go on.
    function wanted(urls) {
        const failing = (why) => () => Promise.reject(new Error(why));
        return urls.map((url) => {
            let where;
            let name;
            try {
                where = new URL(url, location.href);
                name = decodeURIComponent(where.pathname.split("/").pop());
            } catch {
                return { parts: [url], head: failing("not a URL whose file name this page can read") };
            }
            if (where.origin !== location.origin)
                return { parts: [name], head: failing("not on this page's server") };
            if (archive.isarchive(name))
                return { parts: [name], members: async () => archive.members(await archive.fromurl(where.href), headsize) };
            return { parts: [name], head: () => fetchhead(where) };
        });
    }

    return { picked, folder, dropped, wanted };
})();

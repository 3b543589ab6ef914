// SPDX-License-Identifier: MIT
// sources.js - the bytes the page reads: the head of a picked file, and sources an
// archive is read from by offset and length, over a File or over HTTP ranges of the
// page's own server.

import { tailsize } from "./zipformat.js";

/** @typedef {import("./zipread.js").Source} Source */

// A server that does not answer ranges sends the whole archive: up to this much of it
// is kept, which holds many thousands of cave files.
const unrangedbound = 64 * 1024 * 1024;

/** The first size bytes of a stream, read no further. A file's are read so because
 * that asks the browser for neither its size nor a slice of it, each a round trip.
 * @param {ReadableStream<Uint8Array>} stream @param {number} size */
export async function readhead(stream, size) {
    const reader = stream.getReader();
    /** @type {Uint8Array[]} */
    const parts = [];
    let length = 0;
    while (length < size) {
        const { done, value } = await reader.read();
        if (done) break;
        const part = value.subarray(0, size - length);
        parts.push(part);
        length += part.length;
    }
    reader.cancel().catch(() => {});
    const head = new Uint8Array(length);
    parts.reduce((at, part) => (head.set(part, at), at + part.length), 0);
    return head;
}

/** A source over a Blob or File.
 * @param {Blob} file @returns {Source} */
export function fromfile(file) {
    return {
        size: file.size,
        read: async (offset, length) => new Uint8Array(await file.slice(offset, offset + length).arrayBuffer()),
    };
}

/** At most limit bytes of a response's body, or an Error saying toolong if it has more:
 * its reading stops at the first byte past limit.
 * @param {Response} response @param {number} limit @param {string} toolong */
async function body(response, limit, toolong) {
    const bytes = response.body ? await readhead(response.body, limit + 1) : new Uint8Array(0);
    if (bytes.length > limit) throw new Error(toolong);
    return bytes;
}

/** One request of a range (or of bytes=-N, the last N bytes) of where, redirects
 * refused; gives the response, 416 included.
 * @param {URL | string} where @param {string} range */
export async function request(where, range) {
    const response = await fetch(where, { redirect: "manual", headers: { Range: `bytes=${range}` } });
    if (response.type === "opaqueredirect") throw new Error("it redirects elsewhere, and redirects are not followed");
    if (!response.ok && response.status !== 416)
        throw new Error(`the server answered ${response.status} ${response.statusText}`);
    return response;
}

/** At most the first size bytes of a file on the page's server: asked for as a range,
 * as archives are, and the reading stopped there if the server sends more. 416 is the
 * answer to a range that starts past the end: the file is empty.
 * @param {URL} where @param {number} size */
export async function fetchhead(where, size) {
    const response = await request(where, `0-${size - 1}`);
    return response.status === 416 || !response.body ? new Uint8Array(0) : readhead(response.body, size);
}

/** "bytes FIRST-LAST/SIZE" of a partial answer, as numbers, or null.
 * @param {Response} response */
function contentrange(response) {
    const parts = /^bytes (\d+)-(\d+)\/(\d+)$/.exec(response.headers.get("Content-Range") ?? "");
    return parts && parts.slice(1).map(Number);
}

/** A source over a URL of the page's own server, asked for its tail first, whose
 * answer tells the size, and then for ranges. A server that answers with the whole
 * file instead has it read once, up to unrangedbound bytes.
 * @param {URL} where @returns {Promise<Source>} */
export async function fromurl(where) {
    const response = await request(where, `-${tailsize}`);
    // A 416 answers a range that starts past the end: the file is empty.
    let size = 0;
    let kept = new Uint8Array(0); // bytes of the file from keptat on, read already
    let keptat = 0;
    if (response.status === 206) {
        const range = contentrange(response);
        if (!range || range[1] + 1 !== range[2] || range[1] - range[0] + 1 > tailsize)
            throw new Error("the server's answer to a range request is malformed");
        [keptat, , size] = range;
        kept = await body(response, range[1] - range[0] + 1, "the server sent more than it was asked");
        if (keptat + kept.length !== size) throw new Error("the server sent less than it said");
    } else if (response.status !== 416) {
        const stated = Number(response.headers.get("Content-Length"));
        const toolong = `it is larger than ${unrangedbound / 1048576} MiB, and its server sends only whole files`;
        if (stated > unrangedbound) {
            response.body?.cancel().catch(() => {});
            throw new Error(toolong);
        }
        kept = await body(response, unrangedbound, toolong);
        size = kept.length;
    }
    /** @param {number} offset @param {number} length */
    const read = async (offset, length) => {
        if (keptat <= offset && offset + length <= keptat + kept.length)
            return kept.slice(offset - keptat, offset - keptat + length);
        const last = Math.min(size, offset + length) - 1;
        const answer = await request(where, `${offset}-${last}`);
        const range = contentrange(answer);
        if (answer.status !== 206 || !range) throw new Error("the server stopped answering range requests");
        if (range[0] !== offset || range[1] !== last || range[2] !== size)
            throw new Error("the archive changed on the server while it was read");
        return body(answer, last - offset + 1, "the server sent more than it was asked");
    };
    return { size, read };
}

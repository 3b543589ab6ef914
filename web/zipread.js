// SPDX-License-Identifier: MIT
// zipread.js - reading .zip archives in the page: the list of an archive's members and
// the head of each, the part of a member that the program reads, inflated by the
// browser itself. The page shows each member as it shows a file.
//
// An archive is read as careful readers read one: its end record and central directory
// first, then for each member its local header and no more of its data than the head
// needs. No size or offset that the archive states is trusted: each is checked against
// the file and against the others before it is used, and nothing is allocated from one
// that was not. A member's name is data: the page shows it, never writes to it, and
// refuses the names its system (wasi.js) cannot give the program.

import { centralsig, centralsize, crc32, end64sig, end64size, endsig, endsize, localsig, localsize,
         locatorsig, locatorsize, tailsize, trailing, u16, u32, u64, utf8flag } from "./zipformat.js";
import { unfit } from "./wasi.js";

/** Bytes of a file or of a server's copy of one, read by offset and length.
 * @typedef {{ size: number, read: (offset: number, length: number) => Promise<Uint8Array> }} Source */
/** A member of an archive: its path, the promise of its head, and what the reader
 * noted of it (its name cleaned, the encoding it was read in).
 * @typedef {{ path: string, head: () => Promise<Uint8Array>, notes: string[] }} Member */
/** An archive's members in the order of its directory, and what was noted of it.
 * @typedef {{ members: Member[], notes: string[] }} Listing */
/** @typedef {(offset: number, length: number) => Promise<Uint8Array>} Read */
/** @typedef {{ flags: number, method: number, crc: number, csize: number, usize: number, offset: number }} Entry */

// Reads of the archive come in windows of this many bytes, a few kept, so that the
// local headers and data of many small members cost one read of the file (or one
// request of a server) rather than two each. A larger read is a window of its own,
// kept if it is at most largestkept bytes long.
const windowsize = 32768;
const windowskept = 16;
const largestkept = 256 * 1024;
// A member up to this size is read whole, which costs less than stopping a stream
// part way, and lets its size and CRC-32 be checked; a larger one only up to its head.
const wholesize = 65536;
// Names without the UTF-8 flag are in code page 437, the one of the PCs where the
// format began: ASCII below 0x80, and these above.
const cp437 = [...Array(128).keys()].map((c) => String.fromCharCode(c)).concat([...
    "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐" +
    "└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00a0"]);
const utf8 = new TextDecoder("utf-8");
const strictutf8 = new TextDecoder("utf-8", { fatal: true });
// The extra fields read here: zip64 sizes, and Info-ZIP's Unicode Path.
const zip64id = 0x0001;
const unicodepathid = 0x7075;

/** The data of the first extra field of this id, or null when there is none or the
 * fields break off before it.
 * @param {Uint8Array} extra @param {number} id */
function field(extra, id) {
    for (let at = 0; at + 4 <= extra.length;) {
        const end = at + 4 + u16(extra, at + 2);
        if (end > extra.length) return null;
        if (u16(extra, at) === id) return extra.subarray(at + 4, end);
        at = end;
    }
    return null;
}

/** A member's name, and how it was read. The flag says UTF-8; without it, a Unicode
 * Path field made for this very name (its CRC-32 says so) holds the name in UTF-8;
 * without that, a name that is valid UTF-8 and not ASCII is taken as UTF-8, as
 * unzip and 7-Zip take it, since that is how Info-ZIP on Unix and macOS store
 * names; any other is code page 437. An ASCII name reads the same in all of them.
 * @param {Uint8Array} bytes @param {number} flags @param {Uint8Array} extra
 * @returns {{ text: string, how: string }} */
function name(bytes, flags, extra) {
    if (flags & utf8flag) return { text: utf8.decode(bytes), how: "read as UTF-8, as its flag says" };
    const unicode = field(extra, unicodepathid);
    if (unicode && unicode.length >= 5 && unicode[0] === 1 && u32(unicode, 1) === crc32(bytes))
        return { text: utf8.decode(unicode.subarray(5)), how: "read from its Unicode Path field (0x7075)" };
    if (bytes.every((b) => b < 0x80)) return { text: utf8.decode(bytes), how: "" };
    try {
        return { text: strictutf8.decode(bytes), how: "read as UTF-8: its flag does not say so, but it is valid UTF-8" };
    } catch {
        return { text: Array.from(bytes, (b) => cp437[b]).join(""), how: "read as code page 437" };
    }
}

// Methods that a user may meet, named in the reason a member cannot be read.
/** @type {Record<number, string>} */
const methods = { 1: "shrunk", 6: "imploded", 9: "deflate64", 12: "bzip2", 14: "LZMA",
                  93: "Zstandard", 95: "xz", 98: "PPMd" };

/** @param {string} why */
const damaged = (why) => new Error(`it is damaged: ${why}`);

/** The length bytes at offset of a source, all of them: a source that gives fewer
 * than it said it has has changed or been cut short since.
 * @param {Source} source @param {number} offset @param {number} length */
async function exact(source, offset, length) {
    const bytes = await source.read(offset, length);
    if (bytes.length !== length) throw new Error("the archive changed or was cut short while it was read");
    return bytes;
}

/** A reader of length bytes at offset of a source, through windows of it kept for
 * the reads that follow. The caller has checked that the bytes lie in the source.
 * @param {Source} source @returns {Read} */
function windowed(source) {
    /** @type {{ start: number, end: number, bytes: Promise<Uint8Array> }[]} */
    let windows = [];
    return async (offset, length) => {
        let hit = windows.find((w) => w.start <= offset && offset + length <= w.end);
        if (!hit) {
            if (length > largestkept) return exact(source, offset, length);
            const end = Math.min(source.size, offset + Math.max(length, windowsize));
            hit = { start: offset, end, bytes: exact(source, offset, end - offset) };
            windows = [hit, ...windows.slice(0, windowskept - 1)];
            hit.bytes.catch(() => (windows = windows.filter((w) => w !== hit)));
        }
        const bytes = await hit.bytes;
        return bytes.subarray(offset - hit.start, offset - hit.start + length);
    };
}

/** The first headsize bytes that the deflated data of csize bytes at offset inflates
 * to, how many bytes came out in all, whether that was all of it, and their CRC-32.
 * The data goes in in growing chunks. Either the member is read whole, up to one
 * byte past wholesize, or both sides stop when headsize bytes have come out, so
 * that a member that inflates to gigabytes costs no more than a small one.
 * @param {Read} read @param {number} offset @param {number} csize @param {number} headsize @param {boolean} whole */
async function inflate(read, offset, csize, headsize, whole) {
    const stream = new DecompressionStream("deflate-raw");
    const writer = stream.writable.getWriter();
    const reader = stream.readable.getReader();
    let stop = false;
    /** @type {unknown} */
    let failed = null; // why the source could not be read, if it could not
    (async () => {
        for (let fed = 0, chunk = 1024; fed < csize && !stop; fed += chunk, chunk = Math.min(2 * chunk, 65536)) {
            const part = await read(offset + fed, Math.min(chunk, csize - fed)).catch((e) => {
                failed = e;
                throw e;
            });
            // Wait until the stream wants more, but not for the write itself: it is
            // done only when its output has been read.
            await writer.ready;
            if (!stop) writer.write(/** @type {Uint8Array<ArrayBuffer>} */ (part)).catch(() => {});
        }
        if (!stop) writer.close().catch(() => {});
    })().catch((e) => writer.abort(e).catch(() => {}));
    const head = new Uint8Array(headsize);
    let length = 0;
    let crc = 0;
    let ended = false;
    try {
        while (length < (whole ? wholesize + 1 : headsize)) {
            const { done, value } = await reader.read();
            if (done) {
                ended = true;
                break;
            }
            if (length < headsize) head.set(value.subarray(0, headsize - length), length);
            if (whole) crc = crc32(value, crc);
            length += value.length;
        }
    } catch {
        throw failed ?? damaged("its deflated data is broken or cut short");
    } finally {
        // Stopping a stream costs more than reading the rest of a small one.
        if (!ended) {
            stop = true;
            reader.cancel().catch(() => {});
            writer.abort().catch(() => {});
        }
    }
    return { head: head.slice(0, Math.min(length, headsize)), length, ended, crc };
}

// Members are inflated one after another, in the order asked: many streams at once
// take several times as long in all, their steps interleaved, and each holds its
// own inflater's memory.
/** @type {Promise<unknown>} */
let inflating = Promise.resolve();
/** @template T @param {() => Promise<T>} job @returns {Promise<T>} */
function inturn(job) {
    const turn = inflating.then(job);
    inflating = turn.catch(() => {});
    return turn;
}

/** The head of one member, entry as the central directory states it, its data to
 * lie between start and limit of the source. A member of up to wholesize bytes is
 * read whole, and its size and CRC-32 checked.
 * @param {Read} read @param {Entry} entry @param {number} start @param {number} limit @param {number} headsize */
async function head(read, entry, start, limit, headsize) {
    const { flags, method, crc, csize, usize } = entry;
    if (flags & 1 || method === 99) throw new Error("it is encrypted, and cannot be read here");
    if (method !== 0 && method !== 8) {
        const known = methods[method] ? ` (${methods[method]})` : "";
        throw new Error(`it is compressed by method ${method}${known}; only stored and deflated members can be read`);
    }
    const local = start + entry.offset;
    if (local + localsize > limit) throw damaged("its data lies outside the archive");
    const header = await read(local, localsize);
    if (u32(header, 0) !== localsig) throw damaged("its local header is missing");
    const data = local + localsize + u16(header, 26) + u16(header, 28);
    if (data + csize > limit) throw damaged("its data runs past the end of the archive");
    const whole = usize <= wholesize;
    if (method === 0) {
        if (csize !== usize) throw damaged("it is stored, but its two sizes differ");
        const bytes = await read(data, whole ? csize : Math.min(csize, headsize));
        if (whole && crc32(bytes) !== crc) throw damaged("its CRC-32 does not match its contents");
        return bytes.slice(0, headsize);
    }
    const out = await inturn(() => inflate(read, data, csize, headsize, whole));
    if (out.length > usize || (out.ended && out.length !== usize))
        throw damaged("it does not inflate to the size its directory states");
    if (whole && out.crc !== crc) throw damaged("its CRC-32 does not match its contents");
    return out.head;
}

/** The member's sizes and offset that its zip64 extra field holds: those of sizes that
 * are 0xFFFFFFFF, in this order. Gives false when one is missing.
 * @param {Uint8Array} extra @param {Entry} entry */
function zip64(extra, entry) {
    const data = field(extra, zip64id) ?? new Uint8Array(0);
    let at = 0;
    for (const key of /** @type {const} */ (["usize", "csize", "offset"])) {
        if (entry[key] !== 0xffffffff) continue;
        if (at + 8 > data.length) return false;
        entry[key] = u64(data, at);
        at += 8;
    }
    return true;
}

/** Where the central directory is, and how many members its end record says it
 * holds, from the end record at end of tail, the last bytes of the file from
 * tailstart on (and the zip64 end record, if there is one), after bytes after it and
 * its comment; notes gets what was skipped or found out of place. Gives null for the end record of an archive stored
 * in this one; throws why any other end record cannot be the archive's.
 * @param {Read} read @param {Uint8Array} tail @param {number} tailstart @param {number} end
 * @param {number} after @param {string[]} notes */
async function locate(read, tail, tailstart, end, after, notes) {
    let [disk, dirdisk, ondisk, count] = [4, 6, 8, 10].map((field) => u16(tail, end + field));
    let [dirsize, diroffset] = [12, 16].map((field) => u32(tail, end + field));
    let dirend = tailstart + end; // where the directory ends
    const locator = end - locatorsize;
    if (locator >= 0 && u32(tail, locator) === locatorsig) {
        // A program joined before the archive moves its zip64 end record, and the
        // locator may not have been told: the record is then just before the locator.
        const stated = u64(tail, locator + 8);
        const moved = tailstart + locator - end64size;
        /** Whether a zip64 end record begins at where, before the locator. @param {number} where */
        const isrecord = async (where) =>
            where >= 0 && where + end64size <= tailstart + locator && u32(await read(where, 4), 0) === end64sig;
        const at = (await isrecord(stated)) ? stated : (await isrecord(moved)) ? moved : -1;
        if (at < 0) throw damaged("its zip64 end record is missing");
        if (at !== stated) notes.push(`its zip64 end record is ${at - stated} bytes past where its locator says`);
        const record = await read(at, end64size);
        [disk, dirdisk] = [u32(record, 16), u32(record, 20)];
        [ondisk, count, dirsize, diroffset] = [24, 32, 40, 48].map((field) => u64(record, field));
        dirend = at;
    }
    if (disk !== 0 || dirdisk !== 0 || ondisk !== count)
        throw new Error("it is one part of an archive split in several, and cannot be read alone");
    // Data before the archive (a program it was joined to) moves every offset in it
    // by the same amount: the directory lies just before its end record. Where it is
    // not, it is looked for where unzip and 7-Zip look next, at its stated offset, the
    // stated size being wrong (a writer has been seen to state it a byte short). An
    // archive that begins with a member has no data before it: an end record that says
    // otherwise is that of an archive stored in this one, at the end of what is left.
    /** Whether a directory entry begins at at, before the directory's end. @param {number} at */
    const signed = async (at) => at >= 0 && at + 4 <= dirend && u32(await read(at, 4), 0) === centralsig;
    let dirstart = dirend - dirsize;
    if (dirsize > 0 && !(dirstart >= diroffset && await signed(dirstart))) {
        if (!await signed(diroffset)) throw damaged("no directory is where its end record says, at its offset or just before that record");
        notes.push(`its end record says its directory is ${dirsize} bytes long, but it is ${dirend - diroffset}: that was read`);
        [dirstart, dirsize] = [diroffset, dirend - diroffset];
    }
    const start = dirstart - diroffset;
    if (start < 0) throw damaged("its directory lies outside it");
    if (start > 0 && u32(await read(0, 4), 0) === localsig) return null;
    if (start > 0) notes.push(`the ${start} bytes before it (a program it was joined to, perhaps) were skipped`);
    if (after > 0) notes.push(`the ${after} bytes after its end record were skipped`);
    return { start, dirstart, dirsize, count };
}

/** Where the central directory is, and how many members its end record says it holds.
 * The end record is looked for from the end back, at most trailing bytes before the
 * end of its comment: the first whose directory is where it says is the archive's,
 * one whose comment ends the file before any other.
 * @param {Read} read @param {number} size */
async function directory(read, size) {
    if (size === 0) throw new Error("it is empty, so it is not a zip archive");
    const tailstart = Math.max(0, size - tailsize);
    const tail = await read(tailstart, size - tailstart);
    const ends = [];
    for (let end = tail.length - endsize; end >= 0; end--) {
        const after = tail.length - (end + endsize + u16(tail, end + 20));
        if (u32(tail, end) === endsig && after >= 0 && after <= trailing) ends.push({ end, after });
    }
    /** @type {unknown} */
    let why = null;
    for (const { end, after } of ends.sort((a, b) => Number(a.after > 0) - Number(b.after > 0))) {
        /** @type {string[]} */
        const notes = [];
        try {
            const found = await locate(read, tail, tailstart, end, after, notes);
            if (found) return { ...found, notes };
        } catch (e) {
            why ??= e;
        }
    }
    throw why ?? new Error("it is not a zip archive, or its end is cut off: it has no end record");
}

/** The archive's members in the order of its directory, each { path, head, notes },
 * where head() gives at most the first headsize bytes of the member once inflated, and
 * notes what was made of its name. Folders are left out. The directory is read to its
 * end, whatever count its end record gives. A name's "." and empty parts are dropped,
 * as extractors drop them; a name that is absolute or holds ".." is kept as it is,
 * and its member refused. Rejects with why when the archive cannot be read at all; a
 * member that cannot be read is listed, and its head() rejects with why.
 * @param {Source | Promise<Source>} given @param {number} headsize @returns {Promise<Listing>} */
export async function members(given, headsize) {
    const source = await given;
    const read = windowed(source);
    const { start, dirstart, dirsize, count, notes } = await directory(read, source.size);
    const dir = await read(dirstart, dirsize);
    /** @type {Member[]} */
    const list = [];
    let i = 0;
    for (let at = 0; at < dir.length; i++) {
        const next = at + centralsize;
        const [n, m, k] = [28, 30, 32].map((field) => u16(dir, at + field));
        if (next > dir.length || u32(dir, at) !== centralsig || next + n + m + k > dir.length)
            throw damaged(`its directory breaks off at member ${i + 1}`);
        const entry = { flags: u16(dir, at + 8), method: u16(dir, at + 10), crc: u32(dir, at + 16),
                        csize: u32(dir, at + 20), usize: u32(dir, at + 24), offset: u32(dir, at + 42) };
        const extra = dir.subarray(next + n, next + n + m);
        const { text, how } = name(dir.subarray(next, next + n), entry.flags, extra);
        const readable = zip64(extra, entry);
        at = next + n + m + k;
        if (text.endsWith("/")) continue;
        // The leading "" of an absolute name is kept, for unfit to refuse.
        const parts = text.split("/").filter((part, i) => (part !== "" || i === 0) && part !== ".");
        const refused = unfit(parts);
        const path = refused ? text : parts.join("/");
        const named = how ? [`its name is ${how}`] : [];
        if (path !== text) named.push(`its name in the archive is ${text}, shown without its "." and empty parts`);
        list.push({
            path,
            head: () => (refused ? Promise.reject(new Error(`${refused}, and it is not read`))
                : readable ? head(read, entry, start, dirstart, headsize)
                : Promise.reject(damaged("its zip64 sizes are missing"))),
            notes: named,
        });
    }
    if (i !== count) notes.push(`its end record counts ${count} member${count === 1 ? "" : "s"}, but its directory holds ${i}`);
    return { members: list, notes };
}

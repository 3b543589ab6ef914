// SPDX-License-Identifier: MIT
// zipwrite.js - the .zip archive that saves every report at once: each file stored as
// it is, under its own name. The same files give the same bytes, whatever their order
// and whenever they are saved: members sorted by name, every time stamp the earliest
// one a zip can hold, and nothing else that varies.

import { centralsig, crc32, end64sig, endsig, localsig, localsize, locatorsig, record, utf8flag }
    from "./zipformat.js";

const encoder = new TextEncoder();
// 1980-01-01 00:00:00 as an MS-DOS date (day 1, month 1, year 0) and time.
const dosdate = (0 << 9) | (1 << 5) | 1;
const dostime = 0;
const version = 20; // 2.0: stored members and folders
const version64 = 45; // 4.5: zip64
// Made by Unix (its high byte, 3), so that extractors take the names as they are, "/"
// the one separator, and give each file the mode of the external attributes' high
// half: a plain file, rw-r--r--.
const unix = 3 << 8;
const plainfile = 0o100644 * 0x10000;
// A count of 0xFFFF in the end record means "see the zip64 end record".
const mostmembers = 0xfffe;
const mostbytes = 0xfffffffe;

/** Byte strings in order, a shorter one before those it begins.
 * @param {Uint8Array} a @param {Uint8Array} b */
function compare(a, b) {
    for (let i = 0; i < a.length && i < b.length; i++) if (a[i] !== b[i]) return a[i] - b[i];
    return a.length - b.length;
}

/** A Blob of a zip archive of files: stored members named by their paths in UTF-8, in
 * the order of those names' bytes (files of one name in the order of their bytes).
 * Throws a RangeError when they are more than one archive can hold.
 * @param {{ path: string, bytes: Uint8Array }[]} files */
export function make(files) {
    const members = files.map(({ path, bytes }) => ({ name: encoder.encode(path), bytes }))
        .sort((a, b) => compare(a.name, b.name) || compare(a.bytes, b.bytes));
    /** @type {Uint8Array[]} */
    const local = [];
    /** @type {Uint8Array[]} */
    const central = [];
    let offset = 0; // where the next member's local header starts
    for (const { name, bytes } of members) {
        // The same fields in both headers: the version needed to read the member,
        // its flags, method, time and date, CRC-32, two sizes, and name and extra
        // field lengths.
        /** @type {[2 | 4 | 8, number][]} */
        const common = [[2, version], [2, utf8flag], [2, 0], [2, dostime], [2, dosdate],
                        [4, crc32(bytes)], [4, bytes.length], [4, bytes.length],
                        [2, name.length], [2, 0]];
        local.push(record([4, localsig], ...common), name, bytes);
        // After them: comment length, disk, internal and external attributes, and
        // where the local header is.
        central.push(record([4, centralsig], [2, unix | version], ...common,
                            [2, 0], [2, 0], [2, 0], [4, plainfile], [4, offset]), name);
        offset += localsize + name.length + bytes.length;
    }
    const size = central.reduce((sum, part) => sum + part.length, 0);
    if (offset + size > mostbytes) throw new RangeError("the reports are too large for one archive of 4 GiB");
    const count = members.length;
    const end = [];
    if (count > mostmembers) {
        // The zip64 end record (its size counted after its first 12 bytes), and the
        // locator that says where it is.
        end.push(record([4, end64sig], [8, 44], [2, unix | version64], [2, version64], [4, 0], [4, 0],
                        [8, count], [8, count], [8, size], [8, offset]),
                 record([4, locatorsig], [4, 0], [8, offset + size], [4, 1]));
    }
    const short = Math.min(count, 0xffff);
    end.push(record([4, endsig], [2, 0], [2, 0], [2, short], [2, short], [4, size], [4, offset], [2, 0]));
    return new Blob(/** @type {BlobPart[]} */ ([...local, ...central, ...end]), { type: "application/zip" });
}

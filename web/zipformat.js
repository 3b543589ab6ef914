// SPDX-License-Identifier: MIT
// zipformat.js - the .zip format as its reader (zipread.js) and its writer
// (zipwrite.js) both see it: the records' signatures and fixed sizes, their
// little-endian fields, and the CRC-32 that every member carries.

// Record signatures, "PK" and two bytes each.
export const localsig = 0x04034b50;
export const centralsig = 0x02014b50;
export const endsig = 0x06054b50;
export const end64sig = 0x06064b50;
export const locatorsig = 0x07064b50;
// Sizes of the fixed parts of the records.
export const localsize = 30;
export const centralsize = 46;
export const endsize = 22;
export const end64size = 56;
export const locatorsize = 20;
// The end record sits in the last endsize + 65535 bytes (its comment is at most
// 65535 bytes long), and the zip64 locator just before it; as in trusted readers, up
// to 64 KiB after it are let be (padding to a block size, or bytes appended).
export const trailing = 0x10000;
export const tailsize = locatorsize + endsize + 0xffff + trailing;
// The general purpose flag that says a name is UTF-8.
export const utf8flag = 0x800;

/** @param {Uint8Array} bytes @param {number} at */
export const u16 = (bytes, at) => bytes[at] | (bytes[at + 1] << 8);
/** @param {Uint8Array} bytes @param {number} at */
export const u32 = (bytes, at) => (u16(bytes, at) | (u16(bytes, at + 2) << 16)) >>> 0;
/** A 64-bit value, or Infinity when it is past what an offset in a file can be, so
 * that every check against the file's size fails.
 * @param {Uint8Array} bytes @param {number} at */
export const u64 = (bytes, at) => {
    const value = u32(bytes, at) + u32(bytes, at + 4) * 2 ** 32;
    return value <= Number.MAX_SAFE_INTEGER ? value : Infinity;
};

/** The bytes of a record: fields of 2, 4 or 8 bytes, each [size, value], least
 * significant byte first.
 * @param {...[2 | 4 | 8, number]} fields */
export function record(...fields) {
    const view = new DataView(new ArrayBuffer(fields.reduce((sum, [size]) => sum + size, 0)));
    let at = 0;
    for (const [size, value] of fields) {
        if (size === 2) view.setUint16(at, value, true);
        else if (size === 4) view.setUint32(at, value, true);
        else view.setBigUint64(at, BigInt(value), true);
        at += size;
    }
    return new Uint8Array(view.buffer);
}

// The CRC-32 of zip (and of gzip and PNG), by a table of the 256 bytes.
const crctable = Int32Array.from({ length: 256 }, (_, n) => {
    for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
    return n;
});

/** The CRC-32 of bytes, where crc is that of the bytes before them.
 * @param {Uint8Array} bytes @param {number} [crc] */
export function crc32(bytes, crc = 0) {
    crc = ~crc;
    for (let i = 0; i < bytes.length; i++) crc = crctable[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
    return ~crc >>> 0;
}

// SPDX-License-Identifier: MIT
// wasi.js - the system the program runs on in the page: the dozen WASI (preview 1)
// calls it imports, given over one job, its arguments and one file. It is the one place
// that decides which names the page can give the program, and which it can open.

/** One job: the program's arguments, and the one file it may open, its path and
 * bytes, or null where there is no file under that path.
 * @typedef {{ args: string[], path: string, bytes: Uint8Array | null }} Job */

/** Why no file on Linux can have these folders' and file names, or "" when one can.
 * The page gives the program no file under such a name, and refuses such a member.
 * @param {string[]} parts @returns {string} */
export function unfit(parts) {
    if (parts.length > 1 && parts[0] === "") return "its name is absolute";
    if (parts.includes("..")) return 'its name holds "..", which would climb out of its folder';
    const bad = parts.find((part) => part === "" || part === "." || /[/\0]/u.test(part));
    if (bad === undefined) return "";
    return bad.includes("\0") ? "a name may not hold a NUL character" : bad.includes("/") ? 'a name may not hold "/"' : `a name may not be "${bad}"`;
}

/** Whether Linux opens a file under this path: no part of more than 255 bytes, the
 * whole of less than 4096 (the path and its NUL in PATH_MAX).
 * @param {Uint8Array} path */
export function openable(path) {
    let part = 0;
    for (const byte of path) if ((part = byte === 0x2f ? 0 : part + 1) > 255) return false;
    return path.length < 4096;
}

/** The program's exit, thrown out of its instance by proc_exit. */
export class Exit {
    /** @param {number} status */
    constructor(status) {
        this.status = status;
    }
}

// WASI's error numbers. The descriptors are the three streams, 3 the one folder given
// to the program, ".", where a relative name is looked up, and 4 the file once open.
const [ok, badf, inval, nametoolong, noent, spipe] = [0, 8, 28, 37, 44, 70];
const encoder = new TextEncoder();

/** The imports for a run of the program on job, and what it wrote to its two streams.
 * memory() gives the instance's memory once it is made.
 * @param {Job} job @param {() => WebAssembly.Memory} memory */
export function system(job, memory) {
    const args = job.args.map((arg) => encoder.encode(`${arg}\0`));
    const path = encoder.encode(job.path);
    const file = job.bytes ?? new Uint8Array(0); // read only once opened, which needs bytes
    /** @type {Uint8Array[][]} */
    const written = [[], []];
    let at = -1; // where the open file is read next; -1 while it is not open
    const view = () => new DataView(memory().buffer);
    const bytes = () => new Uint8Array(memory().buffer);
    /** Each buffer of the list of count at iovs, as [address, length]. @param {number} iovs @param {number} count */
    const buffers = (iovs, count) => Array.from({ length: count }, (_, i) => [0, 4].map((field) => view().getUint32(iovs + 8 * i + field, true)));
    /** @param {number} fd */
    const known = (fd) => fd <= 3 || (fd === 4 && at >= 0);
    /** Writes a number at address, of 4 bytes or, as a bigint, 8. @param {number} address @param {number | bigint} value */
    const put = (address, value) => (typeof value === "bigint" ? view().setBigUint64(address, value, true) : view().setUint32(address, value, true), ok);
    /** @type {Record<string, (...a: any[]) => number>} */
    const calls = {
        args_sizes_get: (count, size) => (put(count, args.length), put(size, args.reduce((sum, arg) => sum + arg.length, 0))),
        args_get(pointers, buffer) {
            for (const [i, arg] of args.entries()) {
                put(pointers + 4 * i, buffer);
                bytes().set(arg, buffer);
                buffer += arg.length;
            }
            return ok;
        },
        // A folder (type 0) whose name is one byte long, ".".
        fd_prestat_get: (fd, out) => (fd === 3 ? (put(out, 0), put(out + 4, 1)) : badf),
        fd_prestat_dir_name: (fd, out, length) => (fd === 3 && length >= 1 ? ((bytes()[out] = 0x2e), ok) : badf),
        // The streams are files (type 4), so that the library writes its output at once;
        // every right is given.
        fd_fdstat_get(fd, out) {
            if (!known(fd)) return badf;
            bytes().fill(0, out, out + 8).fill(fd === 3 ? 3 : 4, out, out + 1);
            return (put(out + 8, ~0n), put(out + 16, ~0n));
        },
        fd_fdstat_set_flags: () => ok,
        path_open(fd, lookup, name, length, oflags, rights, inherited, fdflags, out) {
            const asked = bytes().subarray(name, name + length);
            if (fd !== 3) return badf;
            if (!openable(asked)) return nametoolong;
            if (!job.bytes || at >= 0 || asked.length !== path.length || asked.some((byte, i) => byte !== path[i])) return noent;
            at = 0;
            return put(out, 4);
        },
        fd_read(fd, iovs, count, out) {
            if (fd !== 0 && !(fd === 4 && at >= 0)) return badf;
            let read = 0; // standard input is at its end
            for (const [start, size] of fd === 4 ? buffers(iovs, count) : []) {
                const part = file.subarray(at, at + size);
                bytes().set(part, start);
                [at, read] = [at + part.length, read + part.length];
            }
            return put(out, read);
        },
        fd_seek(fd, offset, whence, out) {
            if (fd !== 4 || at < 0) return fd < 3 ? spipe : badf;
            const to = Number(offset) + [0, at, file.length][whence];
            return to >= 0 ? put(out, BigInt((at = to))) : inval;
        },
        fd_write(fd, iovs, count, out) {
            if (fd !== 1 && fd !== 2) return badf;
            const chunks = buffers(iovs, count).map(([start, size]) => bytes().slice(start, start + size));
            written[fd - 1].push(...chunks);
            return put(out, chunks.reduce((sum, chunk) => sum + chunk.length, 0));
        },
        fd_close: (fd) => (fd === 4 && at >= 0 ? ((at = -1), ok) : fd < 3 ? ok : badf),
        proc_exit(status) {
            throw new Exit(status);
        },
    };
    /** @param {Uint8Array[]} chunks */
    const joined = (chunks) => {
        const all = new Uint8Array(chunks.reduce((sum, chunk) => sum + chunk.length, 0));
        chunks.reduce((offset, chunk) => (all.set(chunk, offset), offset + chunk.length), 0);
        return all;
    };
    return { imports: { wasi_snapshot_preview1: calls }, out: () => joined(written[0]), err: () => joined(written[1]) };
}

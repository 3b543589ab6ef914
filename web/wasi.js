// SPDX-License-Identifier: MIT
// wasi.js - the system the program runs on in the page: the dozen WASI (preview 1)
// calls it imports, given over one job, its arguments and one file. It is the one place
// that decides which names the page can give the program, and which it can open.

/** One job: the program's arguments, and the file it may open, a path and its bytes.
 * @typedef {{ args: string[], path: string, bytes: Uint8Array }} Job */

/** Why the page cannot give the program a file under these folders' and file names,
 * which no file on Linux can have, or "" when it can: an absolute name, a part that
 * climbs out of its folder, and the parts no folder can hold.
 * @param {string[]} parts @returns {string} */
export function unfit(parts) {
    if (parts.length > 1 && parts[0] === "") return "its name is absolute";
    if (parts.includes("..")) return 'its name holds "..", which would climb out of its folder';
    for (const part of parts) {
        if (part === "" || part === ".") return `a name may not be "${part}"`;
        if (part.includes("/")) return 'a name may not hold "/"';
        if (part.includes("\0")) return "a name may not hold a NUL character";
    }
    return "";
}

/** Whether Linux opens a file under this path: no part of more than 255 bytes, the
 * whole of less than 4096 (a path and its NUL fit in PATH_MAX).
 * @param {Uint8Array} path */
export function openable(path) {
    let part = 0;
    for (const byte of path) {
        part = byte === 0x2f ? 0 : part + 1;
        if (part > 255) return false;
    }
    return path.length < 4096;
}

// WASI's numbers: errors, file types, and the descriptors: the three streams, the one
// folder given to the program (as ".", where a relative name is looked up) and the file.
const [ok, badf, inval, nametoolong, noent, spipe] = [0, 8, 28, 37, 44, 70];
const [folder, regular] = [3, 4];
const [given, file] = [3, 4];
const encoder = new TextEncoder();

/** The program's exit, thrown out of the instance by proc_exit. */
export class Exit {
    /** @param {number} status */
    constructor(status) {
        this.status = status;
    }
}

/** The imports for a run of the program on job, and what it wrote to its two streams.
 * memory() must give the instance's memory once it is made.
 * @param {Job} job @param {() => WebAssembly.Memory} memory */
export function system(job, memory) {
    const args = job.args.map((arg) => encoder.encode(`${arg}\0`));
    const path = encoder.encode(job.path);
    /** @type {Uint8Array[][]} */
    const written = [[], []];
    let at = -1; // where the open file is read next; -1 while it is not open
    const view = () => new DataView(memory().buffer);
    const bytes = () => new Uint8Array(memory().buffer);
    /** Each buffer of an iovec list at iovs: its address and length. @param {number} iovs @param {number} count */
    const buffers = (iovs, count) => Array.from({ length: count }, (_, i) =>
        [view().getUint32(iovs + 8 * i, true), view().getUint32(iovs + 8 * i + 4, true)]);
    /** @type {Record<string, (...a: any[]) => number>} */
    const calls = {
        args_sizes_get(count, size) {
            view().setUint32(count, args.length, true);
            view().setUint32(size, args.reduce((sum, arg) => sum + arg.length, 0), true);
            return ok;
        },
        args_get(pointers, buffer) {
            for (const [i, arg] of args.entries()) {
                view().setUint32(pointers + 4 * i, buffer, true);
                bytes().set(arg, buffer);
                buffer += arg.length;
            }
            return ok;
        },
        fd_prestat_get(fd, out) {
            if (fd !== given) return badf;
            view().setUint32(out, 0, true); // a folder's name
            view().setUint32(out + 4, 1, true); // of one byte, "."
            return ok;
        },
        fd_prestat_dir_name(fd, out, length) {
            if (fd !== given || length < 1) return badf;
            bytes()[out] = 0x2e;
            return ok;
        },
        fd_fdstat_get(fd, out) {
            if (fd > given && !(fd === file && at >= 0)) return badf;
            bytes().fill(0, out, out + 24);
            // The streams are files, so that the library writes standard output at once.
            view().setUint8(out, fd === given ? folder : regular);
            view().setBigUint64(out + 8, ~0n, true);
            view().setBigUint64(out + 16, ~0n, true);
            return ok;
        },
        fd_fdstat_set_flags: () => ok,
        path_open(fd, lookup, name, length, oflags, rights, inherited, fdflags, out) {
            const asked = bytes().subarray(name, name + length);
            if (fd !== given) return badf;
            if (!openable(asked)) return nametoolong;
            if (at >= 0 || asked.length !== path.length || !asked.every((byte, i) => byte === path[i])) return noent;
            at = 0;
            view().setUint32(out, file, true);
            return ok;
        },
        fd_read(fd, iovs, count, out) {
            if (fd !== 0 && !(fd === file && at >= 0)) return badf;
            let read = 0;
            for (const [start, size] of fd === file ? buffers(iovs, count) : []) {
                const part = job.bytes.subarray(at, at + size);
                bytes().set(part, start);
                [at, read] = [at + part.length, read + part.length];
            }
            view().setUint32(out, read, true);
            return ok;
        },
        fd_seek(fd, offset, whence, out) {
            if (fd !== file || at < 0) return fd < given ? spipe : badf;
            const to = Number(offset) + [0, at, job.bytes.length][whence];
            if (!(to >= 0)) return inval;
            at = to;
            view().setBigUint64(out, BigInt(to), true);
            return ok;
        },
        fd_write(fd, iovs, count, out) {
            if (fd !== 1 && fd !== 2) return badf;
            let wrote = 0;
            for (const [start, size] of buffers(iovs, count)) {
                written[fd - 1].push(bytes().slice(start, start + size));
                wrote += size;
            }
            view().setUint32(out, wrote, true);
            return ok;
        },
        fd_close(fd) {
            if (fd !== file || at < 0) return fd < given ? ok : badf;
            at = -1;
            return ok;
        },
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

// SPDX-License-Identifier: MIT
// program.js - runs cavedump, compiled to WebAssembly, on one file, as the command line
// would: the file's path as its one argument, so there is no prompt. Imported by the
// worker bridge, which runs the program on the page's thread when there is no worker,
// and by each worker. Both find the program's runtime, createCavedump, loaded before
// them (cavedump.js).
//
// Starting the program's runtime costs several times what a run does, so each thread
// keeps one instance and, before every run, puts back what a fresh instance holds:
// its linear memory and stack pointer, which are all the WebAssembly keeps, and the
// runtime's files, descriptors and current folder, which the runtime keeps in script.
/** The program's run on a file: its two streams' bytes and its exit status.
 * @typedef {{ out: Uint8Array, err: Uint8Array, status: number }} Run */

// Makes an instance of the program from its compiled module; gives the promise of a
// function that runs it on one file, as a fresh instance would. The promise fails with
// why there is none.
/** @param {WebAssembly.Module} module @returns {Promise<(path: string, bytes: Uint8Array) => Run>} */
export async function cavedumpinstance(module) {
    /** @type {WebAssembly.Memory | undefined} */
    let memory;
    /** @type {any} the runtime's options, and the runtime itself once made */
    const options = {
        noInitialRun: true,
        // Standard input is empty.
        preRun: [() => options.FS.init(() => null)],
    };
    // The runtime's own promise waits for ever when the instantiation fails: that
    // failure is taken here instead.
    /** @type {any} */
    const program = await new Promise((resolve, reject) => {
        /** @param {WebAssembly.Imports} imports @param {(i: WebAssembly.Instance, m: WebAssembly.Module) => void} receive */
        options.instantiateWasm = (imports, receive) => {
            WebAssembly.instantiate(module, imports).then((instance) => {
                memory = Object.values(instance.exports).find((e) => e instanceof WebAssembly.Memory);
                receive(instance, module);
            }).catch(reject);
            return {};
        };
        createCavedump(options).then(resolve, reject);
    });
    // Standard output and standard error are devices that keep what the program writes,
    // so that its bytes are had whole and cheaply, not a character at a time.
    if (!memory) throw new Error("the program has no memory");
    const linear = memory;
    const fs = program.FS;
    const written = [new Bytes(), new Bytes()];
    [1, 2].forEach((fd, i) => {
        const device = fs.makedev(64, i);
        fs.registerDevice(device, {
            /** @param {unknown} stream @param {Uint8Array} buffer @param {number} offset @param {number} length */
            write(stream, buffer, offset, length) {
                written[i].add(buffer.subarray(offset, offset + length));
                return length;
            },
        });
        fs.mkdev(["/stdout", "/stderr"][i], device);
    });
    // Opens the three standard descriptors; gives their streams.
    /** @returns {any[]} */
    const open = () => /** @type {[number, string, string][]} */ ([[0, "/dev/stdin", "r"], [1, "/stdout", "w"], [2, "/stderr", "w"]]).map(([fd, file, flags]) => {
        const stream = fs.open(file, flags);
        if (stream.fd !== fd) throw new Error(`${file} is not descriptor ${fd}`);
        return stream;
    });
    fs.streams.forEach((/** @type {any} */ stream) => stream && fs.close(stream));
    let standard = open();
    fs.mkdir("/caves");
    fs.chdir("/caves");
    const fresh = {
        memory: new Uint8Array(linear.buffer).slice(),
        stack: program.stackSave(),
        inode: fs.nextInode,
    };

    // The runtime's file system walks a path from the top at each step, and joins and
    // splits the whole path so far at each step of that walk: a name of n folders cost
    // about n^3 steps to make and to clear. Here the folders are made and cleared
    // through their nodes, one step each, and a path is walked once, one step a part,
    // where it holds no ".." and no symbolic link; the runtime walks the rest.
    const caves = fs.lookupPath("/caves").node;
    const walk = fs.lookupPath;
    /** @param {string} path @param {any} opts */
    fs.lookupPath = (path, opts = {}) => {
        const parts = (path.startsWith("/") ? path : `${fs.cwd()}/${path}`).split("/").filter((p) => p && p !== ".");
        if (!path || parts.includes("..")) return walk(path, opts);
        const steps = parts.length - (opts.parent ? 1 : 0);
        let node = fs.root;
        for (let i = 0; i < steps; i++) {
            node = fs.lookupNode(node, parts[i]);
            const last = i === parts.length - 1;
            if (fs.isMountpoint(node) && (!last || opts.follow_mount !== false)) node = node.mounted.root;
            if (fs.isLink(node.mode) && (!last || opts.follow)) return walk(path, opts);
        }
        return { path: `/${parts.slice(0, steps).join("/")}`, node };
    };
    // Empties a folder, and the folders in it.
    /** @param {any} folder */
    function clear(folder) {
        for (const name of folder.node_ops.readdir(folder).filter((/** @type {string} */ n) => n !== "." && n !== "..")) {
            const node = fs.lookupNode(folder, name);
            if (fs.isDir(node.mode)) {
                clear(node);
                folder.node_ops.rmdir(folder, name);
            } else {
                folder.node_ops.unlink(folder, name);
            }
            fs.destroyNode(node);
        }
    }

    // Runs the program on one file in /caves, the current folder, after putting back
    // what a fresh instance holds: memory that a run grew is zeroed; the three standard
    // streams are kept, back at their start, unless a run closed one, and any other
    // descriptor is closed; the files of the run before are removed, and inode numbers
    // start again where they started.
    return (path, bytes) => {
        const now = new Uint8Array(linear.buffer);
        now.set(fresh.memory);
        now.fill(0, fresh.memory.length);
        program.stackRestore(fresh.stack);
        if (fs.streams.some((/** @type {any} */ stream, /** @type {number} */ fd) => stream !== (standard[fd] ?? null))) {
            fs.streams.forEach((/** @type {any} */ stream) => stream && fs.close(stream));
            standard = open();
        }
        standard.forEach((stream) => (stream.position = 0));
        written.forEach((stream) => (stream.length = 0));
        clear(caves);
        fs.nextInode = fresh.inode;
        if (fs.cwd() !== "/caves") fs.chdir("/caves");
        // A name Linux cannot open (a part of more than 255 bytes, a path of 4096 or
        // more) is handed to the program with no file under it, which then says what
        // it says on Linux. The program only reads the file: it may hold the caller's
        // bytes themselves.
        const names = path.split("/");
        if (encoder.encode(path).length < 4096 && names.every((name) => encoder.encode(name).length <= 255)) {
            const folder = names.slice(0, -1).reduce((parent, name) => parent.node_ops.mknod(parent, name, 0o40777, 0), caves);
            const file = folder.node_ops.mknod(folder, names.at(-1), 0o100666, 0);
            file.stream_ops.write({ node: file }, bytes, 0, bytes.length, 0, true);
        }
        // The runtime gives the status of a program that ends by exit as well as by
        // returning; anything it throws is a run that failed.
        const status = program.callMain([path]);
        return { out: written[0].bytes(), err: written[1].bytes(), status };
    };
}

const encoder = new TextEncoder();

// Bytes added at the end, in a buffer that doubles when full.
class Bytes {
    buffer = new Uint8Array(4096);
    length = 0;

    /** @param {Uint8Array} more */
    add(more) {
        if (this.length + more.length > this.buffer.length) {
            const larger = new Uint8Array(2 * (this.length + more.length));
            larger.set(this.buffer.subarray(0, this.length));
            this.buffer = larger;
        }
        this.buffer.set(more, this.length);
        this.length += more.length;
    }

    bytes() {
        return this.buffer.slice(0, this.length);
    }
}

// The instance of this thread, made when first needed; dropped when a run fails, since
// a program that trapped or aborted may have left its runtime unfit, and made anew.
/** @type {Promise<(path: string, bytes: Uint8Array) => Run> | null} */
let cavedumpthread = null;

// Runs the program on the file at path (a name, or folders and a name joined by "/")
// holding bytes, made from module (compiled, or the promise of it) if this thread has
// no instance yet. Gives its two streams as bytes and its status, or fails with why
// there is no run.
/** @param {WebAssembly.Module | Promise<WebAssembly.Module>} module @param {string} path @param {Uint8Array} bytes
 * @returns {Promise<Run>} */
export async function cavedump(module, path, bytes) {
    const instance = cavedumpthread ??= Promise.resolve(module).then(cavedumpinstance);
    try {
        return (await instance)(path, bytes);
    } catch (e) {
        if (cavedumpthread === instance) cavedumpthread = null;
        const said = /** @type {{ message?: unknown } | null | undefined} */ (e);
        throw new Error(`cavedump could not run: ${said && said.message ? said.message : e}`);
    }
}

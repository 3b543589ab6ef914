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

    // Empties the folder at path, and the folders in it.
    /** @param {string} path */
    function clear(path) {
        for (const name of fs.readdir(path).filter((/** @type {string} */ n) => n !== "." && n !== "..")) {
            const inner = `${path}/${name}`;
            if (fs.isDir(fs.stat(inner).mode)) {
                clear(inner);
                fs.rmdir(inner);
            } else {
                fs.unlink(inner);
            }
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
        clear("/caves");
        fs.nextInode = fresh.inode;
        if (fs.cwd() !== "/caves") fs.chdir("/caves");
        const folders = path.split("/").slice(0, -1);
        folders.forEach((_, i) => fs.mkdir(folders.slice(0, i + 1).join("/")));
        // The program only reads the file: it may hold the caller's bytes themselves.
        fs.writeFile(path, bytes, { canOwn: true });
        // The runtime gives the status of a program that ends by exit as well as by
        // returning; anything it throws is a run that failed.
        const status = program.callMain([path]);
        return { out: written[0].bytes(), err: written[1].bytes(), status };
    };
}

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

// SPDX-License-Identifier: MIT
// program.js - runs cavedump, compiled to WebAssembly, on one file, as the command line
// would: the file's path as its one argument, so there is no prompt. Loaded by the
// page and by its worker, each of which runs the program where it can.
"use strict";

// The program, compiled once, when first run; each run instantiates it afresh, so
// that nothing of one run reaches the next.
let compiled = null;

// Runs the program on the file at path (a name, or folders and a name joined by "/")
// holding bytes. Gives its two streams as bytes and its status.
async function cavedump(path, bytes) {
    compiled ??= WebAssembly.compile(Uint8Array.from(atob(cavedumpwasm), (c) => c.charCodeAt(0)));
    const module = await compiled;
    const options = {
        noInitialRun: true,
        instantiateWasm(imports, receive) {
            WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module));
            return {};
        },
        // Standard input is empty. Standard output and standard error become files, so
        // that their bytes are had whole, not a character at a time.
        preRun: [() => options.FS.init(() => null)],
    };
    const program = await createCavedump(options);
    const fs = program.FS;
    for (const [fd, file] of [[1, "/stdout"], [2, "/stderr"]]) {
        fs.close(fs.streams[fd]);
        if (fs.open(file, "w").fd !== fd) throw new Error(`${file} is not descriptor ${fd}`);
    }
    fs.mkdir("/caves");
    fs.chdir("/caves");
    const folders = path.split("/").slice(0, -1);
    folders.forEach((_, i) => fs.mkdir(folders.slice(0, i + 1).join("/")));
    fs.writeFile(path, bytes);
    let status;
    try {
        status = program.callMain([path]);
    } catch (e) {
        if (!e || e.name !== "ExitStatus") throw e;
        status = e.status;
    }
    return { out: fs.readFile("/stdout"), err: fs.readFile("/stderr"), status };
}

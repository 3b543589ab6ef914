#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs one case of cli.cases against the real program, in a folder of its own, and
compares each run's standard output, standard error and status with the case's.

    python3 tests/cli.py [--windows] CASES NAME PROGRAM [EMULATOR...]

The program is started through EMULATOR where one is given. With --windows, every
line the program writes must end in CR LF, as a Windows text stream ends it, and is
compared as if it ended in LF; the null device is NUL; cases only for posix are not
for it, and a name reaches the program in its code page, Windows-1252 under wine.
"""

import codecs, os, re, shlex, subprocess, sys, tempfile, threading  # noqa: E401

SECONDS = 60  # for one run: a fault must fail the case, not hang it
SKIPPED = 77  # the status that tells CTest a case is not for this platform
# wine reads the arguments in the locale's character set: UTF-8, as the table has them.
ENVIRONMENT = dict(os.environ, LANG="C.UTF-8")
ABOUTARUN = ("stdin", "stdout", "status", "out", "out^", "out$", "err", "err^", "err$")


def text(value, null, runs=()):
    """The bytes a TEXT of the table stands for."""
    value = re.sub(r"\{(.+?)\*(\d+)\}", lambda m: m.group(1) * int(m.group(2)), value)
    parts = re.split(r"\{(out|err) (\d+)\}", value.replace("{null}", null))
    done = b""
    for i, part in enumerate(parts):
        if i % 3 == 0:
            done += codecs.escape_decode(part.encode())[0]
        elif i % 3 == 1:
            done += runs[int(parts[i + 1]) - 1][part]
    return done


def made(spec):
    """The bytes of a BYTES spec."""
    data = bytearray()
    for token in spec.split():
        kind, _, arg = token.partition(":")
        if kind in ("atari", "kv64"):
            data += b"\xAB" * 4 if kind == "atari" else b"\x00\xBE"
        elif kind == "x":
            data += bytes.fromhex(arg)
        elif kind == "size":
            data = data[:int(arg)].ljust(int(arg), b"\x44")
        elif kind == "at":
            at, hexed = arg.split("=")
            data[int(at):int(at) + len(hexed) // 2] = bytes.fromhex(hexed)
        elif kind == "then":
            count, byte = arg.split("*")
            data += bytes.fromhex(byte) * int(count)
        else:
            raise ValueError("no such part of BYTES: " + token)
    return bytes(data)


def findcase(path, name):
    """The lines of the case called name, as (key, value) pairs."""
    with open(path, encoding="utf-8") as f:
        for paragraph in f.read().split("\n\n"):
            lines = [line.partition(": ") for line in paragraph.split("\n")
                     if line and not line.startswith("#")]
            if lines and lines[0][0] == "case" and lines[0][2] == name:
                return [(key.rstrip(":"), value) for key, _, value in lines]
    raise KeyError("no case " + name)


def aswritten(data, windows, failures, what):
    """What a stream says, CR LF read as LF on Windows, where every line must have it."""
    if not windows:
        return data
    if b"\n" in data.replace(b"\r\n", b""):
        failures.append("%s: a line does not end in CR LF: %r" % (what, data[:200]))
    return data.replace(b"\r\n", b"\n")


def main():
    args = sys.argv[1:]
    windows = args[:1] == ["--windows"]
    args = args[windows:]
    table, name, program = args[0], args[1], os.path.abspath(args[2])
    command = args[3:] + [program]
    null = "NUL" if windows else os.devnull
    case = findcase(table, name)
    if ("only", "windows" if not windows else "posix") in case:
        print("cli.%s: not for this platform" % name)
        return SKIPPED
    failures, runs, pipe, run = [], [], None, None
    with tempfile.TemporaryDirectory() as folder:
        at = lambda name: os.path.join(folder.encode(), text(name, null))
        for key, value in case + [("end", "")]:
            if run is not None and key in ABOUTARUN:
                run[key] = value
                continue
            if run is not None:  # the run's lines have ended: run it
                runs.append(start(command, folder, run, null, pipe))
                check(runs, run, null, windows, failures)
                run = None
            if key == "run":
                run = {"words": [text(w, null) for w in shlex.split(value)]}
            elif key in ("file", "fifo"):
                target, spec = value.split(" = ")
                if key == "fifo":
                    os.mkfifo(at(target))
                    def write(path=at(target), data=made(spec)):
                        with open(path, "wb") as f:
                            f.write(data)
                    threading.Thread(target=write, daemon=True).start()
                else:
                    with open(at(target), "wb") as f:
                        f.write(made(spec))
            elif key == "dir":
                os.mkdir(at(value))
            elif key == "pipe":
                pipe, writing = os.pipe()
                os.write(writing, text(value, null))
                os.close(writing)
            elif key == "left":
                rest = b""
                while chunk := os.read(pipe, 65536):
                    rest += chunk
                if rest != text(value, null):
                    failures.append("left in the pipe: %r, not %r" % (rest[:300], text(value, null)))
    for failure in failures:
        print("cli.%s: %s" % (name, failure))
    print("cli.%s: %d runs, %d failures" % (name, len(runs), len(failures)))
    return 1 if failures else 0


def start(command, folder, run, null, pipe):
    """Runs the program as run says; gives its status and what it wrote."""
    stdin = run.get("stdin")
    if pipe is not None:
        source = pipe
    elif stdin is None:
        source = subprocess.DEVNULL
    elif stdin == "closed":
        source = None
    else:
        source = subprocess.PIPE
    how = run.get("stdout", "")
    sink = open("/dev/full", "wb") if how == "full" else subprocess.PIPE
    streams = {"input": text(stdin, null)} if source is subprocess.PIPE else {"stdin": source}
    done = subprocess.run(
        command + run["words"], cwd=folder, stdout=sink, **streams, env=ENVIRONMENT,
        stderr=subprocess.STDOUT if how == "stderr too" else subprocess.PIPE, timeout=SECONDS,
        preexec_fn=(lambda: os.close(0)) if source is None else None)
    if sink is not subprocess.PIPE:
        sink.close()
    return {"status": done.returncode, "out": done.stdout or b"", "err": done.stderr or b""}


def check(runs, expected, null, windows, failures):
    """Compares the last of runs with what was expected of it."""
    got, number = runs[-1], len(runs)
    for stream in ("out", "err"):
        got[stream] = aswritten(got[stream], windows, failures, "run %d, std%s" % (number, stream))
    for key, value in expected.items():
        if key in ("words", "stdin", "stdout"):
            continue
        stream = key.rstrip("^$")
        if stream == "status":
            wrong = got["status"] != int(value)
        else:
            want = text(value, null, runs)
            have = got[stream]
            wrong = not (have.startswith(want) if key.endswith("^") else
                         have.endswith(want) if key.endswith("$") else have == want)
        if wrong:
            failures.append("run %d (%s): %s is %r, expected %s%r" % (
                number, " ".join(map(repr, expected["words"])), stream, got[stream][:300],
                {"^": "a start of ", "$": "an end of "}.get(key[-1], ""), value))
    if "status" not in expected and got["status"] != 0:
        failures.append("run %d: status %d, expected 0" % (number, got["status"]))


if __name__ == "__main__":
    sys.exit(main())

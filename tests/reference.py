#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""A second, independent account of what cavedump prints, checked against the real
program on cave files made here at random.

Each case is a file built to reach the places where a report can go wrong: every
size around the two record sizes and the 1024-byte head, both signatures and near
misses, digits above 9, names with stop bytes and control characters, maps with and
without a filler right half. The model below says what both streams must hold and in
what order; the program is run with the streams apart and together, and any
difference fails the run with the first case that shows it.

    python3 tests/reference.py [--lineends CRLF] CAVEDUMP [CASES] [SEED] [EMULATOR ...]

EMULATOR, if given, is the command that runs CAVEDUMP (qemu-aarch64 -L ROOT, wine64).
With --lineends CRLF the program writes text streams as Windows does, every line
ending in CR LF; each must, and is then compared as if it ended in LF.
"""

import os, random, subprocess, sys, tempfile  # noqa: E401

LETTERS = "BDmwWeRdfbASoOI."

PARAMS = [
    "cavedelay   (00-14) (  0- 20) (00 = fast, 0x14 = slow) :  ",
    "cavetime    (00-FF) (  0-255) Cave time in seconds     :  ",
    "diamneeded  (00-63) (  0- 99) Diamonds needed          :  ",
    "diamvalue   (00-63) (  0- 99) Diamonds value           :  ",
    "diambonus   (00-63) (  0- 99) Diamonds bonus           :  ",
    "slimperm    (00-08) (  0-  8) Slime permeability       :  ",
    "amoebatime  (00-FF) (  0-255) Amoeba life time         :  ",
    "magwalltime (00-FF) (  0-255) Magic wall milling time  :  ",
    "flags                                                  :  ",
]
ATARI_COLORS = ["C                        ", "B                        ",
                "D                        ", "A unused = 0             ",
                "- unused                 "]
KV64_COLORS = ["- unused                 ", "- unused                 ",
               "B                        ", "A                        ",
               "C                        "]
RANGES = ["(00-0F) (  0- 15) "] * 4 + ["(00-07) (  0-  7) "]


def number(rec, offset, count, out):
    """Digits at offset, most significant first; warnings as each digit is read."""
    value = 0
    for i in range(count):
        d = rec[offset + i] & 0x0F
        if d > 9:
            out.append("bcd%dint i%s > 9 \n" % (count, "abc"[i]))
        value = value * 10 + d
    return value


def cave(flags, cmap):
    out = ["--- Intermission --(1)-\n" if flags == 0x3C else "------ Cave -------(1)-\n"]
    right = all(cmap[r * 20 + c] == 0x44 for r in range(22) for c in range(10, 20))
    out.append("--- Intermission --(2)-\n" if right else "------ Cave -------(2)-\n")
    for r in range(22):
        out.append("".join(LETTERS[b >> 4] + LETTERS[b & 15] for b in cmap[r * 20:r * 20 + 20]) + "\n")
    out.append("W" * 40 + "\n\n\n...read:      880\n")
    return out


def atari(rec):
    out = ["flags:         %3d\n" % rec[490]]
    name = ""
    for b in rec[4:16]:
        if b == 0 or b >= 0x80:
            break
        name += chr(b)
    out.append("name :         %s\n" % name)
    out += cave(rec[490], rec[16:456])
    fields = [(472, 2), (474, 3), (477, 2), (479, 2), (481, 2), (483, 0),
              (484, 3), (487, 3), (490, 0)]
    for label, (offset, count) in zip(PARAMS, fields):
        value = number(rec, offset, count, out) if count else rec[offset]
        out.append("%s%3d\n" % (label, value))
    for i in range(5):
        out.append("color%d      %s%s:  %3d\n" % (i + 1, RANGES[i], ATARI_COLORS[i],
                                                  rec[491 + 2 * i] & 0xFE & 0x0F))
    return out + ["\n\n"]


def kv64(rec):
    out = ["flags:         %3d\n" % rec[476]]
    out += cave(rec[476], rec[2:442])
    for i, label in enumerate(PARAMS):
        out.append("%s%3d\n" % (label, rec[476] if i == 8 else rec[442 + 2 * i]))
    for i in range(5):
        out.append("color%d      %s%s:  %3d\n" % (i + 1, RANGES[i], KV64_COLORS[i],
                                                  rec[477 + 2 * i] & 0x0F))
    return out + ["\n\n"]


def expect(data, name):
    """The chunks cavedump writes for a file holding data: (stream, text) in order."""
    head = data[:1024]
    chunks = []
    if len(head) < 504:
        chunks.append((2, "ATARI File with wrong format size %s\n" % name))
    elif head[:4] != b"\xab\xab\xab\xab":
        chunks.append((2, "ATARI File with wrong format %s\n" % name))
    else:
        chunks += [(1, t) for t in atari(head)]
    if len(head) < 498:
        chunks.append((2, "KV64 File with wrong format size %s\n" % name))
    elif head[:2] != b"\x00\xbe":
        chunks.append((2, "KV64 File with wrong format %s\n" % name))
    else:
        chunks += [(1, t) for t in kv64(head)]
    return chunks


def makecase(rng):
    """A random file shaped to reach the edges of the intake and the reports."""
    size = rng.choice([0, 1, 2, 4, 497, 498, 503, 504, 505, 1023, 1024, 1025, 3000,
                       rng.randrange(0, 1400)])
    data = bytearray(rng.getrandbits(8) for _ in range(size))
    start = rng.choice([b"\xab\xab\xab\xab", b"\x00\xbe", b"\xab\xab\xab\x00", b"\x00\xbf",
                        b"\xab", b""])
    data[:len(start)] = start[:size]
    base = 16 if start.startswith(b"\xab") else 2
    if rng.random() < 0.5:  # filler right half: an intermission's map, or nearly
        for r in range(22):
            for c in range(10, 20):
                if base + r * 20 + c < size:
                    data[base + r * 20 + c] = 0x44
        if rng.random() < 0.3 and size > base + 439:
            data[base + rng.choice([10, 219, 439])] = rng.getrandbits(8)
    if rng.random() < 0.5 and size > 490:  # proper digits, or all digits at 9 and above
        for i in range(472, 490):
            data[i] = rng.choice([rng.randrange(10), rng.randrange(9, 16) | 0x30])
    if rng.random() < 0.3 and size > 490:
        data[490] = 0x3C
        data[476] = 0x3C
    return bytes(data)


def aslf(text):
    """Text whose every line ends in CR LF, as LF text; None if a line ends in LF alone."""
    if text is None or b"\n" in text.replace(b"\r\n", b""):
        return None
    return text.replace(b"\r\n", b"\n")


def run(command, path, name, together, crlf):
    """Runs command on path (with name as its argument) from path's folder."""
    folder = os.path.dirname(path)
    err = subprocess.STDOUT if together else subprocess.PIPE
    done = subprocess.run(command + [name], cwd=folder, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=err, check=False)
    if crlf:
        return done.returncode, aslf(done.stdout), aslf(done.stderr)
    return done.returncode, done.stdout, done.stderr


def main():
    args = sys.argv[1:]
    crlf = False
    if args[:1] == ["--lineends"]:
        crlf = args[1] == "CRLF"
        args = args[2:]
    program = os.path.abspath(args[0])
    cases = int(args[1]) if len(args) > 1 else 300
    seed = int(args[2]) if len(args) > 2 else 1
    command = args[3:] + [program]
    rng = random.Random(seed)
    failed = 0
    with tempfile.TemporaryDirectory() as folder:
        for case in range(cases):
            data = makecase(rng)
            name = "case %d%%s.cav" % case  # a blank and a % in every name
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            chunks = expect(data, name)
            out = "".join(t for s, t in chunks if s == 1).encode("latin-1")
            err = "".join(t for s, t in chunks if s == 2).encode("latin-1")
            both = "".join(t for s, t in chunks).encode("latin-1")
            got = run(command, os.path.join(folder, name), name, False, crlf)
            gotboth = run(command, os.path.join(folder, name), name, True, crlf)
            if got != (0, out, err) or gotboth[:2] != (0, both):
                failed += 1
                if failed == 1:
                    print("case %d (seed %d, %d bytes) differs:" % (case, seed, len(data)))
                    print("  expected status 0, stdout %r..., stderr %r" % (out[:200], err))
                    print("  got status %d, stdout %r..., stderr %r" % (got[0], got[1][:200], got[2]))
    print("differential: %d passed, %d failed" % (cases - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

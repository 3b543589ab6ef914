#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the sample cave files of this folder, byte by byte.

Each cave is drawn below in the letters of the report's picture, one string a row,
40 letters wide and 22 rows high; two letters make one stored byte, the left one in
the high four bits. The parameters are written at their offsets in the file, so a
reader can follow every byte from here to the report.

    python3 samples/makesamples.py [DIR]     (DIR defaults to this script's folder)
"""

import os
import sys

LETTERS = "BDmwWeRdfbASoOI."  # the letter of tile value 0 to 15

# ATARI: a twelve-letter name (no stop byte is needed when all twelve are used) and
# stairs of m climbing from the bottom left to an e, a d on every step.
STAIRS = [
    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDeW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDdBmmmW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDdBmmmDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDdBmmmDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDdBmmmDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDdBmmmDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDdBmmmDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDdBmmmDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDdBmmmDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDdBmmmDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDdBmmmDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDdBmmmDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDmmmDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WRDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
]

# KV64: a band of m and w splits the cave, a scatter of b lies in the upper half, an A
# in a pocket of B and a patch of S in the lower one.
GARDEN = [
    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
    "WRDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDbDDDDbDDDDbDDDDbDDDDbDDDDbDDDDbDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDbDDDDbDDDDbDDDDbDDDDbDDDDbDDDDbDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDdDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDdDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WmmmmmmmmmmmmmmmwwwwwwwwmmmmmmmmmmmmmmmW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDBBBDDDDDDDDDDDDDDDDDDDDDDDDSSSSDDDDW",
    "WDDDBABDDDDDDDDDDDDDDDDDDDDDDDDSSSSDDDDW",
    "WDDDBBBDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDfDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDW",
    "WDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDeW",
    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
]

# ATARI intermission: only the left 20 tiles are used, a ring of d round an R; the
# right half is all filler (W), as an intermission's must be.
RING = [
    "WWWWWWWWWWWWWWWWWWWW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBddddddBBBBBBW" + "W" * 20,
    "WBBBBBdBBBBBBdBBBBBW" + "W" * 20,
    "WBBBBdBBBBBBBBdBBBBW" + "W" * 20,
    "WBBBdBBBBBBBBBBdBBBW" + "W" * 20,
    "WBBBdBBBBBBBBBBdBBBW" + "W" * 20,
    "WBBBdBBBBRBBBBBdBBBW" + "W" * 20,
    "WBBBdBBBBBBBBBBdBBBW" + "W" * 20,
    "WBBBdBBBBBBBBBBdBBBW" + "W" * 20,
    "WBBBBdBBBBBBBBdBBBBW" + "W" * 20,
    "WBBBBBdBBBBBBdBBBBBW" + "W" * 20,
    "WBBBBBBddddddBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBeW" + "W" * 20,
    "WBBBBBBBBBBBBBBBBBBW" + "W" * 20,
    "WWWWWWWWWWWWWWWWWWWW" + "W" * 20,
]


def packmap(rows):
    """The 440 stored bytes of a drawing: two tiles a byte, left tile high."""
    assert len(rows) == 22 and all(len(r) == 40 for r in rows)
    out = bytearray()
    for row in rows:
        for left, right in zip(row[0::2], row[1::2]):
            out.append(LETTERS.index(left) << 4 | LETTERS.index(right))
    return bytes(out)


def digits(value, count):
    """value as count digit bytes, most significant first, one decimal digit a byte."""
    return bytes(int(d) for d in str(value).zfill(count))


def atari(name, rows, cavedelay, cavetime, diamneeded, diamvalue, diambonus,
          slimperm, amoebatime, magwalltime, flags, colors):
    rec = bytearray(504)
    rec[0:4] = b"\xab\xab\xab\xab"           # signature
    rec[4:4 + len(name)] = name             # name; a shorter one ends with 0x00
    rec[16:456] = packmap(rows)             # map
    rec[472:474] = digits(cavedelay, 2)
    rec[474:477] = digits(cavetime, 3)
    rec[477:479] = digits(diamneeded, 2)
    rec[479:481] = digits(diamvalue, 2)
    rec[481:483] = digits(diambonus, 2)
    rec[483] = slimperm                     # a plain byte
    rec[484:487] = digits(amoebatime, 3)
    rec[487:490] = digits(magwalltime, 3)
    rec[490] = flags
    for i, color in enumerate(colors):      # offsets 491, 493, 495, 497, 499
        rec[491 + 2 * i] = color
    return bytes(rec)


def kv64(rows, cavedelay, cavetime, diamneeded, diamvalue, diambonus,
         slimperm, amoebatime, magwalltime, flags, colors):
    rec = bytearray(498)
    rec[0:2] = b"\x00\xbe"                  # signature
    rec[2:442] = packmap(rows)              # map
    # One plain byte each, every other byte from 442 to 456.
    params = [cavedelay, cavetime, diamneeded, diamvalue, diambonus,
              slimperm, amoebatime, magwalltime]
    for i, value in enumerate(params):
        rec[442 + 2 * i] = value
    rec[476] = flags
    for i, color in enumerate(colors):      # offsets 477, 479, 481, 483, 485
        rec[477 + 2 * i] = color
    return bytes(rec)


SAMPLES = {
    "atari-stairs.cav": atari(
        b"GLASS STAIRS", STAIRS, cavedelay=12, cavetime=150, diamneeded=24,
        diamvalue=10, diambonus=15, slimperm=0, amoebatime=0, magwalltime=0,
        flags=0x00, colors=[0x0C, 0x06, 0x0E, 0x00, 0x04]),
    "kv64-garden.cav": kv64(
        GARDEN, cavedelay=8, cavetime=200, diamneeded=2, diamvalue=25,
        diambonus=50, slimperm=4, amoebatime=120, magwalltime=30,
        flags=0x00, colors=[0x00, 0x00, 0x0A, 0x05, 0x07]),
    "atari-ring.cav": atari(
        b"RING", RING, cavedelay=3, cavetime=20, diamneeded=16, diamvalue=5,
        diambonus=5, slimperm=0, amoebatime=0, magwalltime=0,
        flags=0x3C, colors=[0x08, 0x02, 0x0A, 0x00, 0x06]),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, data in SAMPLES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

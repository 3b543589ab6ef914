// SPDX-License-Identifier: MIT
// decode.h - the small routines that both cave reports are made of: numbers from
// stored bytes, the cave's name, the two tests that tell a cave from an
// intermission, and the letter picture of the tile map.
//
// Every routine reads a stored byte as an unsigned value, 0 to 255, whatever the
// signedness of the host's char. Only bcd2int, bcd3int and the show routines print,
// and only to standard output.

#pragma once

#include <array>
#include <cstddef>
#include <span>

// The tile map is 22 rows of 20 bytes, stored from the top row down. Each byte holds
// two tiles, the high four bits on the left, so the cave is 40 tiles wide.
constexpr std::size_t maprows = 22;
constexpr std::size_t mapbytes = 20;
using cavemap = unsigned char[maprows][mapbytes];

// A cave's name is stored in twelve bytes.
constexpr std::size_t namesize = 12;

// The flags value that marks an intermission, and the byte (two tiles of value 4,
// letter W) that fills the unused right half of an intermission's map.
constexpr unsigned char intermissionflags = 0x3C;
constexpr unsigned char fillerbyte = 0x44;

// One letter for each of the sixteen tile values, in the order of the values.
using tileletters = std::array<char, 16>;

// The table for a string of exactly sixteen letters, such as "BDmwWeRdfbASoOI.".
consteval tileletters lettertable(const char (&letters)[17])
{
    tileletters table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = letters[i];
    return table;
}

// The value of a stored byte, 0 to 255.
int byte2int(unsigned char b);

// The two-digit number in two digit bytes: the low four bits of each hold one decimal
// digit. A digit above 9 prints "bcd2int ia > 9 " (first) or "bcd2int ib > 9 "
// (second) and still counts with its value, so the result can reach 165.
int bcd2int(std::span<const unsigned char, 2> p);

// The same for three digit bytes, with warnings "bcd3int ia/ib/ic > 9 " in the order
// of the digits; the result can reach 1665.
int bcd3int(std::span<const unsigned char, 3> p);

// The colour in b seen through mask: (b & mask) & 0x0F.
int nib2int(unsigned char b, unsigned char mask);

// The name stored in p, up to its first byte that is 0x00 or 0x80 and above (a
// negative signed char), at most twelve characters. The text lives in one static
// buffer that the next call overwrites.
const char *name2str(std::span<const unsigned char, namesize> p);

// Prints the first type line: intermission when flags is exactly 0x3C.
void showflagtype(unsigned char flags);

// Prints the second type line: intermission when the right half of the map (byte
// columns 10 to 19 of every row) is nothing but filler bytes.
void showmaptype(const cavemap &map);

// Prints the letter picture of the map, a closing row of 40 letters[4] and two empty
// lines. Gives the number of letters printed for the map itself, always 880.
int showmap(const cavemap &map, const tileletters &letters);

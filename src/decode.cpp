// SPDX-License-Identifier: MIT
// decode.cpp - numbers, names, cave types and the letter picture from stored bytes.

#include "decode.h"

#include <algorithm>
#include <cstdio>

int byte2int(unsigned char b)
{
    return b;
}

// The decimal digit in the low four bits of b. One above 9 prints warning, and is
// given as it is: the report shows what the file holds, not a mended value.
static int digit(unsigned char b, const char *warning)
{
    const int d = byte2int(b) % 16;
    if (d > 9)
        std::fputs(warning, stdout);
    return d;
}

int bcd2int(std::span<const unsigned char, 2> p)
{
    const int ia = digit(p[0], "bcd2int ia > 9 \n");
    const int ib = digit(p[1], "bcd2int ib > 9 \n");
    return 10 * ia + ib;
}

int bcd3int(std::span<const unsigned char, 3> p)
{
    const int ia = digit(p[0], "bcd3int ia > 9 \n");
    const int ib = digit(p[1], "bcd3int ib > 9 \n");
    const int ic = digit(p[2], "bcd3int ic > 9 \n");
    return 100 * ia + 10 * ib + ic;
}

int nib2int(unsigned char b, unsigned char mask)
{
    return (byte2int(b) & mask) & 0x0F;
}

const char *name2str(std::span<const unsigned char, namesize> p)
{
    // Twelve characters and the terminator that ends even a name with no stop byte.
    static char name[namesize + 1];
    std::size_t i = 0;
    while (i < namesize && p[i] != 0 && p[i] < 0x80) {
        name[i] = static_cast<char>(p[i]);
        ++i;
    }
    name[i] = '\0';
    return name;
}

void showflagtype(unsigned char flags)
{
    if (flags == intermissionflags)
        std::fputs("--- Intermission --(1)-\n", stdout);
    else
        std::fputs("------ Cave -------(1)-\n", stdout);
}

// An intermission uses only the left 20 tiles of each row; the right half is filler.
static bool righthalfempty(const cavemap &map)
{
    for (const auto &row : map)
        for (std::size_t col = mapbytes / 2; col < mapbytes; ++col)
            if (row[col] != fillerbyte)
                return false;
    return true;
}

void showmaptype(const cavemap &map)
{
    if (righthalfempty(map))
        std::fputs("--- Intermission --(2)-\n", stdout);
    else
        std::fputs("------ Cave -------(2)-\n", stdout);
}

int showmap(const cavemap &map, const tileletters &letters)
{
    // One row of the picture is written at once: two letters a byte, then the line end.
    std::array<char, 2 * mapbytes + 1> line{};
    line.back() = '\n';
    int count = 0;
    for (const auto &row : map) {
        char *out = line.data();
        for (const unsigned char b : row) {
            const int v = byte2int(b);
            *out++ = letters[static_cast<std::size_t>(v / 16)];
            *out++ = letters[static_cast<std::size_t>(v % 16)];
            count += 2;
        }
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    // Under the 22 stored rows the picture closes with one row of the filler letter.
    std::fill(line.begin(), line.end() - 1, letters[4]);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputs("\n\n", stdout);
    return count;
}

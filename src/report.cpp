// SPDX-License-Identifier: MIT
// report.cpp - the report of an ATARI and of a KV64 cave record.
//
// The two reports share their lines but for the name (ATARI only) and the colour
// labels. Each value is decoded as the argument of the call that prints its line, so
// a digit warning stands directly above the line of the value it concerns.

#include "report.h"

#include "facts.h"

#include <cstdio>

// ATARI colours keep bit 0 clear; KV64 colours use all four low bits.
constexpr unsigned char ataricolormask = 0xFE;
constexpr unsigned char kv64colormask = 0xFF;

// Each format has its own letter table; today both are made from the one text.
constexpr tileletters atariletters = lettertable(mapletters);
constexpr tileletters kv64letters = lettertable(mapletters);

// The two type lines, the picture and the letter count.
static void showcave(unsigned char flags, const cavemap &map, const tileletters &letters)
{
    showflagtype(flags);
    showmaptype(map);
    const int count = showmap(map, letters);
    std::printf("...read:      %d\n", count);
}

// The parameter lines both formats print, one routine a line.

static void showcavedelay(int v)
{
    std::printf("cavedelay   (00-14) (  0- 20) (00 = fast, 0x14 = slow) :  %3d\n", v);
}

static void showcavetime(int v)
{
    std::printf("cavetime    (00-FF) (  0-255) Cave time in seconds     :  %3d\n", v);
}

static void showdiamneeded(int v)
{
    std::printf("diamneeded  (00-63) (  0- 99) Diamonds needed          :  %3d\n", v);
}

static void showdiamvalue(int v)
{
    std::printf("diamvalue   (00-63) (  0- 99) Diamonds value           :  %3d\n", v);
}

static void showdiambonus(int v)
{
    std::printf("diambonus   (00-63) (  0- 99) Diamonds bonus           :  %3d\n", v);
}

static void showslimperm(int v)
{
    std::printf("slimperm    (00-08) (  0-  8) Slime permeability       :  %3d\n", v);
}

static void showamoebatime(int v)
{
    std::printf("amoebatime  (00-FF) (  0-255) Amoeba life time         :  %3d\n", v);
}

static void showmagwalltime(int v)
{
    std::printf("magwalltime (00-FF) (  0-255) Magic wall milling time  :  %3d\n", v);
}

static void showflags(int v)
{
    std::printf("flags                                                  :  %3d\n", v);
}

void showatari(const atarirec &rec)
{
    std::printf("flags:         %3d\n", byte2int(rec.flags));
    std::printf("name :         %s\n", name2str(rec.name));
    showcave(rec.flags, rec.map, atariletters);
    showcavedelay(bcd2int(rec.cavedelay));
    showcavetime(bcd3int(rec.cavetime));
    showdiamneeded(bcd2int(rec.diamneeded));
    showdiamvalue(bcd2int(rec.diamvalue));
    showdiambonus(bcd2int(rec.diambonus));
    showslimperm(byte2int(rec.slimperm));
    showamoebatime(bcd3int(rec.amoebatime));
    showmagwalltime(bcd3int(rec.magwalltime));
    showflags(byte2int(rec.flags));
    std::printf("color1      (00-0F) (  0- 15) C                        :  %3d\n",
                nib2int(rec.color1, ataricolormask));
    std::printf("color2      (00-0F) (  0- 15) B                        :  %3d\n",
                nib2int(rec.color2, ataricolormask));
    std::printf("color3      (00-0F) (  0- 15) D                        :  %3d\n",
                nib2int(rec.color3, ataricolormask));
    std::printf("color4      (00-0F) (  0- 15) A unused = 0             :  %3d\n",
                nib2int(rec.color4, ataricolormask));
    std::printf("color5      (00-07) (  0-  7) - unused                 :  %3d\n",
                nib2int(rec.color5, ataricolormask));
    std::fputs("\n\n", stdout);
}

void showkv64(const kv64rec &rec)
{
    std::printf("flags:         %3d\n", byte2int(rec.flags));
    showcave(rec.flags, rec.map, kv64letters);
    showcavedelay(byte2int(rec.cavedelay));
    showcavetime(byte2int(rec.cavetime));
    showdiamneeded(byte2int(rec.diamneeded));
    showdiamvalue(byte2int(rec.diamvalue));
    showdiambonus(byte2int(rec.diambonus));
    showslimperm(byte2int(rec.slimperm));
    showamoebatime(byte2int(rec.amoebatime));
    showmagwalltime(byte2int(rec.magwalltime));
    showflags(byte2int(rec.flags));
    std::printf("color1      (00-0F) (  0- 15) - unused                 :  %3d\n",
                nib2int(rec.color1, kv64colormask));
    std::printf("color2      (00-0F) (  0- 15) - unused                 :  %3d\n",
                nib2int(rec.color2, kv64colormask));
    std::printf("color3      (00-0F) (  0- 15) B                        :  %3d\n",
                nib2int(rec.color3, kv64colormask));
    std::printf("color4      (00-0F) (  0- 15) A                        :  %3d\n",
                nib2int(rec.color4, kv64colormask));
    std::printf("color5      (00-07) (  0-  7) C                        :  %3d\n",
                nib2int(rec.color5, kv64colormask));
    std::fputs("\n\n", stdout);
}

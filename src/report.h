// SPDX-License-Identifier: MIT
// report.h - the two cave file formats, ATARI and KV64, as records of bytes laid out
// exactly as stored, and the report printed for each.
//
// Both formats hold the same cave: a 40 x 22 tile map and its parameters. ATARI
// stores most parameters as decimal digits, one digit a byte; KV64 stores each as one
// plain byte, with an unused byte after most of them. Fields named reserved are
// never read.

#pragma once

#include "decode.h"

#include <array>
#include <cstddef>

struct atarirec {
    unsigned char signature[4]; // 0xAB 0xAB 0xAB 0xAB
    unsigned char name[namesize];
    cavemap map;
    unsigned char reserved1[16];
    unsigned char cavedelay[2];  // digit bytes
    unsigned char cavetime[3];   // digit bytes
    unsigned char diamneeded[2]; // digit bytes
    unsigned char diamvalue[2];  // digit bytes
    unsigned char diambonus[2];  // digit bytes
    unsigned char slimperm;
    unsigned char amoebatime[3];  // digit bytes
    unsigned char magwalltime[3]; // digit bytes
    unsigned char flags;          // 0x3C marks an intermission
    unsigned char color1;
    unsigned char reserved2;
    unsigned char color2;
    unsigned char reserved3;
    unsigned char color3;
    unsigned char reserved4;
    unsigned char color4;
    unsigned char reserved5;
    unsigned char color5;
    unsigned char reserved6[4];
};

struct kv64rec {
    unsigned char signature[2]; // 0x00 0xBE
    cavemap map;
    unsigned char cavedelay;
    unsigned char reserved1;
    unsigned char cavetime;
    unsigned char reserved2;
    unsigned char diamneeded;
    unsigned char reserved3;
    unsigned char diamvalue;
    unsigned char reserved4;
    unsigned char diambonus;
    unsigned char reserved5;
    unsigned char slimperm;
    unsigned char reserved6;
    unsigned char amoebatime;
    unsigned char reserved7;
    unsigned char magwalltime;
    unsigned char reserved8[19];
    unsigned char flags; // 0x3C marks an intermission
    unsigned char color1;
    unsigned char reserved9;
    unsigned char color2;
    unsigned char reserved10;
    unsigned char color3;
    unsigned char reserved11;
    unsigned char color4;
    unsigned char reserved12;
    unsigned char color5;
    unsigned char reserved13[12];
};

// The records are images of the file: every offset below is the one in the file.
static_assert(sizeof(atarirec) == 504);
static_assert(offsetof(atarirec, map) == 16);
static_assert(offsetof(atarirec, cavedelay) == 472);
static_assert(offsetof(atarirec, slimperm) == 483);
static_assert(offsetof(atarirec, flags) == 490);
static_assert(offsetof(atarirec, color5) == 499);

static_assert(sizeof(kv64rec) == 498);
static_assert(offsetof(kv64rec, map) == 2);
static_assert(offsetof(kv64rec, cavedelay) == 442);
static_assert(offsetof(kv64rec, magwalltime) == 456);
static_assert(offsetof(kv64rec, flags) == 476);
static_assert(offsetof(kv64rec, color5) == 485);

// Each format is recognised by the bytes it begins with.
constexpr std::array<unsigned char, 4> atarisignature{0xAB, 0xAB, 0xAB, 0xAB};
constexpr std::array<unsigned char, 2> kv64signature{0x00, 0xBE};

// Print the whole report of one record to standard output, digit warnings inline.
void showatari(const atarirec &rec);
void showkv64(const kv64rec &rec);

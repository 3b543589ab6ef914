// SPDX-License-Identifier: MIT
// Tests of the two reports, as one table. A row puts bytes at their offsets in the file, in
// a record that is otherwise the format's plain one, and gives each line of the report that
// the bytes change: its number, counted from 1 as in the golden files, and what it then reads
// after its label. The labels are the golden files' to check. A line known by its number
// shows a value printed on another field's line; a line that changes and is not listed, or
// a listed line that does not, fails the row. A row that puts no bytes gives lines of the
// plain record's own report.

#include "report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

enum format { atari, kv64 };

// value is the line's text after the label's colon, or the whole line where it has none;
// warnings are the lines printed directly above it.
struct change {
    std::size_t line;
    std::string value;
    std::string warnings = "";
};

struct row {
    format form;
    std::vector<std::size_t> offsets; // the bytes go at each of these
    std::vector<unsigned char> bytes;
    std::vector<change> changes;
};

const std::string d38(38, 'D'), w40(40, 'W'), w38(38, 'W'), w32(32, 'W'), w24(24, 'W');
const std::string warn3 = "bcd3int ia > 9 \nbcd3int ib > 9 \nbcd3int ic > 9 \n";

const row rows[] = {
    {atari, {}, {}, {{3, "------ Cave -------(1)-"}, {27, w40}, {30, "      880"}}}, // plain
    {kv64, {}, {}, {{29, "      880"}, {30, "    0"}}},
    {atari, {4}, {'S', 'T', 'O', 'N', 'E', 0x00}, {{2, "         STONE"}}},
    {atari, {4}, {0x00, 'N', 'O', 'T'}, {}},
    {atari, {16}, {0x0F}, {{5, "B." + d38}}},
    {atari, {455}, {0xF0}, {{26, d38 + ".B"}}},
    {atari, {472}, {0x01, 0x02}, {{31, "   12"}}},
    {atari, {472}, {0x0A, 0x05}, {{31, "  105", "bcd2int ia > 9 \n"}}},
    {atari, {474}, {0x01, 0x05, 0x00}, {{32, "  150"}}},
    {atari, {477}, {0x31, 0x32}, {{33, "   12"}}}, // high four bits ignored
    {atari, {479}, {0x03, 0x04}, {{34, "   34"}}},
    {atari, {481}, {0x05, 0x06}, {{35, "   56"}}},
    {atari, {483}, {0xC8}, {{36, "  200"}}}, // a plain byte
    {atari, {484}, {0x07, 0x08, 0x09}, {{37, "  789"}}},
    {atari, {487}, {0x02, 0x04, 0x06}, {{38, "  246"}}},
    {atari, {487}, {0x0F, 0x0F, 0x0F}, {{38, "  1665", warn3}}},
    {atari, {490}, {0x81}, {{1, "         129"}, {39, "  129"}}},
    {atari, {490}, {0x3C}, {{1, "          60"}, {3, "--- Intermission --(1)-"}, {39, "   60"}}},
    {atari, {490}, {0x3D}, {{1, "          61"}, {39, "   61"}}}, // only 0x3C is an intermission
    {atari, {490}, {0xBC}, {{1, "         188"}, {39, "  188"}}},
    {atari, {491}, {0x0F}, {{40, "   14"}}}, // colours through the mask 0xFE
    {atari, {493}, {0xF3}, {{41, "    2"}}},
    {atari, {495}, {0x05}, {{42, "    4"}}},
    {atari, {497}, {0x09}, {{43, "    8"}}},
    {atari, {499}, {0x0B}, {{44, "   10"}}},
    {atari, {456, 463, 471, 492, 494, 496, 498, 500, 503}, {0xFF}, {}}, // reserved
    {kv64, {2}, {0x6E}, {{4, "RI" + w38}}}, // the high four bits on the left
    {kv64, {2}, {0x44, 0x01, 0x10, 0xF0}, {{4, "WWBDDB.B" + w32}}},
    {kv64, {22}, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, {{5, "BDmwWeRdfbASoOI." + w24}}},
    {kv64, {441}, {0x5D}, {{3, "------ Cave -------(2)-"}, {25, w38 + "eO"}}},
    {kv64, {442}, {20}, {{30, "   20"}}},
    {kv64, {444}, {150}, {{31, "  150"}}},
    {kv64, {446}, {99}, {{32, "   99"}}},
    {kv64, {446}, {0x80}, {{32, "  128"}}}, // a byte is never a negative char
    {kv64, {448}, {0x0A}, {{33, "   10"}}},
    {kv64, {450}, {0x0B}, {{34, "   11"}}},
    {kv64, {452}, {200}, {{35, "  200"}}},
    {kv64, {454}, {255}, {{36, "  255"}}},
    {kv64, {456}, {0x96}, {{37, "  150"}}},
    {kv64, {476}, {0x3C}, {{1, "          60"}, {2, "--- Intermission --(1)-"}, {38, "   60"}}},
    {kv64, {476}, {0x7C}, {{1, "         124"}, {38, "  124"}}},
    {kv64, {477}, {0x0F}, {{39, "   15"}}}, // colours through the mask 0xFF
    {kv64, {479}, {0xF3}, {{40, "    3"}}},
    {kv64, {481}, {0x01}, {{41, "    1"}}},
    {kv64, {483}, {0x06}, {{42, "    6"}}},
    {kv64, {485}, {0xFF}, {{43, "   15"}}},
    {kv64, {443, 445, 447, 449, 451, 453, 455, 457, 475, 478, 480, 482, 484, 486, 497}, {0xFF}, {}},
};

// The report of the format's plain record with the row's bytes put in. The plain record has the
// format's signature, a map of one tile pair throughout (ATARI's 0x11, DD; KV64's the filler, WW),
// and every other byte zero.
std::string reportof(const row &r)
{
    const bool a = r.form == atari;
    std::vector<unsigned char> file(a ? sizeof(atarirec) : sizeof(kv64rec));
    std::copy_n(a ? atarisignature.data() : kv64signature.data(),
                a ? atarisignature.size() : kv64signature.size(), file.begin());
    std::fill_n(file.begin() + (a ? 16 : 2), 440, a ? 0x11 : fillerbyte);
    for (const std::size_t offset : r.offsets)
        std::copy(r.bytes.begin(), r.bytes.end(), file.begin() + static_cast<long>(offset));
    atarirec ar;
    kv64rec kr;
    std::memcpy(a ? static_cast<void *>(&ar) : &kr, file.data(), file.size());
    CaptureStdout();
    a ? showatari(ar) : showkv64(kr);
    return GetCapturedStdout();
}

TEST(Reports, EachByteChangesOnlyTheValuesOfItsOwnFields)
{
    for (const row &r : rows) {
        const std::string plain = reportof({r.form, {}, {}, {}});
        std::vector<std::string> lines;
        std::istringstream in(plain);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        ASSERT_EQ(lines.size(), r.form == atari ? 46U : 45U);
        for (const auto &[line, value, warnings] : r.changes) {
            std::string &text = lines.at(line - 1);
            text = warnings + text.substr(0, text.find(':') + 1) + value; // npos + 1 is 0
        }
        std::string expected;
        for (const auto &text : lines)
            expected += text + '\n';
        EXPECT_TRUE(r.offsets.empty() || r.changes.empty() == (expected == plain))
            << "a row that cannot fail";
        EXPECT_EQ(reportof(r), expected) << "row " << &r - rows;
    }
}

} // namespace

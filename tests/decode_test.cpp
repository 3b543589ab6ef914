// SPDX-License-Identifier: MIT
// Tests of the decoding routines: the values they give and every line they print. The
// flags' type line and the picture of a map are tried through the reports' table, in
// report_test.cpp, with the letters each format draws.

#include "decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <type_traits>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// Two digit bytes are read by bcd2int, three by bcd3int.
struct digitcase {
    std::vector<unsigned char> bytes;
    int value;
    const char *warnings;
};

TEST(Bcd2intBcd3int, ReadLowNibblesAndWarnAboutEachDigitAboveNineInTheirOrder)
{
    const digitcase digits[] = {
        {{0x35, 0x37}, 57, ""}, // high four bits ignored
        {{0x00, 0x00}, 0, ""},
        {{0x09, 0x09}, 99, ""},
        {{0x0A, 0x05}, 105, "bcd2int ia > 9 \n"},
        {{0x01, 0xFB}, 21, "bcd2int ib > 9 \n"},
        {{0xFF, 0x0F}, 165, "bcd2int ia > 9 \nbcd2int ib > 9 \n"},
        {{0x01, 0x05, 0x00}, 150, ""},
        {{0x32, 0x35, 0x35}, 255, ""},
        {{0x09, 0x09, 0x09}, 999, ""},
        {{0x0C, 0x0D, 0x0E}, 1344, "bcd3int ia > 9 \nbcd3int ib > 9 \nbcd3int ic > 9 \n"},
        {{0x01, 0x02, 0x0F}, 135, "bcd3int ic > 9 \n"},
        {{0x00, 0x1A, 0x00}, 100, "bcd3int ib > 9 \n"},
        {{0xFF, 0xFF, 0xFF}, 1665, "bcd3int ia > 9 \nbcd3int ib > 9 \nbcd3int ic > 9 \n"},
    };
    for (const auto &[bytes, value, warnings] : digits) {
        CaptureStdout();
        const int got = bytes.size() == 2
                            ? bcd2int(std::span<const unsigned char, 2>(bytes.data(), 2))
                            : bcd3int(std::span<const unsigned char, 3>(bytes.data(), 3));
        EXPECT_EQ(GetCapturedStdout(), warnings) << "value " << value;
        EXPECT_EQ(got, value);
    }
}

// A byte is read as unsigned whatever the platform's char: were byte2int to take a
// plain char, 0x80 would read as -128 where char is signed, as on x86, and as 128 on
// ARM. The signature is what keeps the values right everywhere; the report's table
// tries 0x80 and above through it.
static_assert(std::is_same_v<decltype(&byte2int), int (*)(unsigned char)>);

struct nibblecase {
    unsigned char b, mask;
    int value;
};

TEST(Nib2int, MasksThenKeepsTheLowFourBits)
{
    const nibblecase nibbles[] = {
        {0x97, 0xFF, 7}, {0x97, 0xFE, 6}, {0x0F, 0xFF, 15}, {0x0F, 0xFE, 14},
        {0xF3, 0xFF, 3}, {0xF3, 0xFE, 2}, {0xF0, 0xFF, 0},
    };
    for (const auto &[b, mask, value] : nibbles)
        EXPECT_EQ(nib2int(b, mask), value) << int{b} << " through " << int{mask};
}

// Each name is no longer than the one before it, so that one left unterminated in the
// buffer they share would show the end of the last.
struct namecase {
    std::array<unsigned char, namesize> bytes;
    const char *name;
};

TEST(Name2str, StopsAtZeroOrAnyByteFrom0x80AndOverwritesOneBuffer)
{
    const namecase names[] = {
        {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'}, "ABCDEFGHIJKL"},
        {{'X', 'Y', 0x00}, "XY"},
        {{'T', 'W', 'E', 'L', 'V', 'E', ' ', 'L', 'E', 'T', 'T', 'R'}, "TWELVE LETTR"},
        {{'C', 'A', 'V', 'E', 'S', 0x00, 'X', 'X'}, "CAVES"},
        {{0x01, '\t', 0x7F, 'Z', 0x00}, "\x01\t\x7FZ"}, // control characters and 0x7F count
        {{'A', 'B', 0x9B, 'C', 'D'}, "AB"},
        {{'A', 'B', 0x80, 'C'}, "AB"},
        {{'A', 'B', 0xFF, 'C'}, "AB"},
        {{0x00, 'A', 'B'}, ""},
    };
    const char *const buffer = name2str(names[0].bytes);
    for (const auto &[bytes, name] : names) {
        EXPECT_EQ(name2str(bytes), buffer);
        EXPECT_STREQ(buffer, name);
    }
}

// Each case sets one block of bytes, rows top to bottom and byte columns left to right, in a
// map of filler.
struct mapcase {
    std::size_t top, bottom, left, right;
    unsigned char b;
    const char *type;
};

TEST(Showmaptype, LooksAtEveryByteOfTheRightHalfAndNothingElse)
{
    const char *const intermission = "--- Intermission --(2)-\n";
    const char *const cave = "------ Cave -------(2)-\n";
    const mapcase cases[] = {
        {0, 21, 0, 19, fillerbyte, intermission},
        {0, 21, 0, 9, 0x12, intermission}, // the left half is free for the intermission's drawing
        // One other byte anywhere in the right half makes it a cave: its first and last byte,
        // the first byte of a row and the very last byte of the map.
        {0, 0, 10, 10, 0x45, cave},
        {0, 0, 19, 19, 0x45, cave},
        {11, 11, 10, 10, 0x45, cave},
        {21, 21, 19, 19, 0x45, cave},
    };
    for (const auto &[top, bottom, left, right, b, type] : cases) {
        cavemap map;
        std::fill_n(&map[0][0], sizeof map, fillerbyte);
        for (std::size_t row = top; row <= bottom; ++row)
            std::fill(&map[row][left], &map[row][right] + 1, b);
        CaptureStdout();
        showmaptype(map);
        EXPECT_EQ(GetCapturedStdout(), type)
            << "rows " << top << "-" << bottom << ", bytes " << left << "-" << right;
    }
}

TEST(Showmap, TakesItsLettersFromTheTableItIsGivenAndClosesWithARowOfTheFillersLetter)
{
    cavemap map;
    std::fill_n(&map[0][0], sizeof map, fillerbyte);
    map[5][3] = 0x0F;
    constexpr tileletters digits = lettertable("0123456789abcdef");
    CaptureStdout();
    EXPECT_EQ(showmap(map, digits), 880);
    const std::string picture = GetCapturedStdout();
    EXPECT_EQ(picture.substr(5 * 41, 41), "4444440f" + std::string(32, '4') + "\n");
    EXPECT_EQ(picture.substr(22 * 41), std::string(40, '4') + "\n\n\n");
}

} // namespace

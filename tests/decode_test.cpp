// SPDX-License-Identifier: MIT
// Tests of the decoding routines: the values they give and every line they print.

#include "decode.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <type_traits>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct digitcase {
    std::array<unsigned char, 3> bytes;
    int value;
    const char *warnings;
};

TEST(Bcd2int, ReadsLowNibblesAndWarnsAboutEachDigitAboveNine)
{
    const digitcase cases[] = {
        {{0x35, 0x37}, 57, ""}, // high four bits ignored
        {{0x00, 0x00}, 0, ""},
        {{0x09, 0x09}, 99, ""},
        {{0x0A, 0x05}, 105, "bcd2int ia > 9 \n"},
        {{0x01, 0xFB}, 21, "bcd2int ib > 9 \n"},
        {{0xFF, 0x0F}, 165, "bcd2int ia > 9 \nbcd2int ib > 9 \n"},
    };
    for (const auto &c : cases) {
        CaptureStdout();
        const int value = bcd2int(std::span<const unsigned char, 2>(c.bytes.data(), 2));
        EXPECT_EQ(GetCapturedStdout(), c.warnings) << "value " << c.value;
        EXPECT_EQ(value, c.value);
    }
}

TEST(Bcd3int, ReadsThreeDigitsAndWarnsInTheirOrder)
{
    const digitcase cases[] = {
        {{0x01, 0x05, 0x00}, 150, ""},
        {{0x32, 0x35, 0x35}, 255, ""},
        {{0x09, 0x09, 0x09}, 999, ""},
        {{0x0C, 0x0D, 0x0E}, 1344, "bcd3int ia > 9 \nbcd3int ib > 9 \nbcd3int ic > 9 \n"},
        {{0x01, 0x02, 0x0F}, 135, "bcd3int ic > 9 \n"},
        {{0x00, 0x1A, 0x00}, 100, "bcd3int ib > 9 \n"},
        {{0xFF, 0xFF, 0xFF}, 1665, "bcd3int ia > 9 \nbcd3int ib > 9 \nbcd3int ic > 9 \n"},
    };
    for (const auto &c : cases) {
        CaptureStdout();
        const int value = bcd3int(c.bytes);
        EXPECT_EQ(GetCapturedStdout(), c.warnings) << "value " << c.value;
        EXPECT_EQ(value, c.value);
    }
}

// A byte is read as unsigned whatever the platform's char: were byte2int to take a
// plain char, 0x80 would read as -128 where char is signed, as on x86, and as 128 on
// ARM. The signature is what keeps the values below right everywhere.
static_assert(std::is_same_v<decltype(&byte2int), int (*)(unsigned char)>);

TEST(Byte2int, IsUnsignedWhateverTheCharType)
{
    EXPECT_EQ(byte2int(0x00), 0);
    EXPECT_EQ(byte2int(0x80), 128);
    EXPECT_EQ(byte2int(0xFF), 255);
}

TEST(Nib2int, MasksThenKeepsTheLowFourBits)
{
    EXPECT_EQ(nib2int(0x97, 0xFF), 7);
    EXPECT_EQ(nib2int(0x97, 0xFE), 6);
    EXPECT_EQ(nib2int(0x0F, 0xFF), 15);
    EXPECT_EQ(nib2int(0x0F, 0xFE), 14);
    EXPECT_EQ(nib2int(0xF3, 0xFF), 3);
    EXPECT_EQ(nib2int(0xF3, 0xFE), 2);
    EXPECT_EQ(nib2int(0xF0, 0xFF), 0);
}

std::string nameof(const std::array<unsigned char, namesize> &bytes)
{
    return name2str(bytes);
}

TEST(Name2str, StopsAtZeroOrAnyByteFrom0x80)
{
    EXPECT_EQ(nameof({'C', 'A', 'V', 'E', 'S', 0x00, 'X', 'X'}), "CAVES");
    EXPECT_EQ(nameof({'A', 'B', 0x9B, 'C', 'D'}), "AB");
    EXPECT_EQ(nameof({'A', 'B', 0x80, 'C'}), "AB");
    EXPECT_EQ(nameof({'A', 'B', 0xFF, 'C'}), "AB");
    EXPECT_EQ(nameof({0x00, 'A', 'B'}), "");
    EXPECT_EQ(nameof({'T', 'W', 'E', 'L', 'V', 'E', ' ', 'L', 'E', 'T', 'T', 'R'}), "TWELVE LETTR");
    // Control characters and 0x7F are part of the name.
    EXPECT_EQ(nameof({0x01, '\t', 0x7F, 'Z', 0x00}), "\x01\t\x7FZ");
}

TEST(Name2str, EachCallOverwritesTheLastAndIsTerminated)
{
    const std::array<unsigned char, namesize> longname{'A', 'B', 'C', 'D', 'E', 'F',
                                                       'G', 'H', 'I', 'J', 'K', 'L'};
    const std::array<unsigned char, namesize> shortname{'X', 'Y', 0x00};
    const char *first = name2str(longname);
    EXPECT_STREQ(first, "ABCDEFGHIJKL");
    const char *second = name2str(shortname);
    EXPECT_EQ(first, second); // one buffer for every call
    EXPECT_STREQ(second, "XY");
}

TEST(Showflagtype, OnlyExactly0x3CIsAnIntermission)
{
    const std::pair<unsigned char, const char *> cases[] = {
        {0x3C, "--- Intermission --(1)-\n"}, {0x3D, "------ Cave -------(1)-\n"},
        {0xBC, "------ Cave -------(1)-\n"}, {0x00, "------ Cave -------(1)-\n"},
        {0x7C, "------ Cave -------(1)-\n"},
    };
    for (const auto &[flags, line] : cases) {
        CaptureStdout();
        showflagtype(flags);
        EXPECT_EQ(GetCapturedStdout(), line) << "flags " << int{flags};
    }
}

// A map of nothing but filler bytes.
struct fillermap {
    cavemap map;
    fillermap()
    {
        for (auto &row : map)
            for (auto &b : row)
                b = fillerbyte;
    }
};

std::string maptype(const cavemap &map)
{
    CaptureStdout();
    showmaptype(map);
    return GetCapturedStdout();
}

TEST(Showmaptype, LooksAtEveryByteOfTheRightHalfAndNothingElse)
{
    const std::string intermission = "--- Intermission --(2)-\n";
    const std::string cave = "------ Cave -------(2)-\n";

    fillermap all;
    EXPECT_EQ(maptype(all.map), intermission);

    // The left half is free for the intermission's drawing.
    fillermap left;
    for (auto &row : left.map)
        for (std::size_t col = 0; col < 10; ++col)
            row[col] = 0x12;
    EXPECT_EQ(maptype(left.map), intermission);

    // One other byte anywhere in the right half makes it a cave: its first and last
    // byte, the first byte of a row and the very last byte of the map.
    const std::pair<std::size_t, std::size_t> places[] = {{0, 10}, {0, 19}, {11, 10}, {21, 19}};
    for (const auto &[row, col] : places) {
        fillermap one;
        one.map[row][col] = 0x45;
        EXPECT_EQ(maptype(one.map), cave) << "row " << row << " byte " << col;
    }
}

constexpr tileletters letters = lettertable("BDmwWeRdfbASoOI.");

TEST(Showmap, DrawsHighNibbleLeftThenTheClosingRowAndTwoEmptyLines)
{
    fillermap cave;
    const unsigned char first[] = {0x44, 0x01, 0x10, 0xF0};
    std::copy(std::begin(first), std::end(first), cave.map[0]);
    // Row 1 holds every tile value once, in order.
    for (std::size_t i = 0; i < 8; ++i)
        cave.map[1][i] = static_cast<unsigned char>((2 * i) << 4 | (2 * i + 1));

    CaptureStdout();
    const int count = showmap(cave.map, letters);
    const std::string picture = GetCapturedStdout();

    const std::string w40(40, 'W');
    std::string expected = "WWBDDB.B" + std::string(32, 'W') + "\n";
    expected += "BDmwWeRdfbASoOI." + std::string(24, 'W') + "\n";
    for (int row = 2; row < 22; ++row)
        expected += w40 + "\n";
    expected += w40 + "\n\n\n";
    EXPECT_EQ(picture, expected);
    EXPECT_EQ(count, 880);
}

TEST(Showmap, TakesItsLettersFromTheTableItIsGiven)
{
    fillermap cave;
    cave.map[5][3] = 0x0F;
    constexpr tileletters digits = lettertable("0123456789abcdef");
    CaptureStdout();
    EXPECT_EQ(showmap(cave.map, digits), 880);
    const std::string picture = GetCapturedStdout();
    EXPECT_EQ(picture.substr(5 * 41, 41), "4444440f" + std::string(32, '4') + "\n");
    EXPECT_EQ(picture.substr(22 * 41), std::string(40, '4') + "\n\n\n");
}

} // namespace

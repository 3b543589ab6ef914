// SPDX-License-Identifier: MIT
// Tests of the two reports. Each record is built as the file would be, byte by byte
// at its offset in the file, so that a field in the wrong place of a record shows.

#include "report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

template <std::size_t N> struct filebytes {
    std::array<unsigned char, N> bytes{};
    void put(std::size_t offset, std::initializer_list<unsigned char> values)
    {
        std::copy(values.begin(), values.end(), bytes.begin() + static_cast<long>(offset));
    }
};

std::string reportof(const filebytes<sizeof(atarirec)> &file)
{
    atarirec rec;
    std::memcpy(&rec, file.bytes.data(), sizeof rec);
    CaptureStdout();
    showatari(rec);
    return GetCapturedStdout();
}

std::string reportof(const filebytes<sizeof(kv64rec)> &file)
{
    kv64rec rec;
    std::memcpy(&rec, file.bytes.data(), sizeof rec);
    CaptureStdout();
    showkv64(rec);
    return GetCapturedStdout();
}

std::vector<std::string> linesof(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The lines after the picture, from the letter count to the end.
std::vector<std::string> tailof(const std::string &report)
{
    const auto lines = linesof(report);
    const auto count = std::find(lines.begin(), lines.end(), "...read:      880");
    return {count, lines.end()};
}

filebytes<sizeof(atarirec)> ataricave()
{
    filebytes<sizeof(atarirec)> file;
    file.put(0, {0xAB, 0xAB, 0xAB, 0xAB});
    file.put(4, {'S', 'T', 'O', 'N', 'E', 0x00});
    for (std::size_t i = 16; i < 456; ++i)
        file.bytes[i] = 0x11;
    return file;
}

TEST(Showatari, PrintsEveryValueFromItsOwnOffset)
{
    auto file = ataricave();
    file.put(472, {0x01, 0x02});       // cavedelay 12
    file.put(474, {0x01, 0x05, 0x00}); // cavetime 150
    file.put(477, {0x31, 0x32});       // diamneeded 12, high bits ignored
    file.put(479, {0x03, 0x04});       // diamvalue 34
    file.put(481, {0x05, 0x06});       // diambonus 56
    file.put(483, {0xC8});             // slimperm 200, a plain byte
    file.put(484, {0x07, 0x08, 0x09}); // amoebatime 789
    file.put(487, {0x02, 0x04, 0x06}); // magwalltime 246
    file.put(490, {0x81});             // flags
    file.put(491, {0x0F, 0x00, 0xF3, 0x00, 0x05, 0x00, 0x09, 0x00, 0x0B});

    const std::string report = reportof(file);
    const auto lines = linesof(report);
    ASSERT_GE(lines.size(), 5U);
    EXPECT_EQ(lines[0], "flags:         129");
    EXPECT_EQ(lines[1], "name :         STONE");
    EXPECT_EQ(lines[2], "------ Cave -------(1)-");
    EXPECT_EQ(lines[3], "------ Cave -------(2)-");
    EXPECT_EQ(lines[4], std::string(40, 'D'));

    const std::vector<std::string> expected = {
        "...read:      880",
        "cavedelay   (00-14) (  0- 20) (00 = fast, 0x14 = slow) :   12",
        "cavetime    (00-FF) (  0-255) Cave time in seconds     :  150",
        "diamneeded  (00-63) (  0- 99) Diamonds needed          :   12",
        "diamvalue   (00-63) (  0- 99) Diamonds value           :   34",
        "diambonus   (00-63) (  0- 99) Diamonds bonus           :   56",
        "slimperm    (00-08) (  0-  8) Slime permeability       :  200",
        "amoebatime  (00-FF) (  0-255) Amoeba life time         :  789",
        "magwalltime (00-FF) (  0-255) Magic wall milling time  :  246",
        "flags                                                  :  129",
        "color1      (00-0F) (  0- 15) C                        :   14",
        "color2      (00-0F) (  0- 15) B                        :    2",
        "color3      (00-0F) (  0- 15) D                        :    4",
        "color4      (00-0F) (  0- 15) A unused = 0             :    8",
        "color5      (00-07) (  0-  7) - unused                 :   10",
        "",
        "",
    };
    EXPECT_EQ(tailof(report), expected);
}

TEST(Showatari, WarnsDirectlyAboveTheValueAndWidensFourDigitValues)
{
    auto file = ataricave();
    file.put(472, {0x0A, 0x05});       // cavedelay 105
    file.put(487, {0x0F, 0x0F, 0x0F}); // magwalltime 1665
    const auto tail = tailof(reportof(file));
    const std::vector<std::string> expected = {
        "...read:      880",
        "bcd2int ia > 9 ",
        "cavedelay   (00-14) (  0- 20) (00 = fast, 0x14 = slow) :  105",
        "cavetime    (00-FF) (  0-255) Cave time in seconds     :    0",
        "diamneeded  (00-63) (  0- 99) Diamonds needed          :    0",
        "diamvalue   (00-63) (  0- 99) Diamonds value           :    0",
        "diambonus   (00-63) (  0- 99) Diamonds bonus           :    0",
        "slimperm    (00-08) (  0-  8) Slime permeability       :    0",
        "amoebatime  (00-FF) (  0-255) Amoeba life time         :    0",
        "bcd3int ia > 9 ",
        "bcd3int ib > 9 ",
        "bcd3int ic > 9 ",
        "magwalltime (00-FF) (  0-255) Magic wall milling time  :  1665",
    };
    ASSERT_GE(tail.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(tail.begin(), tail.begin() + 13), expected);
}

TEST(Showatari, NameAndTypeLinesComeFromTheirOwnBytes)
{
    auto file = ataricave();
    file.put(4, {0x00, 'N', 'O', 'T'});
    file.put(490, {0x3C}); // flags say intermission; the map (all 0x11) does not
    const auto lines = linesof(reportof(file));
    ASSERT_GE(lines.size(), 4U);
    EXPECT_EQ(lines[0], "flags:          60");
    EXPECT_EQ(lines[1], "name :         ");
    EXPECT_EQ(lines[2], "--- Intermission --(1)-");
    EXPECT_EQ(lines[3], "------ Cave -------(2)-");
}

TEST(Showatari, MapStartsAtOffset16)
{
    auto file = ataricave();
    file.put(16, {0x0F});  // first tile pair of row 0
    file.put(455, {0xF0}); // last tile pair of row 21
    const auto lines = linesof(reportof(file));
    ASSERT_GE(lines.size(), 27U);
    EXPECT_EQ(lines[4], "B." + std::string(38, 'D'));
    EXPECT_EQ(lines[25], std::string(38, 'D') + ".B");
    EXPECT_EQ(lines[26], std::string(40, 'W'));
}

template <std::size_t N>
void expectreservedignored(filebytes<N> file, std::initializer_list<std::size_t> reserved)
{
    const std::string before = reportof(file);
    for (const std::size_t offset : reserved)
        file.bytes[offset] = 0xFF;
    EXPECT_EQ(reportof(file), before);
}

TEST(Reports, ReservedBytesNeverChangeThem)
{
    auto atari = ataricave();
    expectreservedignored(atari, {456, 463, 471, 492, 494, 496, 498, 500, 503});

    filebytes<sizeof(kv64rec)> kv64;
    kv64.put(0, {0x00, 0xBE});
    expectreservedignored(
        kv64, {443, 445, 447, 449, 451, 453, 455, 457, 475, 478, 480, 482, 484, 486, 497});
}

TEST(Showkv64, PrintsEveryValueFromItsOwnOffset)
{
    filebytes<sizeof(kv64rec)> file;
    file.put(0, {0x00, 0xBE});
    for (std::size_t i = 2; i < 442; ++i)
        file.bytes[i] = 0x44;
    file.put(2, {0x6E});   // first tile pair: R, I
    file.put(441, {0x5D}); // last tile pair: e, O
    file.put(442, {20, 0, 150, 0, 99, 0, 0x0A, 0, 0x0B, 0, 200, 0, 255, 0, 0x96});
    file.put(476, {0x3C, 0x0F, 0x00, 0xF3, 0x00, 0x01, 0x00, 0x06, 0x00, 0xFF});

    const std::string report = reportof(file);
    const auto lines = linesof(report);
    ASSERT_GE(lines.size(), 26U);
    EXPECT_EQ(lines[0], "flags:          60");
    EXPECT_EQ(lines[1], "--- Intermission --(1)-");
    EXPECT_EQ(lines[2], "------ Cave -------(2)-"); // a tile pair differs in the right half
    EXPECT_EQ(lines[3], "RI" + std::string(38, 'W'));
    EXPECT_EQ(lines[24], std::string(38, 'W') + "eO");

    const std::vector<std::string> expected = {
        "...read:      880",
        "cavedelay   (00-14) (  0- 20) (00 = fast, 0x14 = slow) :   20",
        "cavetime    (00-FF) (  0-255) Cave time in seconds     :  150",
        "diamneeded  (00-63) (  0- 99) Diamonds needed          :   99",
        "diamvalue   (00-63) (  0- 99) Diamonds value           :   10",
        "diambonus   (00-63) (  0- 99) Diamonds bonus           :   11",
        "slimperm    (00-08) (  0-  8) Slime permeability       :  200",
        "amoebatime  (00-FF) (  0-255) Amoeba life time         :  255",
        "magwalltime (00-FF) (  0-255) Magic wall milling time  :  150",
        "flags                                                  :   60",
        "color1      (00-0F) (  0- 15) - unused                 :   15",
        "color2      (00-0F) (  0- 15) - unused                 :    3",
        "color3      (00-0F) (  0- 15) B                        :    1",
        "color4      (00-0F) (  0- 15) A                        :    6",
        "color5      (00-07) (  0-  7) C                        :   15",
        "",
        "",
    };
    EXPECT_EQ(tailof(report), expected);
}

} // namespace

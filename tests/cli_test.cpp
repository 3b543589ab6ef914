// SPDX-License-Identifier: MIT
// End-to-end tests: the real cavedump run on small files made here, with its two
// streams and its status compared exactly.

#include "program.h"
#include "start.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// What cavedump writes, as these tests spell it. Standard output and standard error
// are text streams, and on Windows a text stream ends each line with CR LF; that is
// the one difference allowed, and the golden tests check it byte for byte.
std::string aswritten(std::string text)
{
#ifdef _WIN32
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
        text.erase(at, 1);
#endif
    return text;
}

// How to run cavedump: what its standard input holds (none: the null device, or
// closed altogether, or a descriptor of the test's own), whether standard error goes
// where standard output goes, and where standard output goes when not to a file that
// is read back.
struct how {
    const std::string *input = nullptr;
    bool closedinput = false;
    int inputfd = -1;
    bool together = false;
    const char *outpath = nullptr;
};

// Each test runs in a folder of its own, which is also cavedump's working folder.
class Cli : public testing::Test {
  protected:
    std::string dir;

    void SetUp() override
    {
        std::random_device random;
        auto folder = std::filesystem::path(testing::TempDir()) / "cavedump-";
        folder += std::to_string(random());
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        dir = folder.string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string file(const std::string &name, const std::string &bytes)
    {
        spit(dir + "/" + name, bytes);
        return name;
    }

    outcome run(const std::vector<std::string> &args, how h = {})
    {
        const std::string in = h.input ? dir + "/" + file(".stdin", *h.input) : nulldevice;
        const std::string err = dir + "/.stderr";
        startio io;
        io.inputpath = h.closedinput ? nullptr : in.c_str();
        io.inputfd = h.inputfd;
        io.outpath = h.outpath ? h.outpath : dir + "/.stdout";
        io.errpath = h.together ? nullptr : err.c_str();

        std::vector<std::string> command(std::begin(cavedumpcommand), std::end(cavedumpcommand));
        command.insert(command.end(), args.begin(), args.end());
        outcome result;
        result.status = startandwait(command, dir, io);
        if (h.outpath == nullptr)
            result.out = aswritten(slurp(io.outpath));
        if (!h.together)
            result.err = aswritten(slurp(err));
        return result;
    }
};

const std::string atarisig = "\xAB\xAB\xAB\xAB";
const std::string kv64sig = std::string("\x00\xBE", 2);

// size bytes that begin with start; the rest are 0x44, a map of filler.
std::string cave(const std::string &start, std::size_t size)
{
    std::string bytes(size, '\x44');
    bytes.replace(0, std::min(start.size(), size), start.substr(0, size));
    return bytes;
}

TEST_F(Cli, SizeAndSignatureDecideWhichReportAndWhichMessages)
{
    struct intakecase {
        std::string start;
        std::size_t size;
        const char *report; // first line of the report, or "" for none
        const char *errors;
    };
    const intakecase cases[] = {
        {"", 0, "", "ATARI File with wrong format size f\nKV64 File with wrong format size f\n"},
        {kv64sig, 497, "",
         "ATARI File with wrong format size f\nKV64 File with wrong format size f\n"},
        {kv64sig, 498, "flags:          68\n------ Cave -------(1)-\n--- Intermission --(2)-\n",
         "ATARI File with wrong format size f\n"},
        {kv64sig, 503, "flags:          68\n", "ATARI File with wrong format size f\n"},
        {kv64sig, 504, "flags:          68\n", "ATARI File with wrong format f\n"},
        {atarisig, 503, "", "ATARI File with wrong format size f\nKV64 File with wrong format f\n"},
        {atarisig, 504, "flags:          68\nname :         ", "KV64 File with wrong format f\n"},
        {"\xAB\xAB\xAB", 600, "",
         "ATARI File with wrong format f\nKV64 File with wrong format f\n"},
        {std::string("\x00\xBF", 2), 600, "",
         "ATARI File with wrong format f\nKV64 File with wrong format f\n"},
        {"\xBE", 600, "", "ATARI File with wrong format f\nKV64 File with wrong format f\n"},
    };
    for (const auto &c : cases) {
        const auto result = run({file("f", cave(c.start, c.size))});
        SCOPED_TRACE(testing::Message() << c.size << " bytes");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, c.errors);
        EXPECT_EQ(result.out.substr(0, std::string(c.report).size()), c.report);
        EXPECT_EQ(result.out.empty(), std::string(c.report).empty());
    }
}

TEST_F(Cli, ReadsOnlyTheFirst1024Bytes)
{
    std::string head = cave(kv64sig, 1024);
    head[476] = 0x3C;
    const std::string tail(5000, '\x12');
    const auto whole = run({file("long", head + tail)});
    const auto cut = run({file("cut", head)});
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.err, "ATARI File with wrong format long\n");
    EXPECT_EQ(whole.out, cut.out);
    EXPECT_EQ(whole.out.substr(0, 18), "flags:          60");
}

TEST_F(Cli, NamesThatCannotBeOpened)
{
    auto missing = run({"no such.cav"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "File cant be open no such.cav\n");

    auto empty = run({""});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.err, "File cant be open \n");

    // A name is printed as it is, never read as a format.
    auto percent = run({"%s%n%d.cav"});
    EXPECT_EQ(percent.status, 0);
    EXPECT_EQ(percent.err, "File cant be open %s%n%d.cav\n");
}

TEST_F(Cli, BothStreamsTogetherKeepTheirOrder)
{
    const auto atari = run({file("a", cave(atarisig, 504))}, {.together = true});
    EXPECT_EQ(atari.status, 0);
    EXPECT_EQ(atari.out.substr(0, 6), "flags:");
    const std::string last = "\n\n\nKV64 File with wrong format a\n";
    ASSERT_GT(atari.out.size(), last.size());
    EXPECT_EQ(atari.out.substr(atari.out.size() - last.size()), last);

    const auto kv64 = run({file("k", cave(kv64sig, 504))}, {.together = true});
    EXPECT_EQ(kv64.out.substr(0, 49), "ATARI File with wrong format k\nflags:          68");

    // The prompt is out before the answer is read, so before any message.
    const std::string typed = "missing\n";
    const auto asked = run({}, {.input = &typed, .together = true});
    EXPECT_EQ(asked.out, "filename:File cant be open missing\n");
}

TEST_F(Cli, ANameOnTheCommandLineNeedsNoPromptAndFurtherArgumentsAreIgnored)
{
    file("k", cave(kv64sig, 498));
    const std::string typed = "other\n";
    const auto alone = run({"k"});
    const auto more = run({"k", "extra", "--help"}, {.input = &typed});
    EXPECT_EQ(more.status, 0);
    EXPECT_EQ(more.out, alone.out);
    EXPECT_EQ(more.err, alone.err);
    EXPECT_EQ(more.out.substr(0, 6), "flags:");
}

TEST_F(Cli, PromptReadsOneWordAfterBlanks)
{
    const auto direct = run({file("k", cave(kv64sig, 498))});
    const std::string typed = " \n\t k rest of the line\n";
    const auto asked = run({}, {.input = &typed});
    EXPECT_EQ(asked.status, 0);
    EXPECT_EQ(asked.out, "filename:" + direct.out);
    EXPECT_EQ(asked.err, direct.err);

    // The end of input ends the last word as a line end would.
    const std::string unended = "k";
    const auto last = run({}, {.input = &unended});
    EXPECT_EQ(last.out, "filename:" + direct.out);
    EXPECT_EQ(last.err, direct.err);
}

TEST_F(Cli, PromptWithNoWordOpensNothing)
{
    for (const std::string typed : {"", " \n\n\t"}) {
        const auto result = run({}, {.input = &typed});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "filename:");
        EXPECT_EQ(result.err, "No file name given\n");
    }
}

TEST_F(Cli, PromptTakes255CharactersAndRefuses256)
{
    // 255 is also the longest name a Linux file system takes for one file.
    const std::string longest(255, 'n');
    file(longest, cave(atarisig, 504));
    const std::string typed = longest + "\n";
    const auto fits = run({}, {.input = &typed});
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(fits.out.substr(0, 15), "filename:flags:");
    EXPECT_EQ(fits.err, "KV64 File with wrong format " + longest + "\n");

    // Cut to 255 characters it would name the file above: it must not be opened.
    const std::string toolong = longest + "n";
    const auto refused = run({}, {.input = &toolong});
    EXPECT_EQ(refused.status, 0);
    EXPECT_EQ(refused.out, "filename:");
    EXPECT_EQ(refused.err, "File name too long\n");
}

// The reading end of a pipe that holds input, its writing end already closed; -1 if
// it could not be made.
int piped(const std::string &input)
{
    int fds[2];
    if (!makepipe(fds))
        return -1;
    const auto written = write(fds[1], input.data(), static_cast<unsigned>(input.size()));
    close(fds[1]);
    return written == std::ssize(input) ? fds[0] : -1;
}

// Reads and closes what is left in the pipe whose reading end is fd.
std::string drain(int fd)
{
    std::string rest;
    char buffer[8192];
    for (auto n = read(fd, buffer, sizeof buffer); n > 0; n = read(fd, buffer, sizeof buffer))
        rest.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return rest;
}

TEST_F(Cli, ARefusedLineIsReadAwayAndNoMore)
{
    // Everything is in the pipe before cavedump starts: it must take the refused line,
    // blanks and later words included, and leave the next line whole for whoever reads
    // next. The line is longer than one buffer of a pipe.
    const int input = piped(std::string(5000, 'a') + " ;echo LEFTOVER\nnext\n");
    ASSERT_GE(input, 0);
    const auto result = run({}, {.inputfd = input});
    EXPECT_EQ(result.err, "File name too long\n");
    EXPECT_EQ(drain(input), "next\n");
}

TEST_F(Cli, RunsSharingOnePipeEachTakeTheirOwnName)
{
    file("a", cave(atarisig, 504));
    file("k", cave(kv64sig, 498));
    const int input = piped(" a\nk rest\nlast\n");
    ASSERT_GE(input, 0);
    const auto first = run({}, {.inputfd = input});
    const auto second = run({}, {.inputfd = input});
    EXPECT_EQ(first.err, "KV64 File with wrong format a\n");
    EXPECT_EQ(second.err, "ATARI File with wrong format size k\n");
    EXPECT_EQ(drain(input), "rest\nlast\n");
}

TEST_F(Cli, PromptRefusesAWordWithANulByte)
{
    // Opened as typed, the word would name the file k.
    file("k", cave(kv64sig, 498));
    file("abc", cave(kv64sig, 498));
    for (const std::string &typed : {std::string("k\0zzz\n", 6), std::string("abc\0\n", 5)}) {
        const auto result = run({}, {.input = &typed});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "filename:");
        EXPECT_EQ(result.err, "File name not valid\n");
    }
}

TEST_F(Cli, AReportThatCannotBeWrittenFailsWithStatus1)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no /dev/full, a file that refuses every write";
#endif
    file("a", cave(atarisig, 504));
    const auto full = run({"a"}, {.outpath = "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "KV64 File with wrong format a\nWrite error on standard output\n");

    // Nothing to write is nothing lost.
    const auto missing = run({"missing"}, {.outpath = "/dev/full"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.err, "File cant be open missing\n");
}

// Inputs that are not cave files at all, or names no one would choose.

TEST_F(Cli, ADirectoryOrTheNullDeviceIsAFileWithNoBytes)
{
    ASSERT_TRUE(std::filesystem::create_directory(dir + "/folder"));
#ifdef _WIN32
    // Windows opens no folder as a file.
    const auto folder = run({"folder"});
    EXPECT_EQ(folder.status, 0);
    EXPECT_EQ(folder.err, "File cant be open folder\n");
    for (const std::string name : {nulldevice}) {
#else
    for (const std::string name : {"folder", nulldevice}) {
#endif
        const auto result = run({name});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "ATARI File with wrong format size " + name +
                                  "\nKV64 File with wrong format size " + name + "\n");
    }
}

TEST_F(Cli, AFifoIsReadUntilItsWriterCloses)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs in its file system";
#else
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0644), 0);
    // The writer's open waits for cavedump's; 300 bytes are too few for either format.
    std::thread writer([this] { spit(dir + "/pipe", cave(kv64sig, 300)); });
    const auto result = run({"pipe"});
    writer.join();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "ATARI File with wrong format size pipe\nKV64 File with wrong format size pipe\n");
#endif
}

TEST_F(Cli, AFileOfMegabytesIsJudgedOnItsHead)
{
    std::string head = cave(atarisig, 504);
    head[4] = 'B';
    head[5] = 0;
    const auto small = run({file("small", head)});
    const auto big = run({file("big", head + std::string(4 << 20, '\x7F'))});
    EXPECT_EQ(big.status, 0);
    EXPECT_EQ(big.out, small.out);
    EXPECT_EQ(big.out.substr(19, 16), "name :         B");
    EXPECT_EQ(big.err, "KV64 File with wrong format big\n");
}

TEST_F(Cli, OddNamesArePrintedAsTheyAre)
{
    const std::string names[] = {"two words.cav", "100%d %s %n.cav", "caf\xE9\xFF.cav", " lead"};
    for (const auto &name : names) {
        const auto result = run({file(name, cave(kv64sig, 600))});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "ATARI File with wrong format " + name + "\n");
        EXPECT_EQ(result.out.substr(0, 6), "flags:");
    }

    // Thousands of characters: no such file can exist, and nothing overflows.
    const std::string huge(5000, 'x');
    const auto result = run({huge});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "File cant be open " + huge + "\n");
}

TEST_F(Cli, PromptWithStandardInputClosed)
{
    const auto result = run({}, {.closedinput = true});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "filename:");
    EXPECT_EQ(result.err, "No file name given\n");
}

} // namespace

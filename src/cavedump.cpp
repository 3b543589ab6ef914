// SPDX-License-Identifier: MIT
// cavedump.cpp - the entry: gets the name of one cave file, reads the head of the
// file once, and hands it to the intake, which tries the two formats on it.
//
// The status is 0 whatever the file held, so that scripts can run the tool over any
// file; the one exception is a report or prompt that could not be written, status 1.

#include "intake.h"

#include <cctype>
#include <cstdio>
#include <cstring>

// The word typed at the prompt: at most 255 characters and the terminator. The
// width in askname's "%255s" must stay one below this size.
constexpr std::size_t typedsize = 256;

// Reads and drops what is left of the current line, its line end included, so that
// nothing of a refused line is left for whoever reads standard input next: in a
// terminal that is the shell, which would otherwise run it as a command.
static void skipline()
{
    int c = 0;
    do
        c = std::getchar();
    while (c != '\n' && c != EOF);
}

// Asks for the file's name and reads one word into typed. Gives nullptr, after saying
// why on standard error, when input ends first or the word cannot be opened as typed:
// a name cut short, or cut at a NUL byte, could open a different file, so such a word
// is refused whole.
static const char *askname(char (&typed)[typedsize])
{
    static_assert(typedsize == 256, "the width in \"%255s\" below is typedsize - 1");
    // Unbuffered, a stream takes from a pipe or a file only the characters it uses, a
    // read of one byte each: the blanks before the word, the word and the one character
    // after it. A buffer would take up to a block more, lost to whoever reads next.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::fputs("filename:", stdout);
    std::fflush(stdout);
    // start and end count the characters read up to the word and up to its end.
    int start = 0;
    int end = 0;
    if (std::scanf(" %n%255s%n", &start, typed, &end) != 1) {
        std::fputs("No file name given\n", stderr);
        return nullptr;
    }
    // The word fitted when what follows it is a blank, a line end or the end of input.
    const int next = std::getchar();
    if (next != EOF && std::isspace(next) == 0) {
        std::fputs("File name too long\n", stderr);
        skipline();
        return nullptr;
    }
    // "%s" stores a NUL byte like any other character, and the name would end there.
    if (std::strlen(typed) != static_cast<std::size_t>(end - start)) {
        std::fputs("File name not valid\n", stderr);
        return nullptr;
    }
    return typed;
}

// Reads the head of the file called name into raw, in one read, and judges it.
static void readcave(const char *name, unsigned char (&raw)[headsize])
{
    std::FILE *file = std::fopen(name, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "File cant be open %s\n", name);
        return;
    }
    // Unbuffered: fread then reads straight into raw, with no stream buffer between.
    std::setvbuf(file, nullptr, _IONBF, 0);
    const std::size_t count = std::fread(raw, 1, headsize, file);
    std::fclose(file);
    intake(std::span<const unsigned char>(raw).first(count), name);
}

// A report or prompt that could not be written (a full disk, a closed pipe) is no success.
// Checked once, at the end of every path: the flush writes what is left, and the
// stream's error flag remembers any write that failed before.
static int finish()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fputs("Write error on standard output\n", stderr);
        return 1;
    }
    return 0;
}

int main(int argc, char *argv[])
{
    // The entry owns both buffers for the whole run.
    char typed[typedsize];
    unsigned char raw[headsize]; // cppcheck-suppress variableScope

    const char *name = argc >= 2 ? argv[1] : askname(typed);
    if (name != nullptr)
        readcave(name, raw);
    return finish();
}

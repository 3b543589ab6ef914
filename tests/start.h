// SPDX-License-Identifier: MIT
// start.h - starting a program with its standard streams where a test wants them, and
// waiting for it: on POSIX systems with posix_spawn, on Windows with CreateProcess.

#pragma once

#include <string>
#include <vector>

// The file that reads as empty: "/dev/null", or "NUL" on Windows.
extern const char *const nulldevice;

// Where a started program's standard streams go.
struct startio {
    const char *inputpath = nullptr; // standard input read from this file, or
    int inputfd = -1;                // from this descriptor of ours; neither: closed
    std::string outpath;             // standard output, created or emptied first
    const char *errpath = nullptr;   // standard error likewise; nullptr: to standard output
};

// Starts command (the program and its arguments) in the folder dir and waits for it.
// Gives its exit status (128 + the signal, if a signal ended it), or -1 when it could
// not be started.
int startandwait(const std::vector<std::string> &command, const std::string &dir,
                 const startio &io);

// A pipe, as POSIX pipe() makes one: fds[0] to read, fds[1] to write.
bool makepipe(int (&fds)[2]);

// SPDX-License-Identifier: MIT
// fuzz_cavedump.cpp - libFuzzer target for everything a cave file reaches: the intake's
// judgement of the file's head, and both reports on any record bytes at all, whatever
// their signature. The reports go to /dev/null; run it with -close_fd_mask=2 to keep
// the intake's messages off the terminal (the sanitizers still report).

#include "intake.h"
#include "report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/)
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The program never reads more than headsize bytes of a file.
    intake(std::span<const unsigned char>(data, std::min(size, headsize)), "fuzz.cav");

    if (size >= sizeof(atarirec)) {
        atarirec rec;
        std::memcpy(&rec, data, sizeof rec);
        showatari(rec);
    }
    if (size >= sizeof(kv64rec)) {
        kv64rec rec;
        std::memcpy(&rec, data, sizeof rec);
        showkv64(rec);
    }
    return 0;
}

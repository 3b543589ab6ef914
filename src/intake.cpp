// SPDX-License-Identifier: MIT
// intake.cpp - the judgement of a file's head: the two formats tried in a fixed
// order, ATARI first, then KV64. Complaints about the file go to standard error; the
// report goes to standard output.

#include "intake.h"
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

static_assert(sizeof(atarirec) <= headsize && sizeof(kv64rec) <= headsize,
              "both records must lie within the head of the file that is read");

// Standard output is buffered and standard error is not. After a report, flush it,
// so that when both streams go to one file the lines keep the order they were made.
static void flushreport()
{
    std::fflush(stdout);
}

void intake(std::span<const unsigned char> head, const char *name)
{
    if (head.size() < sizeof(atarirec)) {
        std::fprintf(stderr, "ATARI File with wrong format size %s\n", name);
    } else if (!std::equal(atarisignature.begin(), atarisignature.end(), head.begin())) {
        std::fprintf(stderr, "ATARI File with wrong format %s\n", name);
    } else {
        atarirec rec;
        std::memcpy(&rec, head.data(), sizeof rec);
        showatari(rec);
        flushreport();
    }

    // The second check is made whatever the first found. The signatures differ in
    // their first byte, so at most one of the two reports is printed.
    if (head.size() < sizeof(kv64rec)) {
        std::fprintf(stderr, "KV64 File with wrong format size %s\n", name);
    } else if (!std::equal(kv64signature.begin(), kv64signature.end(), head.begin())) {
        std::fprintf(stderr, "KV64 File with wrong format %s\n", name);
    } else {
        kv64rec rec;
        std::memcpy(&rec, head.data(), sizeof rec);
        showkv64(rec);
        flushreport();
    }
}

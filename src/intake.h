// SPDX-License-Identifier: MIT
// intake.h - judging the head of a cave file, apart from reading it, so that the
// judgement can be driven on a buffer as well as from a file.

#pragma once

#include "facts.h"

#include <span>

// Tries head, the first bytes of the file called name, as ATARI and then as KV64:
// prints the report of each format it passes and, on standard error, why it fails
// each other one. name is printed as it is, never used as a format.
void intake(std::span<const unsigned char> head, const char *name);

// mksfx's main job: stub + option block + ZIP data into one self-extracting file, then a check
// of the result with the stub's own reader and decoder.
#pragma once

#include <cstdio>

#include "builder/command_line.h"

namespace mksfx {

// Returns the exit status: 0 written and checked, 2 an input was refused (nothing is left
// behind), and prints what it did to `out`, refusals to stderr.
int Pack(const CommandLine& command, std::FILE* out);

}  // namespace mksfx

// mksfx --list: what the stub's own reader finds in a self-extracting file.
#pragma once

#include <cstdio>
#include <string>

namespace mksfx {

// Prints the option block and the entries of `path`; the texts and names are decoded from
// `codePage` for display. Returns the process exit status.
int ListSelfExtractor(const std::string& path, unsigned codePage, std::FILE* out);

// "2024-05-06 07:08:10" for an MS-DOS date-time (date in the high 16 bits).
std::string FormatDosDateTime(uint32_t dosDateTime);

}  // namespace mksfx

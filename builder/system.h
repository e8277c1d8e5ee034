// What mksfx asks of the system besides files: the command line, the terminal and random
// bytes. builder/win32 and builder/native implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace mksfx {

// The arguments behind the program name, as UTF-8. Windows hands main() its arguments in the
// ANSI code page, which cannot hold every name, so they come from the wide command line there.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether the stream is a terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);

// Fills `bytes` from the system's cryptographic random source; false when it fails.
bool CryptoRandom(uint8_t* bytes, size_t count);

}  // namespace mksfx

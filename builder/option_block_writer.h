// The 256-byte option block that follows the stub's PE image: "MPU", the flag byte, three
// lengths and the texts (caption, default folder, run command) in the archive's code page.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "unpacker/container/option_block.h"

namespace mksfx {

struct OptionTexts {
  std::string caption;  // window title
  std::string folder;   // default destination; may hold {dest} {win} {sys} {temp}
  std::string command;  // "PROG|ARGS" run after extraction; "><" stands for the destination
};

using OptionBlock = std::array<uint8_t, kOptionBlockSize>;

// Builds the block from texts already in the archive's code page; `flags` are the core's
// kFlagOverwriteByDefault, kFlagAutoExtract and kFlagWaitThenDelete. Fails with a message naming
// the text when one is longer than 255 bytes or the three do not fit beside the 7-byte head.
bool BuildOptionBlock(uint8_t flags, const OptionTexts& texts, OptionBlock* block,
                      std::string* error);

}  // namespace mksfx

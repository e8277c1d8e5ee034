// Test harness for the portable core: puts a file in place of the program's own file, resets
// the process-wide state between tests, and records what the core tells the user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "unpacker/container/user_interface.h"

namespace testing_support {

struct ShownMessage {
  std::string path;  // empty when the message names no path
  std::string text;  // UTF-8
  MessageIcon icon;
};

// Messages shown through ShowMessage since the last ResetCoreState.
extern std::vector<ShownMessage> shownMessages;

// Called by every PumpOneMessage; tests use it to press Cancel at a chosen moment.
extern std::function<void()> onPumpOneMessage;
extern int pumpCount;

// Zeroes the option block, file access, ZIP record and shared state, and the recordings.
void ResetCoreState();

// Makes `bytes` the program file (ArchiveHandle) until destroyed; the state is reset first.
// Native builds only: the bytes are read from memory.
class ProgramFile {
 public:
  explicit ProgramFile(std::vector<uint8_t> bytes);
  ~ProgramFile();
  ProgramFile(const ProgramFile&) = delete;
  ProgramFile& operator=(const ProgramFile&) = delete;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace testing_support

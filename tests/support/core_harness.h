// Test harness for the portable core: puts a file in place of the program's own file, resets
// the process-wide state between tests, records what the core tells the user and answers what
// the extraction loop asks.
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

// What the user does when the extraction loop asks (extraction_ui.h), and what the loop did to
// the dialog. The overwrite question is answered by each test program itself.
struct ExtractionScript {
  const char* password = nullptr;  // typed whenever asked; none: the close box
  int passwordQuestions = 0;
  std::function<void()> onStep;  // at every MessageStep
  int closes = 0;
  std::vector<bool> enabled;  // every change of the controls, in order
};
extern ExtractionScript script;

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

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace testing_support

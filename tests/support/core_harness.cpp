#include "tests/support/core_harness.h"

#include <cstring>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/extract/extraction_ui.h"

namespace testing_support {

std::vector<ShownMessage> shownMessages;
std::function<void()> onPumpOneMessage;
int pumpCount = 0;
ExtractionScript script;

void ResetCoreState() {
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  std::memset(&ExtractorOptions, 0, sizeof ExtractorOptions);
  LocalHeader = LocalHeaderRecord{};
  EntryRemaining = 0;
  EntryAttributes.SetLength(0);
  EntryFacts.SetLength(0);
  ListedEntryCount = 0;
  std::memset(DestFolder, 0, sizeof DestFolder);
  OverwriteMode = OverwriteChoice::ReplaceWithoutAsking;
  ReplaceThisFile = Extracting = CancelRequested = ArchiveEndedEarly = false;
  Outcome = RunOutcome{};
  Password.Clear();
  std::memset(TypedPassword, 0, sizeof TypedPassword);
  TypedPasswordLength = 0;
  OutputHandle = nullptr;
  RunningCrc = 0;
  BytesTotal = BytesDone = 0;
  ProgressPercent = 0;
  shownMessages.clear();
  onPumpOneMessage = nullptr;
  pumpCount = 0;
  script = {};
}

}  // namespace testing_support

void ShowMessage(const char* utf8Path, const char* utf8Text, MessageIcon icon) {
  testing_support::shownMessages.push_back({utf8Path ? utf8Path : "", utf8Text, icon});
}

bool ShowPasswordDialog() {
  using testing_support::script;
  ++script.passwordQuestions;
  if (!script.password) return false;
  std::strcpy(TypedPassword, script.password);
  TypedPasswordLength = int32_t(std::strlen(TypedPassword));
  return true;
}

void MessageStep() {
  if (testing_support::script.onStep) testing_support::script.onStep();
}

void EnableExtractionControls(bool enabled) {
  testing_support::script.enabled.push_back(enabled);
}

void PostCloseCommand() {
  ++testing_support::script.closes;
}

void PumpOneMessage() {
  ++testing_support::pumpCount;
  if (testing_support::onPumpOneMessage) testing_support::onPumpOneMessage();
}

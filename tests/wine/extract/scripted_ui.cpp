#include "tests/wine/extract/scripted_ui.h"

#include <windows.h>

#include <cstring>

#include "unpacker/container/shared_state.h"
#include "unpacker/extract/win32/extraction_ui.h"
#include "unpacker/extract/win32/overwrite_question.h"

namespace script {

std::deque<PasswordAnswer> passwordAnswers;
int passwordDialogsShown = 0;
std::deque<OverwriteAnswer> overwriteAnswers;
std::vector<OverwriteQuestion> overwriteQuestions;
int messageSteps = 0;
std::function<void()> onMessageStep;
int closeCommandsPosted = 0;
std::vector<bool> controlsEnabled;

void Reset() {
  passwordAnswers.clear();
  passwordDialogsShown = 0;
  overwriteAnswers.clear();
  overwriteQuestions.clear();
  messageSteps = 0;
  onMessageStep = nullptr;
  closeCommandsPosted = 0;
  controlsEnabled.clear();
}

}  // namespace script

int ShowPasswordDialog() {
  ++script::passwordDialogsShown;
  if (script::passwordAnswers.empty()) return 0;
  const script::PasswordAnswer answer = script::passwordAnswers.front();
  script::passwordAnswers.pop_front();
  if (answer.result == 1) {
    // As the dialog reads its edit box: at most 79 bytes.
    const size_t n =
        answer.typed.size() < kTypedPasswordSize - 1 ? answer.typed.size() : kTypedPasswordSize - 1;
    std::memcpy(TypedPassword, answer.typed.data(), n);
    TypedPassword[n] = 0;
    TypedPasswordLength = int32_t(n);
  }
  return answer.result;
}

void ShowOverwriteDialog() {
  script::overwriteQuestions.push_back(
      {ExistingName, ExistingSizeText, ExistingDateText, NewSizeText, NewDateText});
  script::OverwriteAnswer answer{false, false};
  if (!script::overwriteAnswers.empty()) {
    answer = script::overwriteAnswers.front();
    script::overwriteAnswers.pop_front();
  }
  if (answer.applyToAll) OverwriteMode = answer.yes ? ReplaceWithoutAsking : SkipWithoutAsking;
  ReplaceThisFile = answer.yes;
}

void MessageStep() {
  ++script::messageSteps;
  if (script::onMessageStep) script::onMessageStep();
}

void EnableExtractionControls(bool enabled) {
  script::controlsEnabled.push_back(enabled);
}

void PostCloseCommand() {
  ++script::closeCommandsPosted;
}

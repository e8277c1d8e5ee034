// The extraction loop's user-interface seam with scripted answers: the tests queue what the
// user would type and click, and read back what the loop asked and showed.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace script {

struct PasswordAnswer {
  int result;         // 1: "확인(&O)" pressed; 0: the dialog's close box
  std::string typed;  // ANSI bytes
};
struct OverwriteAnswer {
  bool yes;
  bool applyToAll;
};
struct OverwriteQuestion {
  std::wstring name, existingSize, existingDate, newSize, newDate;
};

extern std::deque<PasswordAnswer> passwordAnswers;
extern int passwordDialogsShown;
extern std::deque<OverwriteAnswer> overwriteAnswers;
extern std::vector<OverwriteQuestion> overwriteQuestions;
extern int messageSteps;
extern std::function<void()> onMessageStep;  // e.g. press Close at a chosen step
extern int closeCommandsPosted;
extern std::vector<bool> controlsEnabled;  // every change, in order

void Reset();

}  // namespace script

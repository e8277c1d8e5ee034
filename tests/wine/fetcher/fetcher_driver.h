// Drives a running fetcher.exe from another process, the way a user would: a folder of its own
// with its settings, and its two forms. The generic part (windows, controls, message boxes,
// files) is window_driver's.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/support/window_driver.h"

namespace fetcher_driver {

using window_driver::MessageBoxSeen;

// A folder of its own in the temp folder, with a copy of fetcher.exe; removed at the end.
class Fetcher {
 public:
  Fetcher(const std::string& programPath, const std::string& name);
  ~Fetcher();

  const std::string& Folder() const { return folder_; }  // ends with "\"
  std::string SettingsFile() const { return folder_ + "Setting.ini"; }
  void WriteSetting(const char* section, const char* key, const std::string& ansiValue);
  std::string ReadSetting(const char* section, const char* key) const;

  // Starts the program and waits for its main form.
  bool Start();
  // Closes the main form; true when the process then ended by itself.
  bool Close();
  DWORD ProcessId() const { return program_.ProcessId(); }
  bool Running() const { return program_.Running(); }

  HWND Main() const { return main_; }
  // The settings form, or null when it is not loaded (shown or hidden).
  HWND Settings() const;
  // Every top-level window of the process whose class is `windowClass`.
  std::vector<HWND> Windows(const wchar_t* windowClass, bool visibleOnly) const {
    return program_.Windows(windowClass, visibleOnly);
  }

  // The next message box of the process, answered with OK once read.
  bool AnswerMessageBox(MessageBoxSeen& seen, DWORD milliseconds = 20000) {
    return program_.AnswerMessageBox(seen, milliseconds);
  }
  // A visible dialog (not a message box) of the process, such as the file or folder dialog.
  HWND FindDialog(DWORD milliseconds = 30000) const { return program_.FindDialog(milliseconds); }
  bool MessageBoxShowing() const { return program_.MessageBoxShowing(); }

 private:
  std::string folder_;
  std::string path_;
  window_driver::Program program_;
  HWND main_ = nullptr;
};

}  // namespace fetcher_driver

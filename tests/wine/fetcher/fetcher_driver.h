// Drives a running fetcher.exe from another process, the way a user would: finds its windows,
// reads its controls, clicks, double-clicks and types, and answers its message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fetcher_driver {

// What a message box showed.
struct MessageBoxSeen {
  std::wstring caption;
  std::wstring text;
  enum class Icon { None, Information, Error, Unknown } icon = Icon::None;
};

// Waits up to `milliseconds` for `done`, checking every 20 ms.
template <typename Condition>
bool WaitFor(Condition done, DWORD milliseconds = 10000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > milliseconds) return false;
    Sleep(20);
  }
  return true;
}

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
  DWORD ProcessId() const { return process_.dwProcessId; }
  bool Running() const;

  HWND Main() const { return main_; }
  // The settings form, or null when it is not loaded (shown or hidden).
  HWND Settings() const;
  // Every top-level window of the process whose class is `windowClass`.
  std::vector<HWND> Windows(const wchar_t* windowClass, bool visibleOnly) const;

  // The next message box of the process, answered with OK once read.
  bool AnswerMessageBox(MessageBoxSeen& seen, DWORD milliseconds = 20000);
  // A visible dialog (not a message box) of the process, such as the file or folder dialog.
  // The shell dialogs take seconds to open the first time, more on a busy machine.
  HWND FindDialog(DWORD milliseconds = 30000) const;
  bool MessageBoxShowing() const;

 private:
  std::string folder_;
  std::string program_;
  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

std::wstring Text(HWND window);
std::vector<std::wstring> ListItems(HWND list);
void Click(HWND button);
// Double-clicks the entry at `index` of a list box (on an empty list: where the first would be).
void DoubleClick(HWND list, int index);
// Empties a text field and types `text` into it, a character at a time.
void Type(HWND field, const std::wstring& text);

// Saves the screen area of `window` as a 24-bit BMP file.
bool SaveWindowImage(HWND window, const std::string& path);

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::string TempFolder();

}  // namespace fetcher_driver

// Drives a running Windows program from another process under the same Wine session, the way a
// user would: starts it, finds its top-level windows and dialogs, reads and sets its controls,
// clicks, answers its message boxes and takes pictures of its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace window_driver {

// Waits up to `milliseconds` for `done`, checking every 20 ms.
template <typename Condition>
bool WaitFor(Condition done, DWORD milliseconds = 10000) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(20))
    if (GetTickCount() - start > milliseconds) return false;
  return true;
}

// SendMessage that gives up after 5 s on a hung window.
inline LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
  return LRESULT(result);
}
bool ClassIs(HWND window, const wchar_t* name);
bool IsMessageBox(HWND window);
// A dialog that is no message box.
inline bool IsDialog(HWND window) {
  return ClassIs(window, L"#32770") && !IsMessageBox(window);
}

// A program started by the test. The destructor ends one that is still running.
class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;  // it owns the process's handles
  ~Program();

  // Starts `commandLine` (program first, quoted if need be) in `folder` (empty: this process's);
  // false when it could not start. A console program writes into this process's console.
  bool Start(const std::wstring& commandLine, const std::wstring& folder);
  // Waits for the process to end; false when it still runs after `milliseconds`.
  bool WaitForExit(DWORD ms) { return WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {  // STILL_ACTIVE while it runs
    DWORD code = STILL_ACTIVE;
    return GetExitCodeProcess(process_.hProcess, &code) ? code : STILL_ACTIVE;
  }
  void Terminate() { TerminateProcess(process_.hProcess, 1); }

  // A visible top-level window of the process that `accept` takes, waiting up to
  // `milliseconds` for one; null when none came.
  HWND WaitForWindow(const std::function<bool(HWND)>& accept, DWORD milliseconds = 20000) const;
  // The next message box of the process, answered with its OK button: "caption: text", or
  // empty when none came.
  std::wstring AnswerMessageBox();

 private:
  PROCESS_INFORMATION process_{};
};

std::wstring Text(HWND window);
std::vector<std::wstring> ListItems(HWND list);
inline void Click(HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
}
// Double-clicks the entry at `index` of a list box.
void DoubleClick(HWND list, int index);
// Empties a text field and types `text` into it, a character at a time, waiting until the field
// shows it. A password field may not show its text to another process: then pass
// wait = false; the characters are still handled before anything posted to the program later.
void Type(HWND field, const std::wstring& text, bool wait = true);

// Saves the screen area of `window` as a 24-bit BMP file.
bool SaveWindowImage(HWND window, const std::wstring& path);

// Small file helpers.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
inline bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
std::wstring AnsiToWide(const std::string& ansi);
std::string TempFolder();  // ends with "\"
// Removes a file, or a folder and all in it, read-only files too.
void RemoveTree(const std::wstring& path);

}  // namespace window_driver

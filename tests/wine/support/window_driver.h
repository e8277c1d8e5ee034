// Drives a running Windows program from another process under the same Wine session, the way a
// user would: starts it, finds its top-level windows and dialogs, reads and sets its controls,
// clicks, presses keys, answers its message boxes and takes pictures of its windows.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace window_driver {

// What a message box showed.
struct MessageBoxSeen {
  std::wstring caption, text;
  enum class Icon { None, Information, Error, Unknown } icon = Icon::None;
};

// Waits up to `milliseconds` for `done`, checking every 20 ms.
template <typename Condition>
bool WaitFor(Condition done, DWORD milliseconds = 10000) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(20))
    if (GetTickCount() - start > milliseconds) return false;
  return true;
}

// SendMessage that gives up after 5 s on a hung window.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
bool IsMessageBox(HWND window);
bool IsDialog(HWND window);  // a dialog that is no message box

// A program started by the test. The destructor ends one that is still running.
class Program {
 public:
  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();

  // Starts `commandLine` (program first, quoted if need be) in `folder` (empty: this process's),
  // with `output` as its standard output and error when given; false when it could not start.
  bool Start(const std::wstring& commandLine, const std::wstring& folder, HANDLE output);
  bool Start(const std::wstring& commandLine, const std::wstring& folder) {
    return Start(commandLine, folder, nullptr);
  }
  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
  // Waits for the process to end; false when it still runs after `milliseconds`.
  bool WaitForExit(DWORD ms) { return WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() const;  // STILL_ACTIVE while it runs
  void Terminate() { TerminateProcess(process_.hProcess, 1); }

  // Visible or all top-level windows of the process, of a class or accepted by a test.
  std::vector<HWND> Windows(const wchar_t* windowClass, bool visibleOnly) const;
  std::vector<HWND> Windows(const std::function<bool(HWND)>& accept, bool visibleOnly) const;
  // The first visible top-level window that `accept` takes, waiting for it; null when none came.
  HWND WaitForWindow(const std::function<bool(HWND)>& accept, DWORD milliseconds = 10000) const;

  // The next message box of the process, read and answered by pressing `button` (IDOK).
  bool AnswerMessageBox(MessageBoxSeen& seen, DWORD milliseconds = 20000, int button = IDOK);
  bool MessageBoxShowing() const { return !Windows(IsMessageBox, true).empty(); }
  // A visible dialog (not a message box) of the process, such as the file or folder dialog.
  // The shell dialogs take seconds to open the first time, more on a busy machine.
  HWND FindDialog(DWORD ms = 30000) const { return WaitForWindow(IsDialog, ms); }

 private:
  PROCESS_INFORMATION process_{};
};

// Runs a console program to its end, its output (stdout and stderr) into *output. The exit
// code, or -1 when it could not be started or did not end in time.
int RunToEnd(const std::wstring& commandLine, std::string* output, DWORD milliseconds = 120000);

std::wstring Text(HWND window);
std::vector<std::wstring> ListItems(HWND list);
void Click(HWND button);
// Double-clicks the entry at `index` of a list box (on an empty list: where the first would be).
void DoubleClick(HWND list, int index);
// Empties a text field and types `text` into it, a character at a time, waiting until the field
// shows it. A password field may not show its text to another process: then pass
// wait = false; the characters are still handled before anything posted to the program later.
void Type(HWND field, const std::wstring& text, bool wait = true);
// Presses and releases a key in the window that has the keyboard focus in `window`'s thread
// (`window` itself when nothing has it), as the dialog manager sees a real key press.
void PressKey(HWND window, UINT virtualKey);
void CloseBox(HWND window);  // the system menu's Close command

// Saves the screen area of `window` as a 24-bit BMP file.
bool SaveWindowImage(HWND window, const std::string& path);

// Small file helpers.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
std::wstring AnsiToWide(const std::string& ansi);
std::string TempFolder();  // ends with "\"
// Removes a file, or a folder and all in it, read-only files too.
void RemoveTree(const std::wstring& path);

}  // namespace window_driver

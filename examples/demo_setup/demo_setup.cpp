// demo_setup.exe: the example "setup program" that the demo's self-extracting archive starts
// after extraction. It writes what it sees into %TEMP%\pakko-demo-report.txt (UTF-8): its
// command line, its current folder, the files in the folder named by its first argument, the
// first line of the readme there, and where the unpacker's main dialog stands on the screen;
// then it waits a few seconds, so that the dialog can be photographed while it waits for us.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void ListFiles(const std::wstring& folder, const std::wstring& prefix, std::string& report) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<WIN32_FIND_DATAW> entries;
  do {
    if (lstrcmpW(found.cFileName, L".") && lstrcmpW(found.cFileName, L".."))
      entries.push_back(found);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const WIN32_FIND_DATAW& e : entries) {
    const std::wstring name = prefix + e.cFileName;
    if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      report += "  " + Utf8(name) + "\\\n";
      ListFiles(folder + L"\\" + e.cFileName, name + L"\\", report);
    } else {
      report += "  " + Utf8(name) + "  (" + std::to_string(e.nFileSizeLow) + " bytes)\n";
    }
  }
}

std::string FirstLine(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(no readme)";
  char buffer[256] = {};
  DWORD got = 0;
  ReadFile(file, buffer, sizeof buffer - 1, &got, nullptr);
  CloseHandle(file);
  std::string line(buffer, got);
  return line.substr(0, line.find_first_of("\r\n"));
}

// The unpacker's main dialog: the visible top-level window of the process that started us.
BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t className[16];
  GetClassNameW(window, className, 16);
  if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);

  std::string report = "command line: " + Utf8(GetCommandLineW()) + "\n";
  report += "current folder: " + Utf8(folder) + "\n";
  if (argc > 1) {
    std::wstring destination = argv[1];
    while (!destination.empty() && destination.back() == L'\\') destination.pop_back();
    report += "files in " + Utf8(destination) + ":\n";
    ListFiles(destination, L"", report);
    report += "readme: " + FirstLine(destination + L"\\읽어보기.txt") + "\n";
  }
  HWND dialog = nullptr;
  EnumWindows(FindDialog, LPARAM(&dialog));
  RECT r = {};
  if (dialog && GetWindowRect(dialog, &r)) {
    wchar_t caption[128] = L"";
    GetWindowTextW(dialog, caption, 128);
    report += "main dialog: \"" + Utf8(caption) + "\" at " + std::to_string(r.left) + "," +
              std::to_string(r.top) + " size " + std::to_string(r.right - r.left) + "x" +
              std::to_string(r.bottom - r.top) + "\n";
  }

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring reportPath = std::wstring(temp) + L"pakko-demo-report.txt";
  HANDLE out =
      CreateFileW(reportPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(out, report.data(), DWORD(report.size()), &written, nullptr);
  CloseHandle(out);
  LocalFree(argv);
  Sleep(argc > 2 ? DWORD(_wtoi(argv[2])) : 3000);
  return 0;
}

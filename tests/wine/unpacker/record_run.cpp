// record_run.exe: the program a self-extracting test archive starts after extraction. It
// appends what it was started with to a log, so the test can see it, and can be told to stay
// running for a while. A GUI program, so no console window comes with it.
//
// Environment (inherited from the test through the unpacker):
//   RECORD_RUN_LOG      the log file; each start appends three UTF-8 lines,
//                       "command=<command line>", "folder=<current directory>",
//                       "program=<own path>"
//   RECORD_RUN_RELEASE  when set, the program ends only once this file exists (at most 60 s)
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2] = L"";
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? value : L"";
}

void AppendRecord(const std::wstring& log) {
  wchar_t folder[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, folder);
  wchar_t program[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::string record = "command=" + Utf8(GetCommandLineW()) + "\nfolder=" + Utf8(folder) +
                             "\nprogram=" + Utf8(program) + "\n";
  // Opened for appending, shared: two starts of the program never lose a record.
  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, record.data(), DWORD(record.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::wstring log = Variable(L"RECORD_RUN_LOG");
  if (!log.empty()) AppendRecord(log);
  const std::wstring release = Variable(L"RECORD_RUN_RELEASE");
  for (int waited = 0; !release.empty() && waited < 60000; waited += 50) {
    if (GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  return 0;
}

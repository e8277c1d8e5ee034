// record_run.exe: the program a self-extracting test archive starts after extraction. A GUI
// program, so no console window comes with it. Environment (inherited through the unpacker):
//   RECORD_RUN_LOG      each start appends "command=<command line>\nfolder=<current
//                       directory>\nprogram=<own path>\n" to this file, in UTF-16
//   RECORD_RUN_RELEASE  when set, the program ends only once this file exists (at most 60 s)
//   RECORD_RUN_EXIT     its exit code (decimal; 0 when not set)
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t folder[MAX_PATH] = L"", program[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, folder);
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring record = std::wstring(L"command=") + GetCommandLineW() + L"\nfolder=" +
                              folder + L"\nprogram=" + program + L"\n";
  // Opened for appending, shared: two starts of the program never lose a record. Without the
  // variable nothing opens, and nothing is written.
  HANDLE file = CreateFileW(_wgetenv(L"RECORD_RUN_LOG"), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file != INVALID_HANDLE_VALUE) {
    WriteFile(file, record.data(), DWORD(record.size() * 2), &written, nullptr);
    CloseHandle(file);
  }
  const wchar_t* release = _wgetenv(L"RECORD_RUN_RELEASE");
  for (int tries = 0; release && tries < 1200; ++tries, Sleep(50))  // 1200 x 50 ms: 60 s
    if (GetFileAttributesW(release) != INVALID_FILE_ATTRIBUTES) break;
  const wchar_t* exitCode = _wgetenv(L"RECORD_RUN_EXIT");
  return exitCode ? _wtoi(exitCode) : 0;
}

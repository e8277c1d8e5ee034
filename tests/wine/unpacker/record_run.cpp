// record_run.exe: the program a self-extracting test archive starts after extraction. A GUI
// program, so no console window comes with it. Environment (inherited through the unpacker):
//   RECORD_RUN_LOG   each start appends a line "started" to this file
//   RECORD_RUN_EXIT  its exit code (decimal; 0 when not set)
#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Opened for appending, shared: two starts never lose a line.
  HANDLE log = CreateFileW(_wgetenv(L"RECORD_RUN_LOG"), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (log != INVALID_HANDLE_VALUE) {
    WriteFile(log, "started\n", 8, &written, nullptr);
    CloseHandle(log);
  }
  const wchar_t* exitCode = _wgetenv(L"RECORD_RUN_EXIT");
  return exitCode ? _wtoi(exitCode) : 0;
}

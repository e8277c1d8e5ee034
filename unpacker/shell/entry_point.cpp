// Where the process starts. The stub does without the C runtime's start-up code, a sixth of its
// size: it needs no argument array, no floating-point set-up, no thread-local storage and no
// exit-time destructors (it ends with ExitProcess). What it does need is done here: the static
// constructors, and WinMain's command line.
#include <windows.h>

extern "C" void __main();  // libgcc: runs the static constructors once

// The command line after the program's name, as the C runtime hands it to WinMain: the name
// is quoted or ends at the first blank, and the blanks after it are skipped.
static LPSTR CommandLineAfterProgramName() {
  char* p = GetCommandLineA();
  if (*p == '"') {
    while (*++p && *p != '"') {
    }
    if (*p) ++p;
  } else {
    while (*p > ' ') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// Windows keeps the stack only 4-byte aligned on 32-bit entry; the code expects 16.
extern "C" __attribute__((force_align_arg_pointer)) void StubEntry() {
  __main();
  const int code =
      WinMain(GetModuleHandleA(nullptr), nullptr, CommandLineAfterProgramName(), SW_SHOWDEFAULT);
  ExitProcess(UINT(code));
}

// Static objects register their destructors here. The C runtime's table for them exists only
// after its start-up code, and the process never runs them: it ends with ExitProcess.
extern "C" int atexit(void (*)(void)) {
  return 0;
}

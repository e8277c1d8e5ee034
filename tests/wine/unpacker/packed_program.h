// Building the self-extracting programs the unpacker's Wine tests start: mksfx.exe, named by
// the environment (MKSFX_EXE, a Unix path set by CTest), with the stub of the test's own
// architecture.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/wine/support/window_driver.h"

// A program named by the environment, as Wine's drive Z: sees it.
inline std::wstring Tool(const char* variable) {
  const char* path = std::getenv(variable);
  std::wstring out = L"Z:" + window_driver::AnsiToWide(path ? path : "");
  for (wchar_t& c : out) c = c == L'/' ? L'\\' : c;
  return out;
}

// Packs the folder `source` into `program` with mksfx's `options`; mksfx writes into the test's
// output.
inline void PackFolder(std::vector<std::wstring> options, const std::wstring& source,
                       const std::wstring& program) {
  options.insert(options.end(),
                 {L"--arch", sizeof(void*) == 8 ? L"x64" : L"x86", L"-o", program, source});
  std::wstring command = L"\"" + Tool("MKSFX_EXE") + L"\"";
  for (const std::wstring& option : options) command += L" \"" + option + L"\"";
  window_driver::Program mksfx;
  ASSERT_TRUE(mksfx.Start(command, L"") && mksfx.WaitForExit(120000)) << "mksfx did not run";
  ASSERT_EQ(mksfx.ExitCode(), 0u);
}

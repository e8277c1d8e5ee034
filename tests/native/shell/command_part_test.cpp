#include "unpacker/shell/command_part.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/core_harness.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/native/native_code_page.h"

namespace {

// The program and argument parts of a run command, with the destination for every "><".
TEST(CommandPart, SplitsAndReplaces) {
  const struct {
    const char *runCommand, *destFolder, *program, *arguments;
    uint32_t codePage = 949;
  } cases[] = {
      {"setup.exe", "C:\\out", "setup.exe", ""},
      {"notepad.exe|><readme.txt", "C:\\out", "notepad.exe", "C:\\out\\readme.txt"},
      {"><setup.exe|/d=>< /log=><log.txt", "D:\\x\\", "D:\\x\\setup.exe",
       "/d=D:\\x\\ /log=D:\\x\\log.txt"},
      {"setup.exe|", "C:\\out", "setup.exe", ""},
      {"a.exe|b|c", "C:\\out", "a.exe", "b|c"},
      {"><", "C:\\out", "C:\\out\\", ""},
      // A destination that itself holds "><" is inserted once and never searched again.
      {"><a.exe|><", "\\\\srv\\s><x", "\\\\srv\\s><x\\a.exe", "\\\\srv\\s><x\\"},
      {"\xB0\xA1.exe|><", "C:\\\xB0\xA1", "\xB0\xA1.exe", "C:\\\xB0\xA1\\"},
      // In code page 932 the trail byte of a character can be "|", which never splits.
      {"\x81\x7C.exe|y", "C:\\out", "\x81\x7C.exe", "y", 932},
  };
  for (const auto& c : cases) {
    testing_support::ResetCoreState();
    ResetNativeCodePage();
    SetNativeSystemCodePage(c.codePage);
    SetNativeThreadLocale(c.codePage == 932 ? 0x0411 : 0x0412);
    std::strcpy(ExtractorOptions.RunCommand, c.runCommand);
    std::strcpy(DestFolder, c.destFolder);
    EXPECT_EQ(std::string(CommandPart(RunPart::Program).c_str()), c.program) << c.runCommand;
    EXPECT_EQ(std::string(CommandPart(RunPart::Arguments).c_str()), c.arguments) << c.runCommand;
  }
  ResetNativeCodePage();
}

}  // namespace

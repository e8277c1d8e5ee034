#include "unpacker/shell/command_part.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/core_harness.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/native/native_code_page.h"

using namespace testing_support;

namespace {

struct CommandCase {
  const char* name;
  const char* runCommand;
  const char* destFolder;
  const char* program;
  const char* arguments;
  uint32_t codePage = 949;
  friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

class CommandPartTest : public ::testing::TestWithParam<CommandCase> {};

// The program and argument parts of a run command, with the destination for every "><".
TEST_P(CommandPartTest, SplitsAndReplaces) {
  const CommandCase& c = GetParam();
  ResetCoreState();
  ResetNativeCodePage();
  SetNativeSystemCodePage(c.codePage);
  SetNativeThreadLocale(c.codePage == 932 ? 0x0411 : 0x0412);
  std::strcpy(ExtractorOptions.RunCommand, c.runCommand);
  std::strcpy(DestFolder, c.destFolder);
  EXPECT_EQ(std::string(CommandPart(kProgramPart).c_str()), c.program);
  EXPECT_EQ(std::string(CommandPart(kArgumentPart).c_str()), c.arguments);
  EXPECT_EQ(DestFolder[std::strlen(DestFolder) - 1], '\\') << "the destination gets its backslash";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandPartTest,
    ::testing::Values(
        CommandCase{"ProgramOnly", "setup.exe", "C:\\out", "setup.exe", ""},
        CommandCase{"WithArguments", "setup.exe|/S", "C:\\out", "setup.exe", "/S"},
        CommandCase{"PlaceholderInArguments", "notepad.exe|><readme.txt", "C:\\out", "notepad.exe",
                    "C:\\out\\readme.txt"},
        CommandCase{"PlaceholdersInBothParts", "><setup.exe|/d=>< /log=><log.txt", "D:\\x\\",
                    "D:\\x\\setup.exe", "/d=D:\\x\\ /log=D:\\x\\log.txt"},
        CommandCase{"BarAtTheEnd", "setup.exe|", "C:\\out", "setup.exe", ""},
        CommandCase{"SecondBarBelongsToArguments", "a.exe|b|c", "C:\\out", "a.exe", "b|c"},
        CommandCase{"PlaceholderIsExactlyTheText", "><", "C:\\out", "C:\\out\\", ""},
        // A destination that itself holds "><" is inserted once and never searched again.
        CommandCase{"DestinationContainsThePlaceholder", "><a.exe|><", "\\\\srv\\s><x",
                    "\\\\srv\\s><x\\a.exe", "\\\\srv\\s><x\\"},
        // The bar is found as a character: in code page 932 the second byte of a double-byte
        // character can be 0x7C, which is never taken for "|".
        CommandCase{"KoreanProgramName", "\xB0\xA1.exe|><", "C:\\\xB0\xA1", "\xB0\xA1.exe",
                    "C:\\\xB0\xA1\\"},
        CommandCase{"TrailByteThatLooksLikeTheBar", "\x81\x7C.exe|y", "C:\\out", "\x81\x7C.exe",
                    "y", 932}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

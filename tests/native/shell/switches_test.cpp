#include "unpacker/shell/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const ByteString& s) {
  return std::string(s.c_str(), s.size());
}

// Each line as a script or a user types it, and the switches it comes to.
TEST(ParseSwitches, LinesAndTheirSwitches) {
  using enum OverwriteSwitch;
  const struct Row {
    const char* line;
    const char* unknown = nullptr;  // the switch refused, when the line is refused
    bool silent = false, help = false, noRun = false, wait = false;
    OverwriteSwitch overwrite = FromOptionBlock;
    const char* destination = nullptr;
    const char* password = nullptr;
  } rows[] = {
      {.line = nullptr},
      {.line = "  \t "},
      {.line = "/S /Y", .silent = true, .overwrite = Replace},
      {.line = "-s\t-n", .silent = true, .overwrite = Keep},
      {.line = "/Y /n", .overwrite = Keep},
      {.line = "/NoRun /WAIT", .noRun = true, .wait = true},
      {.line = "/?", .help = true},
      {.line = "-H", .help = true},
      {.line = "/P=se\xB0\xA1ret", .password = "se\xB0\xA1ret"},
      {.line = "\"/P=a b\" /S", .silent = true, .password = "a b"},
      {.line = "/p=\"a b\"", .password = "a b"},
      {.line = "/P=", .password = ""},
      // /D= takes the rest of the line, blanks and switch-like text included.
      {.line = "/S /D=C:\\My Files\\\xC7\xD1 /Y  ",
       .silent = true,
       .destination = "C:\\My Files\\\xC7\xD1 /Y"},
      {.line = "\"/D=C:\\a b\" /S", .silent = true, .destination = "C:\\a b"},
      {.line = "/d=\"C:\\a b\" -S", .silent = true, .destination = "C:\\a b"},
      {.line = "/D=", .unknown = "/D="},
      {.line = "/D= ", .unknown = "/D="},
      // The switches after an unknown one still count: /S keeps the error silent.
      {.line = "/X /S", .unknown = "/X", .silent = true},
      {.line = "/S /Sx", .unknown = "/Sx", .silent = true},
      {.line = "setup", .unknown = "setup"},
      {.line = "/P", .unknown = "/P"},
      {.line = "/Dir", .unknown = "/Dir"},
      {.line = "/WAITING", .unknown = "/WAITING"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line ? row.line : "(null)");
    CommandLineSwitches s;
    ByteString unknown("untouched");
    EXPECT_EQ(ParseSwitches(row.line, &s, &unknown), row.unknown == nullptr);
    EXPECT_EQ(Text(unknown), row.unknown ? row.unknown : "untouched");
    EXPECT_EQ(s.Silent, row.silent);
    EXPECT_EQ(s.Help, row.help);
    EXPECT_EQ(s.NoRun, row.noRun);
    EXPECT_EQ(s.Wait, row.wait);
    EXPECT_EQ(s.Overwrite, row.overwrite);
    EXPECT_EQ(s.HasDestination, row.destination != nullptr);
    if (row.destination) EXPECT_EQ(Text(s.Destination), row.destination);
    EXPECT_EQ(s.HasPassword, row.password != nullptr);
    if (row.password) EXPECT_EQ(Text(s.Password), row.password);
  }
}

}  // namespace

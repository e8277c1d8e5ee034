#include "builder/command_line.h"

#include <gtest/gtest.h>

namespace {

using mksfx::Mode;
using mksfx::ParseCommandLine;

TEST(CommandLine, PackOptions) {
  std::string error;
  const auto c = ParseCommandLine(
      {"--caption", "설치",        "--folder",      "{temp}\\app", "--run", "setup.exe|/S",
       "--auto",    "--overwrite", "--wait-delete", "--password",  "pw",    "--level",
       "0",         "--codepage",  "932",           "--stub",      "s.exe", "-o",
       "out.exe",   "dir",         "file.txt"},
      &error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(c->mode, Mode::Pack);
  EXPECT_EQ(c->caption, "설치");
  EXPECT_EQ(c->folder, "{temp}\\app");
  EXPECT_EQ(c->run, "setup.exe|/S");
  EXPECT_TRUE(c->autoExtract && c->overwrite && c->waitDelete);
  EXPECT_EQ(c->password, "pw");
  EXPECT_EQ(c->level, 0);
  EXPECT_EQ(c->codePage, 932u);
  EXPECT_EQ(c->stub, "s.exe");
  EXPECT_EQ(c->output, "out.exe");
  EXPECT_EQ(c->inputs, (std::vector<std::string>{"dir", "file.txt"}));
}

// Usage errors are told apart from refusals (exit status 2, with a reason).
TEST(CommandLine, UsageErrors) {
  const struct {
    std::vector<std::string> args;
    const char* reason;
  } cases[] = {
      {{"dir"}, "-o"},
      {{"-o", "x.exe"}, "at least one"},
      {{"-o", "x.exe", "--level", "10", "d"}, "0 to 9"},
      {{"-o", "x.exe", "--level", "5x", "d"}, "0 to 9"},
      {{"-o", "x.exe", "--codepage", "0", "d"}, "code page"},
      {{"-o", "x.exe", "--bogus", "d"}, "unknown option"},
      {{"-o", "x.exe", "--caption"}, "needs a value"},
      {{"-o", "x.exe", "--wait-delete", "d"}, "--run"},
      {{"-o", "x.exe", "--password", "", "d"}, "non-empty"},
      {{"--list", "a.exe", "--test", "b.exe"}, "exclude"},
      {{"--list", "a.exe", "extra"}, "unexpected"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseCommandLine(c.args, &error)) << c.reason;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(CommandLine, OtherModes) {
  std::string error;
  EXPECT_EQ(ParseCommandLine({"--list", "a.exe"}, &error)->target, "a.exe");
  const auto test = ParseCommandLine({"--test", "a.exe", "--password", "x"}, &error);
  EXPECT_EQ(test->mode, Mode::Test);
  EXPECT_EQ(test->password, "x");
  EXPECT_EQ(ParseCommandLine({"--version"}, &error)->mode, Mode::Version);
  EXPECT_EQ(ParseCommandLine({"-h"}, &error)->mode, Mode::Help);
}

}  // namespace

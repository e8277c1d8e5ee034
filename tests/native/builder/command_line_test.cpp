// Pack options reach mksfx's output (checked end to end in mksfx_test); here the modes and the
// usage errors, which are told apart from refusals (exit status 2, with a reason).
#include "builder/command_line.h"

#include <gtest/gtest.h>

namespace {

using mksfx::Mode;
using mksfx::ParseCommandLine;

// --list, --test and --level 0 are run end to end in mksfx_test.
TEST(CommandLine, Modes) {
  std::string error;
  EXPECT_EQ(ParseCommandLine({"--version"}, &error)->mode, Mode::Version);
  EXPECT_EQ(ParseCommandLine({"-h"}, &error)->mode, Mode::Help);
  EXPECT_EQ(ParseCommandLine({"-o", "x.exe", "--level", "9", "d"}, &error)->level, 9);
  EXPECT_EQ(ParseCommandLine({"-o", "x.exe", "d"}, &error)->arch, mksfx::StubArch::X86);
  EXPECT_EQ(ParseCommandLine({"-o", "x.exe", "--arch", "x64", "d"}, &error)->arch,
            mksfx::StubArch::X64);
}

TEST(CommandLine, UsageErrors) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"dir"}, "-o"},
      {{"-o", "x.exe"}, "at least one"},
      {{"-o", "x.exe", "--level", "10", "d"}, "0 to 9"},
      {{"-o", "x.exe", "--level", "5x", "d"}, "0 to 9"},
      {{"-o", "x.exe", "--codepage", "0", "d"}, "code page"},
      {{"-o", "x.exe", "--codepage", "66485", "d"}, "code page"},  // 65536 + 949
      {{"-o", "x.exe", "--bogus", "d"}, "unknown option"},
      {{"-o", "x.exe", "--caption"}, "needs a value"},
      {{"-o", "x.exe", "--wait-delete", "d"}, "--run"},
      {{"-o", "x.exe", "--password", "", "d"}, "non-empty"},
      {{"--list", "a.exe", "--test", "b.exe"}, "exclude"},
      {{"--list", "a.exe", "extra"}, "unexpected"},
      {{"-o", "x.exe", "--arch", "amd64", "d"}, "x86 and x64"},
      {{"-o", "x.exe", "--arch", "x64", "--stub", "s.exe", "d"}, "one of them"},
      {{"-o", "x.exe", "--password", "p", "--encryption", "aes128", "d"}, "aes256 and zipcrypto"},
      {{"-o", "x.exe", "--encryption", "zipcrypto", "d"}, "needs --password"},
  };
  for (const auto& [args, reason] : cases) {
    std::string error;
    EXPECT_FALSE(ParseCommandLine(args, &error)) << reason;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

}  // namespace

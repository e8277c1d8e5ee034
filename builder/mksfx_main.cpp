// mksfx: builds self-extracting archives for the unpacker stub and checks them.
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "builder/command_line.h"
#include "builder/code_page.h"
#include "builder/inspect.h"
#include "builder/pack.h"

#ifndef MKSFX_VERSION
#define MKSFX_VERSION "1.0.0"
#endif

namespace {

// The arguments as UTF-8. On Windows argv is in the ANSI code page, which cannot hold every
// name and mangles UTF-8, so they are taken from the wide command line instead.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string arg(size_t(n > 0 ? n : 1), '\0');
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
      arg.resize(arg.size() - 1);
      args.push_back(arg);
    }
    LocalFree(wide);
    return args;
  }
#endif
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto command = mksfx::ParseCommandLine(Utf8Arguments(argc, argv), &error);
  if (!command) {
    std::fprintf(stderr, "mksfx: %s\n%s", error.c_str(), mksfx::kUsage);
    return 2;
  }
  switch (command->mode) {
    case mksfx::Mode::Help:
      std::fputs(mksfx::kUsage, stdout);
      return 0;
    case mksfx::Mode::Version:
      std::printf("mksfx %s\n", MKSFX_VERSION);
      return 0;
    case mksfx::Mode::List:
      return mksfx::ListSelfExtractor(command->target, command->codePage, stdout);
    case mksfx::Mode::Test: {
      std::string password;
      if (command->password) {
        const auto converted = mksfx::Utf8ToCodePage(*command->password, command->codePage);
        if (!converted) {
          std::fprintf(stderr, "mksfx: the password does not fit code page %u\n",
                       command->codePage);
          return 1;
        }
        password = *converted;
      }
      return mksfx::TestSelfExtractor(command->target, password, command->codePage, stdout, false);
    }
    case mksfx::Mode::Pack:
      break;
  }
  return mksfx::Pack(*command, stdout);
}

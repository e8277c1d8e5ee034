// mksfx: builds self-extracting archives for the unpacker stub and checks them.
#include <cstdio>
#include <string>
#include <vector>

#include "builder/command_line.h"
#include "builder/code_page.h"
#include "builder/inspect.h"
#include "builder/pack.h"
#include "builder/system.h"
#include "unpacker/container/run_outcome.h"

#ifndef MKSFX_VERSION
#define MKSFX_VERSION "1.0.0"
#endif

int main(int argc, char** argv) {
  std::string error;
  const auto command = mksfx::ParseCommandLine(mksfx::Utf8Arguments(argc, argv), &error);
  if (!command) {
    std::fprintf(stderr, "mksfx: %s\n%s", error.c_str(), mksfx::kUsage);
    return kExitCommandLine;
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
    case mksfx::Mode::Test:
      return mksfx::TestSelfExtractor(command->target, command->password, command->codePage, stdout,
                                      false);
    case mksfx::Mode::Pack:
      break;
  }
  return mksfx::Pack(*command, stdout);
}

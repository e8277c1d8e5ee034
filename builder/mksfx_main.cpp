// mksfx: builds self-extracting archives for the unpacker stub and checks them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "builder/inspect.h"

namespace {

constexpr char kUsage[] =
    "usage: mksfx --list FILE.exe [--codepage N]\n"
    "  --list FILE.exe   show the option block and the entries, as the stub reads them\n"
    "  --codepage N      code page of the texts and names (default 949)\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string listPath;
  unsigned codePage = 949;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--list" && i + 1 < args.size()) {
      listPath = args[++i];
    } else if (a == "--codepage" && i + 1 < args.size()) {
      codePage = unsigned(std::strtoul(args[++i].c_str(), nullptr, 10));
    } else {
      std::fprintf(stderr, "mksfx: unexpected argument '%s'\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (listPath.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return mksfx::ListSelfExtractor(listPath, codePage, stdout);
}

// mksfx's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "builder/zip_writer.h"

namespace mksfx {

enum class Mode { Pack, List, Test, Help, Version };

// The Windows architecture of the embedded stub: x86 runs on every Windows with WoW64, x64 also
// where there is none (Windows PE, Server Core without WoW64).
enum class StubArch { X86, X64 };

struct CommandLine {
  Mode mode = Mode::Pack;
  std::string output;               // -o
  std::vector<std::string> inputs;  // folders, files, or one .zip
  std::string caption, folder, run;
  bool autoExtract = false, overwrite = false, waitDelete = false;
  std::optional<std::string> password;
  std::optional<Encryption> encryption;  // with a password; AES-256 when not given
  int level = 9;
  unsigned codePage = 949;
  StubArch arch = StubArch::X86;
  std::string stub;    // empty: the embedded one of `arch`
  std::string target;  // --list / --test FILE.exe
};

extern const char kUsage[];

// Parses argv[1..]; on a usage error returns nothing and sets *error.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string* error);

}  // namespace mksfx

// Fuzzes the command-line switch reader with any bytes (the line is cut at its first NUL, as a
// command line is). It must end on every line, and a line it accepts must come out the same
// when its switches are written back and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "unpacker/shell/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  CommandLineSwitches first, again;
  ByteString unknown;
  if (!ParseSwitches(line.c_str(), &first, &unknown)) return 0;
  // A value that holds a quote cannot be quoted again.
  const std::string values = std::string(first.Password.c_str()) + first.Destination.c_str();
  if (values.find('"') != std::string::npos) return 0;
  std::string written = first.Silent ? "/S " : "";
  if (first.HasPassword) written += "\"/P=" + std::string(first.Password.c_str()) + "\" ";
  if (first.HasDestination) written += "\"/D=" + std::string(first.Destination.c_str()) + "\"";
  if (!ParseSwitches(written.c_str(), &again, &unknown) || again.Silent != first.Silent ||
      std::string(again.Password.c_str()) != first.Password.c_str() ||
      std::string(again.Destination.c_str()) != first.Destination.c_str())
    std::abort();
  return 0;
}

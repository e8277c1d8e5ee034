#include "unpacker/inflate/win32/win32_output_file.h"

#include "unpacker/inflate/output_file.h"

// Opened on first use. Not a function-local static: its guard would pull the C++ runtime's
// exception support into the stub.
static OutputFile nul = {nullptr};

OutputFile* DiscardingOutputFile() {
  if (!nul.handle)
    nul.handle = CreateFileA("NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  return &nul;
}

uint32_t WriteOutputFile(OutputFile* file, const void* data, uint32_t count) {
  DWORD written = 0;
  if (!file || !WriteFile(file->handle, data, count, &written, nullptr)) return 0;
  return written;
}

#include "unpacker/inflate/win32/win32_output_file.h"

#include "unpacker/inflate/output_file.h"

uint32_t WriteOutputFile(OutputFile* file, const void* data, uint32_t count) {
  DWORD written = 0;
  if (!file || !WriteFile(file->handle, data, count, &written, nullptr)) return 0;
  return written;
}

#include "unpacker/inflate/native/native_output_file.h"

#include "unpacker/inflate/output_file.h"

OutputFile* DiscardingOutputFile() {
  static OutputFile sink = {[](void*, const void*, uint32_t count) { return count; }, nullptr};
  return &sink;
}

uint32_t WriteOutputFile(OutputFile* file, const void* data, uint32_t count) {
  return file && file->write ? file->write(file->context, data, count) : 0;
}

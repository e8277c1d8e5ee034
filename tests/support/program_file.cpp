// ProgramFile of core_harness.h, over the native memory-backed file.
#include "tests/support/core_harness.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/native/native_archive_file.h"

namespace testing_support {

ProgramFile::ProgramFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
  ResetCoreState();
  ArchiveHandle = OpenArchiveMemory(bytes_.data(), bytes_.size());
}

ProgramFile::~ProgramFile() {
  ResetCoreState();
}

}  // namespace testing_support

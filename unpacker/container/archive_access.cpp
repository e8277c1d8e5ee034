#include "unpacker/container/archive_access.h"

#include "unpacker/container/option_block.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/resources/messages.h"

ArchiveFile* ArchiveHandle = nullptr;

namespace {

int64_t position = 0;

}  // namespace

int SeekArchive(int64_t distance, SeekOrigin origin) {
  position = ArchiveFileSeek(ArchiveHandle, distance, origin);
  return position < 0 ? -1 : 0;
}

void ReadArchive(void* buffer, uint32_t count, uint32_t* bytesRead) {
  *bytesRead = ArchiveFileRead(ArchiveHandle, buffer, count);
  if (position >= 0) position += *bytesRead;
}

int64_t ArchivePosition() {
  return position;
}

void SeekArchiveWithinWalk(int64_t to) {
  if (to != position || position < 0) SeekArchive(to, SeekFromBegin);
}

bool RewindToArchive() {
  SeekArchive(0, SeekFromEnd);
  if (SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin) == -1) {
    ShowMessage(nullptr, kMsgArchiveUnreadable, MessageIcon::Error);
    return false;
  }
  return true;
}

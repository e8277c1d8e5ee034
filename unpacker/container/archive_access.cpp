#include "unpacker/container/archive_access.h"

#include "unpacker/container/option_block.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/resources/messages.h"

ArchiveFile* ArchiveHandle = nullptr;
int64_t LastSeekPosition = 0;

int SeekArchive(int64_t distance, SeekOrigin origin) {
  LastSeekPosition = ArchiveFileSeek(ArchiveHandle, distance, origin);
  return LastSeekPosition < 0 ? -1 : 0;
}

void ReadArchive(void* buffer, uint32_t count, uint32_t* bytesRead) {
  *bytesRead = 0;
  SeekArchive(0, SeekFromCurrent);
  *bytesRead = ArchiveFileRead(ArchiveHandle, buffer, count);
}

bool RewindToArchive() {
  SeekArchive(0, SeekFromEnd);
  if (SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin) == -1) {
    ShowMessage(nullptr, kMsgArchiveUnreadable, MessageIcon::Error);
    return false;
  }
  return true;
}

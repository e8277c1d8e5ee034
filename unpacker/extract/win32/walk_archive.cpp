#include "unpacker/extract/win32/walk_archive.h"

#include <cstdlib>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/win32/extraction_ui.h"
#include "unpacker/extract/win32/overwrite_question.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/output_window.h"
#include "unpacker/inflate/win32/win32_output_file.h"
#include "unpacker/inflate/zip_crypto.h"
#include "unpacker/resources/messages.h"

char ProgramPath[MAX_PATH + 1];

namespace {

// Which entries (by index) the last extract pass wrote in full, created or replaced. The
// delete pass removes only these, so a file that existed before and was kept, or whose entry
// failed, is never lost.
ZeroedArray<uint8_t> EntryWritten;

// Attributes SetFileAttributesA can set. Archives made on Unix carry the file mode in the high
// word, which is no Windows attribute at all.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Where one pass stands.
struct Pass {
  bool scanOnly, deleteMode;
  uint32_t entryCount = 0;      // local headers read; the current entry's index is count - 1
  bool someFileFailed = false;  // a file could not be created, or its CRC-32 did not match
  bool entryUnlocked = false;   // the current entry may be written; decides the final message
  bool endedEarly = false;      // only the clean-up runs then
  bool cancelled = false;       // Close was pressed: the pass stopped where it was
  // The folder of the last file written: made and checked once for all the files in it.
  ByteString lastFolder = ByteString();
};

// True when the target names a folder: its last character is a backslash or a slash. Looked
// at in UTF-16, as a trail byte of a double-byte character may be 0x5C.
bool NamesFolder(const ByteString& target) {
  if (target.empty()) return false;
  const uint32_t units =
      BytesToUtf16(kSystemAnsiCodePage, target.c_str(), target.size(), nullptr, 0);
  if (units == 0) return false;
  char16_t* wide = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
  if (!wide) FatalOutOfMemory();
  BytesToUtf16(kSystemAnsiCodePage, target.c_str(), target.size(), wide, units);
  const char16_t last = wide[units - 1];
  std::free(wide);
  return last == u'\\' || last == u'/';
}

// Reads and checks the password of an encrypted entry: the remembered one first, then up to
// three typed ones. The archive position ends behind the 12-byte encryption header.
bool UnlockEntry() {
  uint8_t block[2 * kEncryptionHeaderSize];
  uint32_t got;
  ReadArchive(block, kEncryptionHeaderSize, &got);
  if (got < kEncryptionHeaderSize) return false;
  // Every try decrypts from the stored copy in the second half into the first.
  CopyMemory(block + kEncryptionHeaderSize, block, kEncryptionHeaderSize);
  const LocalHeaderRecord& h = LocalHeader;
  bool unlocked = !Password.empty() && CheckEncryptionHeader(block, kEncryptionHeaderSize, h.Flags,
                                                             Password, h.DosDateTime, h.Crc32);
  for (int tries = 0; !unlocked && tries < 3; ++tries) {
    if (ShowPasswordDialog() != 1) break;
    Password = FixedToString(TypedPassword, uint16_t(TypedPasswordLength));
    unlocked = CheckEncryptionHeader(block, kEncryptionHeaderSize, h.Flags, Password, h.DosDateTime,
                                     h.Crc32);
  }
  return unlocked;
}

// The overwrite question for an existing file; true when the file is to be replaced.
bool MayReplace(const ByteString& target, const WIN32_FIND_DATAA& existing) {
  if (OverwriteMode == SkipWithoutAsking) return false;
  if (OverwriteMode == ReplaceWithoutAsking) return true;
  BuildOverwriteTexts(target.c_str(), existing, LocalHeader.UncompressedSize,
                      LocalHeader.DosDateTime);
  ShowOverwriteDialog();
  MessageStep();
  return ReplaceThisFile;
}

enum class FileOutcome { Done, Failed, Cancelled, UnknownMethod };

// Creates the file at target and decodes the entry into it, then gives it its time and
// attributes. The caller has checked the password and made the folder.
FileOutcome ExtractFile(const ByteString& target, uint32_t index, bool exists) {
  if (exists) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);  // replace read-only too
  HANDLE handle = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ShowMessage(target.c_str(), kMsgCannotOpenFile, MessageIcon::Error);
    return FileOutcome::Failed;
  }
  MessageStep();
  RunningCrc = 0xFFFFFFFF;
  EntryRemaining = int64_t(LocalHeader.CompressedSize) -
                   ((LocalHeader.Flags & kFlagEncrypted) ? kEncryptionHeaderSize : 0);
  if (CancelRequested) {
    // Close came between two entries or during a stored copy: the file just made is empty and
    // goes again.
    CloseHandle(handle);
    DeleteFileA(target.c_str());
    return FileOutcome::Cancelled;
  }

  OutputFile output = {handle};
  OutputHandle = &output;
  FileOutcome outcome = FileOutcome::Done;
  if (EntryRemaining < 0 || !DecompressEntry()) {
    // A negative remainder is an encrypted entry too short for its header: damaged.
    outcome = EntryRemaining < 0 ? FileOutcome::Failed : FileOutcome::UnknownMethod;
  } else if ((RunningCrc ^ 0xFFFFFFFF) != LocalHeader.Crc32) {
    outcome = FileOutcome::Failed;
  }
  OutputHandle = nullptr;

  SetEntryFileTime(handle, LocalHeader.DosDateTime);
  if (!CloseHandle(handle)) ShowMessage(target.c_str(), kMsgCannotCloseFile, MessageIcon::Error);
  if (index < EntryAttributes.size()) {
    const DWORD attributes = EntryAttributes[index] & kSettableAttributes;
    SetFileAttributesA(target.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
  }
  if (outcome == FileOutcome::Done) {
    if (EntryWritten.size() <= index) EntryWritten.SetLength(index + 1);
    EntryWritten[index] = 1;
  }
  return outcome;
}

// One entry of the extract pass, from its password to its file. False ends the walk.
bool ExtractEntry(Pass& pass, const ByteString& name, uint32_t index) {
  pass.entryUnlocked = !(LocalHeader.Flags & kFlagEncrypted) || UnlockEntry();
  if (!pass.entryUnlocked) return false;  // no password, or three wrong ones: no message

  ByteString target;
  if (!TargetPath(name, &target)) {
    ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);
    pass.endedEarly = true;
    return false;
  }
  // A name that would reach outside the destination is never written.
  if (IsUnsafeEntryName(name)) {
    ShowMessage(target.c_str(), kMsgCannotOpenFile, MessageIcon::Error);
    pass.someFileFailed = true;
    return true;
  }
  if (NamesFolder(target)) {
    ForceFolders(target);
    return true;
  }
  WIN32_FIND_DATAA existing;
  HANDLE search = FindFirstFileA(target.c_str(), &existing);
  const bool exists = search != INVALID_HANDLE_VALUE;
  if (exists) {
    FindClose(search);
    if (!MayReplace(target, existing)) return true;  // skipped: no failure
  }
  const ByteString folder = ParentFolder(target);
  if (!(folder == pass.lastFolder)) {
    ForceFolders(folder);
    if (!PathExists(folder.c_str())) {
      ShowMessage(folder.c_str(), kMsgFolderError, MessageIcon::Error);
      pass.endedEarly = true;
      return false;
    }
    pass.lastFolder = folder;
  }
  switch (ExtractFile(target, index, exists)) {
    case FileOutcome::Done:
      return true;
    case FileOutcome::Failed:
      pass.someFileFailed = true;
      return true;
    case FileOutcome::Cancelled:
      pass.cancelled = true;
      return false;
    case FileOutcome::UnknownMethod:
      pass.endedEarly = true;  // "알수 없는 압축 형식입니다." was shown by the decoder
      return false;
  }
  return true;
}

// The messages at the end of a pass that was not ended early.
void FinishPass(Pass& pass) {
  const bool extractPass = !pass.scanOnly && !pass.deleteMode;
  if (pass.scanOnly && pass.entryCount >= 1) CollectEntryAttributes(pass.entryCount);
  if (extractPass && (pass.cancelled || CancelRequested)) {
    // Close was pressed (or the archive ended inside an entry's data): what was written stays,
    // nothing is run afterwards, and the dialog closes.
    ExtractionSucceeded = false;
    ShowMessage(nullptr, kMsgCancelled, MessageIcon::Information);
  } else if (extractPass && pass.entryUnlocked) {
    // Entries the end record lists but the walk never reached are missing files.
    if (ListedEntryCount > pass.entryCount) pass.someFileFailed = true;
    if (!pass.someFileFailed) {
      ExtractionSucceeded = true;
      if (!ExtractorOptions.AutoExtract) ShowMessage(nullptr, kMsgAllExtracted, MessageIcon::None);
    } else {
      ShowMessage(nullptr, kMsgExtractionFailed, MessageIcon::Error);
    }
  }
  if (pass.scanOnly && pass.entryCount == 0)
    ShowMessage(nullptr, kMsgArchiveUnreadable, MessageIcon::Error);
}

}  // namespace

void SetEntryFileTime(HANDLE file, uint32_t dosDateTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(WORD(dosDateTime >> 16), WORD(dosDateTime), &local)) return;
  if (!LocalFileTimeToFileTime(&local, &utc)) return;
  SetFileTime(file, nullptr, nullptr, &utc);
}

void WalkArchive(bool scanOnly, bool deleteMode) {
  Pass pass{scanOnly, deleteMode};
  const bool extractPass = !scanOnly && !deleteMode;
  ExtractionSucceeded = false;
  // A destination that does not fit is refused before anything is written. The scan pass
  // writes nothing and still has to count the entries, so it carries on.
  if (!AbsoluteDestFolder() && !scanOnly) {
    ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);
    return;
  }
  Extracting = true;
  EnableExtractionControls(false);
  MessageStep();
  if (scanOnly) BytesTotal = 0;
  if (extractPass) EntryWritten.SetLength(0);

  if (scanOnly && !RewindToArchive()) {
    pass.endedEarly = true;
  } else {
    CloseArchiveFile(ArchiveHandle);
    ArchiveHandle = OpenArchiveFile(ProgramPath);  // a failure shows as an empty archive
    SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
    BytesDone = 0;
    char* nameBuffer = static_cast<char*>(std::malloc(0x10000));  // names are read in full
    if (!nameBuffer) FatalOutOfMemory();

    while (ReadLocalHeader()) {
      const uint32_t index = pass.entryCount++;
      const int64_t namePosition = LastSeekPosition + kLocalHeaderSize;
      uint32_t got;
      ReadArchive(nameBuffer, LocalHeader.NameLength, &got);
      const ByteString name = FixedToString(nameBuffer, uint16_t(got));
      // A streamed entry's sizes may come from the central directory; without them its end
      // cannot be found, so the walk ends here and the entry counts as failed.
      if (!CompleteLocalHeader(index)) {
        if (extractPass) pass.someFileFailed = pass.entryUnlocked = true;
        break;
      }
      const int64_t dataEnd = namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength +
                              LocalHeader.CompressedSize;
      if (scanOnly) {
        BytesTotal += LocalHeader.UncompressedSize;
      } else {
        ProgressPercent = PercentOf(BytesDone, BytesTotal);
        MessageStep();
        if (extractPass && CancelRequested) {
          pass.cancelled = true;
          break;
        }
      }
      if (name.empty()) {
        ShowMessage(nullptr, kMsgArchiveDamaged, MessageIcon::Error);
        pass.endedEarly = true;
        break;
      }
      if (deleteMode) {
        ByteString target;
        if (index < EntryWritten.size() && EntryWritten[index] && TargetPath(name, &target))
          DeleteFileA(target.c_str());
      } else if (extractPass) {
        SeekArchive(namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength, SeekFromBegin);
        if (!ExtractEntry(pass, name, index)) break;
      }
      // The next header lies behind this entry's data (and its data descriptor), also when
      // decoding stopped short inside the data.
      SeekArchive(dataEnd, SeekFromBegin);
      SkipDataDescriptor();
    }
    std::free(nameBuffer);
    if (!pass.endedEarly) FinishPass(pass);
  }

  Extracting = false;
  EnableExtractionControls(true);
  if (!pass.endedEarly && CancelRequested) {
    CancelRequested = false;
    PostCloseCommand();
  }
}

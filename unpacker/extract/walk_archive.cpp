#include "unpacker/extract/walk_archive.h"

#include <cstdlib>
#include <cstring>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/entry_walk.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/crypto/entry_cipher.h"
#include "unpacker/crypto/sha1.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/extraction_ui.h"
#include "unpacker/extract/file_system.h"
#include "unpacker/extract/paths.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/entry_decoder.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/output_window.h"
#include "unpacker/resources/messages.h"

char ProgramPath[kProgramPathSize];

namespace {

constexpr uint8_t kHostUnix = 3;  // "version made by", high byte

// Which entries (by index) the last extract pass wrote in full, created or replaced. The
// delete pass removes only these, so a file that existed before and was kept, or whose entry
// failed, is never lost.
ZeroedArray<uint8_t> EntryWritten;

// The folders this run made, each followed by a NUL, in the order they were made. The delete
// pass removes them again once they are empty, the deepest first; folders that existed before
// the run are not in the list.
ByteString FoldersMade;

// The MS-DOS attributes a file can be given (read-only, hidden, system, archive, temporary,
// offline, not indexed). Archives made on Unix carry the file mode in the high word, which is
// no attribute at all.
constexpr uint32_t kArchiveAttribute = 0x0020;
constexpr uint32_t kSettableAttributes =
    0x0001 | 0x0002 | 0x0004 | kArchiveAttribute | 0x0100 | 0x1000 | 0x2000;

// The scan pass found the central directory damaged: the extract pass then writes nothing.
bool directoryDamaged = false;

// Where one pass stands.
struct PassState {
  Pass pass;
  uint32_t entryCount = 0;      // entries met; the current entry's index is count - 1
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
  // UTF-8: a backslash or slash byte is always a character of its own.
  if (target.empty()) return false;
  const char last = target[target.size() - 1];
  return last == '\\' || last == '/';
}

// The Info-ZIP Unicode Path extra field (0x7075): version 1, the CRC-32 of the name as stored,
// the name in UTF-8. It counts only while its CRC matches the stored name: a tool that renamed
// the entry without knowing the field leaves it stale.
bool UnicodePathField(const WalkedEntry& entry, ByteString* name) {
  const uint8_t* extra = reinterpret_cast<const uint8_t*>(entry.Extra.c_str());
  const uint32_t length = entry.Extra.size();
  for (uint32_t at = 0; at + 4 <= length;) {
    const uint32_t id = uint32_t(extra[at] | extra[at + 1] << 8);
    const uint32_t size = uint32_t(extra[at + 2] | extra[at + 3] << 8);
    if (size > length - at - 4) return false;
    const uint8_t* data = extra + at + 4;
    if (id == kUnicodePathId && size >= 5 && data[0] == 1) {
      uint32_t crc = 0xFFFFFFFF;
      UpdateCrcBuffer(reinterpret_cast<const uint8_t*>(entry.Name.c_str()),
                      int32_t(entry.Name.size()), &crc);
      const uint32_t stored = uint32_t(data[1] | data[2] << 8 | data[3] << 16) | uint32_t(data[4])
                                                                                     << 24;
      if ((crc ^ 0xFFFFFFFF) != stored) return false;
      *name = ByteString(reinterpret_cast<const char*>(data + 5), size - 5);
      return true;
    }
    at += 4 + size;
  }
  return false;
}

// The entry's name in UTF-8, for the file system and the messages: from a Unicode Path field
// whose CRC fits, else the stored name, which is UTF-8 when flag bit 11 says so and in the
// system ANSI code page otherwise. False for UTF-8 that is not well-formed (then *name is
// only fit for showing).
bool EntryName(const WalkedEntry& entry, ByteString* name) {
  ByteString unicode;
  if (UnicodePathField(entry, &unicode)) return EntryNameUtf8(unicode, true, name);
  bool utf8 = (LocalHeader.Flags & kFlagUtf8Name) != 0;
  // Info-ZIP's zip on Unix stores UTF-8 names without the flag. A name from a Unix host that
  // is well-formed UTF-8 with a byte beyond ASCII is taken as UTF-8: Hangul in code page 949
  // practically never forms valid UTF-8.
  if (!utf8 && entry.Index < EntryFacts.size() && EntryFacts[entry.Index].Present &&
      EntryFacts[entry.Index].MadeByHost == kHostUnix) {
    bool beyondAscii = false;
    for (uint32_t i = 0; i < entry.Name.size(); ++i) beyondAscii |= (entry.Name[i] & 0x80) != 0;
    utf8 = beyondAscii && IsValidUtf8(entry.Name.c_str(), entry.Name.size());
  }
  return EntryNameUtf8(entry.Name, utf8, name);
}

// The password as typed, in the ANSI code page, and the same text in UTF-8 where that differs:
// producers disagree on which bytes they encrypt with. Returns how many candidates it gave.
uint32_t PasswordEncodings(const ByteString& typed, ByteString candidates[2]) {
  candidates[0] = typed;
  const uint32_t units = BytesToUtf16(kSystemAnsiCodePage, typed.c_str(), typed.size(), nullptr, 0);
  if (units == 0) return 1;
  char16_t* wide = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
  if (!wide) FatalOutOfMemory();
  BytesToUtf16(kSystemAnsiCodePage, typed.c_str(), typed.size(), wide, units);
  const uint32_t length = Utf16ToBytes(kUtf8CodePage, wide, units, nullptr, 0);
  char* utf8 = static_cast<char*>(std::malloc(length + 1));
  if (!utf8) FatalOutOfMemory();
  Utf16ToBytes(kUtf8CodePage, wide, units, utf8, length);
  candidates[1] = ByteString(utf8, length);
  WipeMemory(wide, units * sizeof(char16_t));
  WipeMemory(utf8, length);
  std::free(wide);
  std::free(utf8);
  return candidates[1] == typed ? 1 : 2;
}

// Tries a password in both encodings; on success the entry's keys are ready.
bool PasswordFits(const WalkedEntry& entry, const EncryptionHeader& header,
                  const ByteString& password) {
  ByteString candidates[2];
  const uint32_t count = PasswordEncodings(password, candidates);
  return TryPasswords(entry, header, candidates, count) >= 0;
}

// Checks the password of an encrypted entry against its encryption header: the remembered one
// first, then up to three typed ones.
bool UnlockEntry(const WalkedEntry& entry, const EncryptionHeader& header) {
  bool unlocked = !Password.empty() && PasswordFits(entry, header, Password);
  for (int tries = 0; !unlocked && tries < 3; ++tries) {
    if (!ShowPasswordDialog()) break;
    Password = FixedToString(TypedPassword, uint16_t(TypedPasswordLength));
    unlocked = PasswordFits(entry, header, Password);
  }
  return unlocked;
}

// The overwrite rule for an existing file; true when the file is to be replaced.
bool MayReplace(const ByteString& target, const ExistingFile& existing) {
  switch (OverwriteMode) {
    case OverwriteChoice::SkipWithoutAsking:
      return false;
    case OverwriteChoice::ReplaceWithoutAsking:
      return true;
    case OverwriteChoice::AskEachFile:
      break;
  }
  return AskToReplace(target.c_str(), existing, LocalHeader.UncompressedSize,
                      LocalHeader.DosDateTime);
}

enum class FileOutcome { Done, Skipped, Failed, Cancelled, UnknownMethod };

// Creates the file at target, or replaces the one in the way when the overwrite rule says so,
// and decodes the entry into it, then gives it its time and attributes. The caller has checked
// the password and made the folder. A new file gets its attributes as it is created; a
// replaced one, or one that is not to have the archive attribute that Windows gives every new
// file, gets them once it is closed.
FileOutcome ExtractFile(const WalkedEntry& entry, const ByteString& target) {
  const bool attributesKnown = entry.Index < EntryAttributes.size();
  const uint32_t attributes =
      attributesKnown ? EntryAttributes[entry.Index] & kSettableAttributes : 0;
  bool setAttributesAfter = attributesKnown && !(attributes & kArchiveAttribute);
  OutputFile* file = CreateNewOutputFile(target.c_str(), attributes);
  if (!file) {
    ExistingFile existing;
    if (FindExistingFile(target.c_str(), &existing)) {
      if (!MayReplace(target, existing)) return FileOutcome::Skipped;
      file = ReplaceOutputFile(target.c_str());
      setAttributesAfter = attributesKnown;
    }
  }
  if (!file) {
    ShowMessage(target.c_str(), kMsgCannotOpenFile, MessageIcon::Error);
    return FileOutcome::Failed;
  }
  MessageStep();
  if (CancelRequested) {
    // Close came between two entries or during a stored copy: the file just made is empty and
    // goes again.
    DiscardOutputFile(file, target.c_str());
    return FileOutcome::Cancelled;
  }

  FileOutcome outcome = FileOutcome::Done;
  switch (DecodeEntry(entry, file)) {
    case DecodeResult::Good:
      break;
    case DecodeResult::Damaged:
      outcome = FileOutcome::Failed;
      break;
    case DecodeResult::UnknownMethod:
      outcome = FileOutcome::UnknownMethod;
      break;
  }
  if (!CloseOutputFile(file, LocalHeader.DosDateTime))
    ShowMessage(target.c_str(), kMsgCannotCloseFile, MessageIcon::Error);
  if (setAttributesAfter) SetEntryAttributes(target.c_str(), attributes);
  if (outcome == FileOutcome::Done) {
    if (EntryWritten.size() <= entry.Index) EntryWritten.SetLength(entry.Index + 1);
    EntryWritten[entry.Index] = 1;
  }
  return outcome;
}

// One entry of the extract pass, from its password to its file. False ends the walk.
bool ExtractEntry(PassState& pass, const WalkedEntry& entry) {
  // An AES entry whose extra field is missing or unknown cannot be decrypted: no password is
  // asked for.
  if (LocalHeader.Method == kMethodAes) {
    ShowMessage(nullptr, kMsgUnknownMethod, MessageIcon::Error);
    pass.endedEarly = true;
    return false;
  }
  pass.entryUnlocked = true;
  if (LocalHeader.Flags & kFlagEncrypted) {
    // An encryption header that the entry's data cannot hold, or that the archive ends inside,
    // is damage: no password could open the entry.
    EncryptionHeader header;
    if (!ReadEncryptionHeader(entry, &header)) {
      ShowMessage(nullptr, kMsgArchiveDamaged, MessageIcon::Error);
      pass.endedEarly = true;
      return false;
    }
    pass.entryUnlocked = UnlockEntry(entry, header);
  }
  if (!pass.entryUnlocked) return false;  // no password, or three wrong ones: no message

  ByteString name, target;
  const bool wellFormed = EntryName(entry, &name);
  if (!TargetPath(name, &target)) {
    ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);
    pass.endedEarly = true;
    return false;
  }
  // A name that would reach outside the destination, or whose characters are unknown, is
  // never written.
  if (!wellFormed || IsUnsafeEntryName(name)) {
    ShowMessage(target.c_str(), kMsgCannotOpenFile, MessageIcon::Error);
    pass.someFileFailed = true;
    return true;
  }
  if (NamesFolder(target)) {
    ForceFolders(target, &FoldersMade);
    return true;
  }
  // The folder is made and checked once for all the files in it, before the first of them is
  // created (a file in the way is found by the create call, and then the folder exists).
  const ByteString folder = ParentFolder(target);
  if (!(folder == pass.lastFolder)) {
    ForceFolders(folder, &FoldersMade);
    if (!PathExists(folder.c_str())) {
      ShowMessage(folder.c_str(), kMsgFolderError, MessageIcon::Error);
      pass.endedEarly = true;
      return false;
    }
    pass.lastFolder = folder;
  }
  switch (ExtractFile(entry, target)) {
    case FileOutcome::Done:
    case FileOutcome::Skipped:  // the overwrite rule kept the file in the way: no failure
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

// Removes the folders this run made, deepest first, as far as they are empty.
void RemoveFoldersMade() {
  const char* list = FoldersMade.c_str();
  for (uint32_t end = FoldersMade.size(); end > 0;) {
    uint32_t start = end - 1;
    while (start > 0 && list[start - 1] != 0) --start;
    RemoveEmptyFolder(list + start);
    end = start;
  }
  FoldersMade = ByteString();
}

// The messages at the end of a pass that was not ended early, and what the pass came to.
void FinishPass(PassState& pass) {
  if (pass.pass == Pass::Scan) {
    directoryDamaged = pass.entryCount >= 1 && !CollectEntryAttributes(pass.entryCount);
    if (directoryDamaged) {
      ShowMessage(nullptr, kMsgArchiveDamaged, MessageIcon::Error);
      pass.endedEarly = true;
    }
    if (pass.entryCount == 0) ShowMessage(nullptr, kMsgArchiveUnreadable, MessageIcon::Error);
    return;
  }
  if (pass.pass == Pass::Delete) {
    if (pass.someFileFailed) Outcome.FilesLeftByDeletePass = true;
    RemoveFoldersMade();
    return;
  }
  if (pass.cancelled || CancelRequested) {
    // Close was pressed (or the archive ended inside an entry's data): what was written stays,
    // nothing is run afterwards, and the dialog closes.
    Outcome.Extraction =
        ArchiveEndedEarly ? ExtractionOutcome::Failed : ExtractionOutcome::StoppedByUser;
    ShowMessage(nullptr, kMsgCancelled, MessageIcon::Information);
  } else if (pass.entryUnlocked) {
    // Entries the end record lists but the walk never reached are missing files.
    if (ListedEntryCount > pass.entryCount) pass.someFileFailed = true;
    if (!pass.someFileFailed) {
      Outcome.Extraction = ExtractionOutcome::Succeeded;
      if (!ExtractorOptions.AutoExtract) ShowMessage(nullptr, kMsgAllExtracted, MessageIcon::None);
    } else {
      ShowMessage(nullptr, kMsgExtractionFailed, MessageIcon::Error);
    }
  }
}

// One walk over the entries, each as the pass needs it.
void WalkEntries(PassState& pass) {
  WalkedEntry entry;
  for (;;) {
    const EntryFound found = NextEntry(&entry);
    if (found == EntryFound::No) break;
    ++pass.entryCount;
    // A streamed entry's sizes may come from the central directory; without them its end
    // cannot be found, so the walk ends here and the entry counts as failed.
    if (found == EntryFound::Unreachable) {
      if (pass.pass == Pass::Extract) pass.someFileFailed = pass.entryUnlocked = true;
      break;
    }
    if (pass.pass == Pass::Scan) {
      // Saturating: a hostile size must not wrap the total and so the progress.
      const uint64_t room = UINT64_MAX - BytesTotal;
      BytesTotal += LocalHeader.UncompressedSize < room ? LocalHeader.UncompressedSize : room;
    } else {
      ProgressPercent = PercentOf(BytesDone, BytesTotal);
      MessageStep();
      if (pass.pass == Pass::Extract && CancelRequested) {
        pass.cancelled = true;
        break;
      }
    }
    if (found == EntryFound::Damaged || entry.Name.empty()) {
      ShowMessage(nullptr, kMsgArchiveDamaged, MessageIcon::Error);
      pass.endedEarly = true;
      break;
    }
    if (pass.pass == Pass::Delete) {
      ByteString name, target;
      if (entry.Index < EntryWritten.size() && EntryWritten[entry.Index] &&
          EntryName(entry, &name) && TargetPath(name, &target) &&
          !DeleteExtractedFile(target.c_str()))
        pass.someFileFailed = true;
    } else if (pass.pass == Pass::Extract) {
      const bool goOn = ExtractEntry(pass, entry);
      EndEntryDecryption();  // keys never outlive their entry, decoded or skipped
      if (!goOn) break;
    }
    SkipEntry(entry);
  }
}

}  // namespace

void WalkArchive(Pass which) {
  PassState pass{which};
  ArchiveEndedEarly = false;
  // Every way an extract pass ends that is not recorded as success or a stop is a failure.
  if (which == Pass::Extract) Outcome.Extraction = ExtractionOutcome::Failed;
  // A destination that does not fit is refused before anything is written. The scan pass
  // writes nothing and still has to count the entries, so it carries on.
  if (!AbsoluteDestFolder() && which != Pass::Scan) {
    ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);
    return;
  }
  if (which == Pass::Extract && directoryDamaged) {
    ShowMessage(nullptr, kMsgArchiveDamaged, MessageIcon::Error);
    return;
  }
  Extracting = true;
  EnableExtractionControls(false);
  MessageStep();
  if (which == Pass::Scan) {
    BytesTotal = 0;
    directoryDamaged = false;
  }
  if (which == Pass::Extract) EntryWritten.SetLength(0);

  if (which == Pass::Scan && !RewindToArchive()) {
    pass.endedEarly = true;
  } else {
    CloseArchiveFile(ArchiveHandle);
    ArchiveHandle = OpenArchiveFile(ProgramPath);  // a failure shows as an empty archive
    BytesDone = 0;
    BeginEntryWalk();
    WalkEntries(pass);
    ReleaseDecoderMemory();
    if (!pass.endedEarly) FinishPass(pass);
  }
  // A scan that found no entries, no archive or a damaged one: closing the dialog then is no
  // stop by the user but the end of a failed run.
  if (which == Pass::Scan && (pass.endedEarly || pass.entryCount == 0))
    Outcome.ArchiveUnreadable = true;

  Extracting = false;
  EnableExtractionControls(true);
  if (!pass.endedEarly && CancelRequested) {
    CancelRequested = false;
    PostCloseCommand();
  }
}

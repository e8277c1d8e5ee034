#include "builder/inspect.h"

#include <cinttypes>
#include <vector>

#include "builder/code_page.h"
#include "builder/zip_format.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/entry_walk.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/entry_decoder.h"
#include "unpacker/inflate/output_file.h"
#include "unpacker/crypto/entry_cipher.h"

namespace mksfx {

std::string FormatDosDateTime(uint32_t v) {
  const unsigned date = v >> 16, time = v & 0xFFFF;
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9),
                (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, 2 * (time & 31));
  return text;
}

namespace {

struct ListedEntry {
  ByteString name;
  LocalHeaderRecord header;
  WalkedEntry walked;
};

// How an entry is encrypted, for --list.
std::string EncryptionName(const ListedEntry& e) {
  LocalHeader = e.header;
  switch (CipherOf(e.walked)) {
    case EntryCipher::None:
      return "";
    case EntryCipher::ZipCrypto:
      return e.header.Method == kMethodAes ? "  (AES, unreadable extra field)" : "  (ZipCrypto)";
    case EntryCipher::Aes:
      return "  (AES-" + std::to_string(8 * AesKeySize(e.walked.AesStrength)) + " AE-" +
             std::to_string(e.walked.AesVersion) + ")";
  }
  return "";
}

// An entry's name for the terminal: names flagged as UTF-8 are shown as they are, the others
// decoded from the code page.
std::string NameOf(const ByteString& name, uint16_t flags, unsigned codePage) {
  return (flags & kFlagUtf8Name) ? std::string(name.c_str())
                                 : CodePageToUtf8(name.c_str(), codePage);
}

std::string AttributeLetters(uint32_t attributes) {
  std::string letters;
  letters += (attributes & 0x01) ? 'R' : '-';
  letters += (attributes & 0x02) ? 'H' : '-';
  letters += (attributes & 0x04) ? 'S' : '-';
  letters += (attributes & 0x10) ? 'D' : '-';
  letters += (attributes & 0x20) ? 'A' : '-';
  return letters;
}

}  // namespace

int ListSelfExtractor(const std::string& path, unsigned codePage, std::FILE* out) {
  ArchiveHandle = OpenArchiveFile(path.c_str());
  if (!ArchiveHandle) {
    std::fprintf(stderr, "mksfx: cannot open %s\n", path.c_str());
    return kExitFatal;
  }
  const uint64_t imageEnd = FindImageEnd(ArchiveHandle);
  ReadOptionBlock();
  const ExtractorOptionsRecord& o = ExtractorOptions;
  const bool hasBlock = o.ArchiveOffset != imageEnd;
  auto text = [&](const char* raw) { return CodePageToUtf8(raw, codePage); };

  std::fprintf(out, "%s\n", path.c_str());
  const uint16_t machine = FindImageMachine(ArchiveHandle);
  std::fprintf(out, "  stub          %s\n",
               machine == kMachineX86   ? "x86"
               : machine == kMachineX64 ? "x64"
               : machine == 0           ? "none (no PE image)"
                                        : "another architecture");
  std::fprintf(out, "  image end     %" PRIu64 " (0x%" PRIx64 ")\n", imageEnd, imageEnd);
  if (hasBlock) {
    std::fprintf(out, "  option block  at %" PRIu64 "\n", imageEnd);
    std::fprintf(out, "    flags       %s%s%s\n", o.OverwriteByDefault ? "overwrite " : "",
                 o.AutoExtract ? "auto " : "", o.WaitThenDelete ? "wait-delete" : "");
    std::fprintf(out, "    caption     %s\n", o.HasCaption ? text(o.Caption).c_str() : "(none)");
    std::fprintf(out, "    folder      %s\n",
                 o.HasDefaultFolder ? text(o.DefaultFolder).c_str() : "(none)");
    std::fprintf(out, "    run         %s\n",
                 o.HasRunCommand ? text(o.RunCommand).c_str() : "(none)");
  } else {
    std::fprintf(out, "  option block  none\n");
  }
  std::fprintf(out, "  zip data at   %" PRIu64 "\n", o.ArchiveOffset);
  const uint64_t table = FindCertificateTable(ArchiveHandle);
  if (table != 0 && o.ArchiveEnd == table)
    std::fprintf(out, "  signature     certificate table at %" PRIu64 "\n", table);

  // The entries as the stub's scan pass finds them.
  std::vector<ListedEntry> entries;
  BeginEntryWalk();
  WalkedEntry entry;
  bool damaged = false;
  for (EntryFound found; (found = NextEntry(&entry)) != EntryFound::No;) {
    if ((damaged = found == EntryFound::Damaged)) break;
    entries.push_back({entry.Name, LocalHeader, entry});
    if (found == EntryFound::Unreachable) break;
    SkipEntry(entry);
  }
  if (!damaged && !entries.empty()) damaged = !CollectEntryAttributes(uint32_t(entries.size()));

  std::fprintf(out, "  entries       %zu\n", entries.size());
  std::fprintf(out, "    %-8s %12s %12s %-8s %-5s %-19s %s\n", "method", "size", "stored", "crc32",
               "attr", "modified", "name");
  for (size_t i = 0; i < entries.size(); ++i) {
    const LocalHeaderRecord& h = entries[i].header;
    const char* method = h.Method == 0 ? "stored" : h.Method == 8 ? "deflated" : "other";
    const uint32_t attributes = i < EntryAttributes.size() ? EntryAttributes[uint32_t(i)] : 0;
    std::fprintf(out, "    %-8s %12" PRIu64 " %12" PRIu64 " %08x %-5s %-19s %s%s\n", method,
                 h.UncompressedSize, h.CompressedSize, h.Crc32,
                 AttributeLetters(attributes).c_str(), FormatDosDateTime(h.DosDateTime).c_str(),
                 NameOf(entries[i].name, h.Flags, codePage).c_str(),
                 EncryptionName(entries[i]).c_str());
  }
  if (damaged)
    std::fprintf(out, "  damaged: a Zip64 record is missing, contradicts or points beyond\n");
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  return damaged ? kExitFatal : 0;
}

int TestSelfExtractor(const std::string& path, const std::optional<std::string>& password,
                      unsigned codePage, std::FILE* out, bool quiet, LockedEntries locked) {
  ArchiveHandle = OpenArchiveFile(path.c_str());
  if (!ArchiveHandle) {
    std::fprintf(stderr, "mksfx: cannot open %s\n", path.c_str());
    return kExitFatal;
  }
  BuildCrcTable();
  ReadOptionBlock();
  // The password in the archive's code page, as the stub's box takes it, and in UTF-8: the
  // stub tries both, in this order.
  std::vector<ByteString> candidates;
  if (password) {
    if (const auto converted = Utf8ToCodePage(*password, codePage))
      candidates.emplace_back(converted->data(), uint32_t(converted->size()));
    const ByteString utf8(password->data(), uint32_t(password->size()));
    if (candidates.empty() || !(candidates[0] == utf8)) candidates.push_back(utf8);
  }

  unsigned entries = 0, damaged = 0;
  BeginEntryWalk();
  WalkedEntry entry;
  for (EntryFound found; (found = NextEntry(&entry)) != EntryFound::No;) {
    ++entries;
    const std::string name = NameOf(entry.Name, LocalHeader.Flags, codePage);
    const bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
    const char* problem = nullptr;
    bool unchecked = false;
    if (found == EntryFound::Damaged) {
      problem = "damaged: a Zip64 field is missing, contradicts or points beyond";
    } else if (found == EntryFound::Unreachable) {
      problem = "streamed, and the central directory does not give its size";
    } else if (LocalHeader.Method == kMethodAes) {
      problem = "AES without a readable 0x9901 extra field";
    } else if (!folder && (LocalHeader.Flags & kFlagEncrypted) && candidates.empty() &&
               locked == LockedEntries::PassUnchecked) {
      unchecked = true;
    } else if (!folder && (LocalHeader.Flags & kFlagEncrypted)) {
      EncryptionHeader header;
      if (!ReadEncryptionHeader(entry, &header))
        problem = "damaged: its encryption header is cut short";
      else if (TryPasswords(entry, header, candidates.data(), uint32_t(candidates.size())) < 0)
        problem = candidates.empty() ? "encrypted; give --password" : "wrong password";
    }
    if (!folder && !problem && !unchecked) {
      CancelRequested = false;
      BytesDone = 0;
      const DecodeResult result = DecodeEntry(entry, DiscardingOutputFile());
      if (result == DecodeResult::UnknownMethod)
        problem = "unknown compression method";
      else if (result == DecodeResult::Damaged || BytesDone != LocalHeader.UncompressedSize)
        problem = CipherOf(entry) == EntryCipher::Aes
                      ? "damaged: authentication code, CRC-32 or size differs"
                      : "damaged: CRC-32 or size differs";
    }
    EndEntryDecryption();
    if (problem) ++damaged;
    if (problem || !quiet)
      std::fprintf(out, "  %-8s %s\n", problem ? "FAILED" : "ok", name.c_str());
    if (problem) std::fprintf(out, "           %s\n", problem);
    if (found != EntryFound::Yes) break;
    SkipEntry(entry);
  }
  // The stub reads the central directory once after its scan; damage there stops it too.
  if (entries > 0 && damaged == 0 && !CollectEntryAttributes(entries)) {
    ++damaged;
    std::fprintf(out, "  FAILED   (central directory)\n           damaged Zip64 end records\n");
  }
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  if (entries == 0) {
    std::fprintf(out, "%s: no entries found\n", path.c_str());
    return kExitFatal;
  }
  std::fprintf(out, "%s: %u entries, %u damaged\n", path.c_str(), entries, damaged);
  return damaged == 0 ? kExitSuccess : kExitFatal;
}

}  // namespace mksfx

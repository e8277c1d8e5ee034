#include "unpacker/container/option_block.h"

#include <cstring>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/little_endian.h"

ExtractorOptionsRecord ExtractorOptions;

namespace {

// PE layout as the image-end search reads it (Microsoft PE/COFF format).
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kDosPeOffsetField = 60;             // e_lfanew
constexpr uint32_t kPeHeadersSize = 4 + 20;            // signature and COFF file header
constexpr uint32_t kOptionalHeaderSizeField = 4 + 16;  // SizeOfOptionalHeader
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionRawSizeField = 16;     // SizeOfRawData
constexpr uint32_t kSectionRawPointerField = 20;  // PointerToRawData
constexpr uint32_t kSectionsPerRead = 64;
// The data directories follow the optional header's fixed fields, 96 bytes in PE32 and 112 in
// PE32+, and the 4 bytes before them count them; entry 4 is the certificate table.
constexpr uint16_t kPe32PlusMagic = 0x020B;
constexpr uint32_t kPe32Directories = 96;
constexpr uint32_t kPe32PlusDirectories = 112;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kDirectoryEntrySize = 8;  // address (here: file offset) and size

// Reads exactly count bytes at offset; false when the file has fewer.
bool ReadAt(ArchiveFile* file, uint64_t offset, void* buffer, uint32_t count) {
  if (ArchiveFileSeek(file, int64_t(offset), SeekFromBegin) < 0) return false;
  return ArchiveFileRead(file, buffer, count) == count;
}

// Reads the PE signature and file header; false without valid MZ and PE signatures.
bool ReadPeHeaders(ArchiveFile* file, uint32_t* peOffset, uint8_t (&pe)[kPeHeadersSize]) {
  uint8_t dos[kDosHeaderSize];
  if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  *peOffset = LoadU32(dos + kDosPeOffsetField);
  return ReadAt(file, *peOffset, pe, sizeof pe) && LoadU32(pe) == 0x00004550;
}

uint64_t ImageEndOf(ArchiveFile* file) {
  uint32_t peOffset;
  uint8_t pe[kPeHeadersSize];
  if (!ReadPeHeaders(file, &peOffset, pe)) return 0;

  // The section table follows the optional header, whose size the file header gives: 224 bytes
  // for a PE32 image (the x86 stub), 240 for PE32+ (the x64 stub).
  const uint32_t sectionCount = LoadU16(pe + 4 + 2);
  uint64_t position = uint64_t(peOffset) + kPeHeadersSize + LoadU16(pe + kOptionalHeaderSizeField);
  uint32_t maxRawPointer = 0;
  uint64_t imageEnd = 0;
  uint8_t sections[kSectionsPerRead * kSectionHeaderSize];
  for (uint32_t done = 0; done < sectionCount;) {
    const uint32_t want =
        sectionCount - done < kSectionsPerRead ? sectionCount - done : kSectionsPerRead;
    if (ArchiveFileSeek(file, int64_t(position), SeekFromBegin) < 0) break;
    // A table cut short by the end of the file ends the search with what was seen.
    const uint32_t got =
        ArchiveFileRead(file, sections, want * kSectionHeaderSize) / kSectionHeaderSize;
    for (uint32_t i = 0; i < got; ++i) {
      const uint8_t* section = sections + i * kSectionHeaderSize;
      const uint32_t rawPointer = LoadU32(section + kSectionRawPointerField);
      if (rawPointer > maxRawPointer) {
        maxRawPointer = rawPointer;
        imageEnd = uint64_t(rawPointer) + LoadU32(section + kSectionRawSizeField);
      }
    }
    if (got < want) break;
    done += got;
    position += uint64_t(got) * kSectionHeaderSize;
  }
  // File offsets are 32 bits wide: an end beyond 4 GiB comes from a malformed header.
  return imageEnd > 0xFFFFFFFFu ? 0 : imageEnd;
}

uint64_t CertificateTableOf(ArchiveFile* file) {
  uint32_t peOffset;
  uint8_t pe[kPeHeadersSize];
  if (!ReadPeHeaders(file, &peOffset, pe)) return 0;
  uint8_t optional[kPe32PlusDirectories + (kSecurityDirectory + 1) * kDirectoryEntrySize];
  const uint32_t optionalSize = LoadU16(pe + kOptionalHeaderSizeField);
  if (!ReadAt(file, uint64_t(peOffset) + kPeHeadersSize, optional, 2)) return 0;
  const uint32_t directories =
      LoadU16(optional) == kPe32PlusMagic ? kPe32PlusDirectories : kPe32Directories;
  const uint32_t entry = directories + kSecurityDirectory * kDirectoryEntrySize;
  if (optionalSize < entry + kDirectoryEntrySize ||
      !ReadAt(file, uint64_t(peOffset) + kPeHeadersSize, optional, entry + kDirectoryEntrySize) ||
      LoadU32(optional + directories - 4) <= kSecurityDirectory ||
      LoadU32(optional + entry + 4) == 0)
    return 0;
  return LoadU32(optional + entry);
}

}  // namespace

uint64_t FindCertificateTable(ArchiveFile* file) {
  const int64_t saved = ArchiveFileSeek(file, 0, SeekFromCurrent);
  const uint64_t table = CertificateTableOf(file);
  if (saved >= 0) ArchiveFileSeek(file, saved, SeekFromBegin);
  return table;
}

uint64_t FindImageEnd(ArchiveFile* file) {
  const int64_t saved = ArchiveFileSeek(file, 0, SeekFromCurrent);
  const uint64_t imageEnd = ImageEndOf(file);
  if (saved >= 0) ArchiveFileSeek(file, saved, SeekFromBegin);
  return imageEnd;
}

uint16_t FindImageMachine(ArchiveFile* file) {
  const int64_t saved = ArchiveFileSeek(file, 0, SeekFromCurrent);
  uint32_t peOffset;
  uint8_t pe[kPeHeadersSize];
  const uint16_t machine = ReadPeHeaders(file, &peOffset, pe) ? LoadU16(pe + 4) : 0;
  if (saved >= 0) ArchiveFileSeek(file, saved, SeekFromBegin);
  return machine;
}

// Reads one option text of `length` bytes into its buffer (a text is at most 255 bytes).
static void ReadOptionText(char* buffer, uint8_t length) {
  uint32_t got;
  ReadArchive(buffer, length, &got);
}

void ReadOptionBlock() {
  ExtractorOptionsRecord& options = ExtractorOptions;
  SeekArchive(0, SeekFromBegin);
  options.ArchiveOffset = FindImageEnd(ArchiveHandle);
  // A certificate table counts only where a signer puts it: behind the image, inside the file.
  const int64_t fileSize = ArchiveFileSize(ArchiveHandle);
  const uint64_t table = FindCertificateTable(ArchiveHandle);
  options.ArchiveEnd = fileSize > 0 ? uint64_t(fileSize) : 0;
  if (table != 0 && table >= options.ArchiveOffset && table < options.ArchiveEnd)
    options.ArchiveEnd = table;
  SeekArchive(int64_t(options.ArchiveOffset), SeekFromBegin);

  char magic[3];
  uint32_t got;
  ReadArchive(magic, sizeof magic, &got);
  if (got < sizeof magic || std::memcmp(magic, "MPU", 3) != 0) return;
  options.ArchiveOffset += kOptionBlockSize;

  // Flag byte and the three lengths. A block cut short reads as zeros.
  uint8_t head[4] = {0, 0, 0, 0};
  ReadArchive(head, sizeof head, &got);
  const uint8_t flags = head[0];
  options.OverwriteByDefault = (flags & kFlagOverwriteByDefault) != 0;
  options.AutoExtract = (flags & kFlagAutoExtract) != 0;
  options.WaitThenDelete = (flags & kFlagWaitThenDelete) != 0;

  const uint8_t captionLength = head[1], folderLength = head[2], commandLength = head[3];
  options.HasCaption = captionLength > 0;
  options.HasDefaultFolder = folderLength > 0;
  options.HasRunCommand = commandLength > 0;

  if (captionLength > 0) ReadOptionText(options.Caption, captionLength);
  options.Caption[captionLength] = 0;
  if (folderLength > 0) {
    ReadOptionText(options.DefaultFolder, folderLength);
    options.DefaultFolder[folderLength] = 0;
  }
  if (commandLength > 0) ReadOptionText(options.RunCommand, commandLength);
  options.RunCommand[commandLength] = 0;

  CurrentDirectory(options.StartDirectory, kStartDirectorySize);
}

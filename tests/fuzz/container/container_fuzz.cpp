// Fuzzes everything that reads the program file before any data is decoded: the PE headers,
// the option block, the local headers and the central directory.
//
// Input: the first byte chooses the file. 0: the rest is the whole file. Otherwise the rest is
// appended to a minimal valid PE image (one section, ending at 0x200), so the fuzzer reaches
// the option block and ZIP records without having to invent a PE header first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/support/pe_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/native/native_archive_file.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/zip_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::vector<uint8_t> pe = testing_support::BuildPeImage({{0x100, 0x100}});
  std::vector<uint8_t> file;
  if (data[0] != 0) file = pe;
  file.insert(file.end(), data + 1, data + size);

  ExtractorOptions = ExtractorOptionsRecord{};
  EntryAttributes.SetLength(0);
  ArchiveHandle = OpenArchiveMemory(file.data(), file.size());
  ReadOptionBlock();

  // The scan pass's walk: header, sizes from the central directory where a streamed entry
  // needs them, then a seek behind name, extra field and data, and past a data descriptor.
  uint32_t count = 0;
  EntryFacts.SetLength(0);
  ListedEntryCount = 0;
  SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
  while (ReadLocalHeader()) {
    const int64_t namePosition = ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent);
    if (!CompleteLocalHeader(count)) break;
    ++count;
    char name[258];
    uint32_t got;
    ReadArchive(name, LocalHeader.NameLength < sizeof name ? LocalHeader.NameLength : sizeof name,
                &got);
    SeekArchive(namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength +
                    LocalHeader.CompressedSize,
                SeekFromBegin);
    SkipDataDescriptor();
  }
  if (count > 0) CollectEntryAttributes(count);
  // The attributes cover the entries walked, or those the end record lists when a streamed
  // entry made the walk read the central directory early; never more.
  const uint32_t most = count > ListedEntryCount ? count : ListedEntryCount;
  if (RewindToArchive() && EntryAttributes.size() > most) std::abort();

  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  return 0;
}

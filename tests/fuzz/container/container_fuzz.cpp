// Fuzzes everything that reads the program file before any data is decoded: the PE headers and
// their certificate table, the option block, the local headers with their Zip64 sizes, and the
// end records (Zip64 too) and central directory.
//
// Input: the first byte chooses the file. 0: the rest is the whole file. Otherwise the rest is
// appended to a minimal valid PE image (one section, ending at 0x200), so the fuzzer reaches
// the option block and ZIP records without having to invent a PE header first; from 2 on, the
// last (byte - 1) * 8 bytes of the rest (at most all of it) are the image's certificate table.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <vector>

#include "tests/fuzz/fuzz_ui.h"
#include "tests/support/pe_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/entry_walk.h"
#include "unpacker/container/native/native_archive_file.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/zip_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const std::vector<uint8_t> pe = testing_support::BuildPeImage({{0x100, 0x100}});
  std::vector<uint8_t> file;
  if (data[0] != 0) file = pe;
  file.insert(file.end(), data + 1, data + size);
  if (data[0] > 1) {
    const size_t table = std::min(size - 1, size_t(data[0] - 1) * 8);
    testing_support::SetCertificateTable(file, uint32_t(file.size() - table), uint32_t(table));
  }

  ExtractorOptions = ExtractorOptionsRecord{};
  EntryAttributes.SetLength(0);
  EntryFacts.SetLength(0);
  ListedEntryCount = 0;
  ArchiveHandle = OpenArchiveMemory(file.data(), file.size());
  ReadOptionBlock();
  const ExtractorOptionsRecord& o = ExtractorOptions;
  Check(o.ArchiveEnd <= file.size());

  // The scan pass's walk: header, Zip64 sizes, sizes from the central directory where a
  // streamed entry needs them, then a seek behind name, extra field and data, and past a data
  // descriptor. A Zip64 size never reaches beyond the ZIP data.
  uint32_t count = 0;
  BeginEntryWalk();
  WalkedEntry entry;
  EntryFound found;
  while ((found = NextEntry(&entry)) == EntryFound::Yes) {
    ++count;
    Check(!LocalHeader.Zip64 || uint64_t(entry.DataEnd) <= o.ArchiveEnd);
    SkipEntry(entry);
  }
  count += found != EntryFound::No;
  const bool directoryDamaged =
      found != EntryFound::Damaged && count > 0 && !CollectEntryAttributes(count);
  // The attributes cover the entries walked, or those the end record lists when a streamed
  // entry made the walk read the central directory early; never more. A damaged directory
  // leaves none. A local header offset beyond the ZIP data is a 32-bit one with its bias: a
  // Zip64 offset never points there.
  const uint32_t most = count > ListedEntryCount ? count : ListedEntryCount;
  Check(EntryAttributes.size() <= most && (!directoryDamaged || EntryFacts.size() == 0));
  for (uint32_t i = 0; i < EntryFacts.size(); ++i)
    Check(EntryFacts[i].LocalHeaderOffset < o.ArchiveEnd ||
          EntryFacts[i].LocalHeaderOffset <= o.ArchiveOffset + 0xFFFFFFFEu);

  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  return 0;
}

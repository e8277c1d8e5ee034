#include "unpacker/container/zip_records.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"

using namespace testing_support;

namespace {

// Makes a stub with the option block and `zip` the program file, and reads the option block.
struct SelfExtractor : ProgramFile {
  explicit SelfExtractor(const std::vector<uint8_t>& zip)
      : ProgramFile([&] {
          std::vector<uint8_t> program = BuildPeImage({{0x400, 0x600}});
          Append(program, BuildOptionBlock(0, {}, {}, {}));
          Append(program, zip);
          return program;
        }()) {
    ReadOptionBlock();
  }
};

ArchiveEntry Entry(std::string name, std::string data, uint32_t attributes = 0x20) {
  ArchiveEntry e;
  e.name = std::move(name);
  e.data.assign(data.begin(), data.end());
  e.externalAttributes = attributes;
  return e;
}

// Shapes of entry sequences that real archives have, and how far the walk gets in each.
TEST(LocalHeaders, SequenceShapes) {
  // A deflated entry (passed by its compressed size), then one with an extra field.
  ArchiveEntry x = Entry("x", std::string(5000, 'x')), y = Entry("y", "22");
  x.method = 8;
  y.extra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44};
  const std::vector<uint8_t> two = BuildZip({x, y}).bytes;
  std::vector<uint8_t> manyMarkers;
  for (int i = 0; i < 100000; ++i) Append(manyMarkers, {0x50, 0x4B, 0x07, 0x08});
  Append(manyMarkers, two);
  std::vector<uint8_t> oldSignature = two;
  PutU32(oldSignature, 0, 0x50000000);
  const std::tuple<const char*, std::vector<uint8_t>, size_t> cases[] = {
      {"plain", two, 2},
      {"split-archive marker in front", BuildZip({x, y}, {.leadingSpanMarker = true}).bytes, 2},
      {"100000 markers in front", manyMarkers, 2},
      {"old signature 00 00 00 50", oldSignature, 2},
      {"header cut short", {two.begin(), two.begin() + 20}, 0},
      {"no zip at all", Bytes("this is not a zip file at all, not even close"), 0},
      {"nothing", {}, 0},
  };
  for (const auto& [name, zip, entries] : cases) {
    // Walks the local headers the way the scan pass does (header, name, then a seek behind the
    // extra field and the data), collecting up to 8 bytes of each entry's data.
    SelfExtractor file(zip);
    std::vector<std::string> seen;
    for (SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin); ReadLocalHeader();) {
      const int64_t dataAt =
          ArchivePosition() + LocalHeader.NameLength + LocalHeader.ExtraLength;
      char data[8];
      uint32_t got;
      SeekArchive(dataAt, SeekFromBegin);
      ReadArchive(data, std::min(LocalHeader.CompressedSize, 8u), &got);
      seen.push_back(std::string(data, got));
      SeekArchive(dataAt + LocalHeader.CompressedSize, SeekFromBegin);
    }
    ASSERT_EQ(seen.size(), entries) << name;
    if (entries) EXPECT_EQ(seen[1], "22") << name;
  }
}

// Attributes come from the central records, in archive order; a damaged directory gives zeros
// from the first bad record on, or nothing without an end record in the last 22 bytes.
TEST(CentralDirectory, AttributesOfEveryEntry) {
  std::vector<ArchiveEntry> entries;
  for (uint32_t i = 0; i < 300; ++i) entries.push_back(Entry("f" + std::to_string(i), "", i + 1));
  entries[7].extra = {1, 2, 3, 4};  // record lengths include the extra field
  {
    SelfExtractor file(BuildZip(entries).bytes);
    CollectEntryAttributes(300);
    ASSERT_EQ(EntryAttributes.size(), 300u);
    for (uint32_t i = 0; i < 300; ++i) EXPECT_EQ(EntryAttributes[i], i + 1) << i;
  }
  entries.resize(3);
  const BuiltZip zip = BuildZip(entries);
  std::vector<uint8_t> badThird = zip.bytes, farOffset = zip.bytes;
  PutU32(badThird, zip.centralDirectoryOffset + 2 * (46 + 2), 0x12345678);
  PutU32(farOffset, farOffset.size() - 6, 0xFFFFFFF0u);
  const std::tuple<const char*, std::vector<uint8_t>, std::vector<uint32_t>> cases[] = {
      {"third record damaged", badThird, {1, 2, 0}},
      {"directory offset anywhere", farOffset, {0, 0, 0}},
      {"comment behind the end record", BuildZip(entries, {.comment = "a comment"}).bytes, {}},
  };
  for (const auto& [name, zip, expected] : cases) {
    SelfExtractor file(zip);
    CollectEntryAttributes(3);
    std::vector<uint32_t> attributes;
    for (uint32_t i = 0; i < EntryAttributes.size(); ++i) attributes.push_back(EntryAttributes[i]);
    EXPECT_EQ(attributes, expected) << name;
  }
}

// Streaming writers and encrypting Info-ZIP put a data descriptor behind the data (flag bit 3),
// some with zero CRC-32 and sizes in the local header. Walking with CompleteLocalHeader and
// SkipDataDescriptor reaches every entry with its real CRC-32 and sizes.
TEST(DataDescriptors, EveryEntryIsReachedWithItsFacts) {
  const struct {
    const char* name;
    bool descriptor, signature, zeroLocal, comment;
    bool reachable;  // the second entry is found, with the first one's facts complete
  } cases[] = {
      {"descriptor with signature", true, true, false, false, true},
      {"descriptor without signature", true, false, false, false, true},
      {"zero local sizes, central facts", true, true, true, false, true},
      {"zero local sizes, no signature", true, false, true, false, true},
      {"bit 3 without a descriptor", false, false, false, false, true},
      {"zero local sizes, no central facts", true, true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ArchiveEntry first = {.name = "first.txt",
                                .data = std::vector<uint8_t>(3000, 'f'),
                                .method = 8,
                                .flags = uint16_t(c.descriptor ? 0 : kFlagDataDescriptor),
                                .dataDescriptor = c.descriptor,
                                .descriptorSignature = c.signature,
                                .zeroSizesInLocalHeader = c.zeroLocal};
    SelfExtractor file(
        BuildZip({first, Entry("second.txt", "2nd")}, {.comment = c.comment ? "comment" : ""})
            .bytes);
    SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
    ASSERT_TRUE(ReadLocalHeader());
    const int64_t dataAt = ArchivePosition() + LocalHeader.NameLength;
    const bool complete = CompleteLocalHeader(0);
    EXPECT_EQ(complete, c.reachable);
    EXPECT_EQ(ListedEntryCount, c.comment || !c.zeroLocal ? 0u : 2u)
        << "the central directory is read on demand only, as far as the end record lists";
    EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), dataAt - LocalHeader.NameLength)
        << "the position is kept";
    if (!complete) continue;
    EXPECT_EQ(LocalHeader.Crc32, ZlibCrc32(first.data));
    EXPECT_EQ(LocalHeader.UncompressedSize, 3000u);
    EXPECT_EQ(EntryRemaining, int64_t(LocalHeader.CompressedSize));
    SeekArchive(dataAt + LocalHeader.CompressedSize, SeekFromBegin);
    SkipDataDescriptor();
    ASSERT_TRUE(ReadLocalHeader());
    EXPECT_EQ(LocalHeader.UncompressedSize, 3u);
  }
}

}  // namespace

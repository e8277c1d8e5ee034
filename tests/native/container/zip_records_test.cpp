#include "unpacker/container/zip_records.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct SeenEntry {
  std::string name;
  uint16_t method, flags;
  uint32_t crc, compressed, uncompressed, dosDateTime;
  std::string firstData;  // up to 8 bytes of the entry's data
};

// Walks the local headers the way the scan pass does: header, name, then a seek behind the
// extra field and the data.
std::vector<SeenEntry> WalkEntries() {
  std::vector<SeenEntry> seen;
  SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
  while (ReadLocalHeader()) {
    const int64_t namePosition = ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent);
    std::string name(LocalHeader.NameLength, '\0');
    uint32_t got;
    ReadArchive(name.data(), LocalHeader.NameLength, &got);
    SeekArchive(namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength, SeekFromBegin);
    char data[8] = {};
    ReadArchive(data, LocalHeader.CompressedSize < 8 ? LocalHeader.CompressedSize : 8, &got);
    seen.push_back({name, LocalHeader.Method, LocalHeader.Flags, LocalHeader.Crc32,
                    LocalHeader.CompressedSize, LocalHeader.UncompressedSize,
                    LocalHeader.DosDateTime, std::string(data, got < 8 ? got : 8)});
    SeekArchive(namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength +
                    LocalHeader.CompressedSize,
                SeekFromBegin);
  }
  return seen;
}

std::vector<uint8_t> SelfExtractor(const std::vector<uint8_t>& zip) {
  std::vector<uint8_t> program = BuildPeImage({{0x400, 0x600}});
  Append(program, BuildOptionBlock(0, {}, {}, {}));
  Append(program, zip);
  return program;
}

ZipEntrySpec Entry(std::string name, std::string data, uint32_t attributes = 0x20) {
  ZipEntrySpec e;
  e.name = std::move(name);
  e.data.assign(data.begin(), data.end());
  e.externalAttributes = attributes;
  return e;
}

TEST(LocalHeaders, FieldsOfEveryEntryInOrder) {
  ZipEntrySpec deflated = Entry("dir\\b.txt", std::string(5000, 'b'));
  deflated.method = 8;
  ZipEntrySpec withExtra = Entry("c.bin", "DATA-OF-C");
  withExtra.extra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44};
  withExtra.dosDateTime = 0x12345678;
  BuiltZip zip = BuildZip({Entry("a.txt", "hello"), deflated, withExtra});
  ProgramFile file(SelfExtractor(zip.bytes));
  ReadOptionBlock();

  std::vector<SeenEntry> seen = WalkEntries();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].name, "a.txt");
  EXPECT_EQ(seen[0].firstData, "hello");
  EXPECT_EQ(seen[0].crc, ZlibCrc32(Bytes("hello")));
  EXPECT_EQ(seen[1].name, "dir\\b.txt");
  EXPECT_EQ(seen[1].method, 8);
  EXPECT_EQ(seen[1].uncompressed, 5000u);
  EXPECT_LT(seen[1].compressed, 100u);
  EXPECT_EQ(seen[2].firstData, "DATA-OF-") << "the extra field is passed over";
  EXPECT_EQ(seen[2].dosDateTime, 0x12345678u) << "time low, date high";
  EXPECT_EQ(EntryRemaining, 0) << "no header after the last entry";
}

// Shapes of entry sequences that real archives have, and how far the walk gets in each.
TEST(LocalHeaders, SequenceShapes) {
  const std::vector<uint8_t> two = BuildZip({Entry("x", "1"), Entry("y", "2")}).bytes;

  std::vector<uint8_t> leadingMarker =
      BuildZip({Entry("x", "1"), Entry("y", "2")}, {.leadingSpanMarker = true}).bytes;
  std::vector<uint8_t> manyMarkers;
  for (int i = 0; i < 100000; ++i) Append(manyMarkers, {0x50, 0x4B, 0x07, 0x08});
  Append(manyMarkers, two);
  std::vector<uint8_t> oldSignature = two;
  PutU32(oldSignature, 0, 0x50000000);
  std::vector<uint8_t> cutHeader(two.begin(), two.begin() + 20);
  std::vector<uint8_t> garbage = Bytes("this is not a zip file at all, not even close");

  const struct {
    const char* name;
    std::vector<uint8_t> zip;
    size_t entries;
  } cases[] = {
      {"plain", two, 2},
      {"split-archive marker in front", leadingMarker, 2},
      {"100000 markers in front", manyMarkers, 2},
      {"old signature 00 00 00 50", oldSignature, 2},
      {"header cut short", cutHeader, 0},
      {"no zip at all", garbage, 0},
      {"nothing", {}, 0},
  };
  for (const auto& c : cases) {
    ProgramFile file(SelfExtractor(c.zip));
    ReadOptionBlock();
    EXPECT_EQ(WalkEntries().size(), c.entries) << c.name;
  }
}

// Info-ZIP writes extra fields (time stamps, Unix ids) into every local header.
TEST(LocalHeaders, ArchiveMadeByInfoZip) {
  const fs::path dir = fs::temp_directory_path() / ("zip_records_test_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "in" / "sub");
  std::ofstream(dir / "in" / "one.txt") << "first file";
  std::ofstream(dir / "in" / "sub" / "two.txt") << std::string(3000, 'z');
  const std::string command =
      "cd '" + (dir / "in").string() + "' && zip -q -r ../out.zip one.txt sub";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir / "out.zip", std::ios::binary);
  std::vector<uint8_t> zip((std::istreambuf_iterator<char>(in)), {});
  fs::remove_all(dir);

  ProgramFile file(SelfExtractor(zip));
  ReadOptionBlock();
  std::vector<SeenEntry> seen = WalkEntries();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].name, "one.txt");
  EXPECT_EQ(seen[0].firstData, "first fi");
  EXPECT_EQ(seen[1].name, "sub/");
  EXPECT_EQ(seen[2].name, "sub/two.txt");
  EXPECT_EQ(seen[2].method, 8);
}

// Attributes come from the central records, in archive order.
TEST(CentralDirectory, AttributesOfEveryEntry) {
  std::vector<ZipEntrySpec> entries;
  for (uint32_t i = 0; i < 300; ++i) entries.push_back(Entry("f" + std::to_string(i), "", i + 1));
  entries[7].extra = {1, 2, 3, 4};  // record lengths include the extra field
  ProgramFile file(SelfExtractor(BuildZip(entries).bytes));
  ReadOptionBlock();

  CollectEntryAttributes(300);
  ASSERT_EQ(EntryAttributes.size(), 300u);
  for (uint32_t i = 0; i < 300; ++i) EXPECT_EQ(EntryAttributes[i], i + 1) << i;
}

TEST(CentralDirectory, NothingWithoutAnEndRecordInTheLast22Bytes) {
  BuiltZip zip = BuildZip({Entry("a", "1", 0x21)}, {.comment = "a comment"});
  ProgramFile file(SelfExtractor(zip.bytes));
  ReadOptionBlock();
  CollectEntryAttributes(1);
  EXPECT_EQ(EntryAttributes.size(), 0u);
}

TEST(CentralDirectory, StopsAtTheFirstBadRecord) {
  BuiltZip zip = BuildZip({Entry("a", "1", 0x21), Entry("b", "2", 0x22), Entry("c", "3", 0x23)});
  // Damage the third central record's signature (records are 46 bytes + a 1-byte name).
  PutU32(zip.bytes, zip.centralDirectoryOffset + 2 * 47, 0x12345678);
  ProgramFile file(SelfExtractor(zip.bytes));
  ReadOptionBlock();
  CollectEntryAttributes(3);
  ASSERT_EQ(EntryAttributes.size(), 3u);
  EXPECT_EQ(EntryAttributes[0], 0x21u);
  EXPECT_EQ(EntryAttributes[1], 0x22u);
  EXPECT_EQ(EntryAttributes[2], 0u);
}

TEST(CentralDirectory, OffsetPointingAnywhereStopsQuietly) {
  BuiltZip zip = BuildZip({Entry("a", "1", 0x21)});
  PutU32(zip.bytes, zip.bytes.size() - 6, 0xFFFFFFF0u);  // central directory offset
  ProgramFile file(SelfExtractor(zip.bytes));
  ReadOptionBlock();
  CollectEntryAttributes(1);
  ASSERT_EQ(EntryAttributes.size(), 1u);
  EXPECT_EQ(EntryAttributes[0], 0u);
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
    ZipEntrySpec first = Entry("first.txt", std::string(3000, 'f'));
    first.method = 8;
    first.dataDescriptor = c.descriptor;
    first.descriptorSignature = c.signature;
    first.zeroSizesInLocalHeader = c.zeroLocal;
    if (!c.descriptor) first.flags = kFlagDataDescriptor;
    ZipBuildOptions options;
    if (c.comment) options.comment = "comment";
    BuiltZip zip = BuildZip({first, Entry("second.txt", "2nd")}, options);
    ProgramFile file(SelfExtractor(zip.bytes));
    ReadOptionBlock();

    SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
    ASSERT_TRUE(ReadLocalHeader()) << c.name;
    const int64_t dataAt = LastSeekPosition + 30 + LocalHeader.NameLength;
    const bool complete = CompleteLocalHeader(0);
    EXPECT_EQ(complete, c.reachable) << c.name;
    EXPECT_EQ(ListedEntryCount, c.comment || !c.zeroLocal ? 0u : 2u)
        << c.name << ": the central directory is read on demand only";
    EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), dataAt - LocalHeader.NameLength)
        << c.name << ": the position is kept";
    if (!complete) continue;
    EXPECT_EQ(LocalHeader.Crc32, ZlibCrc32(first.data)) << c.name;
    EXPECT_EQ(LocalHeader.UncompressedSize, 3000u) << c.name;
    EXPECT_EQ(EntryRemaining, int64_t(LocalHeader.CompressedSize)) << c.name;
    SeekArchive(dataAt + LocalHeader.CompressedSize, SeekFromBegin);
    SkipDataDescriptor();
    ASSERT_TRUE(ReadLocalHeader()) << c.name;
    EXPECT_EQ(LocalHeader.UncompressedSize, 3u) << c.name;
  }
}

// A stub whose payload lies beyond 2 GiB: every offset is reached with 64-bit positions.
TEST(LargeFiles, PayloadBeyondTwoGigabytes) {
  const uint32_t imageEnd = 0x90000000u;  // 2.25 GiB
  std::vector<uint8_t> headers = BuildPeImage({{0x400, 0x200}});
  PutU32(headers, kDefaultPeOffset + 248 + 20, imageEnd - 0x1000);  // raw pointer
  PutU32(headers, kDefaultPeOffset + 248 + 16, 0x1000);             // raw size
  headers.resize(0x600);
  std::vector<uint8_t> tail = BuildOptionBlock(0x40, Bytes("far"), {}, {});
  Append(tail, BuildZip({Entry("far.txt", "far away", 0x21)}).bytes);

  const std::string path =
      (fs::temp_directory_path() / ("large_" + std::to_string(getpid()) + ".exe")).string();
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(headers.data(), 1, headers.size(), f);
    ASSERT_EQ(fseeko(f, off_t(imageEnd), SEEK_SET), 0);  // a sparse hole up to the image end
    std::fwrite(tail.data(), 1, tail.size(), f);
    std::fclose(f);
  }
  ResetCoreState();
  ArchiveHandle = OpenArchiveFile(path.c_str());
  ASSERT_NE(ArchiveHandle, nullptr);
  ReadOptionBlock();
  EXPECT_EQ(ExtractorOptions.ArchiveOffset, uint64_t(imageEnd) + 256);
  EXPECT_STREQ(ExtractorOptions.Caption, "far");
  std::vector<SeenEntry> seen = WalkEntries();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].firstData, "far away");
  CollectEntryAttributes(1);
  EXPECT_EQ(EntryAttributes[0], 0x21u);
  ResetCoreState();
  std::remove(path.c_str());
}

}  // namespace

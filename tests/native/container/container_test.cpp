// The program file before any data is decoded: the image end behind the PE sections, the option
// block there, the walk over the local headers in the shapes real archives have, and the
// attributes from the central directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <string>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/entry_walk.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/zip_records.h"

using namespace testing_support;
using Data = std::vector<uint8_t>;

namespace {

// The image end is the end of the raw data of the section that lies last in the file (by its
// raw pointer, the first of equals), not the largest end of any section; the section table is
// found behind the optional header of either size (x86 and x64 stubs). Hostile headers give 0
// or a bounded end, never a read out of bounds or a long loop. The file position is kept.
TEST(FindImageEnd, EndOfTheSectionThatLiesLast) {
  auto patched = [](size_t at, uint32_t value, size_t size = SIZE_MAX) {
    Data bytes = BuildPeImage({{0x400, 0x200}});
    if (at != SIZE_MAX) PutU32(bytes, at, value);
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
  };
  Data claims = BuildPeImage({{0x400, 0x200}, {0x600, 0x80}});
  PutU16(claims, kDefaultPeOffset + 6, 0xFFFF);    // 65535 sections claimed, 2 present
  claims.resize(kDefaultPeOffset + 248 + 2 * 40);  // the table ends the file
  std::vector<std::pair<Data, uint64_t>> cases = {
      {patched(0, 0x5A5A5A5A), 0},                             // no MZ
      {patched(kDefaultPeOffset, 0x58585858), 0},              // no PE signature
      {patched(60, 0xFFFFFFF0u), 0},                           // PE offset near 4 GiB
      {patched(SIZE_MAX, 0, kDefaultPeOffset + 100), 0},       // headers cut short
      {patched(kOptionalHeaderSizeAt, 0xFFFF), 0},             // optional header past the end
      {patched(kDefaultPeOffset + 248 + 16, 0xFFFFFF00u), 0},  // end beyond 4 GiB
      {{}, 0},
      {claims, 0x680},
  };
  for (const PeFormat format : {PeFormat::Pe32, PeFormat::Pe32Plus})
    for (const auto& [sections, end] : std::vector<std::pair<std::vector<PeSection>, uint64_t>>{
             {{{0x400, 0x5000}, {0x600, 0x200}}, 0x800},
             {{{0x800, 0x100}, {0x400, 0x200}}, 0x900},
             {{{0x400, 0x200}, {0x600, 0x100}, {0x600, 0x300}}, 0x700},
             {{{0, 0x9000}, {0x400, 0x200}}, 0x600},
             {{}, 0}})
      cases.push_back({BuildPeImage(sections, format), end});
  for (const auto& [bytes, end] : cases) {
    ProgramFile file(bytes);
    ArchiveFileSeek(ArchiveHandle, 17, SeekFromBegin);
    EXPECT_EQ(FindImageEnd(ArchiveHandle), end) << &bytes - &cases[0].first;
    EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), 17);
  }
}

// The options as one line: the archive offset, the flags set (o, a, w), the caption, the
// default folder when there is one, the run command, and whether the start directory is known.
std::string Describe(const ExtractorOptionsRecord& o, const std::string& cwd) {
  return std::to_string(o.ArchiveOffset) + " " + (o.OverwriteByDefault ? "o" : "") +
         (o.AutoExtract ? "a" : "") + (o.WaitThenDelete ? "w" : "") + " c" +
         std::to_string(o.HasCaption) + ":" + o.Caption + " f" +
         std::to_string(o.HasDefaultFolder) + ":" + (o.HasDefaultFolder ? o.DefaultFolder : "") +
         " r" + std::to_string(o.HasRunCommand) + ":" + o.RunCommand +
         (o.StartDirectory == cwd ? " s" : "");
}

// What ReadOptionBlock makes of the bytes at the image end (0x600, or 0 without PE headers).
TEST(ReadOptionBlock, FillsExtractorOptions) {
  const std::string k249(249, 'x');  // the longest caption beside the block's 7-byte head
  const std::pair<Data, std::string> cases[] = {
      {BuildOptionBlock(0xC8, Bytes("\xC7\xD1\xB1\xDB setup"), Bytes("{temp}\\x"),
                        Bytes("setup.exe|/S ><")),
       "1792 oaw c1:\xC7\xD1\xB1\xDB setup f1:{temp}\\x r1:setup.exe|/S >< s"},
      {BuildOptionBlock(0x37, Bytes(k249.c_str()), {}, {}), "1792  c1:" + k249 + " f0: r0: s"},
      {Bytes("MPU"), "1792  c0: f0: r0: s"},  // a block cut short reads as zeros
      {Bytes("mpu\x48\x01\x00\x00x"), "1536  c0: f0: r0:"},
      {{}, "1536  c0: f0: r0:"},
  };
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  for (const auto& [appended, expected] : cases) {
    Data program = BuildPeImage({{0x400, 0x200}});
    Append(program, appended);
    ProgramFile file(program);
    ReadOptionBlock();
    EXPECT_EQ(Describe(ExtractorOptions, cwd), expected);
  }
  ProgramFile file(BuildOptionBlock(0x40, Bytes("cap"), {}, {}));
  ReadOptionBlock();
  EXPECT_EQ(Describe(ExtractorOptions, cwd), "256 a c1:cap f0: r0: s");
}

// Without a program file every seek is refused, and the run says it cannot read the archive
// (every walk test reaches an archive that is there).
TEST(RewindToArchive, SaysWhenItCannotReachTheArchive) {
  ResetCoreState();
  EXPECT_FALSE(RewindToArchive());
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0].text, "압축 파일을 읽을 수 없습니다.");
}

// Makes a stub with the option block and `zip` the program file, and reads the option block.
struct SelfExtractor : ProgramFile {
  explicit SelfExtractor(const Data& zip)
      : ProgramFile([&] {
          Data program = BuildPeImage({{0x400, 0x600}});
          Append(program, BuildOptionBlock(0, {}, {}, {}));
          Append(program, zip);
          return program;
        }()) {
    ReadOptionBlock();
  }
};

// The first byte of the ZIP data in a SelfExtractor: behind the image and the option block.
constexpr uint32_t kZipStart = 0xA00 + 256;

// The entries the walk reaches, each as "name:size" with its complete uncompressed size
// (streamed entries take theirs from the central directory), "!" for an entry whose data
// cannot be found, "#" where the walk finds the archive damaged.
std::string Walk() {
  std::string seen;
  BeginEntryWalk();
  WalkedEntry entry;
  for (EntryFound found; (found = NextEntry(&entry)) != EntryFound::No; SkipEntry(entry)) {
    if (found == EntryFound::Damaged) return seen + "#";
    seen += std::string(entry.Name.c_str()) + ":" + std::to_string(LocalHeader.UncompressedSize);
    if (found == EntryFound::Unreachable) return seen + "!";
    seen += " ";
  }
  return seen;
}
std::string Walked(const Data& zip) {
  SelfExtractor file(zip);
  return Walk();
}

TEST(EntryWalk, ReachesEveryEntryWithItsFacts) {
  // A deflated entry (passed by its compressed size), then one with an extra field.
  ArchiveEntry x{.name = "x", .data = Data(5000, 'x'), .method = 8},
      y{.name = "y",
        .data = {'2', '2'},
        .extra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44}};
  const Data two = BuildZip({x, y}).bytes;
  Data manyMarkers;
  for (int i = 0; i < 100000; ++i) Append(manyMarkers, {0x50, 0x4B, 0x07, 0x08});
  Append(manyMarkers, two);
  Data oldSignature = two;
  PutU32(oldSignature, 0, 0x50000000);
  // Streaming writers and encrypting Info-ZIP put a data descriptor behind the data (flag bit
  // 3), some with zero CRC-32 and sizes in the local header.
  auto streamed = [&](bool descriptor, bool signature, bool zeroLocal, const char* comment) {
    ArchiveEntry first = x;
    first.flags = descriptor ? 0 : kFlagDataDescriptor;
    first.dataDescriptor = descriptor;
    first.descriptorSignature = signature;
    first.zeroSizesInLocalHeader = zeroLocal;
    return BuildZip({first, y}, {.comment = comment}).bytes;
  };
  const std::pair<Data, const char*> cases[] = {
      {two, "x:5000 y:2 "},
      {manyMarkers, "x:5000 y:2 "},
      {oldSignature, "x:5000 y:2 "},
      {{two.begin(), two.begin() + 20}, ""},
      {Bytes("this is not a zip file at all, not even close"), ""},
      {streamed(true, false, false, ""), "x:5000 y:2 "},
      {streamed(true, true, true, ""), "x:5000 y:2 "},
      {streamed(true, false, true, ""), "x:5000 y:2 "},
      {streamed(false, false, false, ""), "x:5000 y:2 "},  // bit 3 without a descriptor
      {streamed(true, true, true, "no end record in the last 22 bytes"), "x:0!"},
  };
  for (const auto& [zip, expected] : cases)
    EXPECT_EQ(Walked(zip), expected) << &zip - &cases[0].first;
}

// Attributes come from the central records, in archive order; a damaged directory gives zeros
// from the first bad record on, or nothing without an end record in the last 22 bytes.
TEST(CentralDirectory, AttributesOfEveryEntry) {
  std::vector<ArchiveEntry> entries;
  for (uint32_t i = 0; i < 300; ++i)
    entries.push_back({.name = "f" + std::to_string(i), .externalAttributes = i + 1});
  entries[7].extra = {1, 2, 3, 4};  // record lengths include the extra field
  const BuiltZip three = BuildZip({entries.begin(), entries.begin() + 3});
  Data badThird = three.bytes, farOffset = three.bytes;
  PutU32(badThird, three.centralDirectoryOffset + 2 * (46 + 2), 0x12345678);
  PutU32(farOffset, farOffset.size() - 6, 0xFFFFFFF0u);
  std::vector<uint32_t> all(300);
  std::iota(all.begin(), all.end(), 1);
  const std::pair<Data, std::vector<uint32_t>> cases[] = {
      {BuildZip(entries).bytes, all},
      {badThird, {1, 2, 0}},
      {farOffset, {0, 0, 0}},
      {BuildZip({entries.begin(), entries.begin() + 3}, {.comment = "a comment"}).bytes, {}},
  };
  for (const auto& [zip, expected] : cases) {
    SelfExtractor file(zip);
    CollectEntryAttributes(uint32_t(expected.empty() ? 3 : expected.size()));
    std::vector<uint32_t> attributes;
    for (uint32_t i = 0; i < EntryAttributes.size(); ++i) attributes.push_back(EntryAttributes[i]);
    EXPECT_EQ(attributes, expected) << &zip - &cases[0].first;
  }
}

void PutU64(Data& to, size_t at, uint64_t value) {
  PutU32(to, at, uint32_t(value));
  PutU32(to, at + 4, uint32_t(value >> 32));
}

// What the central directory says: the number of entries the end record lists, then of
// `count` entries the attributes, compressed size and "@k" when the local header offset, the
// bias applied, is the file offset of entry k's header; "-" for an entry it does not give, "#"
// when it is damaged.
std::string Listed(const BuiltZip& zip, uint32_t count = 2) {
  if (!CollectEntryAttributes(count)) return "#";
  std::string seen = std::to_string(ListedEntryCount) + ": ";
  for (uint32_t i = 0; i < EntryFacts.size(); ++i) {
    const CentralEntryFacts& f = EntryFacts[i];
    const auto& offsets = zip.localHeaderOffsets;
    const auto k = std::find(offsets.begin(), offsets.end(), f.LocalHeaderOffset - kZipStart);
    seen += !f.Present
                ? "- "
                : std::to_string(EntryAttributes[i]) + "/" + std::to_string(f.CompressedSize) +
                      "@" + (k == offsets.end() ? "?" : std::to_string(k - offsets.begin())) + " ";
  }
  return seen;
}

// Zip64 sizes from local and central records, and the Zip64 end records, with offsets counted
// from the ZIP data or from the file's start; a streamed Zip64 entry's data descriptor holds
// 8-byte sizes. A Zip64 field that is missing, too short, contradicts the 32-bit record or
// points beyond the data, and end records that cannot be where they say, are damage: "#" in
// the walk (local fields, or the central directory read early for a streamed entry) or in the
// directory. 64-bit values near 2^64 never wrap into something plausible.
TEST(Zip64, SizesOffsetsAndCountsFromEveryRecord) {
  const ArchiveEntry a{
      .name = "a", .data = Data(3000, 'a'), .externalAttributes = 1, .zip64 = true},
      b{.name = "b", .data = {'b'}, .externalAttributes = 2};
  ArchiveEntry streamed = a, bare = a;  // bare: a descriptor without its signature
  streamed.dataDescriptor = streamed.zeroSizesInLocalHeader = true;
  bare.dataDescriptor = true;
  bare.descriptorSignature = false;
  const BuiltZip z = BuildZip({a, b}, {.zip64EndRecords = true});
  const size_t local = 30 + 1, central = z.centralDirectoryOffset + 46 + 1,
               end64 = z.zip64EndRecordOffset, end = z.endRecordOffset;
  auto changed = [](BuiltZip zip, size_t at, uint64_t value, int width = 8) {
    if (width == 8) PutU64(zip.bytes, at, value);
    if (width == 4) PutU32(zip.bytes, at, uint32_t(value));
    if (width == 2) PutU16(zip.bytes, at, uint16_t(value));
    return zip;
  };
  const BuiltZip s = BuildZip({streamed, b}, {.zip64EndRecords = true});
  const size_t centralB = z.centralDirectoryOffset + 46 + 1 + 4 + 24;
  const struct {
    BuiltZip zip;
    std::string walked = "a:3000 b:1 ";
    std::string listed = "2: 1/3000@0 2/1@1 ";
  } cases[] = {
      {.zip = z},
      {.zip = BuildZip({a, b}, {.zip64EndRecords = true, .offsetBias = kZipStart})},
      {.zip = BuildZip({a, b}, {.offsetBias = kZipStart})},
      {.zip = s},
      {.zip = changed(changed(s, 18, 0, 4), 22, 0, 4)},  // the Zip64 field with 32-bit zeros
      {.zip = BuildZip({bare, b})},
      {.zip = changed(z, local, 0x0099, 2), .walked = "#"},  // the local field is missing
      {.zip = changed(z, local + 2, 8, 2), .walked = "#"},   // and too short for both sizes
      {.zip = changed(z, local + 12, 1ull << 40), .walked = "#"},
      {.zip = changed(z, local + 12, ~0ull), .walked = "#"},
      {.zip = changed(z, central, 0x0099, 2), .listed = "#"},
      {.zip = changed(z, central + 12, 1ull << 40), .listed = "#"},
      {.zip = changed(z, central + 20, z.centralDirectoryOffset), .listed = "#"},
      {.zip = changed(z, end64 + 56 + 8, 12345), .listed = "#"},  // the locator points anywhere
      {.zip = changed(z, end64 + 56 + 8, ~0ull), .listed = "#"},
      {.zip = changed(z, end64 + 4, 45), .listed = "#"},  // the record does not end at the locator
      {.zip = changed(z, end64 + 32, ~0ull), .listed = "#"},  // more entries than bytes
      {.zip = changed(z, end + 10, 1, 2), .listed = "#"},     // the 32-bit count contradicts
      {.zip = changed(z, end + 12, 5, 4), .listed = "#"},     // and the size
      {.zip = changed(z, end + 16, 5, 4), .listed = "#"},     // and the offset
      {.zip = changed(z, end64 + 40, ~0ull), .listed = "#"},
      {.zip = changed(z, end64 + 48, z.centralDirectoryOffset + 1), .listed = "#"},
      {.zip = changed(BuildZip({a, b}), BuildZip({a, b}).endRecordOffset + 16, ~0u, 4),
       .listed = "#"},  // the 32-bit end record defers to Zip64 records that are not there
      {.zip = changed(s, s.zip64EndRecordOffset + 56 + 8, 7), .walked = "#", .listed = "#"},
      {.zip = changed(z, end64 + 32, 3), .listed = "#"},  // more entries than 46 bytes each
      {.zip = changed(z, centralB + 32, 100, 2), .listed = "2: 1/3000@0 - "},  // b runs past
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    SelfExtractor file(c.zip.bytes);
    EXPECT_EQ(Walk(), c.walked);
    EXPECT_EQ(Listed(c.zip), c.listed);
  }
}

// A signed program's certificate table lies behind the ZIP data: the end record is looked for
// before it, behind up to 7 zero bytes of alignment, and an end record or central directory
// inside the table is never read, even one whose offsets fit. A directory entry that does not
// place the table behind the image, in the file, places nothing.
TEST(CertificateTable, EndsTheZipData) {
  const Data zip =
      BuildZip({{.name = "a", .externalAttributes = 1}, {.name = "b", .externalAttributes = 2}})
          .bytes;
  enum Table { Behind, None, Empty, InImage, BeyondFile, FourDirectories };
  const struct {
    Table table;
    PeFormat format = PeFormat::Pe32;
    size_t padding = 0;
    uint8_t padByte = 0;
    std::string attributes = "1 2 ";
  } cases[] = {
      {.table = Behind},
      {.table = Behind, .format = PeFormat::Pe32Plus, .padding = 7},
      {.table = Behind, .padding = 3, .padByte = 1, .attributes = ""},
      {.table = None, .attributes = "7 0 "},
      {.table = Empty, .attributes = "7 0 "},
      {.table = InImage, .attributes = "7 0 "},
      {.table = BeyondFile, .attributes = "7 0 "},
      {.table = FourDirectories, .attributes = "7 0 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Data program = BuildPeImage({{0x400, 0x600}}, c.format);
    Append(program, BuildOptionBlock(0, {}, {}, {}));
    Append(program, zip);
    program.resize(program.size() + c.padding, c.padByte);
    // The table holds a ZIP whose offsets are right for where it lies.
    const uint32_t tableAt = uint32_t(program.size());
    Append(program, BuildZip({{.name = "fake", .externalAttributes = 7}},
                             {.offsetBias = tableAt - kZipStart})
                        .bytes);
    const uint32_t tableSize = uint32_t(program.size()) - tableAt;
    if (c.table == Behind) SetCertificateTable(program, tableAt, tableSize);
    if (c.table == Empty) SetCertificateTable(program, tableAt, 0);
    if (c.table == InImage) SetCertificateTable(program, 0x100, tableSize);
    if (c.table == BeyondFile) SetCertificateTable(program, uint32_t(program.size()) + 8, 8);
    if (c.table == FourDirectories) {
      SetCertificateTable(program, tableAt, tableSize);
      PutU32(program, kDefaultPeOffset + 24 + 92, 4);
    }
    ProgramFile file(program);
    ReadOptionBlock();
    CollectEntryAttributes(2);
    std::string attributes;
    for (uint32_t i = 0; i < EntryAttributes.size(); ++i)
      attributes += std::to_string(EntryAttributes[i]) + " ";
    EXPECT_EQ(attributes, c.attributes);
  }
}

}  // namespace

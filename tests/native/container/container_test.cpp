// The program file before any data is decoded: the image end behind the PE sections, the option
// block there, the walk over the local headers in the shapes real archives have, and the
// attributes from the central directory.
#include <gtest/gtest.h>
#include <unistd.h>

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

TEST(RewindToArchive, ReachesTheArchiveOrSaysItCannot) {
  {
    ProgramFile file(BuildPeImage({{0x400, 0x200}}));
    ExtractorOptions.ArchiveOffset = 0x500;
    EXPECT_TRUE(RewindToArchive());
    EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), 0x500);
    EXPECT_TRUE(shownMessages.empty());
  }
  EXPECT_FALSE(RewindToArchive());  // no file at all: every seek is refused
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

// The entries the walk reaches, each as "name:size" with its complete uncompressed size
// (streamed entries take theirs from the central directory), "!" for an entry whose data
// cannot be found.
std::string Walked(const Data& zip) {
  SelfExtractor file(zip);
  std::string seen;
  BeginEntryWalk();
  WalkedEntry entry;
  for (EntryFound found; (found = NextEntry(&entry)) != EntryFound::No; SkipEntry(entry)) {
    seen += std::string(entry.Name.c_str()) + ":" + std::to_string(LocalHeader.UncompressedSize);
    if (found == EntryFound::Unreachable) return seen + "!";
    seen += " ";
  }
  return seen;
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
      {BuildZip({x, y}, {.leadingSpanMarker = true}).bytes, "x:5000 y:2 "},
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

}  // namespace

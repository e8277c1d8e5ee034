#include "unpacker/container/zip_records.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/entry_walk.h"
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

// The entries the walk reaches in shapes that real archives have, each as "name:size" with its
// complete uncompressed size (streamed entries take theirs from the central directory), "!"
// for an entry whose data cannot be found.
std::string Walked(const std::vector<uint8_t>& zip) {
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
  ArchiveEntry x = Entry("x", std::string(5000, 'x')), y = Entry("y", "22");
  x.method = 8;
  y.extra = {0x55, 0x54, 0x05, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44};
  const std::vector<uint8_t> two = BuildZip({x, y}).bytes;
  std::vector<uint8_t> manyMarkers;
  for (int i = 0; i < 100000; ++i) Append(manyMarkers, {0x50, 0x4B, 0x07, 0x08});
  Append(manyMarkers, two);
  std::vector<uint8_t> oldSignature = two;
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
  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {two, "x:5000 y:2 "},
      {BuildZip({x, y}, {.leadingSpanMarker = true}).bytes, "x:5000 y:2 "},
      {manyMarkers, "x:5000 y:2 "},
      {oldSignature, "x:5000 y:2 "},
      {{two.begin(), two.begin() + 20}, ""},
      {Bytes("this is not a zip file at all, not even close"), ""},
      {{}, ""},
      {streamed(true, true, false, ""), "x:5000 y:2 "},
      {streamed(true, false, false, ""), "x:5000 y:2 "},
      {streamed(true, true, true, ""), "x:5000 y:2 "},
      {streamed(true, false, true, ""), "x:5000 y:2 "},
      {streamed(false, false, false, ""), "x:5000 y:2 "},  // bit 3 without a descriptor
      {streamed(true, true, true, "no end record in the last 22 bytes"), "x:0!"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(Walked(cases[i].first), cases[i].second) << "row " << i;
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

}  // namespace

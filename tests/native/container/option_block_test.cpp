#include "unpacker/container/option_block.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "unpacker/container/archive_access.h"

using namespace testing_support;

namespace {

// The image end is the end of the raw data of the section that lies last in the file (by its
// raw pointer), not the largest end of any section; the section table is found behind the
// optional header of either size (x86 and x64 stubs).
TEST(FindImageEnd, EndOfTheSectionThatLiesLast) {
  const std::tuple<const char*, std::vector<PeSection>, uint64_t> cases[] = {
      {"EarlierSectionReachesFurther", {{0x400, 0x5000}, {0x600, 0x200}}, 0x800},
      {"LastInTableIsNotLastInFile", {{0x800, 0x100}, {0x400, 0x200}}, 0x900},
      {"EqualLargestPointerFirstDecides", {{0x400, 0x200}, {0x600, 0x100}, {0x600, 0x300}}, 0x700},
      {"RawPointerZeroIgnored", {{0, 0x9000}, {0x400, 0x200}}, 0x600},
      {"NoSections", {}, 0},
  };
  for (const PeFormat format : {PeFormat::Pe32, PeFormat::Pe32Plus}) {
    for (const auto& [name, sections, expected] : cases) {
      ProgramFile file(BuildPeImage(sections, format));
      ArchiveFileSeek(ArchiveHandle, 17, SeekFromBegin);
      EXPECT_EQ(FindImageEnd(ArchiveHandle), expected) << name << " " << int(format);
      EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), 17) << "position restored";
    }
  }
}

// Hostile headers give 0 or a bounded result, never a read out of bounds or a long loop.
TEST(FindImageEnd, MalformedHeadersGiveZeroOrABoundedEnd) {
  const std::vector<uint8_t> good = BuildPeImage({{0x400, 0x200}});
  const struct {
    const char* name;
    size_t at;  // where a 32-bit value goes, if anywhere
    uint32_t value;
    size_t cutAt = SIZE_MAX;
  } cases[] = {
      {"no MZ", 0, 0x5A5A5A5A},
      {"no PE signature", kDefaultPeOffset, 0x58585858},
      {"PE offset past the end", 60, uint32_t(good.size()) + 1000},
      {"PE offset near 4 GiB", 60, 0xFFFFFFF0u},
      {"end beyond 4 GiB", kDefaultPeOffset + 248 + 16, 0xFFFFFF00u},
      {"headers cut short", SIZE_MAX, 0, kDefaultPeOffset + 100},
      {"optional header past the end", kOptionalHeaderSizeAt, 0xFFFF},
      {"MZ only", SIZE_MAX, 0, 2},
      {"empty file", SIZE_MAX, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    if (c.at != SIZE_MAX) PutU32(bytes, c.at, c.value);
    bytes.resize(std::min(c.cutAt, bytes.size()));
    ProgramFile file(bytes);
    EXPECT_EQ(FindImageEnd(ArchiveHandle), 0u) << c.name;
  }
  std::vector<uint8_t> image = BuildPeImage({{0x400, 0x200}, {0x600, 0x80}});
  PutU16(image, kDefaultPeOffset + 6, 0xFFFF);    // 65535 sections claimed, 2 present
  image.resize(kDefaultPeOffset + 248 + 2 * 40);  // the table ends the file
  ProgramFile file(image);
  EXPECT_EQ(FindImageEnd(ArchiveHandle), 0x680u);
}

// What ReadOptionBlock makes of the bytes at the image end (or at 0 without PE headers).
TEST(ReadOptionBlock, FillsExtractorOptions) {
  const std::string k249(249, 'x');  // the longest caption beside the block's 7-byte head
  const struct {
    const char* name;
    std::vector<uint8_t> appended;
    bool hasBlock = false, overwrite = false, autoExtract = false, waitDelete = false;
    std::string caption = "", folder = "", command = "";
    bool pe = true;
  } cases[] = {
      {.name = "AllFlags",
       .appended = BuildOptionBlock(0xC8, {}, {}, {}),
       .hasBlock = true,
       .overwrite = true,
       .autoExtract = true,
       .waitDelete = true},
      {.name = "IgnoredBitsOnly", .appended = BuildOptionBlock(0x37, {}, {}, {}), .hasBlock = true},
      {.name = "AllTexts",
       .appended = BuildOptionBlock(0x40, Bytes("\xC7\xD1\xB1\xDB setup"), Bytes("{temp}\\x"),
                                    Bytes("setup.exe|/S ><")),
       .hasBlock = true,
       .autoExtract = true,
       .caption = "\xC7\xD1\xB1\xDB setup",
       .folder = "{temp}\\x",
       .command = "setup.exe|/S ><"},
      {.name = "LongestText",
       .appended = BuildOptionBlock(0, Bytes(k249.c_str()), {}, {}),
       .hasBlock = true,
       .caption = k249},
      {.name = "BlockCutShortReadsAsZeros", .appended = Bytes("MPU"), .hasBlock = true},
      {.name = "LowerCaseMagic", .appended = Bytes("mpu\x48\x01\x00\x00x")},
      {.name = "NothingAppended"},
      {.name = "NoPeHeaders",
       .appended = BuildOptionBlock(0x08, Bytes("cap"), {}, {}),
       .hasBlock = true,
       .overwrite = true,
       .caption = "cap",
       .pe = false},
  };
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> program = c.pe ? BuildPeImage({{0x400, 0x200}}) : std::vector<uint8_t>{};
    const uint64_t imageEnd = program.size();
    Append(program, c.appended);
    ProgramFile file(program);
    ReadOptionBlock();
    const ExtractorOptionsRecord& o = ExtractorOptions;
    EXPECT_EQ(o.ArchiveOffset, imageEnd + (c.hasBlock ? 256 : 0));
    EXPECT_EQ(std::tuple(o.OverwriteByDefault, o.AutoExtract, o.WaitThenDelete, o.HasCaption,
                         o.HasDefaultFolder, o.HasRunCommand),
              std::tuple(c.overwrite, c.autoExtract, c.waitDelete, !c.caption.empty(),
                         !c.folder.empty(), !c.command.empty()));
    EXPECT_EQ(std::tuple(std::string(o.Caption), std::string(o.RunCommand),
                         std::string(o.StartDirectory)),
              std::tuple(c.caption, c.command, c.hasBlock ? cwd : ""));
    if (o.HasDefaultFolder) EXPECT_EQ(std::string(o.DefaultFolder), c.folder);
  }
}

TEST(RewindToArchive, ReachesTheArchiveOrSaysItCannot) {
  {
    ProgramFile file(BuildPeImage({{0x400, 0x200}}));
    ExtractorOptions.ArchiveOffset = 0x500;
    EXPECT_TRUE(RewindToArchive());
    EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), 0x500);
    EXPECT_TRUE(shownMessages.empty());
  }
  ResetCoreState();  // no file at all: every seek is refused
  EXPECT_FALSE(RewindToArchive());
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0].text, "압축 파일을 읽을 수 없습니다.");
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::Error);
}

}  // namespace

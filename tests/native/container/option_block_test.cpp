#include "unpacker/container/option_block.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "unpacker/container/archive_access.h"

using namespace testing_support;

namespace {

std::string Cwd() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

// The image end is the end of the raw data of the section that lies last in the file (by its
// raw pointer), not the largest end of any section.
struct ImageEndCase {
  const char* name;
  std::vector<SectionSpec> sections;
  uint64_t expected;
  friend void PrintTo(const ImageEndCase& c, std::ostream* os) { *os << c.name; }
};

class ImageEndTest : public ::testing::TestWithParam<ImageEndCase> {};

TEST_P(ImageEndTest, EndOfTheSectionThatLiesLast) {
  ProgramFile file(BuildPeImage(GetParam().sections));
  ArchiveFileSeek(ArchiveHandle, 17, SeekFromBegin);
  EXPECT_EQ(FindImageEnd(ArchiveHandle), GetParam().expected);
  EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), 17) << "position restored";
}

INSTANTIATE_TEST_SUITE_P(
    Sections, ImageEndTest,
    ::testing::Values(
        ImageEndCase{"Ascending", {{0x400, 0x200}, {0x600, 0x1000}}, 0x1600},
        ImageEndCase{"EarlierSectionReachesFurther", {{0x400, 0x5000}, {0x600, 0x200}}, 0x800},
        ImageEndCase{"LastInTableIsNotLastInFile", {{0x800, 0x100}, {0x400, 0x200}}, 0x900},
        ImageEndCase{"EqualLargestPointerFirstDecides",
                     {{0x400, 0x200}, {0x600, 0x100}, {0x600, 0x300}},
                     0x700},
        ImageEndCase{"RawPointerZeroIgnored", {{0, 0x9000}, {0x400, 0x200}}, 0x600},
        ImageEndCase{"NoRawData", {{0, 0x200}}, 0}, ImageEndCase{"NoSections", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Hostile headers give 0 or a bounded result, never a read out of bounds or a long loop.
TEST(ImageEndMalformed, BadHeadersGiveZero) {
  std::vector<uint8_t> good = BuildPeImage({{0x400, 0x200}});

  std::vector<uint8_t> noMz = good;
  noMz[0] = 'Z';
  std::vector<uint8_t> noPe = good;
  noPe[kDefaultPeOffset] = 'X';
  std::vector<uint8_t> peOffsetPastEnd = good;
  PutU32(peOffsetPastEnd, 60, uint32_t(good.size()) + 1000);
  std::vector<uint8_t> peOffsetHuge = good;
  PutU32(peOffsetHuge, 60, 0xFFFFFFF0u);
  std::vector<uint8_t> overflow = BuildPeImage({{0x400, 0x200}});
  PutU32(overflow, kDefaultPeOffset + 248 + 16, 0xFFFFFF00u);  // raw size: end beyond 4 GiB
  std::vector<uint8_t> truncatedHeaders(good.begin(), good.begin() + kDefaultPeOffset + 100);

  for (const auto& [name, bytes] : std::vector<std::pair<const char*, std::vector<uint8_t>>>{
           {"no MZ", noMz},
           {"no PE signature", noPe},
           {"PE offset past the end", peOffsetPastEnd},
           {"PE offset near 4 GiB", peOffsetHuge},
           {"end beyond 4 GiB", overflow},
           {"headers cut short", truncatedHeaders},
           {"empty file", {}},
           {"MZ only", Bytes("MZ")}}) {
    ProgramFile file(bytes);
    EXPECT_EQ(FindImageEnd(ArchiveHandle), 0u) << name;
  }
}

TEST(ImageEndMalformed, SectionCountBeyondTheFileIsBounded) {
  std::vector<uint8_t> image = BuildPeImage({{0x400, 0x200}, {0x600, 0x80}});
  PutU16(image, kDefaultPeOffset + 6, 0xFFFF);    // 65535 sections claimed, 2 present
  image.resize(kDefaultPeOffset + 248 + 2 * 40);  // the table ends the file
  ProgramFile file(image);
  EXPECT_EQ(FindImageEnd(ArchiveHandle), 0x680u);
}

// What ReadOptionBlock makes of the bytes at the image end.
struct OptionBlockCase {
  const char* name;
  std::vector<uint8_t> appended;
  bool hasBlock = false;
  bool overwrite = false, autoExtract = false, waitDelete = false;
  std::string caption = "", folder = "", command = "";
  friend void PrintTo(const OptionBlockCase& c, std::ostream* os) { *os << c.name; }
};

class OptionBlockTest : public ::testing::TestWithParam<OptionBlockCase> {};

TEST_P(OptionBlockTest, FillsExtractorOptions) {
  const OptionBlockCase& c = GetParam();
  std::vector<uint8_t> program = BuildPeImage({{0x400, 0x200}});
  const uint64_t imageEnd = program.size();
  Append(program, c.appended);
  Append(program, Bytes("PK\x03\x04 and so on"));
  ProgramFile file(program);

  ReadOptionBlock();

  const ExtractorOptionsRecord& o = ExtractorOptions;
  EXPECT_EQ(o.ArchiveOffset, imageEnd + (c.hasBlock ? 256 : 0));
  EXPECT_EQ(o.OverwriteByDefault, c.overwrite);
  EXPECT_EQ(o.AutoExtract, c.autoExtract);
  EXPECT_EQ(o.WaitThenDelete, c.waitDelete);
  EXPECT_EQ(o.HasCaption, !c.caption.empty());
  EXPECT_EQ(o.HasDefaultFolder, !c.folder.empty());
  EXPECT_EQ(o.HasRunCommand, !c.command.empty());
  EXPECT_EQ(std::string(o.Caption), c.caption);
  if (o.HasDefaultFolder) EXPECT_EQ(std::string(o.DefaultFolder), c.folder);
  EXPECT_EQ(std::string(o.RunCommand), c.command);
  EXPECT_EQ(std::string(o.StartDirectory), c.hasBlock ? Cwd() : "");
}

// The longest caption that fits the block beside the 7 bytes of its head.
const std::string k249(249, 'x');

INSTANTIATE_TEST_SUITE_P(
    Blocks, OptionBlockTest,
    ::testing::Values(
        OptionBlockCase{"AllFlags", BuildOptionBlock(0xC8, {}, {}, {}), true, true, true, true},
        OptionBlockCase{"IgnoredBitsOnly", BuildOptionBlock(0x37, {}, {}, {}), true},
        OptionBlockCase{"OnlyFolder", BuildOptionBlock(0, {}, Bytes("C:\\go"), {}), true, false,
                        false, false, "", "C:\\go", ""},
        OptionBlockCase{"AllTexts",
                        BuildOptionBlock(0x40, Bytes("\xC7\xD1\xB1\xDB setup"), Bytes("{temp}\\x"),
                                         Bytes("setup.exe|/S ><")),
                        true, false, true, false, "\xC7\xD1\xB1\xDB setup", "{temp}\\x",
                        "setup.exe|/S ><"},
        OptionBlockCase{"LongestText", BuildOptionBlock(0, Bytes(k249.c_str()), {}, {}), true,
                        false, false, false, k249},
        OptionBlockCase{"LowerCaseMagic", Bytes("mpu\x48\x01\x00\x00x"), false},
        OptionBlockCase{"TwoLettersOfMagic", Bytes("MP"), false},
        OptionBlockCase{"NothingAppended", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionBlock, NoPeHeadersLooksForTheBlockAtOffsetZero) {
  std::vector<uint8_t> program = BuildOptionBlock(0x08, Bytes("cap"), {}, {});
  ProgramFile file(program);
  ReadOptionBlock();
  EXPECT_EQ(ExtractorOptions.ArchiveOffset, 256u);
  EXPECT_TRUE(ExtractorOptions.OverwriteByDefault);
  EXPECT_STREQ(ExtractorOptions.Caption, "cap");
}

TEST(OptionBlock, BlockCutShortReadsAsZeros) {
  std::vector<uint8_t> program = BuildPeImage({{0x400, 0x200}});
  Append(program, Bytes("MPU"));
  ProgramFile file(program);
  ReadOptionBlock();
  EXPECT_EQ(ExtractorOptions.ArchiveOffset, program.size() + 256 - 3);
  EXPECT_FALSE(ExtractorOptions.AutoExtract);
  EXPECT_FALSE(ExtractorOptions.HasCaption);
  EXPECT_STREQ(ExtractorOptions.Caption, "");
}

TEST(RewindToArchive, ReachesTheArchiveWithoutAMessage) {
  ProgramFile file(BuildPeImage({{0x400, 0x200}}));
  ExtractorOptions.ArchiveOffset = 0x500;
  EXPECT_TRUE(RewindToArchive());
  EXPECT_EQ(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent), 0x500);
  EXPECT_TRUE(shownMessages.empty());
}

TEST(RewindToArchive, UnreachableArchiveIsReported) {
  ProgramFile file({});
  ResetCoreState();  // no file at all: every seek is refused
  EXPECT_FALSE(RewindToArchive());
  ASSERT_EQ(shownMessages.size(), 1u);
  EXPECT_EQ(shownMessages[0].text, "압축 파일을 읽을 수 없습니다.");
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::Error);
}

}  // namespace

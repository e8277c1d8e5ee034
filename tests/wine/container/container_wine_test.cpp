// The container reader on Windows: real mingw-built executables, the Win32 file functions,
// and the Korean ANSI code page the programs are made for.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/zip_records.h"

using namespace testing_support;

namespace {

std::string TempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + name;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(h, nullptr));
  DWORD got = 0;
  ReadFile(h, bytes.data(), DWORD(bytes.size()), &got, nullptr);
  bytes.resize(got);
  CloseHandle(h);
  return bytes;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(h);
  ASSERT_EQ(written, bytes.size());
}

// Opens a file as the program file the core reads.
class ProgramFileOnDisk {
 public:
  explicit ProgramFileOnDisk(const std::string& path) {
    ResetCoreState();
    ArchiveHandle = OpenArchiveFile(path.c_str());
  }
  ~ProgramFileOnDisk() { ResetCoreState(); }
};

TEST(WineEnvironment, AnsiCodePageIsKorean) {
  EXPECT_EQ(GetACP(), 949u);
}

// This test program is a real mingw-built executable: its image, followed by an option block
// with Korean texts and a ZIP archive, is read as the stub reads itself.
TEST(ContainerOnWindows, ReadsTheBlockBehindARealExecutable) {
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  uint64_t imageEnd;
  {
    ProgramFileOnDisk program(self);
    ASSERT_NE(ArchiveHandle, nullptr);
    imageEnd = FindImageEnd(ArchiveHandle);
  }
  std::vector<uint8_t> image = ReadWholeFile(self);
  ASSERT_GT(imageEnd, 1024u);
  ASSERT_LE(imageEnd, image.size()) << "unstripped files carry symbols behind the image";
  image.resize(size_t(imageEnd));

  const std::vector<uint8_t> caption = Bytes("\xC7\xD1\xB1\xDB \xBC\xB3\xC4\xA1");  // 한글 설치
  Append(image,
         BuildOptionBlock(0xC8, caption, Bytes("{temp}\\\xBC\xB3\xC4\xA1"), Bytes("setup.exe|/S")));
  ZipEntrySpec a{.name = "a.txt", .data = Bytes("first"), .externalAttributes = 0x21};
  ZipEntrySpec b{.name = "sub\\b.bin",
                 .data = std::vector<uint8_t>(70000, 7),
                 .method = 8,
                 .externalAttributes = 0x22};
  Append(image, BuildZip({a, b}).bytes);
  const std::string path = TempPath("container_wine_test_sfx.exe");
  WriteWholeFile(path, image);

  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
  {
    ProgramFileOnDisk program(path);
    ASSERT_NE(ArchiveHandle, nullptr);
    ReadOptionBlock();
    EXPECT_EQ(ExtractorOptions.ArchiveOffset, imageEnd + 256);
    EXPECT_TRUE(ExtractorOptions.OverwriteByDefault && ExtractorOptions.AutoExtract &&
                ExtractorOptions.WaitThenDelete);
    EXPECT_EQ(std::string(ExtractorOptions.Caption), "\xC7\xD1\xB1\xDB \xBC\xB3\xC4\xA1");
    EXPECT_EQ(std::string(ExtractorOptions.DefaultFolder), "{temp}\\\xBC\xB3\xC4\xA1");
    EXPECT_EQ(std::string(ExtractorOptions.RunCommand), "setup.exe|/S");
    EXPECT_STREQ(ExtractorOptions.StartDirectory, "C:\\windows");

    ASSERT_TRUE(RewindToArchive());
    std::vector<std::string> names;
    while (ReadLocalHeader()) {
      const int64_t namePosition = LastSeekPosition + 30;
      names.emplace_back(LocalHeader.NameLength, '\0');
      uint32_t got;
      ReadArchive(names.back().data(), LocalHeader.NameLength, &got);
      SeekArchive(namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength +
                      LocalHeader.CompressedSize,
                  SeekFromBegin);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub\\b.bin"}));
    CollectEntryAttributes(2);
    ASSERT_EQ(EntryAttributes.size(), 2u);
    EXPECT_EQ(EntryAttributes[0], 0x21u);
    EXPECT_EQ(EntryAttributes[1], 0x22u);
  }
  DeleteFileA(path.c_str());
}

// Offsets beyond 2 GiB go through SetFilePointerEx with 64-bit positions.
TEST(ContainerOnWindows, PayloadBeyondTwoGigabytes) {
  const uint32_t imageEnd = 0x88000000u;
  std::vector<uint8_t> headers = BuildPeImage({{0x400, 0x200}});
  PutU32(headers, kDefaultPeOffset + 248 + 20, imageEnd - 0x1000);
  PutU32(headers, kDefaultPeOffset + 248 + 16, 0x1000);
  headers.resize(0x600);
  std::vector<uint8_t> tail = BuildOptionBlock(0, Bytes("far"), {}, {});
  ZipEntrySpec farEntry{.name = "far.txt", .data = Bytes("far away")};
  Append(tail, BuildZip({farEntry}).bytes);

  const std::string path = TempPath("container_wine_test_large.exe");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(h, headers.data(), DWORD(headers.size()), &written, nullptr);
  LARGE_INTEGER at;
  at.QuadPart = imageEnd;
  SetFilePointerEx(h, at, nullptr, FILE_BEGIN);  // the gap stays a hole in the Unix file
  WriteFile(h, tail.data(), DWORD(tail.size()), &written, nullptr);
  CloseHandle(h);
  {
    ProgramFileOnDisk program(path);
    ReadOptionBlock();
    EXPECT_EQ(ExtractorOptions.ArchiveOffset, uint64_t(imageEnd) + 256);
    ASSERT_TRUE(RewindToArchive());
    ASSERT_TRUE(ReadLocalHeader());
    EXPECT_EQ(LocalHeader.UncompressedSize, 8u);
    EXPECT_EQ(LastSeekPosition, int64_t(imageEnd) + 256);
  }
  DeleteFileA(path.c_str());
}

}  // namespace

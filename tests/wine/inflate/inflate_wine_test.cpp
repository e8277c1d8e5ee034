// The decoder as the stub runs it: 32-bit code (a 32-bit bit buffer), the Win32 file access
// and the Win32 OutputFile, writing real files with WriteFile.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/output_file.h"
#include "unpacker/inflate/win32/win32_output_file.h"
#include "unpacker/inflate/zip_crypto.h"

using namespace testing_support;

namespace {

std::string TempPath(const std::string& name) {
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
  if (!bytes.empty()) ReadFile(h, bytes.data(), DWORD(bytes.size()), &got, nullptr);
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

// Words, a copy of this program, runs and noise: real and synthetic data in one buffer.
std::vector<uint8_t> MixedData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"압축 ",  "파일 ",  "the ", "window ",  "of ",
                                       "32768 ", "bytes ", "\r\n", "deflate ", "stream "};
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::vector<uint8_t> program = ReadWholeFile(self);
  std::vector<uint8_t> out;
  uint32_t x = seed;
  while (out.size() < size) {
    x = x * 1103515245u + 12345u;
    const uint32_t kind = (x >> 16) % 4, n = 64 + (x >> 8) % 4000;
    for (uint32_t i = 0; i < n && out.size() < size; ++i) {
      x = x * 1103515245u + 12345u;
      if (kind == 0) {
        for (const char* w = kWords[(x >> 16) % 10]; *w; ++w) out.push_back(uint8_t(*w));
      } else if (kind == 1) {
        out.push_back(program[(seed * 7919 + out.size()) % program.size()]);
      } else {
        out.push_back(kind == 2 ? uint8_t('A' + i % 3) : uint8_t(x >> 16));
      }
    }
  }
  out.resize(size);
  return out;
}

struct Extracted {
  bool result;
  std::vector<uint8_t> file;
  uint32_t crc;
  uint64_t bytesDone;
};

// Decodes entry `index` of the ZIP at `zipPath` into the file `outPath`, opened with `access`.
Extracted ExtractEntry(const std::string& zipPath, const BuiltZip& zip, size_t index,
                       const std::string& outPath, const char* password,
                       DWORD access = GENERIC_WRITE) {
  ResetCoreState();
  BuildCrcTable();
  ArchiveHandle = OpenArchiveFile(zipPath.c_str());
  EXPECT_NE(ArchiveHandle, nullptr);
  SeekArchive(zip.localHeaderOffsets[index], SeekFromBegin);
  EXPECT_TRUE(ReadLocalHeader());
  SeekArchive(LastSeekPosition + 30 + LocalHeader.NameLength + LocalHeader.ExtraLength,
              SeekFromBegin);
  if (LocalHeader.Flags & kFlagEncrypted) {
    uint8_t block[24];
    uint32_t got;
    ReadArchive(block + 12, 12, &got);
    EntryRemaining -= 12;
    Password = ByteString(password);
    EXPECT_TRUE(CheckEncryptionHeader(block, 12, LocalHeader.Flags, Password,
                                      LocalHeader.DosDateTime, LocalHeader.Crc32));
  }
  HANDLE h = CreateFileA(outPath.c_str(), access, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  OutputFile file{h};
  OutputHandle = &file;
  RunningCrc = 0xFFFFFFFF;
  Extracted e;
  e.result = DecompressEntry();
  e.crc = RunningCrc ^ 0xFFFFFFFF;
  e.bytesDone = BytesDone;
  CloseHandle(h);
  e.file = ReadWholeFile(outPath);
  DeleteFileA(outPath.c_str());
  ResetCoreState();
  return e;
}

// Deflated at several levels, stored, encrypted: each entry's file holds exactly its data.
TEST(InflateOnWindows, EntriesDecodeIntoRealFiles) {
  std::vector<ZipEntrySpec> entries;
  const int levels[] = {1, 6, 9, 0};
  for (int i = 0; i < 4; ++i) {
    ZipEntrySpec e;
    e.name = "entry" + std::to_string(i);
    e.data = MixedData(150000 + 7919 * i, uint32_t(i + 1));
    e.method = levels[i] ? 8 : 0;
    e.level = levels[i];
    entries.push_back(e);
  }
  entries.push_back(entries[1]);
  entries.back().name = "encrypted";
  entries.back().password = "\xBA\xF1\xB9\xD0";  // 비밀 in code page 949
  entries.push_back(entries[3]);
  entries.back().name = "encrypted stored";
  entries.back().password = "pw";
  const BuiltZip zip = BuildZip(entries);
  const std::string zipPath = TempPath("inflate_wine_test.zip");
  WriteWholeFile(zipPath, zip.bytes);
  for (size_t i = 0; i < entries.size(); ++i) {
    const Extracted e = ExtractEntry(zipPath, zip, i, TempPath("inflate_wine_out.bin"),
                                     entries[i].password.c_str());
    EXPECT_TRUE(e.result) << i;
    EXPECT_TRUE(e.file == entries[i].data) << i;
    EXPECT_EQ(e.crc, ZlibCrc32(entries[i].data)) << i;
    EXPECT_EQ(e.bytesDone, entries[i].data.size()) << i;
  }
  DeleteFileA(zipPath.c_str());
}

// A handle the write fails on (opened for reading only): nothing reaches the file, and the
// CRC-32 and progress count nothing, so the entry fails its check.
TEST(InflateOnWindows, FailingWritesAreNotCounted) {
  ZipEntrySpec deflated{.name = "d", .data = MixedData(100000, 9), .method = 8};
  ZipEntrySpec stored{.name = "s", .data = MixedData(50000, 3), .method = 0};
  const BuiltZip zip = BuildZip({deflated, stored});
  const std::string zipPath = TempPath("inflate_wine_test_ro.zip");
  WriteWholeFile(zipPath, zip.bytes);
  for (size_t i = 0; i < 2; ++i) {
    const Extracted e =
        ExtractEntry(zipPath, zip, i, TempPath("inflate_wine_ro.bin"), "", GENERIC_READ);
    EXPECT_TRUE(e.result);
    EXPECT_TRUE(e.file.empty());
    EXPECT_EQ(e.crc, 0u) << "RunningCrc stayed 0xFFFFFFFF";
    EXPECT_EQ(e.bytesDone, 0u);
  }
  DeleteFileA(zipPath.c_str());

  const std::string path = TempPath("inflate_wine_ro2.bin");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  OutputFile readOnly{h};
  EXPECT_EQ(WriteOutputFile(&readOnly, "abc", 3), 0u);
  CloseHandle(h);
  DeleteFileA(path.c_str());
}

}  // namespace

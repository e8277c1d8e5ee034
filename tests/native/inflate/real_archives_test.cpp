// Archives made by real tools, with and without the traditional encryption, decode byte for
// byte: Info-ZIP's zip (which sets flag bit 3 on encrypted entries, so their check byte comes
// from the time) and 7-Zip (its own deflate encoder, and ZipCrypto).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/core_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/little_endian.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/zip_crypto.h"

using namespace inflate_testing;
namespace fs = std::filesystem;

namespace {

struct CentralEntry {
  std::string name;
  uint32_t crc, compressed, localOffset;
};

// The central directory, found through the end record in the last 22 bytes.
std::vector<CentralEntry> CentralDirectory(const std::vector<uint8_t>& zip) {
  std::vector<CentralEntry> entries;
  const uint8_t* end = zip.data() + zip.size() - 22;
  if (zip.size() < 22 || LoadU32(end) != 0x06054B50) return entries;
  for (uint32_t at = LoadU32(end + 16); LoadU32(&zip[at]) == 0x02014B50;) {
    const uint8_t* r = &zip[at];
    const uint16_t n = LoadU16(r + 28);
    entries.push_back({std::string(reinterpret_cast<const char*>(r + 46), n), LoadU32(r + 16),
                       LoadU32(r + 20), LoadU32(r + 42)});
    at += 46 + n + LoadU16(r + 30) + LoadU16(r + 32);
  }
  return entries;
}

struct ToolCase {
  const char* name;
  const char* command;  // run in the folder of the files; writes ../out.zip
  const char* password;
  friend void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.name; }
};

class RealArchive : public ::testing::TestWithParam<ToolCase> {};

TEST_P(RealArchive, EveryEntryDecodesByteForByte) {
  const ToolCase& c = GetParam();
  const fs::path dir =
      fs::temp_directory_path() / ("real_archives_test_" + std::to_string(getpid()) + "_" + c.name);
  fs::remove_all(dir);
  fs::create_directories(dir / "in");
  const std::map<std::string, std::vector<uint8_t>> files = {
      {"text.txt", TextData(150000)},
      {"binary.bin", BinaryData(300000)},
      {"random.bin", RandomData(50000, 1)},  // kept stored by both tools
      {"runs.dat", RunData(90000, 2)},
      {"small.txt", {'h', 'i', '\n'}},
      {"empty.txt", {}}};
  for (const auto& [name, bytes] : files)
    std::ofstream(dir / "in" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  const std::string command =
      "cd '" + (dir / "in").string() + "' && " + c.command + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(dir / "out.zip", std::ios::binary);
  const std::vector<uint8_t> zip((std::istreambuf_iterator<char>(in)), {});
  fs::remove_all(dir);

  const std::vector<CentralEntry> entries = CentralDirectory(zip);
  ASSERT_EQ(entries.size(), files.size());
  testing_support::ProgramFile file(zip);
  BuildCrcTable();
  int methods[9] = {};
  for (const CentralEntry& e : entries) {
    SCOPED_TRACE(e.name);
    SeekArchive(e.localOffset, SeekFromBegin);
    ASSERT_TRUE(ReadLocalHeader());
    SeekArchive(e.localOffset + 30 + LocalHeader.NameLength + LocalHeader.ExtraLength,
                SeekFromBegin);
    EntryRemaining = e.compressed;
    const bool encrypted = LocalHeader.Flags & 1;
    if (!files.at(e.name).empty()) EXPECT_EQ(encrypted, *c.password != 0);
    if (encrypted) {
      uint8_t block[24];
      uint32_t got;
      ReadArchive(block + 12, 12, &got);
      EntryRemaining -= 12;
      Password = ByteString(c.password);
      ASSERT_TRUE(CheckEncryptionHeader(block, 12, LocalHeader.Flags, Password,
                                        LocalHeader.DosDateTime, e.crc));
    }
    ++methods[LocalHeader.Method % 9];
    Sink sink;
    OutputHandle = &sink.file;
    RunningCrc = 0xFFFFFFFF;
    ASSERT_TRUE(DecompressEntry());
    EXPECT_TRUE(sink.bytes == files.at(e.name));
    EXPECT_EQ(RunningCrc ^ 0xFFFFFFFF, e.crc);
  }
  EXPECT_GT(methods[8], 2) << "deflated entries";
  EXPECT_GT(methods[0], 0) << "stored entries";
}

INSTANTIATE_TEST_SUITE_P(
    Tools, RealArchive,
    ::testing::Values(
        ToolCase{"InfoZip", "zip -q -9 ../out.zip *", ""},
        ToolCase{"InfoZipEncrypted", "zip -q -P 'pass word' ../out.zip *", "pass word"},
        ToolCase{"SevenZip", "7z a -tzip -mx=9 ../out.zip *", ""},
        ToolCase{"SevenZipCrypto", "7z a -tzip -mem=ZipCrypto '-pp@ss' ../out.zip *", "p@ss"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

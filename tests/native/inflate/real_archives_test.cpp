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
#include "unpacker/container/archive_access.h"
#include "unpacker/container/little_endian.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"

using namespace inflate_testing;
namespace fs = std::filesystem;

namespace {

TEST(RealArchive, EveryEntryDecodesByteForByte) {
  const std::map<std::string, std::vector<uint8_t>> files = {
      {"text.txt", TextData(150000)},
      {"binary.bin", BinaryData(300000)},
      {"random.bin", RandomData(50000, 1)},  // kept stored by both tools
      {"small.txt", {'h', 'i', '\n'}},
      {"empty.txt", {}}};
  const fs::path dir = fs::temp_directory_path() / ("real_archives_" + std::to_string(getpid()));
  fs::create_directories(dir / "in");
  for (const auto& [name, bytes] : files)
    std::ofstream(dir / "in" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  for (const auto& [command, password] :
       {std::pair<std::string, std::string>{"zip -q -9 ../out.zip *", ""},
        {"zip -q -P 'pass word' ../out.zip *", "pass word"},
        {"7z a -tzip -mx=9 ../out.zip *", ""},
        {"7z a -tzip -mem=ZipCrypto '-pp@ss' ../out.zip *", "p@ss"}}) {
    SCOPED_TRACE(command);
    fs::remove(dir / "out.zip");
    const std::string shell =
        "cd '" + (dir / "in").string() + "' && " + command + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(shell.c_str()), 0);
    std::ifstream in(dir / "out.zip", std::ios::binary);
    testing_support::ProgramFile file(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
    const std::vector<uint8_t>& zip = file.bytes();
    BuildCrcTable();
    // The central directory, found through the end record in the last 22 bytes.
    ASSERT_EQ(LoadU32(&zip[zip.size() - 22]), 0x06054B50u);
    int methods[9] = {}, entries = 0;
    for (uint32_t at = LoadU32(&zip[zip.size() - 6]); LoadU32(&zip[at]) == 0x02014B50; ++entries) {
      const uint8_t* r = &zip[at];
      const std::string name(reinterpret_cast<const char*>(r + 46), LoadU16(r + 28));
      const uint32_t crc = LoadU32(r + 16), local = LoadU32(r + 42);
      at += 46 + LoadU16(r + 28) + LoadU16(r + 30) + LoadU16(r + 32);
      SCOPED_TRACE(name);
      SeekArchive(local, SeekFromBegin);
      ASSERT_TRUE(ReadLocalHeader());
      SeekArchive(local + 30 + LocalHeader.NameLength + LocalHeader.ExtraLength, SeekFromBegin);
      EntryRemaining = LoadU32(r + 20);
      const bool encrypted = LocalHeader.Flags & 1;
      if (!files.at(name).empty()) EXPECT_EQ(encrypted, !password.empty());
      if (encrypted) ASSERT_TRUE(PasswordFits(password, crc));
      EntryRemaining -= encrypted ? 12 : 0;
      ++methods[LocalHeader.Method % 9];
      Sink sink;
      OutputHandle = &sink.file;
      RunningCrc = 0xFFFFFFFF;
      ASSERT_TRUE(DecompressEntry());
      EXPECT_TRUE(sink.bytes == files.at(name));
      EXPECT_EQ(RunningCrc ^ 0xFFFFFFFF, crc);
    }
    EXPECT_EQ(entries, int(files.size()));
    EXPECT_GT(methods[8], 1) << "deflated entries";
    EXPECT_GT(methods[0], 0) << "stored entries";
  }
  fs::remove_all(dir);
}

}  // namespace

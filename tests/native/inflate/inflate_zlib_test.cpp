// Other encoders as the oracle. Whatever zlib's deflate makes of real and synthetic data, at every
// level and strategy, in many small blocks or one huge one, decodes to the same bytes and CRC-32,
// written in whole windows. Archives made by real tools, with and without the traditional
// encryption, decode byte for byte: Info-ZIP's zip (which sets flag bit 3 on encrypted entries,
// so their check byte comes from the time) and 7-Zip (its own deflate encoder, and ZipCrypto).
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/native/inflate/inflate_harness.h"
#include "unpacker/container/little_endian.h"

using namespace inflate_testing;
namespace fs = std::filesystem;

namespace {

struct ZlibCase {
  std::string name;
  std::vector<uint8_t> data;
  int level, strategy = Z_DEFAULT_STRATEGY;
  size_t flushEvery = SIZE_MAX;  // a flush of this kind after every so many bytes
  int flush = Z_NO_FLUSH;
};

std::vector<uint8_t> Deflate(const ZlibCase& c) {
  z_stream z{};
  deflateInit2(&z, c.level, Z_DEFLATED, -15, 9, c.strategy);
  std::vector<uint8_t> out(deflateBound(&z, c.data.size()) + 64 + c.data.size() / 8);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  z.next_in = const_cast<Bytef*>(c.data.data());
  for (size_t at = 0; at < c.data.size(); at += c.flushEvery) {
    z.avail_in = uInt(std::min(c.flushEvery, c.data.size() - at));
    deflate(&z, c.flush);
  }
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(Zlib, SameBytesAndCrcInWholeWindows) {
  std::vector<ZlibCase> cases;
  // Quarters of text, random and binary data: blocks switch between stored, fixed and dynamic.
  std::vector<uint8_t> mixed = TextData(40000);
  for (const auto& part : {RandomData(40000, 3), BinaryData(40000), TextData(30000)})
    mixed.insert(mixed.end(), part.begin(), part.end());
  const std::pair<std::string, std::vector<uint8_t>> kinds[] = {{"Text", TextData(150000)},
                                                                {"Binary", BinaryData(150000)},
                                                                {"Random", RandomData(150000, 3)},
                                                                {"Mixed", mixed}};
  for (const auto& [kind, data] : kinds) {
    for (int level = 0; level <= 9; ++level)
      cases.push_back({kind + " level " + std::to_string(level), data, level});
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      cases.push_back({kind + " strategy " + std::to_string(strategy), data, 6, strategy});
    // Many small blocks: empty stored blocks (sync flush), empty fixed blocks (partial flush),
    // a fresh dictionary every 1000 bytes (full flush), bare block ends; the final block empty.
    const std::vector<uint8_t> part(data.begin(), data.begin() + 70000);
    cases.push_back({kind + " sync flush", part, 6, 0, 997, Z_SYNC_FLUSH});
    cases.push_back({kind + " partial flush", part, 6, 0, 301, Z_PARTIAL_FLUSH});
    cases.push_back({kind + " full flush", part, 9, 0, 1000, Z_FULL_FLUSH});
    cases.push_back({kind + " block flush", part, 1, 0, 64, Z_BLOCK});
  }
  // Sizes around the window: nothing, one byte, a window less or more one, exactly four.
  for (size_t size : {0, 1, 32767, 32768, 32769, 131072, 131073})
    cases.push_back({"text of " + std::to_string(size), TextData(size), 6});
  // One block covering megabytes: nearly every symbol a match of 258.
  std::vector<uint8_t> pattern(3 << 20);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t("abc"[i % 3]);
  cases.push_back({"huge block", pattern, 9});

  // Also with a size that claims more data than the file has: the stream's last code never makes
  // the decoder look for bits behind it, so the short file goes unnoticed.
  for (const ZlibCase& c : cases) {
    const std::vector<uint8_t> stream = Deflate(c);
    for (int64_t more : {0, 1000}) {
      SCOPED_TRACE(c.name + (more ? ", the file shorter than the entry" : ""));
      const Decoded d = DecodeEntry(
          stream, {.cutAt = int64_t(stream.size()), .declaredSize = int64_t(stream.size()) + more});
      EXPECT_TRUE(d.result);
      EXPECT_EQ(d.outcome, InflateOutcome::Complete);
      EXPECT_TRUE(d.bytes == c.data);
      EXPECT_EQ(d.crc, ZlibCrc32(c.data));
      EXPECT_EQ(d.bytesDone, c.data.size());
      for (size_t i = 0; i + 1 < d.writes.size(); ++i) EXPECT_EQ(d.writes[i], 32768u) << i;
      EXPECT_FALSE(d.cancelRequested);
      EXPECT_EQ(d.endPosition, int64_t(stream.size())) << "the stream fills the entry's data";
    }
  }
}

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
    ProgramFile file(ReadFile(dir / "out.zip"));
    const std::vector<uint8_t>& zip = file.bytes();
    BuildCrcTable();
    // The central directory, found through the end record in the last 22 bytes.
    ASSERT_EQ(LoadU32(&zip[zip.size() - 22]), 0x06054B50u);
    int entries = 0, deflated = 0;
    for (uint32_t at = LoadU32(&zip[zip.size() - 6]); LoadU32(&zip[at]) == 0x02014B50; ++entries) {
      const uint8_t* r = &zip[at];
      const std::string name(reinterpret_cast<const char*>(r + 46), LoadU16(r + 28));
      const uint32_t crc = LoadU32(r + 16), local = LoadU32(r + 42);
      at += 46 + LoadU16(r + 28) + LoadU16(r + 30) + LoadU16(r + 32);
      SCOPED_TRACE(name);
      SeekArchive(local, SeekFromBegin);
      ASSERT_TRUE(ReadLocalHeader());
      SeekArchive(local + 30 + LocalHeader.NameLength + LocalHeader.ExtraLength, SeekFromBegin);
      const bool encrypted = LocalHeader.Flags & 1;
      if (!files.at(name).empty()) EXPECT_EQ(encrypted, !password.empty());
      if (encrypted) ASSERT_TRUE(PasswordFits(password, crc));
      EntryRemaining = LoadU32(r + 20) - (encrypted ? 12 : 0);
      deflated += LocalHeader.Method == 8;
      Sink sink;
      OutputHandle = &sink.file;
      RunningCrc = 0xFFFFFFFF;
      ASSERT_TRUE(DecompressEntry());
      EXPECT_TRUE(sink.bytes == files.at(name));
      EXPECT_EQ(RunningCrc ^ 0xFFFFFFFF, crc);
    }
    EXPECT_EQ(entries, int(files.size()));
    EXPECT_GT(deflated, 1);
    EXPECT_LT(deflated, entries) << "stored entries too";
  }
  fs::remove_all(dir);
}

}  // namespace

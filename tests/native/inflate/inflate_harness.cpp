#include "tests/native/inflate/inflate_harness.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/zip_crypto.h"

namespace inflate_testing {

using namespace testing_support;

uint32_t Sink::Write(void* context, const void* data, uint32_t count) {
  Sink* sink = static_cast<Sink*>(context);
  sink->writes.push_back(count);
  const uint32_t taken = uint32_t(
      std::min<size_t>(count, sink->capacity - std::min(sink->capacity, sink->bytes.size())));
  sink->bytes.insert(sink->bytes.end(), static_cast<const uint8_t*>(data),
                     static_cast<const uint8_t*>(data) + taken);
  return taken;
}

Decoded DecodeEntry(const std::vector<uint8_t>& data, const EntryOptions& options) {
  const bool encrypted = !options.password.empty();
  // The header's CRC-32 is that of no data (0), so the check byte is 0.
  std::vector<uint8_t> stored = encrypted ? EncryptTraditional(data, options.password, 0) : data;
  const int64_t dataStart = encrypted ? 12 : 0;
  if (options.cutAt >= 0) stored.resize(size_t(dataStart + options.cutAt));
  ProgramFile file(stored);
  BuildCrcTable();
  LocalHeader.Method = options.method;
  LocalHeader.Flags = encrypted;
  EntryRemaining = int64_t(data.size());
  if (encrypted && !PasswordFits(options.password, 0)) throw std::runtime_error("refused");
  if (options.declaredSize >= 0) EntryRemaining = options.declaredSize;
  BytesTotal = options.bytesTotal;
  BytesDone = options.bytesDone;
  onPumpOneMessage = [&] {
    if (options.onPump) options.onPump(pumpCount);
  };
  Sink sink;
  sink.capacity = options.capacity;
  OutputHandle = &sink.file;
  RunningCrc = 0xFFFFFFFF;
  LastInflateOutcome = InflateOutcome::Complete;
  const bool result = DecompressEntry();
  return {result,          sink.bytes,
          sink.writes,     RunningCrc ^ 0xFFFFFFFF,
          BytesDone,       pumpCount,
          ProgressPercent, LastInflateOutcome,
          CancelRequested, ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent) - dataStart};
}

bool PasswordFits(const std::string& password, uint32_t crc) {
  uint8_t block[24];
  uint32_t got;
  ReadArchive(block + 12, 12, &got);
  Password = ByteString(password.c_str());
  return CheckEncryptionHeader(block, 12, LocalHeader.Flags, Password, LocalHeader.DosDateTime,
                               crc);
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {}, next[17] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (int bits = 1, code = 0; bits <= 16; ++bits)
    next[bits] = code = (code + count[bits - 1]) << 1;
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i)
    if (lengths[i]) codes[i] = next[lengths[i]]++;
  return codes;
}

namespace {

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& source, size_t size) {
  std::vector<uint8_t> out;
  while (out.size() < size)
    out.insert(out.end(), source.begin(),
               source.begin() + std::min(source.size(), size - out.size()));
  return out;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::vector<uint8_t> TextData(size_t size) {
  static const std::vector<uint8_t> texts = [] {
    namespace fs = std::filesystem;
    std::vector<uint8_t> all;  // in name order; a folder reads as nothing
    for (const fs::path& p :
         std::set<fs::path>(fs::directory_iterator("/usr/share/common-licenses"), {}))
      Append(all, ReadFile(p));
    if (all.empty()) throw std::runtime_error("no licence texts");
    return all;
  }();
  return Repeat(texts, size);
}

std::vector<uint8_t> BinaryData(size_t size) {
  static const std::vector<uint8_t> self = ReadFile("/proc/self/exe");
  return Repeat(self, size);
}

std::vector<uint8_t> RandomData(size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = uint8_t(x >> 7);
  }
  return out;
}

}  // namespace inflate_testing

#include "tests/native/inflate/inflate_harness.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/zip_crypto.h"

namespace inflate_testing {

using namespace testing_support;

uint32_t Sink::Write(void* context, const void* data, uint32_t count) {
  Sink* sink = static_cast<Sink*>(context);
  sink->writes.push_back(count);
  const size_t room = sink->capacity - std::min(sink->capacity, sink->bytes.size());
  const uint32_t taken = uint32_t(std::min<size_t>(count, room));
  const uint8_t* p = static_cast<const uint8_t*>(data);
  sink->bytes.insert(sink->bytes.end(), p, p + taken);
  return taken;
}

Decoded DecodeEntry(const std::vector<uint8_t>& data, const EntryOptions& options) {
  const bool encrypted = !options.password.empty();
  std::vector<uint8_t> stored = data;
  Append(stored, options.trailing);
  // The header's CRC-32 is that of no data (0), so the check byte is 0.
  if (encrypted) stored = EncryptTraditional(stored, options.password, 0);
  ZipEntrySpec entry{.name = "entry.bin", .method = options.method};
  entry.password = options.password;
  entry.rawData = &stored;
  const BuiltZip zip = BuildZip({entry});

  std::vector<uint8_t> program = BuildPeImage({{0x400, 0x200}});
  Append(program, BuildOptionBlock(0, {}, {}, {}));
  const int64_t dataStart = int64_t(program.size() + zip.localHeaderOffsets[0] + 30 +
                                    entry.name.size() + (encrypted ? 12 : 0));
  Append(program, zip.bytes);
  if (options.cutAt >= 0) program.resize(size_t(dataStart + options.cutAt));

  Decoded d;
  ProgramFile file(program);
  BuildCrcTable();
  ReadOptionBlock();
  SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
  if (!ReadLocalHeader()) throw std::runtime_error("no local header");
  SeekArchive(LastSeekPosition + 30 + LocalHeader.NameLength + LocalHeader.ExtraLength,
              SeekFromBegin);
  if (encrypted) {
    uint8_t block[24];
    uint32_t got;
    ReadArchive(block + 12, 12, &got);
    EntryRemaining -= 12;
    Password = ByteString(options.password.c_str());
    if (!CheckEncryptionHeader(block, 12, LocalHeader.Flags, Password, LocalHeader.DosDateTime,
                               LocalHeader.Crc32))
      throw std::runtime_error("password refused");
  }
  if (options.declaredSize >= 0) EntryRemaining = options.declaredSize;

  auto recordRead = [&] {
    const int64_t position = ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent);
    const std::pair<int64_t, int64_t> read{LastSeekPosition - dataStart, position - dataStart};
    if (read.first >= 0 && read.second > read.first && (d.reads.empty() || d.reads.back() != read))
      d.reads.push_back(read);
  };
  int pumps = 0;
  BytesTotal = options.bytesTotal;
  BytesDone = options.bytesDone;
  onPumpOneMessage = [&] {
    recordRead();
    d.percents.push_back(ProgressPercent);
    if (options.onPump) options.onPump(++pumps);
  };
  Sink sink;
  sink.capacity = options.capacity;
  OutputHandle = &sink.file;
  RunningCrc = 0xFFFFFFFF;
  LastInflateOutcome = InflateOutcome::Complete;

  d.result = DecompressEntry();

  recordRead();
  d.bytes = std::move(sink.bytes);
  d.writes = std::move(sink.writes);
  d.crc = RunningCrc ^ 0xFFFFFFFF;
  d.bytesDone = BytesDone;
  d.outcome = LastInflateOutcome;
  d.cancelRequested = CancelRequested;
  d.endPosition = ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent) - dataStart;
  d.messages = shownMessages;
  return d;
}

void BitWriter::Bits(uint32_t value, int count) {
  for (int i = 0; i < count; ++i) {
    buffer_ |= ((value >> i) & 1) << count_;
    if (++count_ == 8) {
      bytes_.push_back(uint8_t(buffer_));
      buffer_ = 0;
      count_ = 0;
    }
  }
}

void BitWriter::Code(uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1, 1);
}

void BitWriter::AlignToByte() {
  if (count_ > 0) Bits(0, 8 - count_);
}

std::vector<uint8_t> BitWriter::Finish() {
  AlignToByte();
  return bytes_;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {}, next[17] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (int bits = 1, code = 0; bits <= 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i)
    if (lengths[i]) codes[i] = next[lengths[i]]++;
  return codes;
}

void FixedLiteral(BitWriter& w, uint32_t symbol) {
  if (symbol < 144) return w.Code(0x30 + symbol, 8);
  if (symbol < 256) return w.Code(0x190 + symbol - 144, 9);
  if (symbol < 280) return w.Code(symbol - 256, 7);
  w.Code(0xC0 + symbol - 280, 8);
}

void FixedDistance(BitWriter& w, uint32_t symbol) {
  w.Code(symbol, 5);
}

std::vector<CodeLengthSymbol> Literally(const std::vector<uint8_t>& lengths) {
  std::vector<CodeLengthSymbol> symbols;
  for (uint8_t l : lengths) symbols.push_back({l});
  return symbols;
}

void DynamicHeader(BitWriter& w, bool final, uint32_t nl, uint32_t nd,
                   const std::vector<CodeLengthSymbol>& symbols,
                   std::vector<uint8_t> codeLengthLengths) {
  static const uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
  if (codeLengthLengths.empty()) {
    codeLengthLengths.assign(19, 4);
    for (int s : {13, 14, 15, 16, 17, 18}) codeLengthLengths[s] = 5;
  }
  const std::vector<uint32_t> codes = CanonicalCodes(codeLengthLengths);
  w.Bits(final, 1);
  w.Bits(2, 2);
  w.Bits(nl - 257, 5);
  w.Bits(nd - 1, 5);
  w.Bits(19 - 4, 4);
  for (uint8_t s : kOrder) w.Bits(codeLengthLengths[s], 3);
  for (const CodeLengthSymbol& s : symbols) {
    w.Code(codes[s.symbol], codeLengthLengths[s.symbol]);
    if (s.symbol == 16) w.Bits(s.extra, 2);
    if (s.symbol == 17) w.Bits(s.extra, 3);
    if (s.symbol == 18) w.Bits(s.extra, 7);
  }
}

std::vector<uint8_t> DynamicBlock(bool final, const std::vector<uint8_t>& literalLengths,
                                  const std::vector<uint8_t>& distanceLengths,
                                  const std::vector<uint32_t>& body, BitWriter w) {
  std::vector<uint8_t> all = literalLengths;
  all.insert(all.end(), distanceLengths.begin(), distanceLengths.end());
  DynamicHeader(w, final, uint32_t(literalLengths.size()), uint32_t(distanceLengths.size()),
                Literally(all));
  const std::vector<uint32_t> literalCodes = CanonicalCodes(literalLengths);
  const std::vector<uint32_t> distanceCodes = CanonicalCodes(distanceLengths);
  static const uint8_t kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                         3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 0, 0};
  static const uint8_t kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6, 6,
                                           7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 0, 0};
  for (size_t i = 0; i < body.size(); ++i) {
    const uint32_t symbol = body[i];
    w.Code(literalCodes[symbol], literalLengths[symbol]);
    if (symbol <= 256) continue;
    w.Bits(body[++i], kLengthExtra[symbol - 257]);
    const uint32_t distance = body[++i];
    w.Code(distanceCodes[distance], distanceLengths[distance]);
    w.Bits(body[++i], kDistanceExtra[distance]);
  }
  return w.Finish();
}

std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int level, int strategy,
                                 size_t flushEvery, int flush) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 64 + data.size() / 8);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  size_t at = 0;
  do {
    const size_t piece = flushEvery ? std::min(flushEvery, data.size() - at) : data.size() - at;
    z.next_in = const_cast<Bytef*>(data.data() + at);
    z.avail_in = uInt(piece);
    at += piece;
    const int mode = at == data.size() ? Z_FINISH : flush;
    const int rc = deflate(&z, mode);
    if (rc != (mode == Z_FINISH ? Z_STREAM_END : Z_OK)) throw std::runtime_error("deflate");
  } while (at < data.size());
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

namespace {

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& source, size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size);
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
    std::vector<std::filesystem::path> paths;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share/common-licenses"))
      if (e.is_regular_file()) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    std::vector<uint8_t> all;
    for (const auto& p : paths) Append(all, ReadFile(p));
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

std::vector<uint8_t> RunData(size_t size, uint32_t seed) {
  const std::vector<uint8_t> noise = RandomData(size, seed);
  std::vector<uint8_t> out;
  size_t i = 0;
  while (out.size() < size) {
    const uint8_t kind = noise[i++ % size] % 3, length = noise[i++ % size];
    const uint8_t period = 1 + noise[i++ % size] % 9;
    for (int j = 0; j < length * (kind + 1) && out.size() < size; ++j)
      out.push_back(kind == 0 ? noise[(i + j) % size] : uint8_t('a' + j % period));
  }
  return out;
}

std::vector<uint8_t> Hex(const char* hex) {
  std::vector<uint8_t> out;
  for (const char* p = hex; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    out.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return out;
}

}  // namespace inflate_testing

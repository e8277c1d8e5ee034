// Shared by the decoder's tests: an entry put into a real self-extracting file and decoded
// through DecompressEntry into a collecting OutputFile, a bit writer for hand-made deflate
// streams, zlib with the knobs the tests turn, and real data from the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/core_harness.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/native/native_output_file.h"

namespace inflate_testing {

// A native OutputFile that keeps what it is given; after `capacity` bytes the disk is full
// and writes take only what still fits.
struct Sink {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writes;  // the count handed to each write
  size_t capacity = SIZE_MAX;
  OutputFile file{&Sink::Write, this};
  static uint32_t Write(void* context, const void* data, uint32_t count);
};

struct EntryOptions {
  uint16_t method = 8;
  std::string password;       // non-empty: the data is encrypted (check byte from the CRC)
  int64_t cutAt = -1;         // >= 0: the program file ends this many bytes into the data
  int64_t declaredSize = -1;  // >= 0: EntryRemaining, instead of the data's length
  size_t capacity = SIZE_MAX;
  uint64_t bytesTotal = 0, bytesDone = 0;  // BytesTotal and BytesDone before the entry
  std::vector<uint8_t> trailing;           // entry data behind the stream, counted in its size
  // Runs at every message step (count from 1) after the reads have been recorded.
  std::function<void(int pump)> onPump;
};

struct Decoded {
  bool result = false;
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writes;
  uint32_t crc = 0;  // RunningCrc ^ 0xFFFFFFFF
  uint64_t bytesDone = 0;
  std::vector<int32_t> percents;  // ProgressPercent at each message step
  InflateOutcome outcome = InflateOutcome::Complete;
  bool cancelRequested = false;
  // Archive reads seen at the message steps and at the end: [start, end) relative to the
  // entry's first data byte, each read once.
  std::vector<std::pair<int64_t, int64_t>> reads;
  int64_t endPosition = 0;  // the archive position afterwards, relative to the data
  std::vector<testing_support::ShownMessage> messages;
};

// Builds a self-extracting file whose one entry holds `data` as stored bytes (a deflate stream
// for method 8), finds the entry through its local header and decodes it.
Decoded DecodeEntry(const std::vector<uint8_t>& data, const EntryOptions& options = {});

// RFC 1951 bit order: values LSB first, Huffman codes MSB first.
class BitWriter {
 public:
  void Bits(uint32_t value, int count);
  void Code(uint32_t code, int length);  // a prefix code, first bit = its most significant
  void AlignToByte();
  size_t BitCount() const { return bytes_.size() * 8 + count_; }
  std::vector<uint8_t> Finish();

 private:
  std::vector<uint8_t> bytes_;
  uint32_t buffer_ = 0;
  int count_ = 0;
};

// Canonical codes of RFC 1951 3.2.2 for the given lengths (0 = unused).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// The fixed code (RFC 1951 3.2.6): literal/length symbol s, distance symbol d.
void FixedLiteral(BitWriter& w, uint32_t symbol);
void FixedDistance(BitWriter& w, uint32_t symbol);

// A dynamic block header: nl literal/length and nd distance code lengths, sent as the given
// code-length symbols (symbol, value of its extra bits) with a complete code-length code of
// 4- and 5-bit codes, or with the given lengths of the code-length code (in symbol order,
// all 19 sent).
struct CodeLengthSymbol {
  uint8_t symbol;
  uint8_t extra = 0;
};
std::vector<CodeLengthSymbol> Literally(const std::vector<uint8_t>& lengths);
void DynamicHeader(BitWriter& w, bool final, uint32_t nl, uint32_t nd,
                   const std::vector<CodeLengthSymbol>& symbols,
                   std::vector<uint8_t> codeLengthLengths = {});

// A whole dynamic block with these literal/length and distance code lengths (sent literally)
// whose body is `body`: literal/length symbols, each length symbol followed by its extra bits
// value, the distance symbol and its extra bits value.
std::vector<uint8_t> DynamicBlock(bool final, const std::vector<uint8_t>& literalLengths,
                                  const std::vector<uint8_t>& distanceLengths,
                                  const std::vector<uint32_t>& body, BitWriter w = {});

// zlib raw deflate (window bits -15, memory level 9) with a flush every `flushEvery` bytes.
std::vector<uint8_t> ZlibDeflate(const std::vector<uint8_t>& data, int level, int strategy,
                                 size_t flushEvery = 0, int flush = 0);

// Real data found on every machine the tests run on.
std::vector<uint8_t> TextData(size_t size);    // licence texts, repeated to size
std::vector<uint8_t> BinaryData(size_t size);  // this test program's own executable
std::vector<uint8_t> RandomData(size_t size, uint32_t seed);
std::vector<uint8_t> RunData(size_t size, uint32_t seed);  // runs and short repeats

std::vector<uint8_t> Hex(const char* hex);

}  // namespace inflate_testing

// Shared by the decoder's tests: entry data decoded through DecompressEntry into a collecting
// OutputFile, canonical prefix codes, and real data from the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/core_harness.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/native/native_output_file.h"

namespace inflate_testing {

// Keeps what it is given; after `capacity` bytes the disk is full.
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
  std::function<void(int pump)> onPump;    // at every message step, counting from 1
};

struct Decoded {
  bool result;
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writes;
  uint32_t crc;  // RunningCrc ^ 0xFFFFFFFF
  uint64_t bytesDone;
  int pumps;  // message steps
  int32_t percent;
  InflateOutcome outcome;
  bool cancelRequested;
  int64_t endPosition;  // the archive position afterwards, relative to the data
};

// Makes `data` the stored bytes of the current entry, alone in the program file, and decodes it.
Decoded DecodeEntry(const std::vector<uint8_t>& data, const EntryOptions& options = {});

// Reads the 12-byte encryption header at the archive position and holds `password` against it,
// with LocalHeader's flags and time and this CRC-32.
bool PasswordFits(const std::string& password, uint32_t crc);

// Canonical prefix codes for the given lengths (0 = unused).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// Real data found on every machine the tests run on, repeated to size.
std::vector<uint8_t> TextData(size_t size);    // licence texts
std::vector<uint8_t> BinaryData(size_t size);  // this test program's own executable
std::vector<uint8_t> RandomData(size_t size, uint32_t seed);

}  // namespace inflate_testing

// Shared by the decoder's tests: entry data decoded through DecompressEntry into a collecting
// OutputFile, and real data from the machine.
#pragma once

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "tests/support/core_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/native/native_output_file.h"
#include "unpacker/inflate/zip_crypto.h"

namespace inflate_testing {

using namespace testing_support;

// Keeps what it is given; after `capacity` bytes the disk is full.
struct Sink {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writes;  // the count handed to each write
  size_t capacity = SIZE_MAX;
  OutputFile file{&Sink::Write, this};
  static uint32_t Write(void* context, const void* data, uint32_t count) {
    Sink& sink = *static_cast<Sink*>(context);
    sink.writes.push_back(count);
    const auto* p = static_cast<const uint8_t*>(data);
    const uint32_t taken = uint32_t(std::min<size_t>(count, sink.capacity - sink.bytes.size()));
    sink.bytes.insert(sink.bytes.end(), p, p + taken);
    return taken;
  }
};

// Reads the 12-byte encryption header at the archive position and holds `password` against it,
// with LocalHeader's flags and time and this CRC-32.
inline bool PasswordFits(const std::string& password, uint32_t crc) {
  uint8_t block[24];
  uint32_t got;
  ReadArchive(block + 12, 12, &got);
  Password = ByteString(password.c_str());
  return CheckEncryptionHeader(block, 12, LocalHeader.Flags, Password, LocalHeader.DosDateTime,
                               crc);
}

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
inline Decoded DecodeEntry(const std::vector<uint8_t>& data, const EntryOptions& options = {}) {
  const bool encrypted = !options.password.empty();
  // The header's CRC-32 is that of no data (0), so the check byte is 0.
  std::vector<uint8_t> stored = encrypted ? EncryptTraditional(data, options.password, 0) : data;
  const int64_t dataStart = encrypted ? 12 : 0;
  if (options.cutAt >= 0) stored.resize(size_t(dataStart + options.cutAt));
  ProgramFile file(stored);
  BuildCrcTable();
  LocalHeader.Method = options.method;
  LocalHeader.Flags = encrypted;
  if (encrypted && !PasswordFits(options.password, 0)) throw std::runtime_error("refused");
  EntryRemaining = options.declaredSize >= 0 ? options.declaredSize : int64_t(data.size());
  BytesTotal = options.bytesTotal;
  BytesDone = options.bytesDone;
  onPumpOneMessage = [&] {
    if (options.onPump) options.onPump(pumpCount);
  };
  Sink sink{.capacity = options.capacity};
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

// Real data found on every machine the tests run on, repeated to size: a licence text and this
// test program's own executable; and pseudo-random bytes.
inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<uint8_t> Repeat(const std::string& path, size_t size) {
  const std::vector<uint8_t> source = ReadFile(path);
  if (source.empty()) throw std::runtime_error("nothing in " + path);
  std::vector<uint8_t> out;
  while (out.size() < size)
    out.insert(out.end(), source.begin(),
               source.begin() + std::min(source.size(), size - out.size()));
  return out;
}

inline std::vector<uint8_t> TextData(size_t size) {
  return Repeat("/usr/share/common-licenses/GPL-3", size);
}

inline std::vector<uint8_t> BinaryData(size_t size) {
  return Repeat("/proc/self/exe", size);
}

inline std::vector<uint8_t> RandomData(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out) b = uint8_t(random());
  return out;
}

}  // namespace inflate_testing

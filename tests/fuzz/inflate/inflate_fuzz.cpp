// Arbitrary bytes as the data of a deflated entry. Besides surviving under ASan and UBSan, the
// decoder must agree with zlib on every stream zlib decodes to its end: same bytes, and a
// complete entry. (It accepts some streams zlib refuses, as RFC 1951 allows: incomplete
// distance codes, 288 and 32 code lengths, a leading repeat code.)
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/inflate/fuzz_sink.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/native/native_archive_file.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/inflate.h"

namespace {

// zlib's raw inflate to the end of the stream; false when it refuses or runs out of input.
bool ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  uint8_t chunk[32768];
  int rc;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
  } while (rc == Z_OK && out.size() < (64u << 20));
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tables = (BuildCrcTable(), true);
  (void)tables;
  ArchiveHandle = OpenArchiveMemory(data, size);
  LocalHeader = LocalHeaderRecord{};
  LocalHeader.Method = 8;
  EntryRemaining = int64_t(size);
  CancelRequested = false;
  fuzzing::Sink sink;
  OutputHandle = &sink.file;
  RunningCrc = 0xFFFFFFFF;
  BytesDone = BytesTotal = 0;

  if (!DecompressEntry()) std::abort();
  fuzzing::CheckOutput(sink, size, true);
  if (CancelRequested) std::abort();  // a memory file never ends early
  if (ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent) > int64_t(size)) std::abort();

  std::vector<uint8_t> expected;
  if (ZlibInflate(data, size, expected) &&
      (LastInflateOutcome != InflateOutcome::Complete || sink.bytes != expected))
    std::abort();

  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  OutputHandle = nullptr;
  return 0;
}

// inflate_bench: decodes the same raw deflate data with the unpacker's decoder (DecompressEntry
// over a memory archive, CRC-32 included), zlib's inflate (32 KiB output chunks, zlib's crc32
// over each) and libdeflate (one call, then libdeflate_crc32), and prints output MB/s, the
// median of several runs: whole streams, and 16 MB of the real data as streams of 4 KiB (small
// files: set-up and careful path). The last line compares the three on mixed real data at
// level 6.
// Then the same level-6 data as a WinZip AES-256 entry (AE-1), decoded as the stub does
// (password, decryption, authentication code), against the decoder on the plain entry.
//
//   inflate_bench [megabytes of real data, default 54] [runs, default 5]
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench/inflate/bench_data.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/native/native_archive_file.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/crypto/aes.h"
#include "unpacker/crypto/cpu_features.h"
#include "unpacker/crypto/entry_cipher.h"
#include "unpacker/crypto/sha1.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/entry_decoder.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/native/native_output_file.h"

// Nobody to tell anything, nothing to pump.
void ShowMessage(const char*, const char*, MessageIcon) {}
void PumpOneMessage() {}

namespace {

struct Decoded {
  uint64_t size;
  uint32_t crc;
};

// ---- Decoders ---------------------------------------------------------------------------------

uint32_t CountOnly(void* context, const void*, uint32_t count) {
  *static_cast<uint64_t*>(context) += count;
  return count;
}

Decoded OurInflate(const std::vector<uint8_t>& stream) {
  uint64_t size = 0;
  OutputFile sink{CountOnly, &size};
  ArchiveHandle = OpenArchiveMemory(stream.data(), stream.size());
  LocalHeader = LocalHeaderRecord{};
  LocalHeader.Method = 8;
  EntryRemaining = int64_t(stream.size());
  OutputHandle = &sink;
  RunningCrc = 0xFFFFFFFF;
  CancelRequested = false;
  BytesDone = 0;
  DecompressEntry();
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  OutputHandle = nullptr;
  return {size, RunningCrc ^ 0xFFFFFFFF};
}

Decoded ZlibInflate(const std::vector<uint8_t>& stream) {
  static uint8_t window[32768];
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = uInt(stream.size());
  uint64_t size = 0;
  uLong crc = crc32(0, nullptr, 0);
  int rc;
  do {
    z.next_out = window;
    z.avail_out = sizeof window;
    rc = inflate(&z, Z_NO_FLUSH);
    const uInt produced = uInt(sizeof window - z.avail_out);
    crc = crc32(crc, window, produced);
    size += produced;
  } while (rc == Z_OK);
  inflateEnd(&z);
  return {size, uint32_t(crc)};
}

Decoded LibdeflateInflate(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out) {
  static libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  size_t size = 0;
  if (libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(),
                                    &size) != LIBDEFLATE_SUCCESS)
    return {0, 0};
  return {size, libdeflate_crc32(0, out.data(), size)};
}

// The stream as an AES-256 AE-1 entry with the password "secret": salt, verifier, the
// encrypted stream, the authentication code.
std::vector<uint8_t> AesEntry(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> entry(18);
  for (uint8_t i = 0; i < 16; ++i) entry[i] = uint8_t(i * 37 + 1);
  uint8_t derived[66], code[kSha1DigestSize];
  Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>("secret"), 6, entry.data(), 16, kAesIterations,
                 derived, sizeof derived);
  entry[16] = derived[64];
  entry[17] = derived[65];
  entry.insert(entry.end(), stream.begin(), stream.end());
  AesCtr ctr;
  AesCtrBegin(&ctr, derived, 32);
  AesCtrApply(&ctr, entry.data() + 18, stream.size());
  HmacSha1 mac;
  HmacSha1Begin(&mac, derived + 32, 32);
  HmacSha1Add(&mac, entry.data() + 18, stream.size());
  HmacSha1End(&mac, code);
  entry.insert(entry.end(), code, code + kAesMacSize);
  return entry;
}

Decoded OurAesInflate(const std::vector<uint8_t>& entryBytes, uint32_t crc) {
  uint64_t size = 0;
  OutputFile sink{CountOnly, &size};
  ArchiveHandle = OpenArchiveMemory(entryBytes.data(), entryBytes.size());
  LocalHeader = LocalHeaderRecord{};
  LocalHeader.Method = 8;
  LocalHeader.Flags = kFlagEncrypted;
  LocalHeader.Crc32 = crc;
  LocalHeader.CompressedSize = uint32_t(entryBytes.size());
  WalkedEntry entry;
  entry.AesStrength = 3;
  entry.AesVersion = 1;
  entry.DataEnd = int64_t(entryBytes.size());
  CancelRequested = false;
  BytesDone = 0;
  EncryptionHeader header;
  const ByteString password("secret");
  const bool good = ReadEncryptionHeader(entry, &header) &&
                    TryPasswords(entry, header, &password, 1) == 0 &&
                    DecodeEntry(entry, &sink) == DecodeResult::Good;
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  return {good ? size : 0, crc};
}

// ---- Measuring --------------------------------------------------------------------------------

struct Rates {
  double ours, zlib, libdeflate;  // MB/s of output
};

// The data deflated at `level`, whole, or with `piece` > 0 cut into pieces of that size, each
// deflated alone: the entries of an archive of small files, each of which sets the decoder up
// afresh and ends on its careful path.
Rates Measure(const char* name, const std::vector<uint8_t>& data, int level, int runs,
              size_t piece = 0) {
  std::vector<std::vector<uint8_t>> streams;
  std::vector<Decoded> expected;
  size_t deflated = 0;
  const size_t step = piece ? piece : data.size();
  for (size_t at = 0; at < data.size(); at += step) {
    const std::vector<uint8_t> part(data.begin() + at,
                                    data.begin() + std::min(data.size(), at + step));
    streams.push_back(Deflate(part, level));
    deflated += streams.back().size();
    expected.push_back({part.size(), uint32_t(crc32(0, part.data(), uInt(part.size())))});
  }
  std::vector<uint8_t> out(step);
  // Every decoder's output is checked against zlib's CRC-32 of the data.
  auto all = [&](const std::function<Decoded(const std::vector<uint8_t>&)>& decode) {
    for (size_t i = 0; i < streams.size(); ++i) {
      const Decoded d = decode(streams[i]);
      if (d.size != expected[i].size || d.crc != expected[i].crc) {
        std::fprintf(stderr, "%s: a decoder's output differs (size %llu, crc %08x)\n", name,
                     (unsigned long long)d.size, d.crc);
        std::exit(1);
      }
    }
  };
  std::vector<double> ours, zlib, libdeflate;
  // The decoders take turns, so a slow moment of the machine hits all of them.
  for (int run = 0; run < runs; ++run) {
    ours.push_back(Seconds([&] { all(OurInflate); }));
    zlib.push_back(Seconds([&] { all(ZlibInflate); }));
    libdeflate.push_back(Seconds(
        [&] { all([&](const std::vector<uint8_t>& s) { return LibdeflateInflate(s, out); }); }));
  }
  const double mb = double(data.size()) / 1e6;
  const Rates r{mb / Median(ours), mb / Median(zlib), mb / Median(libdeflate)};
  std::printf("%-22s %7.1f MB -> %6.1f MB  %8.1f %8.1f %8.1f   %5.2fx %5.2fx\n", name, mb,
              double(deflated) / 1e6, r.ours, r.zlib, r.libdeflate, r.ours / r.zlib,
              r.ours / r.libdeflate);
  std::fflush(stdout);
  return r;
}

void MeasureCrc(const std::vector<uint8_t>& data, int runs) {
  std::vector<double> ours, zlib, libdeflate;
  uint32_t a = 0, b = 0, c = 0;
  for (int run = 0; run < runs; ++run) {
    ours.push_back(Seconds([&] {
      // In 32 KiB pieces, as FlushWindow hands them over.
      uint32_t r = 0xFFFFFFFF;
      for (size_t at = 0; at < data.size(); at += 32768)
        UpdateCrcBuffer(data.data() + at, int32_t(std::min<size_t>(32768, data.size() - at)), &r);
      a = r ^ 0xFFFFFFFF;
    }));
    zlib.push_back(Seconds([&] { b = uint32_t(crc32(0, data.data(), uInt(data.size()))); }));
    libdeflate.push_back(Seconds([&] { c = libdeflate_crc32(0, data.data(), data.size()); }));
  }
  if (a != b || b != c) {
    std::fprintf(stderr, "CRC-32 differs: %08x %08x %08x\n", a, b, c);
    std::exit(1);
  }
  const double mb = double(data.size()) / 1e6;
  std::printf("CRC-32 MB/s: ours %.0f, zlib crc32 %.0f, libdeflate_crc32 %.0f (ours/zlib %.2fx)\n",
              mb / Median(ours), mb / Median(zlib), mb / Median(libdeflate),
              Median(zlib) / Median(ours));
}

void MeasureAes(const std::vector<uint8_t>& data, int runs, const char* rounds) {
  const std::vector<uint8_t> stream = Deflate(data, 6);
  const std::vector<uint8_t> entry = AesEntry(stream);
  const uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
  std::vector<double> plain, aes;
  for (int run = 0; run < runs; ++run) {
    Decoded a{}, b{};
    plain.push_back(Seconds([&] { a = OurInflate(stream); }));
    aes.push_back(Seconds([&] { b = OurAesInflate(entry, crc); }));
    if (a.size != data.size() || b.size != data.size() || a.crc != crc) {
      std::fprintf(stderr, "AES entry: the decoded data differs\n");
      std::exit(1);
    }
  }
  const double mb = double(data.size()) / 1e6;
  std::printf("AES-256 entry, %.1f MB at level 6, %s: plain %.1f MB/s, AES %.1f MB/s: %.2fx\n", mb,
              rounds, mb / Median(plain), mb / Median(aes), Median(plain) / Median(aes));
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 54;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  BuildCrcTable();

  size_t files;
  const std::vector<uint8_t> mixed = MixedData("", megabytes, &files);
  std::printf(
      "inflate_bench: %zu files from /usr/share and /usr/lib (%.1f MB), %d runs each, "
      "median\n",
      files, double(mixed.size()) / 1e6, runs);
  std::printf("%-22s %7s    %9s  %8s %8s %8s   %6s %6s\n", "data", "output", "deflated", "ours",
              "zlib", "libdefl", "/zlib", "/libdefl");
  std::fflush(stdout);

  Measure("mixed, level 1", mixed, 1, runs);
  Measure("mixed, level 9", mixed, 9, runs);
  Measure("incompressible (stored)", RandomBytes(16 << 20), 6, runs);
  Measure("repetitive, level 6", RepetitiveBytes(64 << 20), 6, runs);
  const std::vector<uint8_t> part(mixed.begin(),
                                  mixed.begin() + std::min<size_t>(mixed.size(), 16 << 20));
  Measure("4 KiB files, level 6", part, 6, runs, 4096);
  MeasureCrc(mixed, runs);
  const Rates level6 = Measure("mixed, level 6", mixed, 6, runs);
  std::printf("inflate/zlib = %.2f, inflate/libdeflate = %.2f\n", level6.ours / level6.zlib,
              level6.ours / level6.libdeflate);
  MeasureAes(mixed, runs, "the processor's AES and SHA instructions");
  // Many processors in use have AES instructions but no SHA ones, older ones neither.
  UsePortableCodeForTesting(true);
  MeasureAes(mixed, runs, "portable rounds");
  UsePortableCodeForTesting(false);
  return 0;
}

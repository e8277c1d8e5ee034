// inflate_bench.exe: the stub's decoder, compiled as the stub compiles it, against zlib built
// with mingw, both under Windows (Wine here): the figures users get. Each stream is read from a
// file in pieces of 32 KiB and written to NUL through the same handles for both, the CRC-32
// included (the stub's for the decoder, zlib's crc32 for zlib); the data is that of the native
// inflate_bench, found under the drive Z: that Wine maps to the Linux root.
//
//   scripts/with-wine scripts/wine-run build/win64/bin/inflate_bench.exe [megabytes, default 54]
//       [runs, default 5]
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/inflate/bench_data.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/output_file.h"

// Nobody to tell anything, nothing to pump.
void ShowMessage(const char*, const char*, MessageIcon) {}
void PumpOneMessage() {}

namespace {

struct Decoded {
  uint64_t size;
  uint32_t crc;
};

Decoded OurInflate(const std::string& path, size_t streamSize) {
  ArchiveHandle = OpenArchiveFile(path.c_str());
  LocalHeader = LocalHeaderRecord{};
  LocalHeader.Method = 8;
  EntryRemaining = int64_t(streamSize);
  OutputHandle = DiscardingOutputFile();
  RunningCrc = 0xFFFFFFFF;
  CancelRequested = false;
  BytesDone = 0;
  DecompressEntry();
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  OutputHandle = nullptr;
  return {BytesDone, RunningCrc ^ 0xFFFFFFFF};
}

Decoded ZlibInflate(const std::string& path, HANDLE nul) {
  static uint8_t input[32768], window[32768];
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  z_stream z{};
  inflateInit2(&z, -15);
  uint64_t size = 0;
  uLong crc = crc32(0, nullptr, 0);
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (z.avail_in == 0) {
      DWORD got = 0;
      if (!ReadFile(file, input, sizeof input, &got, nullptr) || got == 0) break;
      z.next_in = input;
      z.avail_in = got;
    }
    z.next_out = window;
    z.avail_out = sizeof window;
    rc = inflate(&z, Z_NO_FLUSH);
    const uInt produced = uInt(sizeof window - z.avail_out);
    DWORD written = 0;
    if (produced) WriteFile(nul, window, produced, &written, nullptr);
    crc = crc32(crc, window, produced);
    size += produced;
  }
  inflateEnd(&z);
  CloseHandle(file);
  return {size, uint32_t(crc)};
}

std::string TempPath() {
  char folder[MAX_PATH], path[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  GetTempFileNameA(folder, "ibn", 0, path);
  return path;
}

void Measure(const char* name, const std::vector<uint8_t>& data, int level, int runs) {
  const std::vector<uint8_t> stream = Deflate(data, level);
  const uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
  const std::string path = TempPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(stream.data(), 1, stream.size(), file);
  std::fclose(file);
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<double> ours, zlib;
  // The decoders take turns, so a slow moment of the machine hits both.
  for (int run = 0; run < runs; ++run) {
    Decoded a{}, b{};
    ours.push_back(Seconds([&] { a = OurInflate(path, stream.size()); }));
    zlib.push_back(Seconds([&] { b = ZlibInflate(path, nul); }));
    for (const Decoded& d : {a, b}) {
      if (d.size != data.size() || d.crc != crc) {
        std::fprintf(stderr, "%s: a decoder's output differs (size %llu, crc %08x)\n", name,
                     (unsigned long long)d.size, d.crc);
        std::exit(1);
      }
    }
  }
  CloseHandle(nul);
  DeleteFileA(path.c_str());
  const double mb = double(data.size()) / 1e6;
  const double rateOurs = mb / Median(ours), rateZlib = mb / Median(zlib);
  std::printf("%-24s %7.1f MB -> %6.1f MB  %8.1f %8.1f   %5.2fx\n", name, mb,
              double(stream.size()) / 1e6, rateOurs, rateZlib, rateOurs / rateZlib);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 54;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  BuildCrcTable();

  size_t files;
  const std::vector<uint8_t> mixed = MixedData("Z:", megabytes, &files);
  std::printf(
      "inflate_bench.exe (%s): %zu files from /usr/share and /usr/lib (%.1f MB), "
      "%d runs each, median\n",
      sizeof(void*) == 8 ? "x64" : "x86", files, double(mixed.size()) / 1e6, runs);
  std::printf("%-24s %7s    %9s  %8s %8s   %6s\n", "data", "output", "deflated", "ours", "zlib",
              "/zlib");
  std::fflush(stdout);
  Measure("mixed, level 1", mixed, 1, runs);
  Measure("mixed, level 6", mixed, 6, runs);
  Measure("mixed, level 9", mixed, 9, runs);
  Measure("incompressible (stored)", RandomBytes(16 << 20), 6, runs);
  Measure("repetitive, level 6", RepetitiveBytes(64 << 20), 6, runs);
  return 0;
}

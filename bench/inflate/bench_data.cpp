#include "bench/inflate/bench_data.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

uint64_t Fnv1a(const std::string& s) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

bool AlreadyCompressed(const fs::path& path) {
  static const char* const kExtensions[] = {".gz",    ".xz",  ".bz2", ".zst",  ".lz4", ".zip",
                                            ".jar",   ".png", ".jpg", ".jpeg", ".gif", ".woff",
                                            ".woff2", ".ogg", ".mp3", ".deb",  ".lzma"};
  const std::string ext = path.extension().string();
  for (const char* e : kExtensions)
    if (ext == e) return true;
  return false;
}

void TakeFiles(const std::string& drive, const char* root, uint64_t budget,
               std::vector<uint8_t>& out, size_t* taken) {
  std::vector<std::pair<uint64_t, fs::path>> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator
           it(drive + root, fs::directory_options::skip_permission_denied, ec),
       end;
       it != end; it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const uint64_t size = it->file_size(ec);
    if (ec || size < 4096 || size > (4u << 20) || AlreadyCompressed(it->path())) continue;
    files.emplace_back(Fnv1a(it->path().generic_string().substr(drive.size())), it->path());
  }
  std::sort(files.begin(), files.end());
  uint64_t got = 0;
  for (const auto& [hash, path] : files) {
    if (got >= budget) break;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.empty()) continue;
    out.insert(out.end(), bytes.begin(), bytes.end());
    got += bytes.size();
    ++*taken;
  }
}

}  // namespace

std::vector<uint8_t> MixedData(const char* drive, uint64_t megabytes, size_t* files) {
  std::vector<uint8_t> mixed;
  *files = 0;
  TakeFiles(drive, "/usr/share", megabytes << 19, mixed, files);
  TakeFiles(drive, "/usr/lib", megabytes << 19, mixed, files);
  return mixed;
}

std::vector<uint8_t> RandomBytes(size_t size) {
  std::vector<uint8_t> out(size);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (uint8_t& b : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = uint8_t(x >> 24);
  }
  return out;
}

std::vector<uint8_t> RepetitiveBytes(size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size + 128);
  char line[128];
  for (uint32_t i = 0; out.size() < size; ++i) {
    const int n = std::snprintf(
        line, sizeof line, "2024-05-%02u 12:%02u:00 worker-%u INFO request served status=200\n",
        1 + i / 4000 % 28, i / 60 % 60, i % 7);
    out.insert(out.end(), line, line + n);
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, uLong(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

double Seconds(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

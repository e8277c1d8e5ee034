#include "builder/zip_writer.h"

#include <zlib.h>
#ifdef MKSFX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

#include "builder/file_io.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/zip_crypto.h"

namespace mksfx {

namespace {

constexpr size_t kChunk = 1 << 20;
// Files up to this size are compressed whole in memory with libdeflate where it is available
// (smaller and faster than zlib at its best level); larger ones stream through zlib.
constexpr uint64_t kInMemoryLimit = 64ull << 20;
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint16_t kVersionNeeded = 20;  // 2.0: deflate, folders, traditional encryption
constexpr uint16_t kVersionMadeBy = 20;  // high byte 0: MS-DOS attributes in the low byte

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// Encrypts in place, advancing the global key set (ZIP application note 6.1.6).
void Encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t plain = data[i];
    data[i] = plain ^ DecryptByte();
    UpdateKeys(plain);
  }
}

}  // namespace

bool CryptoRandom(uint8_t* bytes, size_t count) {
#ifdef _WIN32
  return BCryptGenRandom(nullptr, bytes, ULONG(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
#else
  size_t done = 0;
  while (done < count) {
    const ssize_t got = getrandom(bytes + done, count - done, 0);
    if (got <= 0) return false;
    done += size_t(got);
  }
  return true;
#endif
}

ZipWriter::ZipWriter(std::FILE* out, int level, std::string password)
    : out_(out), level_(level), password_(std::move(password)) {
  start_ = TellFile(out_);
  BuildCrcTable();
}

uint64_t ZipWriter::Position() const {
  return TellFile(out_) - start_;
}

bool ZipWriter::Seek(uint64_t position) {
  return SeekFile(out_, start_ + position);
}

bool ZipWriter::Write(const void* data, size_t size) {
  return size == 0 || std::fwrite(data, 1, size, out_) == size;
}

bool ZipWriter::CheckOffset(const std::string& name, std::string* error) {
  if (Position() <= 0xFFFFFFFFu) return true;
  *error = "the archive grows beyond 4 GiB at " + name + "; ZIP offsets are 32 bits wide";
  return false;
}

bool ZipWriter::NewEncryptionHeader(uint32_t crc32, uint8_t* header, std::string* error) {
  // Eleven random bytes, and as check byte the CRC's high byte (no data descriptor follows).
  if (!CryptoRandom(header, kEncryptionHeaderSize - 1)) {
    *error = "the system's random source failed";
    return false;
  }
  header[kEncryptionHeaderSize - 1] = uint8_t(crc32 >> 24);
  return true;
}

bool ZipWriter::WriteEncryptionHeader(const uint8_t* header) {
  InitKeys(password_.data(), uint32_t(password_.size()));
  uint8_t encrypted[kEncryptionHeaderSize];
  std::memcpy(encrypted, header, sizeof encrypted);
  Encrypt(encrypted, sizeof encrypted);
  return Write(encrypted, sizeof encrypted);
}

// The fields that local and central headers share, from "version needed" to the name length.
void ZipWriter::PutSharedFields(std::vector<uint8_t>& h, const CentralRecord& r) {
  Put16(h, kVersionNeeded);
  Put16(h, r.flags);
  Put16(h, r.method);
  Put32(h, r.dosDateTime);
  Put32(h, r.crc32);
  Put32(h, r.compressedSize);
  Put32(h, r.uncompressedSize);
  Put16(h, uint16_t(r.name.size()));
}

bool ZipWriter::WriteLocalHeader(const CentralRecord& r) {
  std::vector<uint8_t> h;
  Put32(h, kLocalSignature);
  PutSharedFields(h, r);
  Put16(h, 0);  // extra field
  h.insert(h.end(), r.name.begin(), r.name.end());
  return Write(h.data(), h.size());
}

bool ZipWriter::AddFolder(const std::string& name, uint32_t dosDateTime, uint32_t attributes,
                          std::string* error) {
  if (!CheckOffset(name, error)) return false;
  CentralRecord r{
      name, 0, 0, dosDateTime, 0, 0, 0, attributes | kAttrDirectory, uint32_t(Position())};
  // A folder has no data, so there is nothing to encrypt and no password to ask for.
  if (!WriteLocalHeader(r)) {
    *error = "cannot write the archive";
    return false;
  }
  central_.push_back(r);
  return true;
}

bool ZipWriter::AddFile(const std::string& name, const std::string& sourcePath,
                        uint32_t dosDateTime, uint32_t attributes,
                        const std::function<void(uint64_t)>& progress, std::string* error) {
  if (!CheckOffset(name, error)) return false;
  FilePtr in = OpenFile(sourcePath, "rb");
  if (!in) {
    *error = "cannot read " + sourcePath;
    return false;
  }
#ifdef MKSFX_HAVE_LIBDEFLATE
  if (level_ > 0 && SeekFile(in.get(), 0) && std::fseek(in.get(), 0, SEEK_END) == 0 &&
      TellFile(in.get()) <= kInMemoryLimit) {
    std::vector<uint8_t> data(size_t(TellFile(in.get())));
    std::rewind(in.get());
    if (std::fread(data.data(), 1, data.size(), in.get()) != data.size() || std::ferror(in.get())) {
      *error = "cannot read " + sourcePath;
      return false;
    }
    const bool ok = AddFileInMemory({name, 0, 8, dosDateTime, 0, 0, 0, attributes, 0}, data, error);
    if (ok && progress) progress(data.size());
    return ok;
  }
  std::rewind(in.get());
#endif
  std::vector<uint8_t> buffer(kChunk), compressed(kChunk + 64);
  const bool encrypt = !password_.empty();

  // The CRC-32 goes into the local header before the data, and an encrypted entry's check
  // byte is the CRC's high byte, so an encrypted file is read once for its CRC first.
  uint32_t crc = 0;
  uint64_t size = 0;
  auto readAll = [&](const std::function<bool(const uint8_t*, size_t, bool)>& take) {
    std::rewind(in.get());
    for (;;) {
      const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
      if (std::ferror(in.get())) return false;
      const bool last = got < buffer.size();
      if (!take(buffer.data(), got, last)) return false;
      if (last) return true;
    }
  };
  auto failRead = [&] {
    *error = "cannot read " + sourcePath;
    return false;
  };
  auto failWrite = [&] {
    *error = "cannot write the archive";
    return false;
  };
  if (encrypt) {
    crc = 0;
    if (!readAll([&](const uint8_t* p, size_t n, bool) {
          crc = uint32_t(crc32(crc, p, uInt(n)));
          size += n;
          return true;
        }))
      return failRead();
  }

  CentralRecord r{name,
                  uint16_t(encrypt ? 0x0001 : 0),
                  uint16_t(level_ > 0 ? 8 : 0),
                  dosDateTime,
                  crc,
                  0,
                  0,
                  attributes,
                  uint32_t(Position())};
  if (!WriteLocalHeader(r)) return failRead();
  const uint64_t dataStart = Position();

  uint8_t encryptionHeader[kEncryptionHeaderSize];
  if (encrypt && !NewEncryptionHeader(crc, encryptionHeader, error)) return false;
  auto startEncryption = [&] { return !encrypt || WriteEncryptionHeader(encryptionHeader); };

  uint64_t stored = 0;
  bool writeFailed = false;
  auto emit = [&](uint8_t* p, size_t n) {
    if (encrypt) Encrypt(p, n);
    stored += n;
    if (!Write(p, n)) writeFailed = true;
    return !writeFailed;
  };

  bool deflated = false;
  if (r.method == 8) {
    if (!startEncryption()) return failRead();
    z_stream z{};
    if (deflateInit2(&z, level_, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
      *error = "zlib cannot start";
      return false;
    }
    uint32_t runningCrc = 0;
    uint64_t done = 0;
    const bool ok = readAll([&](const uint8_t* p, size_t n, bool last) {
      runningCrc = uint32_t(crc32(runningCrc, p, uInt(n)));
      done += n;
      z.next_in = const_cast<Bytef*>(p);
      z.avail_in = uInt(n);
      int status;
      do {
        z.next_out = compressed.data();
        z.avail_out = uInt(compressed.size());
        status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        if (!emit(compressed.data(), compressed.size() - z.avail_out)) return false;
      } while (z.avail_out == 0 || (last && status != Z_STREAM_END));
      if (progress) progress(done);
      return true;
    });
    deflateEnd(&z);
    if (!ok) return writeFailed ? failWrite() : failRead();
    crc = runningCrc;
    size = done;
    deflated = stored < size;
  }
  if (!deflated) {
    // Stored: either asked for, or deflate did not make the file smaller.
    if (!Seek(dataStart)) return failRead();
    stored = 0;
    r.method = 0;
    if (!startEncryption()) return failRead();
    uint32_t runningCrc = 0;
    uint64_t done = 0;
    const bool ok = readAll([&](const uint8_t* p, size_t n, bool) {
      runningCrc = uint32_t(crc32(runningCrc, p, uInt(n)));
      done += n;
      std::memcpy(compressed.data(), p, n);
      if (!emit(compressed.data(), n)) return false;
      if (progress) progress(done);
      return true;
    });
    if (!ok) return writeFailed ? failWrite() : failRead();
    crc = runningCrc;
    size = done;
  }
  if (size > 0xFFFFFFFFu || stored + (encrypt ? kEncryptionHeaderSize : 0) > 0xFFFFFFFFu) {
    *error = sourcePath + " is 4 GiB or larger; ZIP sizes are 32 bits wide";
    return false;
  }
  r.crc32 = crc;
  r.uncompressedSize = uint32_t(size);
  r.compressedSize = uint32_t(stored + (encrypt ? kEncryptionHeaderSize : 0));
  const uint64_t dataEnd = dataStart + r.compressedSize;
  if (!Seek(r.offset) || !WriteLocalHeader(r) || !Seek(dataEnd)) {
    *error = "cannot write the archive";
    return false;
  }
  central_.push_back(r);
  return true;
}

#ifdef MKSFX_HAVE_LIBDEFLATE
// zlib's levels 1-9 on libdeflate's 1-12: 9 asks for the smallest output.
static int LibdeflateLevel(int zlibLevel) {
  static const int levels[10] = {0, 1, 3, 4, 5, 7, 8, 9, 11, 12};
  return levels[zlibLevel];
}
#endif

bool ZipWriter::AddFileInMemory(CentralRecord r, const std::vector<uint8_t>& data,
                                std::string* error) {
#ifdef MKSFX_HAVE_LIBDEFLATE
  r.offset = uint32_t(Position());
  r.crc32 = uint32_t(crc32(0, data.data(), uInt(data.size())));
  r.uncompressedSize = uint32_t(data.size());
  std::vector<uint8_t> stored;
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(LibdeflateLevel(level_));
  if (!compressor) {
    *error = "out of memory";
    return false;
  }
  stored.resize(libdeflate_deflate_compress_bound(compressor, data.size()));
  const size_t n = libdeflate_deflate_compress(compressor, data.data(), data.size(), stored.data(),
                                               stored.size());
  libdeflate_free_compressor(compressor);
  if (n == 0 || n >= data.size()) {
    stored = data;  // deflate does not help: stored
    r.method = 0;
  } else {
    stored.resize(n);
  }
  uint8_t header[kEncryptionHeaderSize];
  const bool encrypt = !password_.empty();
  if (encrypt) {
    r.flags |= 0x0001;
    if (!NewEncryptionHeader(r.crc32, header, error)) return false;
  }
  r.compressedSize = uint32_t(stored.size() + (encrypt ? sizeof header : 0));
  if (!WriteLocalHeader(r) || (encrypt && !WriteEncryptionHeader(header))) {
    *error = "cannot write the archive";
    return false;
  }
  if (encrypt) Encrypt(stored.data(), stored.size());  // the keys run on from the header
  if (!Write(stored.data(), stored.size())) {
    *error = "cannot write the archive";
    return false;
  }
  central_.push_back(r);
  return true;
#else
  (void)r;
  (void)data;
  *error = "built without libdeflate";
  return false;
#endif
}

bool ZipWriter::AddRaw(const RawEntry& e, std::string* error) {
  if (!CheckOffset(e.name, error)) return false;
  const bool isFolder = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\');
  const bool encrypt = !password_.empty() && !(e.flags & 0x0001) && !isFolder;
  CentralRecord r{e.name,
                  e.flags,
                  e.method,
                  e.dosDateTime,
                  e.crc32,
                  e.compressedSize,
                  e.uncompressedSize,
                  e.attributes,
                  uint32_t(Position())};
  if (encrypt) {
    r.flags |= 0x0001;
    r.compressedSize += kEncryptionHeaderSize;
  }
  if (!WriteLocalHeader(r)) {
    *error = "cannot write the archive";
    return false;
  }
  if (encrypt) {
    uint8_t header[kEncryptionHeaderSize];
    if (!NewEncryptionHeader(r.crc32, header, error)) return false;
    if (!WriteEncryptionHeader(header)) {
      *error = "cannot write the archive";
      return false;
    }
  }
  uint64_t copied = 0;
  std::vector<uint8_t> piece;
  const bool ok = e.copyData([&](const uint8_t* p, size_t n) {
    piece.assign(p, p + n);
    if (encrypt) Encrypt(piece.data(), n);
    copied += n;
    return Write(piece.data(), n);
  });
  if (!ok || copied != e.compressedSize) {
    *error = "cannot copy the data of " + e.name;
    return false;
  }
  central_.push_back(r);
  return true;
}

bool ZipWriter::Finish(std::string* error) {
  const uint64_t centralStart = Position();
  std::vector<uint8_t> c;
  for (const CentralRecord& r : central_) {
    Put32(c, kCentralSignature);
    Put16(c, kVersionMadeBy);
    PutSharedFields(c, r);
    Put16(c, 0);  // extra field
    Put16(c, 0);  // comment
    Put16(c, 0);  // disk number
    Put16(c, 0);  // internal attributes
    Put32(c, r.attributes);
    Put32(c, r.offset);
    c.insert(c.end(), r.name.begin(), r.name.end());
  }
  const uint64_t centralSize = c.size();
  if (central_.size() > 0xFFFF || centralStart + centralSize > 0xFFFFFFFFu) {
    *error = "too many entries or too large an archive for a ZIP without Zip64 records";
    return false;
  }
  Put32(c, kEndSignature);
  Put16(c, 0);
  Put16(c, 0);
  Put16(c, uint16_t(central_.size()));
  Put16(c, uint16_t(central_.size()));
  Put32(c, uint32_t(centralSize));
  Put32(c, uint32_t(centralStart));
  Put16(c, 0);  // no comment: the stub finds the end record in the last 22 bytes
  if (!Write(c.data(), c.size()) || !TruncateFile(out_, start_ + Position())) {
    *error = "cannot write the archive";
    return false;
  }
  return true;
}

}  // namespace mksfx

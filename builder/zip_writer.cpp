#include "builder/zip_writer.h"

#include <zlib.h>
#ifdef MKSFX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <optional>

#include "builder/file_io.h"
#include "builder/system.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/crypto/aes.h"
#include "unpacker/crypto/entry_cipher.h"
#include "unpacker/crypto/sha1.h"
#include "unpacker/crypto/zip_crypto.h"

namespace mksfx {

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr uint16_t kVersionNeeded = 20;     // 2.0: deflate, folders, traditional encryption
constexpr uint16_t kVersionNeededAes = 51;  // 5.1: AES encryption
constexpr uint8_t kAes256 = 3;              // the strength byte of AES-256
constexpr uint32_t kAesSaltSize = 16;       // AES-256's salt
// Below this size AE-2 is written: its CRC-32 field is 0, since the CRC of so short a file
// would give away much of its content; the authentication code protects it instead.
constexpr uint32_t kAe2Below = 20;
constexpr uint16_t kVersionMadeBy = 20;       // high byte 0: MS-DOS attributes in the low byte
constexpr uint16_t kVersionNeededZip64 = 45;  // 4.5: Zip64 fields and records
// A size or offset of 0xFFFFFFFF or more does not fit its 32-bit field, which then holds
// 0xFFFFFFFF and leaves the value to the Zip64 field or record.
constexpr uint64_t kZip64Mark = 0xFFFFFFFFu;
constexpr uint16_t kZip64CountMark = 0xFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;
// The Zip64 end record's bytes behind its size field (application note 4.3.14).
constexpr uint64_t kZip64EndRecordRest = 44;
// A file whose size at the start comes this near 4 GiB gets its local 0x0001 field at once, as
// what its stored form may add could take it past 4 GiB: deflate's stored blocks (5 bytes per
// 64 KiB, some 320 KiB at 4 GiB) and the encryption's 28 bytes. Kept small, as an archive
// gets Zip64 fields only where it needs them; a file that grows past 4 GiB is written again.
constexpr uint64_t kZip64Margin = 1ull << 20;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void Put64(std::vector<uint8_t>& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// The 32-bit field of a value: the value, or 0xFFFFFFFF when a Zip64 field holds it.
uint32_t Field32(uint64_t v) {
  return v < kZip64Mark ? uint32_t(v) : uint32_t(kZip64Mark);
}

// Encrypts in place, advancing the global key set (ZIP application note 6.1.6).
void Encrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t plain = data[i];
    data[i] = plain ^ DecryptByte();
    UpdateKeys(plain);
  }
}

uint32_t Crc32(uint32_t crc, const uint8_t* p, size_t n) {
  return uint32_t(crc32(crc, p, uInt(n)));
}

// Reads the file from its start in chunks into `buffer`, handing each to `take` with whether it
// is the last; false when reading fails or `take` refuses.
bool ReadChunks(std::FILE* in, std::vector<uint8_t>& buffer,
                const std::function<bool(const uint8_t*, size_t, bool)>& take) {
  std::rewind(in);
  for (;;) {
    const size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (std::ferror(in)) return false;
    const bool last = got < buffer.size();
    if (!take(buffer.data(), got, last)) return false;
    if (last) return true;
  }
}

#ifdef MKSFX_HAVE_LIBDEFLATE
// Files up to this size are compressed whole in memory with libdeflate (smaller and faster
// than zlib at its best level); larger ones stream through zlib.
constexpr uint64_t kInMemoryLimit = 64ull << 20;

// The data deflated by libdeflate at zlib's level 1-9 (9 asks for the smallest output, as
// libdeflate's 12 does); nothing when it does not come out smaller.
std::optional<std::vector<uint8_t>> DeflateInMemory(const std::vector<uint8_t>& data, int level) {
  static const int kLevels[10] = {0, 1, 3, 4, 5, 7, 8, 9, 11, 12};
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(kLevels[level]);
  if (!compressor) return std::nullopt;
  std::vector<uint8_t> deflated(libdeflate_deflate_compress_bound(compressor, data.size()));
  const size_t n = libdeflate_deflate_compress(compressor, data.data(), data.size(),
                                               deflated.data(), deflated.size());
  libdeflate_free_compressor(compressor);
  if (n == 0 || n >= data.size()) return std::nullopt;
  deflated.resize(n);
  return deflated;
}
#endif

}  // namespace

ZipWriter::ZipWriter(std::FILE* out, std::string outputPath, int level, std::string password,
                     Encryption encryption)
    : out_(out),
      outputPath_(std::move(outputPath)),
      level_(level),
      password_(std::move(password)),
      encryption_(encryption) {
  start_ = TellFile(out_);
  BuildCrcTable();
}

uint64_t ZipWriter::Position() const {
  return TellFile(out_) - start_;
}

bool ZipWriter::Seek(uint64_t position) {
  if (SeekFile(out_, start_ + position)) return true;
  writeError_ = CannotWrite(outputPath_);
  return false;
}

bool ZipWriter::Write(const void* data, size_t size) {
  if (size == 0 || std::fwrite(data, 1, size, out_) == size) return true;
  writeError_ = CannotWrite(outputPath_);
  return false;
}

bool ZipWriter::FailWrite(std::string* error) {
  *error = writeError_;
  return false;
}

// The fields that local and central headers share, from "version needed" to the name length.
// With zip64Sizes both 32-bit sizes are 0xFFFFFFFF and a 0x0001 field holds them. An entry with
// any Zip64 field, or a local header beyond 4 GiB, needs version 4.5.
void ZipWriter::PutSharedFields(std::vector<uint8_t>& h, const CentralRecord& r, bool zip64Sizes) {
  const bool zip64 = r.zip64Local || zip64Sizes || r.offset >= kZip64Mark;
  Put16(h, r.aesVersion ? kVersionNeededAes : zip64 ? kVersionNeededZip64 : kVersionNeeded);
  Put16(h, r.flags);
  Put16(h, r.aesVersion ? kMethodAes : r.method);
  Put32(h, r.dosDateTime);
  Put32(h, r.crc32);
  Put32(h, zip64Sizes ? uint32_t(kZip64Mark) : uint32_t(r.compressedSize));
  Put32(h, zip64Sizes ? uint32_t(kZip64Mark) : uint32_t(r.uncompressedSize));
  Put16(h, uint16_t(r.name.size()));
}

// The AES entry's 0x9901 field: its format, the vendor "AE", the key strength, the real method.
void ZipWriter::PutAesField(std::vector<uint8_t>& h, const CentralRecord& r) {
  if (!r.aesVersion) return;
  Put16(h, kAesExtraId);
  Put16(h, 7);
  Put16(h, r.aesVersion);
  h.push_back('A');
  h.push_back('E');
  h.push_back(r.aesStrength);
  Put16(h, r.method);
}

// A central record. Its 0x0001 field holds, in this order, the sizes of an entry whose data or
// stored form reaches 4 GiB (both, as in the local header) and the offset of a local header
// at 4 GiB or beyond.
void ZipWriter::PutCentralRecord(std::vector<uint8_t>& c, const CentralRecord& r) {
  const bool zip64Sizes = r.uncompressedSize >= kZip64Mark || r.compressedSize >= kZip64Mark;
  const bool zip64Offset = r.offset >= kZip64Mark;
  const uint16_t zip64Length = uint16_t((zip64Sizes ? 16 : 0) + (zip64Offset ? 8 : 0));
  Put32(c, kCentralSignature);
  Put16(c, kVersionMadeBy);
  PutSharedFields(c, r, zip64Sizes);
  Put16(c, uint16_t((zip64Length ? 4 + zip64Length : 0) + (r.aesVersion ? 11 : 0)));
  Put16(c, 0);  // comment
  Put16(c, 0);  // disk number
  Put16(c, 0);  // internal attributes
  Put32(c, r.attributes);
  Put32(c, Field32(r.offset));
  c.insert(c.end(), r.name.begin(), r.name.end());
  if (zip64Length) {
    Put16(c, kZip64ExtraId);
    Put16(c, zip64Length);
    if (zip64Sizes) {
      Put64(c, r.uncompressedSize);
      Put64(c, r.compressedSize);
    }
    if (zip64Offset) Put64(c, r.offset);
  }
  PutAesField(c, r);
}

uint32_t ZipWriter::EncryptionOverhead() const {
  if (encryption_ == Encryption::ZipCrypto) return kEncryptionHeaderSize;
  return kAesSaltSize + kAesVerifierSize + kAesMacSize;
}

// The local header; with zip64Local its 0x0001 field holds both sizes (application note 4.5.3:
// a local header's Zip64 field always holds both).
bool ZipWriter::WriteLocalHeader(const CentralRecord& r) {
  std::vector<uint8_t> h;
  Put32(h, kLocalSignature);
  PutSharedFields(h, r, r.zip64Local);
  Put16(h, uint16_t((r.zip64Local ? 20 : 0) + (r.aesVersion ? 11 : 0)));
  h.insert(h.end(), r.name.begin(), r.name.end());
  if (r.zip64Local) {
    Put16(h, kZip64ExtraId);
    Put16(h, 16);
    Put64(h, r.uncompressedSize);
    Put64(h, r.compressedSize);
  }
  PutAesField(h, r);
  return Write(h.data(), h.size());
}

bool ZipWriter::WriteEntry(CentralRecord r, bool encrypt, const DataSource& source,
                           std::string* error) {
  // Offsets count from the start of the program file, as `zip -A` makes them: ZIP readers then
  // open the program as a plain ZIP file, without a warning about bytes in front.
  r.offset = start_ + Position();
  r.zip64Local = std::max(r.compressedSize, r.uncompressedSize) + kZip64Margin >= kZip64Mark;
  Written written = WriteEntryOnce(r, encrypt, source, error);
  if (written == Written::NeedsZip64Field) {
    // The data reached 4 GiB although the file's size at the start did not come near it (it
    // grew, or its size was not known): written again, now with room for its 64-bit sizes.
    if (!Seek(r.offset - start_)) return FailWrite(error);
    r.zip64Local = true;
    written = WriteEntryOnce(r, encrypt, source, error);
  }
  return written == Written::Ok;
}

ZipWriter::Written ZipWriter::WriteEntryOnce(CentralRecord r, bool encrypt,
                                             const DataSource& source, std::string* error) {
  const bool aes = encrypt && encryption_ == Encryption::Aes256;
  uint8_t header[kMaxEncryptionHeaderSize];
  uint32_t headerSize = 0;
  AesCtr ctr;
  HmacSha1 mac;
  if (aes) {
    r.flags |= kFlagEncrypted;
    r.aesStrength = kAes256;
    r.aesVersion = r.uncompressedSize < kAe2Below ? 2 : 1;
    if (r.aesVersion == 2) r.crc32 = 0;
    // A fresh random salt per entry: no two entries share a key, even with one password.
    if (!CryptoRandom(header, kAesSaltSize)) {
      *error = "the system's random source failed";
      return Written::Failed;
    }
    uint8_t derived[2 * 32 + kAesVerifierSize];
    Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(password_.data()), password_.size(), header,
                   kAesSaltSize, kAesIterations, derived, sizeof derived);
    AesCtrBegin(&ctr, derived, 32);
    HmacSha1Begin(&mac, derived + 32, 32);
    header[kAesSaltSize] = derived[64];
    header[kAesSaltSize + 1] = derived[65];
    WipeMemory(derived, sizeof derived);
    headerSize = kAesSaltSize + kAesVerifierSize;
  } else if (encrypt) {
    r.flags |= kFlagEncrypted;
    // Eleven random bytes, and as check byte the CRC's high byte (no data descriptor follows).
    if (!CryptoRandom(header, kEncryptionHeaderSize - 1)) {
      *error = "the system's random source failed";
      return Written::Failed;
    }
    header[kEncryptionHeaderSize - 1] = uint8_t(r.crc32 >> 24);
    InitKeys(password_.data(), uint32_t(password_.size()));
    Encrypt(header, kEncryptionHeaderSize);  // the keys run on into the data
    headerSize = kEncryptionHeaderSize;
  }
  auto failWrite = [&] {
    FailWrite(error);
    return Written::Failed;
  };
  if (!WriteLocalHeader(r) || !Write(header, headerSize)) return failWrite();

  uint64_t stored = 0, size = r.uncompressedSize;
  uint32_t crc = r.crc32;
  const uint32_t trailerSize = aes ? kAesMacSize : 0;
  bool writeFailed = false, outgrown = false;
  const Emit emit = [&](uint8_t* p, size_t n) {
    // Data that outgrows a local header without room for 64-bit sizes is not read on: the
    // entry is written again, with the room.
    if (!r.zip64Local &&
        (size >= kZip64Mark || stored + n + headerSize + trailerSize >= kZip64Mark)) {
      outgrown = true;
      return false;
    }
    if (aes) {
      AesCtrApply(&ctr, p, n);
      HmacSha1Add(&mac, p, n);  // the code covers the encrypted bytes
    } else if (encrypt) {
      Encrypt(p, n);
    }
    stored += n;
    writeFailed = !Write(p, n);
    return !writeFailed;
  };
  const bool sourced = source(emit, &crc, &size, error);
  uint8_t code[kSha1DigestSize];
  if (aes) HmacSha1End(&mac, code);
  WipeMemory(&ctr, sizeof ctr);
  WipeMemory(&mac, sizeof mac);
  if (outgrown) return Written::NeedsZip64Field;
  if (!sourced) return writeFailed ? failWrite() : Written::Failed;
  if (!Write(code, trailerSize)) return failWrite();
  const CentralRecord written = r;
  r.crc32 = crc;
  r.uncompressedSize = size;
  r.compressedSize = stored + headerSize + trailerSize;
  if (!r.zip64Local && (r.uncompressedSize >= kZip64Mark || r.compressedSize >= kZip64Mark))
    return Written::NeedsZip64Field;
  if (aes) {
    r.aesVersion = size < kAe2Below ? 2 : 1;
    if (r.aesVersion == 2) r.crc32 = 0;
  }
  if (r.crc32 != written.crc32 || r.uncompressedSize != written.uncompressedSize ||
      r.compressedSize != written.compressedSize || r.aesVersion != written.aesVersion) {
    const uint64_t end = Position();
    if (!Seek(r.offset - start_) || !WriteLocalHeader(r) || !Seek(end)) return failWrite();
  }
  central_.push_back(r);
  return Written::Ok;
}

bool ZipWriter::AddFolder(const EntryInfo& entry, std::string* error) {
  // A folder has no data, so there is nothing to encrypt and no password to ask for.
  const CentralRecord r{.name = entry.name,
                        .flags = uint16_t(entry.nameIsUtf8 ? kFlagUtf8Name : 0),
                        .method = kMethodStored,
                        .dosDateTime = entry.dosDateTime,
                        .attributes = entry.attributes | kAttrDirectory};
  return WriteEntry(
      r, false, [](const Emit&, uint32_t*, uint64_t*, std::string*) { return true; }, error);
}

bool ZipWriter::AddFile(const EntryInfo& entry, const std::string& sourcePath,
                        const std::function<void(uint64_t)>& progress, std::string* error) {
  FilePtr in = OpenFile(sourcePath, "rb");
  if (!in) {
    *error = CannotRead(sourcePath);
    return false;
  }
  const bool encrypt = !password_.empty();
  CentralRecord r{.name = entry.name,
                  .flags = uint16_t(entry.nameIsUtf8 ? kFlagUtf8Name : 0),
                  .method = level_ > 0 ? kMethodDeflated : kMethodStored,
                  .dosDateTime = entry.dosDateTime,
                  .attributes = entry.attributes};
  auto failRead = [&] {
    *error = CannotRead(sourcePath);
    return false;
  };
  // The size the file has now; what it holds when it is read counts.
  const bool measured = std::fseek(in.get(), 0, SEEK_END) == 0;
  const uint64_t sizeNow = measured ? TellFile(in.get()) : 0;
  std::rewind(in.get());
#ifdef MKSFX_HAVE_LIBDEFLATE
  std::vector<uint8_t> data;
  bool inMemory = level_ > 0 && measured && sizeNow <= kInMemoryLimit;
  if (inMemory) {
    data.resize(size_t(sizeNow));
    if (std::fread(data.data(), 1, data.size(), in.get()) != data.size() || std::ferror(in.get()))
      return failRead();
    // A file that holds more than its size said (it grew meanwhile, or reports no size, as
    // /proc files do) is streamed instead, from its start, so nothing of it is lost.
    inMemory = std::fgetc(in.get()) == EOF && !std::ferror(in.get());
  }
  if (inMemory) {
    r.crc32 = Crc32(0, data.data(), data.size());
    r.uncompressedSize = data.size();
    std::optional<std::vector<uint8_t>> deflated = DeflateInMemory(data, level_);
    if (!deflated) r.method = kMethodStored;
    std::vector<uint8_t>& stored = deflated ? *deflated : data;
    r.compressedSize = stored.size() + (encrypt ? EncryptionOverhead() : 0);
    const bool ok = WriteEntry(
        r, encrypt,
        [&](const Emit& emit, uint32_t*, uint64_t*, std::string*) {
          return emit(stored.data(), stored.size());
        },
        error);
    if (ok) progress(data.size());
    return ok;
  }
#endif
  std::vector<uint8_t> buffer(kChunk);
  // A ZipCrypto entry's check byte is the CRC's high byte and goes in front of the data, so
  // such a file is read once for its CRC first.
  if (encrypt && encryption_ == Encryption::ZipCrypto &&
      !ReadChunks(in.get(), buffer, [&](const uint8_t* p, size_t n, bool) {
        r.crc32 = Crc32(r.crc32, p, n);
        return true;
      }))
    return failRead();

  // Reads the file through `transform`, which passes on what it makes of each chunk.
  auto streamed =
      [&](const std::function<bool(const Emit&, const uint8_t*, size_t, bool)>& transform) {
        return [&, transform](const Emit& emit, uint32_t* crc, uint64_t* size, std::string*) {
          *crc = 0;
          *size = 0;
          return ReadChunks(in.get(), buffer,
                            [&](const uint8_t* p, size_t n, bool last) {
                              *crc = Crc32(*crc, p, n);
                              *size += n;
                              if (!transform(emit, p, n, last)) return false;
                              progress(*size);
                              return true;
                            }) ||
                 failRead();
        };
      };
  r.uncompressedSize = sizeNow;  // decides whether the local header gets its 0x0001 field at once
  const uint64_t offset = Position();
  if (r.method == kMethodDeflated) {
    std::vector<uint8_t> compressed(kChunk + 64);
    z_stream z{};
    if (deflateInit2(&z, level_, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
      *error = "zlib cannot start";
      return false;
    }
    const DataSource deflating =
        streamed([&](const Emit& emit, const uint8_t* p, size_t n, bool last) {
          z.next_in = const_cast<Bytef*>(p);
          z.avail_in = uInt(n);
          int status;
          do {
            z.next_out = compressed.data();
            z.avail_out = uInt(compressed.size());
            status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            if (!emit(compressed.data(), compressed.size() - z.avail_out)) return false;
          } while (z.avail_out == 0 || (last && status != Z_STREAM_END));
          return true;
        });
    const bool ok = WriteEntry(
        r, encrypt,
        [&](const Emit& emit, uint32_t* crc, uint64_t* size, std::string* error) {
          // Every writing of the entry deflates the file from its start.
          if (deflateReset(&z) == Z_OK) return deflating(emit, crc, size, error);
          *error = "zlib cannot start";
          return false;
        },
        error);
    deflateEnd(&z);
    if (!ok) return false;
    const CentralRecord& d = central_.back();
    if (d.compressedSize - (encrypt ? EncryptionOverhead() : 0) < d.uncompressedSize) return true;
    // Deflate did not make the file smaller: stored in its place.
    r.uncompressedSize = d.uncompressedSize;
    central_.pop_back();
    if (!Seek(offset)) return FailWrite(error);
    r.method = kMethodStored;
  }
  std::vector<uint8_t> copy(kChunk);
  return WriteEntry(r, encrypt, streamed([&](const Emit& emit, const uint8_t* p, size_t n, bool) {
                      copy.assign(p, p + n);
                      return emit(copy.data(), n);
                    }),
                    error);
}

bool ZipWriter::AddRaw(const RawEntry& e, std::string* error) {
  const bool isFolder = !e.name.empty() && (e.name.back() == '/' || e.name.back() == '\\');
  const bool encrypt = !password_.empty() && !(e.flags & kFlagEncrypted) && !isFolder;
  const CentralRecord r{.name = e.name,
                        .flags = e.flags,
                        .method = e.method,
                        .dosDateTime = e.dosDateTime,
                        .crc32 = e.crc32,
                        .compressedSize = e.compressedSize + (encrypt ? EncryptionOverhead() : 0),
                        .uncompressedSize = e.uncompressedSize,
                        .attributes = e.attributes,
                        .aesVersion = e.aesVersion,
                        .aesStrength = e.aesStrength};
  std::vector<uint8_t> piece;
  return WriteEntry(
      r, encrypt,
      [&](const Emit& emit, uint32_t*, uint64_t*, std::string* error) {
        uint64_t copied = 0;
        const bool ok = e.copyData([&](const uint8_t* p, size_t n) {
          piece.assign(p, p + n);
          copied += n;
          return emit(piece.data(), n);
        });
        if (ok && copied == e.compressedSize) return true;
        *error = "cannot copy the data of " + e.name;
        return false;
      },
      error);
}

bool ZipWriter::Finish(std::string* error) {
  const uint64_t centralStart = start_ + Position();
  std::vector<uint8_t> c;
  for (const CentralRecord& r : central_) {
    PutCentralRecord(c, r);
    if (c.size() < kChunk) continue;
    if (!Write(c.data(), c.size())) return FailWrite(error);
    c.clear();
  }
  if (!Write(c.data(), c.size())) return FailWrite(error);
  c.clear();
  const uint64_t centralSize = start_ + Position() - centralStart, count = central_.size();
  // A count of 0xFFFF already says "see the Zip64 end record", so 65,535 entries need it too.
  if (count >= kZip64CountMark || centralStart >= kZip64Mark || centralSize >= kZip64Mark) {
    const uint64_t zip64EndAt = start_ + Position();
    Put32(c, kZip64EndSignature);
    Put64(c, kZip64EndRecordRest);
    Put16(c, kVersionNeededZip64);  // made by
    Put16(c, kVersionNeededZip64);
    Put32(c, 0);      // this disk
    Put32(c, 0);      // the disk where the central directory starts
    Put64(c, count);  // on this disk
    Put64(c, count);
    Put64(c, centralSize);
    Put64(c, centralStart);
    Put32(c, kZip64LocatorSignature);
    Put32(c, 0);  // the disk of the Zip64 end record
    Put64(c, zip64EndAt);
    Put32(c, 1);  // disks in all
  }
  // The end record's fields that do not fit hold 0xFFFF or 0xFFFFFFFF; the others keep their
  // values, which readers without Zip64 (the stub's attribute pass among them) go on using.
  const uint16_t count16 = uint16_t(std::min<uint64_t>(count, kZip64CountMark));
  Put32(c, kEndSignature);
  Put16(c, 0);
  Put16(c, 0);
  Put16(c, count16);
  Put16(c, count16);
  Put32(c, Field32(centralSize));
  Put32(c, Field32(centralStart));
  Put16(c, 0);  // no comment: the stub finds the end record in the last 22 bytes
  if (!Write(c.data(), c.size())) return FailWrite(error);
  if (!TruncateFile(out_, start_ + Position())) {
    *error = CannotWrite(outputPath_);
    return false;
  }
  return true;
}

}  // namespace mksfx

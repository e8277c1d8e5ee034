// Writes the ZIP data that the stub walks: CRC-32 and both sizes in every local header, no data
// descriptors, methods 0 and 8 only, MS-DOS attributes, no archive comment (the end record is
// the last 22 bytes of the file). Offsets are relative to the first byte of the ZIP data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace mksfx {

// DOS attribute bits kept in the external attributes.
constexpr uint32_t kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04,
                   kAttrDirectory = 0x10, kAttrArchive = 0x20;
constexpr uint32_t kDosAttributeMask =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;

// An entry whose data is already in its final stored form (copied from another archive).
struct RawEntry {
  std::string name;  // archive code page
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;  // including a 12-byte encryption header
  uint32_t uncompressedSize = 0;
  uint32_t attributes = 0;
  // Delivers the stored bytes in order, in pieces; false on a read failure.
  std::function<bool(const std::function<bool(const uint8_t*, size_t)>&)> copyData;
};

class ZipWriter {
 public:
  // out must be seekable; the ZIP data starts at its current position.
  ZipWriter(std::FILE* out, int level, std::string password);

  // A file read from disk: deflated at the level (stored when that does not make it smaller),
  // encrypted when a password was given. progress is told the uncompressed bytes done.
  bool AddFile(const std::string& name, const std::string& sourcePath, uint32_t dosDateTime,
               uint32_t attributes, const std::function<void(uint64_t)>& progress,
               std::string* error);
  bool AddFolder(const std::string& name, uint32_t dosDateTime, uint32_t attributes,
                 std::string* error);
  // Data already in stored form; encrypted with the writer's password when it is not yet
  // encrypted and a password was given.
  bool AddRaw(const RawEntry& entry, std::string* error);

  // Central directory and end record.
  bool Finish(std::string* error);

  size_t entryCount() const { return central_.size(); }

 private:
  struct CentralRecord {
    std::string name;
    uint16_t flags, method;
    uint32_t dosDateTime, crc32, compressedSize, uncompressedSize, attributes, offset;
  };
  static void PutSharedFields(std::vector<uint8_t>& h, const CentralRecord& r);
  // The plain 12-byte encryption header of an entry with this CRC-32.
  static bool NewEncryptionHeader(uint32_t crc32, uint8_t* header, std::string* error);
  // Starts the keys from the password and writes the header encrypted; the data follows.
  bool WriteEncryptionHeader(const uint8_t* header);
  bool WriteLocalHeader(const CentralRecord& r);
  bool AddFileInMemory(CentralRecord r, const std::vector<uint8_t>& data, std::string* error);
  uint64_t Position() const;
  bool Seek(uint64_t position);
  bool Write(const void* data, size_t size);
  bool CheckOffset(const std::string& name, std::string* error);

  std::FILE* out_;
  uint64_t start_;
  int level_;
  std::string password_;
  std::vector<CentralRecord> central_;
  uint32_t encryptionSeed_ = 0;
};

// Fills `bytes` from the system's cryptographic random source; false when it fails.
bool CryptoRandom(uint8_t* bytes, size_t count);

}  // namespace mksfx

// Writes the ZIP data that the stub walks: CRC-32 and both sizes in every local header, no data
// descriptors, methods 0 and 8 only (encrypted with WinZip AES-256 or the traditional scheme),
// MS-DOS attributes, no archive comment (the end record is the last 22 bytes of the file).
// Zip64 fields (ZIP application note 4.5.3) and records (4.3.14, 4.3.15) are written only
// where an entry or the archive needs them, so every other archive keeps its 2.0 layout.
// Offsets count from the start of the output file (the program), as `zip -A` makes them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "builder/zip_format.h"

namespace mksfx {

// How files are encrypted when a password is given. AES-256 (WinZip AE-1/AE-2) resists the
// known-plaintext attack that breaks the traditional scheme; ZipCrypto stays for readers that
// know nothing else.
enum class Encryption { Aes256, ZipCrypto };

// A file's or folder's fields besides its data.
struct EntryInfo {
  std::string name;         // the archive's code page, or UTF-8 with nameIsUtf8
  bool nameIsUtf8 = false;  // written with general-purpose bit 11
  uint32_t dosDateTime = 0;
  uint32_t attributes = 0;  // MS-DOS attribute bits
};

// An entry whose data is already in its final stored form (copied from another archive).
struct RawEntry {
  std::string name;  // archive code page, or UTF-8 when flags has bit 11
  uint16_t flags = 0;
  uint16_t method = 0;  // the real method; for an AES entry the one from its extra field
  uint8_t aesVersion = 0, aesStrength = 0;  // an AES entry's extra field; 0 for others
  uint32_t dosDateTime = 0;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0;  // including the encryption header and trailer
  uint64_t uncompressedSize = 0;
  uint32_t attributes = 0;
  // Delivers the stored bytes in order, in pieces; false on a read failure.
  std::function<bool(const std::function<bool(const uint8_t*, size_t)>&)> copyData;
};

class ZipWriter {
 public:
  // out must be seekable; the ZIP data starts at its current position. outputPath names the
  // file in messages about failed writes. The password's bytes are those the entries are
  // encrypted with: UTF-8 for AES, the archive's code page for ZipCrypto.
  ZipWriter(std::FILE* out, std::string outputPath, int level, std::string password,
            Encryption encryption = Encryption::Aes256);

  // A file read from disk: deflated at the level (stored when that does not make it smaller),
  // encrypted when a password was given. progress is told the uncompressed bytes done.
  // The file may be of any size, and may grow while it is read: it is read in pieces, and
  // written a second time when it outgrows what its local header has room for.
  bool AddFile(const EntryInfo& entry, const std::string& sourcePath,
               const std::function<void(uint64_t)>& progress, std::string* error);
  bool AddFolder(const EntryInfo& entry, std::string* error);
  // Data already in stored form; encrypted with the writer's password when it is not yet
  // encrypted and a password was given.
  bool AddRaw(const RawEntry& entry, std::string* error);

  // Central directory and end record; before the end record the Zip64 end record and its
  // locator when there are more than 65,534 entries or the directory lies beyond 4 GiB.
  bool Finish(std::string* error);

  size_t entryCount() const { return central_.size(); }

 private:
  struct CentralRecord {
    std::string name;
    uint16_t flags = 0, method = 0;
    uint32_t dosDateTime = 0, crc32 = 0;
    uint64_t compressedSize = 0, uncompressedSize = 0;
    uint32_t attributes = 0;
    uint64_t offset = 0;
    uint8_t aesVersion = 0, aesStrength = 0;  // written as method 99 and the 0x9901 field
    // The local header holds a 0x0001 field with both sizes, its 32-bit sizes 0xFFFFFFFF.
    bool zip64Local = false;
  };
  enum class Written { Ok, Failed, NeedsZip64Field };
  // Hands the entry's stored bytes to `emit` in order (which may change them: it encrypts in
  // place) and sets the CRC-32 and size of the plain data. False with *error set when the data
  // cannot be read; false when emit fails.
  using Emit = std::function<bool(uint8_t*, size_t)>;
  using DataSource =
      std::function<bool(const Emit& emit, uint32_t* crc32, uint64_t* size, std::string* error)>;

  // The one way an entry is written: local header, the encryption header when `encrypt`, the
  // data from `source`, the authentication code (AES), the local header again when the data
  // changed its fields, and the central record. With ZipCrypto r.crc32 must be final already
  // (the check byte is its high byte). r's sizes are what
  // is known before the data is read; when they come near 4 GiB the local header gets its
  // 0x0001 field at once, else the entry is written again with it if its data needs it.
  // `source` runs once per writing.
  bool WriteEntry(CentralRecord r, bool encrypt, const DataSource& source, std::string* error);
  Written WriteEntryOnce(CentralRecord r, bool encrypt, const DataSource& source,
                         std::string* error);
  static void PutSharedFields(std::vector<uint8_t>& h, const CentralRecord& r, bool zip64Sizes);
  static void PutAesField(std::vector<uint8_t>& h, const CentralRecord& r);
  static void PutCentralRecord(std::vector<uint8_t>& c, const CentralRecord& r);
  // The bytes the encryption adds in front of the data and behind it.
  uint32_t EncryptionOverhead() const;
  bool WriteLocalHeader(const CentralRecord& r);
  uint64_t Position() const;
  bool Seek(uint64_t position);
  bool Write(const void* data, size_t size);
  bool FailWrite(std::string* error);

  std::FILE* out_;
  std::string outputPath_;
  uint64_t start_;
  int level_;
  std::string password_;
  Encryption encryption_;
  std::vector<CentralRecord> central_;
  std::string writeError_;  // why the last failed write failed
};

}  // namespace mksfx

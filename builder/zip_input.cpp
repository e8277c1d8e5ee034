#include "builder/zip_input.h"

#include <algorithm>
#include <cstring>

#include "builder/code_page.h"
#include "builder/file_io.h"
#include "unpacker/container/little_endian.h"

namespace mksfx {

namespace {

// Hosts whose external attributes carry MS-DOS bits in the low byte (ZIP application note
// 4.4.2): MS-DOS/OS2 FAT, NTFS, VFAT.
bool DosHost(uint16_t versionMadeBy) {
  const unsigned host = versionMadeBy >> 8;
  return host == 0 || host == 11 || host == 14;
}

uint32_t DosAttributes(uint16_t versionMadeBy, uint32_t external, bool folder) {
  if (DosHost(versionMadeBy)) return external & kDosAttributeMask;
  uint32_t attributes = folder ? kAttrDirectory : kAttrArchive;
  const uint32_t mode = external >> 16;  // Unix st_mode from Unix hosts
  if (mode != 0) {
    if ((mode & 0170000) == 0040000) attributes = kAttrDirectory;
    if ((mode & 0222) == 0) attributes |= kAttrReadOnly;
  } else {
    attributes |= external & (kAttrReadOnly | kAttrHidden | kAttrSystem);
  }
  return attributes;
}

}  // namespace

bool LooksLikeZipPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) { return char(tolower(c)); });
  return tail == ".zip";
}

bool ReadZipInput(const std::string& path, unsigned codePage, bool encrypting, ZipInput* input,
                  std::string* error) {
  return ReadWholeFile(path, &input->bytes, error) &&
         CheckZipInput(path, codePage, encrypting, input, error);
}

bool CheckZipInput(const std::string& path, unsigned codePage, bool encrypting, ZipInput* input,
                   std::string* error) {
  const std::vector<uint8_t>& b = input->bytes;
  auto refuse = [&](const std::string& entry, const std::string& why) {
    *error = path + (entry.empty() ? "" : ": entry " + entry) + ": " + why;
    return false;
  };
  auto rewriteBecause = [&](const std::string& why) {
    if (input->walkableAsItStands) {
      input->walkableAsItStands = false;
      input->whyRewritten = why;
    }
  };

  // The end record: the last one in the file whose comment reaches exactly to the end.
  size_t endAt = SIZE_MAX;
  if (b.size() >= kEndRecordSize) {
    const size_t lowest =
        b.size() > kEndRecordSize + 0xFFFF ? b.size() - kEndRecordSize - 0xFFFF : 0;
    for (size_t i = b.size() - kEndRecordSize + 1; i-- > lowest;) {
      if (LoadU32(&b[i]) == kEndSignature && i + kEndRecordSize + LoadU16(&b[i + 20]) == b.size()) {
        endAt = i;
        break;
      }
    }
  }
  if (endAt == SIZE_MAX) return refuse("", "not a ZIP archive (no end of central directory)");
  const uint8_t* end = &b[endAt];
  uint64_t count = LoadU16(end + 10), centralSize = LoadU32(end + 12),
           centralOffset = LoadU32(end + 16);
  if (LoadU16(end + 4) != 0 || LoadU16(end + 6) != 0 || LoadU16(end + 8) != count)
    return refuse("", "it is split over several disks");
  // The Zip64 end record, found through its locator right before the end record, holds the
  // counts and offsets that do not fit the end record; the directory ends where it starts.
  size_t centralEnd = endAt;
  const bool zip64 = endAt >= kZip64LocatorSize + kZip64EndRecordSize &&
                     LoadU32(&b[endAt - kZip64LocatorSize]) == kZip64LocatorSignature;
  if (zip64) {
    centralEnd = endAt - kZip64LocatorSize - kZip64EndRecordSize;
    const uint8_t* end64 = &b[centralEnd];
    if (LoadU32(end64) != kZip64EndSignature || LoadU32(end64 + 16) != 0 ||
        LoadU32(end64 + 20) != 0 || LoadU64(end64 + 24) != LoadU64(end64 + 32))
      return refuse("", "its Zip64 end record is damaged or split over several disks");
    count = LoadU64(end64 + 32);
    centralSize = LoadU64(end64 + 40);
    centralOffset = LoadU64(end64 + 48);
  } else if (count == 0xFFFF || centralOffset == 0xFFFFFFFFu || centralSize == 0xFFFFFFFFu) {
    return refuse("", "its Zip64 end record is missing");
  }
  if (centralSize > centralEnd || count > centralSize / kCentralHeaderSize)
    return refuse("", "its central directory is damaged");
  // Data in front of the archive (a self-extracting archive given as input) shifts every
  // offset; the central directory ends where the end records start.
  const size_t centralAt = centralEnd - centralSize;
  if (centralAt < centralOffset) return refuse("", "its central directory is damaged");
  const size_t bias = centralAt - centralOffset;

  input->walkableAsItStands = true;
  if (bias != 0) rewriteBecause("data in front of the first entry");
  if (endAt + kEndRecordSize != b.size()) rewriteBecause("an archive comment");
  if (encrypting) rewriteBecause("encryption with the given password");
  if (zip64) rewriteBecause("Zip64 records");
  input->offsetFields.push_back(endAt + 16);

  size_t next = centralAt;
  size_t expectedLocal = bias;  // where the stub's walk expects the next local header
  for (uint64_t i = 0; i < count; ++i) {
    if (next + kCentralHeaderSize > centralEnd || LoadU32(&b[next]) != kCentralSignature)
      return refuse("", "its central directory is damaged");
    const uint8_t* c = &b[next];
    const uint16_t madeBy = LoadU16(c + 4), flags = LoadU16(c + 8), method = LoadU16(c + 10);
    const uint16_t nameLength = LoadU16(c + 28), extraLength = LoadU16(c + 30),
                   commentLength = LoadU16(c + 32);
    const uint32_t crc = LoadU32(c + 16);
    uint64_t compressed = LoadU32(c + 20), uncompressed = LoadU32(c + 24),
             localOffset = LoadU32(c + 42);
    if (next + kCentralHeaderSize + nameLength + extraLength + commentLength > centralEnd)
      return refuse("", "its central directory is damaged");
    input->offsetFields.push_back(next + 42);
    std::string name(reinterpret_cast<const char*>(c + kCentralHeaderSize), nameLength);
    const std::string shownName = (flags & kFlagUtf8Name) ? name : CodePageToUtf8(name, codePage);
    next += kCentralHeaderSize + nameLength + extraLength + commentLength;

    // A field of 0xFFFFFFFF leaves its value to the Zip64 extra field, which holds those
    // values in this order (application note 4.5.3).
    uint32_t zip64Size = 0;
    const uint8_t* zip64Field =
        FindExtraField(c + kCentralHeaderSize + nameLength, extraLength, 0x0001, &zip64Size);
    for (uint64_t* value : {&uncompressed, &compressed, &localOffset}) {
      if (*value != 0xFFFFFFFFu) continue;
      if (!zip64Field || zip64Size < 8) return refuse(shownName, "its Zip64 field is missing");
      *value = LoadU64(zip64Field);
      zip64Field += 8;
      zip64Size -= 8;
    }
    // A WinZip AES entry names its real method in its extra field.
    AesExtraField aes{};
    uint16_t realMethod = method;
    if (method == kMethodAes) {
      if (!(flags & kFlagEncrypted) ||
          !FindAesExtraField(c + kCentralHeaderSize + nameLength, extraLength, &aes))
        return refuse(shownName, "method 99 (AES) without a readable 0x9901 extra field");
      realMethod = aes.Method;
    }
    if (realMethod != kMethodStored && realMethod != kMethodDeflated)
      return refuse(shownName, "compression method " + std::to_string(realMethod) +
                                   ", which the stub cannot decode (only stored and deflated)");
    if ((flags & kFlagEncrypted) && (flags & kFlagStrongEncryption))
      return refuse(shownName, "strong encryption, which the stub cannot decrypt");
    if (nameLength == 0) return refuse("(no name)", "an entry without a name");

    // The stub reads names as bytes of the system code page: UTF-8 names that the code page
    // can hold are converted; the others stay UTF-8, flagged as such.
    bool keepsUtf8 = false;
    if (flags & kFlagUtf8Name) {
      std::string why;
      if (const auto converted = Utf8ToCodePage(name, codePage, &why)) {
        if (*converted != name) rewriteBecause("UTF-8 names");
        name = *converted;
      } else if (!IsUtf8(name)) {
        return refuse(shownName, "its name is flagged as UTF-8 and is none");
      } else if (!IsSupportedCodePage(codePage)) {
        return refuse(shownName, "its name " + why);
      } else {
        keepsUtf8 = true;
      }
    }

    if (localOffset >= centralAt - bias || centralAt - bias - localOffset < kLocalHeaderSize ||
        LoadU32(&b[localOffset + bias]) != kLocalSignature)
      return refuse(shownName, "its local header is missing or damaged");
    const size_t local = size_t(localOffset) + bias;
    const uint8_t* l = &b[local];
    const size_t dataAt = local + kLocalHeaderSize + LoadU16(l + 26) + LoadU16(l + 28);
    if (dataAt > centralAt || compressed > centralAt - dataAt)
      return refuse(shownName, "its data is cut short");

    const bool folder = name.back() == '/' || name.back() == '\\';
    const uint32_t attributes = DosAttributes(madeBy, LoadU32(c + 38), folder);
    if (local != expectedLocal) rewriteBecause("gaps or reordering between entries");
    if (flags & kFlagDataDescriptor) rewriteBecause("data descriptors");
    if (LoadU32(l + 14) != crc || LoadU32(l + 18) != compressed || LoadU32(l + 22) != uncompressed)
      rewriteBecause("local headers without CRC-32 or sizes");
    if ((LoadU32(c + 38) & ~kDosAttributeMask) != 0 || attributes != (LoadU32(c + 38) & 0xFF))
      rewriteBecause("non-MS-DOS file attributes");
    expectedLocal = dataAt + compressed;

    RawEntry e;
    e.name = name;
    // An encrypted entry with bit 3 keeps it: its check byte is the time's high byte. No data
    // descriptor follows in the rewritten archive.
    e.flags = uint16_t(flags & (kFlagEncrypted | 0x0006 |
                                ((flags & kFlagEncrypted) ? kFlagDataDescriptor : 0) |
                                (keepsUtf8 ? kFlagUtf8Name : 0)));
    e.method = realMethod;
    e.aesVersion = aes.Version;
    e.aesStrength = aes.Strength;
    e.dosDateTime = LoadU32(c + 12);
    e.crc32 = crc;
    e.compressedSize = compressed;
    e.uncompressedSize = uncompressed;
    e.attributes = attributes;
    const uint8_t* data = b.data() + dataAt;
    e.copyData = [data, compressed](const std::function<bool(const uint8_t*, size_t)>& sink) {
      return sink(data, compressed);
    };
    input->entries.push_back(std::move(e));
  }
  // Whatever follows the last entry's data (a descriptor, a gap) must be the central directory.
  if (expectedLocal != centralAt) rewriteBecause("data between the last entry and the directory");
  return true;
}

void ShiftOffsets(ZipInput* input, uint64_t by) {
  for (const size_t at : input->offsetFields)
    if (LoadU32(&input->bytes[at]) + by >= 0xFFFFFFFFu) return;
  for (const size_t at : input->offsetFields) {
    const uint32_t shifted = uint32_t(LoadU32(&input->bytes[at]) + by);
    for (int i = 0; i < 4; ++i) input->bytes[at + i] = uint8_t(shifted >> (8 * i));
  }
}

}  // namespace mksfx

#include "builder/zip_input.h"

#include <algorithm>
#include <cstring>

#include "builder/code_page.h"
#include "builder/file_io.h"

namespace mksfx {

namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;

uint16_t U16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
  return uint32_t(U16(p)) | uint32_t(U16(p + 2)) << 16;
}

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
  std::vector<uint8_t>& b = input->bytes;
  if (!ReadWholeFile(path, &b)) {
    *error = "cannot read " + path;
    return false;
  }
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
  if (b.size() >= kEndSize) {
    const size_t lowest = b.size() > kEndSize + 0xFFFF ? b.size() - kEndSize - 0xFFFF : 0;
    for (size_t i = b.size() - kEndSize + 1; i-- > lowest;) {
      if (U32(&b[i]) == kEndSignature && i + kEndSize + U16(&b[i + 20]) == b.size()) {
        endAt = i;
        break;
      }
    }
  }
  if (endAt == SIZE_MAX) return refuse("", "not a ZIP archive (no end of central directory)");
  const uint8_t* end = &b[endAt];
  const uint32_t count = U16(end + 10), centralSize = U32(end + 12), centralOffset = U32(end + 16);
  if ((endAt >= 20 && U32(&b[endAt - 20]) == kZip64LocatorSignature) || count == 0xFFFF ||
      centralOffset == 0xFFFFFFFFu || centralSize == 0xFFFFFFFFu)
    return refuse("", "it needs Zip64 records, which the stub cannot read");
  if (U16(end + 4) != 0 || U16(end + 6) != 0 || U16(end + 8) != count)
    return refuse("", "it is split over several disks");
  if (centralSize > endAt) return refuse("", "its central directory is damaged");
  // Data in front of the archive (a self-extracting archive given as input) shifts every
  // offset; the central directory ends where the end record starts.
  const size_t centralAt = endAt - centralSize;
  if (centralAt < centralOffset) return refuse("", "its central directory is damaged");
  const size_t bias = centralAt - centralOffset;

  input->walkableAsItStands = true;
  if (bias != 0) rewriteBecause("data in front of the first entry");
  if (endAt + kEndSize != b.size()) rewriteBecause("an archive comment");
  if (encrypting) rewriteBecause("encryption with the given password");

  size_t next = centralAt;
  size_t expectedLocal = bias;  // where the stub's walk expects the next local header
  for (uint32_t i = 0; i < count; ++i) {
    if (next + kCentralSize > endAt || U32(&b[next]) != kCentralSignature)
      return refuse("", "its central directory is damaged");
    const uint8_t* c = &b[next];
    const uint16_t madeBy = U16(c + 4), flags = U16(c + 8), method = U16(c + 10);
    const uint16_t nameLength = U16(c + 28), extraLength = U16(c + 30), commentLength = U16(c + 32);
    const uint32_t crc = U32(c + 16), compressed = U32(c + 20), uncompressed = U32(c + 24);
    const uint32_t localOffset = U32(c + 42);
    if (next + kCentralSize + nameLength + extraLength + commentLength > endAt)
      return refuse("", "its central directory is damaged");
    std::string name(reinterpret_cast<const char*>(c + kCentralSize), nameLength);
    const std::string shownName = (flags & 0x0800) ? name : CodePageToUtf8(name, codePage);
    next += kCentralSize + nameLength + extraLength + commentLength;

    if (compressed == 0xFFFFFFFFu || uncompressed == 0xFFFFFFFFu || localOffset == 0xFFFFFFFFu)
      return refuse(shownName, "it needs Zip64 records, which the stub cannot read");
    if (method != 0 && method != 8)
      return refuse(shownName, "compression method " + std::to_string(method) +
                                   ", which the stub cannot decode (only stored and deflated)");
    if ((flags & 0x0001) && (flags & 0x0040))
      return refuse(shownName, "strong encryption, which the stub cannot decrypt");
    if (nameLength == 0) return refuse("(no name)", "an entry without a name");

    // The stub reads names as bytes of the system code page: UTF-8 names are converted.
    if (flags & 0x0800) {
      std::string bad;
      const auto converted = Utf8ToCodePage(name, codePage, &bad);
      if (!converted)
        return refuse(shownName, "its name holds '" + bad + "', which code page " +
                                     std::to_string(codePage) + " cannot represent");
      if (*converted != name) rewriteBecause("UTF-8 names");
      name = *converted;
    }

    const size_t local = size_t(localOffset) + bias;
    if (local + kLocalSize > centralAt || U32(&b[local]) != kLocalSignature)
      return refuse(shownName, "its local header is missing or damaged");
    const uint8_t* l = &b[local];
    const size_t dataAt = local + kLocalSize + U16(l + 26) + U16(l + 28);
    if (dataAt + compressed > centralAt) return refuse(shownName, "its data is cut short");

    const bool folder = name.back() == '/' || name.back() == '\\';
    const uint32_t attributes = DosAttributes(madeBy, U32(c + 38), folder);
    if (local != expectedLocal) rewriteBecause("gaps or reordering between entries");
    if (flags & 0x0008) rewriteBecause("data descriptors");
    if (U32(l + 14) != crc || U32(l + 18) != compressed || U32(l + 22) != uncompressed)
      rewriteBecause("local headers without CRC-32 or sizes");
    if ((U32(c + 38) & ~kDosAttributeMask) != 0 || attributes != (U32(c + 38) & 0xFF))
      rewriteBecause("non-MS-DOS file attributes");
    expectedLocal = dataAt + compressed;

    RawEntry e;
    e.name = name;
    // An encrypted entry with bit 3 keeps it: its check byte is the time's high byte. No data
    // descriptor follows in the rewritten archive.
    e.flags = uint16_t(flags & (0x0001 | 0x0006 | ((flags & 0x0001) ? 0x0008 : 0)));
    e.method = method;
    e.dosDateTime = U32(c + 12);
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

}  // namespace mksfx

#include "tests/support/zip_builder.h"

#include <zlib.h>

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

#include "tests/support/pe_builder.h"

namespace testing_support {

namespace {

// Little-endian fields of 2, 4 or 8 bytes.
struct Field {
  uint64_t value;
  int width;
};
void Add(std::vector<uint8_t>& out, std::initializer_list<Field> fields) {
  for (const Field& f : fields)
    for (int i = 0; i < f.width; ++i) out.push_back(uint8_t(f.value >> (8 * i)));
}

// The key schedule of the traditional encryption (ZIP application note, section 6.1),
// written independently of the extractor's own so that each checks the other.
struct TraditionalKeys {
  uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
  static uint32_t Crc(uint32_t r, uint8_t b) {
    r ^= b;
    for (int i = 0; i < 8; ++i) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1)));
    return r;
  }
  void Update(uint8_t plain) {
    k0 = Crc(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = Crc(k2, uint8_t(k1 >> 24));
  }
  uint8_t Encrypt(uint8_t plain) {
    const uint16_t t = uint16_t((k2 & 0xFFFF) | 2);
    const uint8_t cipher = plain ^ uint8_t((uint32_t(t) * (t ^ 1u)) >> 8);  // past INT_MAX
    Update(plain);
    return cipher;
  }
};

}  // namespace

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level, int strategy,
                                int flush, size_t every) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 64 + data.size() / 8);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  z.next_in = const_cast<Bytef*>(data.data());
  for (size_t at = 0; at < data.size(); at += every) {
    z.avail_in = uInt(std::min(every, data.size() - at));
    deflate(&z, flush);
  }
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::optional<std::vector<uint8_t>> RawInflate(const uint8_t* stream, size_t size, size_t limit) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return std::nullopt;
  z.next_in = const_cast<Bytef*>(stream);
  z.avail_in = uInt(size);
  std::vector<uint8_t> out;
  int rc = Z_OK;
  while (rc == Z_OK && out.size() < limit) {
    out.resize(out.size() + 32768);
    z.next_out = out.data() + z.total_out;
    z.avail_out = 32768;
    rc = inflate(&z, Z_NO_FLUSH);
    out.resize(z.total_out);
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END ? std::optional(out) : std::nullopt;
}

uint32_t ZlibCrc32(const std::vector<uint8_t>& data) {
  return uint32_t(crc32(0, data.data(), uInt(data.size())));
}

std::vector<uint8_t> EncryptTraditional(const std::vector<uint8_t>& plain,
                                        const std::string& password, uint8_t checkByte) {
  TraditionalKeys keys;
  uint32_t seed = 1;
  for (unsigned char c : password) keys.Update(c);
  std::vector<uint8_t> out;
  for (int i = 0; i < 11; ++i) {
    seed = seed * 1103515245u + 12345u;
    out.push_back(keys.Encrypt(uint8_t(seed >> 16)));
  }
  out.push_back(keys.Encrypt(checkByte));
  for (uint8_t b : plain) out.push_back(keys.Encrypt(b));
  return out;
}

BuiltZip BuildZip(const std::vector<ArchiveEntry>& entries, const ZipBuildOptions& options) {
  BuiltZip zip;
  std::vector<uint8_t>& out = zip.bytes;

  struct Written {
    uint32_t crc, compressed, uncompressed;
    uint16_t flags;
  };
  std::vector<Written> written;
  // The fields that the local header and the central directory share.
  // The Zip64 extra field: the sizes, and the offset in a central record.
  const auto zip64Field = [&](const ArchiveEntry& e, const Written& w, int64_t offset) {
    std::vector<uint8_t> field;
    if (!e.zip64) return field;
    Add(field, {{1, 2}, {offset < 0 ? 16u : 24u, 2}, {w.uncompressed, 8}, {w.compressed, 8}});
    if (offset >= 0) Add(field, {{uint64_t(offset), 8}});
    return field;
  };
  const auto sharedFields = [&](const ArchiveEntry& e, const Written& w, size_t zip64Size) {
    const uint32_t marker = 0xFFFFFFFF;
    Add(out, {{20, 2}, {w.flags, 2}, {e.method, 2}, {e.dosDateTime, 4}, {w.crc, 4}});
    Add(out, {{e.zip64 ? marker : w.compressed, 4}, {e.zip64 ? marker : w.uncompressed, 4}});
    Add(out, {{e.name.size(), 2}, {zip64Size + e.extra.size(), 2}});
  };
  const auto nameAndExtra = [&](const ArchiveEntry& e, const std::vector<uint8_t>& zip64) {
    out.insert(out.end(), e.name.begin(), e.name.end());
    Append(out, zip64);
    Append(out, e.extra);
  };
  for (const ArchiveEntry& e : entries) {
    const uint32_t crc = ZlibCrc32(e.data);
    std::vector<uint8_t> stored = e.method == 8 ? RawDeflate(e.data) : e.data;
    const uint16_t flags = e.flags | (e.dataDescriptor ? 0x0008 : 0) | (e.password.empty() ? 0 : 1);
    if (!e.password.empty()) {
      const uint8_t check = (flags & 0x0008) ? uint8_t(e.dosDateTime >> 8) : uint8_t(crc >> 24);
      stored = EncryptTraditional(stored, e.password, check);
    }
    if (e.rawData) stored = *e.rawData;
    written.push_back({crc, uint32_t(stored.size()), uint32_t(e.data.size()), flags});
    zip.localHeaderOffsets.push_back(uint32_t(out.size()));
    Add(out, {{0x04034B50, 4}});
    const Written local = e.zeroSizesInLocalHeader ? Written{0, 0, 0, flags} : written.back();
    const std::vector<uint8_t> zip64 = zip64Field(e, local, -1);
    sharedFields(e, local, zip64.size());
    nameAndExtra(e, zip64);
    Append(out, stored);
    if (e.dataDescriptor) {
      if (e.descriptorSignature) Add(out, {{0x08074B50, 4}});
      const int width = e.zip64 ? 8 : 4;
      Add(out,
          {{crc, 4}, {written.back().compressed, width}, {written.back().uncompressed, width}});
    }
  }

  zip.centralDirectoryOffset = uint32_t(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const ArchiveEntry& e = entries[i];
    const uint32_t offset = zip.localHeaderOffsets[i] + options.offsetBias;
    const std::vector<uint8_t> zip64 = zip64Field(e, written[i], offset);
    Add(out, {{0x02014B50, 4}, {20, 2}});  // made by: MS-DOS
    sharedFields(e, written[i], zip64.size());
    // Comment length and disk (4 bytes), internal attributes (2).
    Add(out, {{0, 4}, {0, 2}, {e.externalAttributes, 4}});
    Add(out, {{e.zip64 ? 0xFFFFFFFF : offset, 4}});
    nameAndExtra(e, zip64);
  }
  const uint64_t count = entries.size(), size = out.size() - zip.centralDirectoryOffset;
  const uint32_t directory = zip.centralDirectoryOffset + options.offsetBias;
  const bool z = options.zip64EndRecords;
  if (z) {
    zip.zip64EndRecordOffset = uint32_t(out.size());
    // Its size (44), made by and needed (4.5), the disks (0), the counts, size and offset.
    Add(out, {{0x06064B50, 4}, {44, 8}, {45, 2}, {45, 2}, {0, 8}, {count, 8}, {count, 8}});
    Add(out, {{size, 8}, {directory, 8}});
    Add(out, {{0x07064B50, 4}, {0, 4}, {zip.zip64EndRecordOffset + options.offsetBias, 8}, {1, 4}});
  }
  zip.endRecordOffset = uint32_t(out.size());
  Add(out, {{0x06054B50, 4},
            {0, 4},
            {z ? 0xFFFF : count, 2},
            {z ? 0xFFFF : count, 2},
            {z ? 0xFFFFFFFF : size, 4},
            {z ? 0xFFFFFFFF : directory, 4},
            {options.comment.size(), 2}});
  out.insert(out.end(), options.comment.begin(), options.comment.end());
  return zip;
}

}  // namespace testing_support

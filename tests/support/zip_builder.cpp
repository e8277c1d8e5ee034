#include "tests/support/zip_builder.h"

#include <zlib.h>

#include <initializer_list>
#include <stdexcept>

#include "tests/support/pe_builder.h"

namespace testing_support {

namespace {

// Little-endian fields of 2 or 4 bytes.
struct Field {
  uint32_t value;
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

std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level, int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t ZlibCrc32(const std::vector<uint8_t>& data) {
  return uint32_t(crc32(0, data.data(), uInt(data.size())));
}

std::vector<uint8_t> EncryptTraditional(const std::vector<uint8_t>& plain,
                                        const std::string& password, uint8_t checkByte,
                                        uint32_t seed) {
  TraditionalKeys keys;
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
  if (options.leadingSpanMarker) Add(out, {{0x08074B50, 4}});

  struct Written {
    uint32_t crc, compressed, uncompressed;
    uint16_t flags;
  };
  std::vector<Written> written;
  // The fields that the local header and the central directory share.
  const auto sharedFields = [&](const ArchiveEntry& e, const Written& w) {
    Add(out, {{20, 2}, {w.flags, 2}, {e.method, 2}, {e.dosDateTime, 4}, {w.crc, 4}});
    Add(out, {{w.compressed, 4}, {w.uncompressed, 4}, {uint32_t(e.name.size()), 2}});
    Add(out, {{uint32_t(e.extra.size()), 2}});
  };
  const auto nameAndExtra = [&](const ArchiveEntry& e) {
    out.insert(out.end(), e.name.begin(), e.name.end());
    Append(out, e.extra);
  };
  for (const ArchiveEntry& e : entries) {
    const uint32_t crc = ZlibCrc32(e.data);
    std::vector<uint8_t> stored = e.method == 8 ? RawDeflate(e.data, e.level) : e.data;
    const uint16_t flags = e.flags | (e.dataDescriptor ? 0x0008 : 0) | (e.password.empty() ? 0 : 1);
    if (!e.password.empty()) {
      const uint8_t check = (flags & 0x0008) ? uint8_t(e.dosDateTime >> 8) : uint8_t(crc >> 24);
      stored = EncryptTraditional(stored, e.password, check);
    }
    if (e.rawData) stored = *e.rawData;
    written.push_back({crc, uint32_t(stored.size()), uint32_t(e.data.size()), flags});
    zip.localHeaderOffsets.push_back(uint32_t(out.size()));
    Add(out, {{0x04034B50, 4}});
    sharedFields(e, e.zeroSizesInLocalHeader ? Written{0, 0, 0, flags} : written.back());
    nameAndExtra(e);
    Append(out, stored);
    if (e.dataDescriptor) {
      if (e.descriptorSignature) Add(out, {{0x08074B50, 4}});
      Add(out, {{crc, 4}, {written.back().compressed, 4}, {written.back().uncompressed, 4}});
    }
  }

  zip.centralDirectoryOffset = uint32_t(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    Add(out, {{0x02014B50, 4}, {20, 2}});  // made by: MS-DOS
    sharedFields(entries[i], written[i]);
    // Comment length and disk (4 bytes), internal attributes (2).
    Add(out, {{0, 4}, {0, 2}, {entries[i].externalAttributes, 4}, {zip.localHeaderOffsets[i], 4}});
    nameAndExtra(entries[i]);
  }
  const uint32_t count = uint32_t(entries.size());
  Add(out, {{0x06054B50, 4},
            {0, 4},
            {count, 2},
            {count, 2},
            {uint32_t(out.size()) - zip.centralDirectoryOffset, 4},
            {zip.centralDirectoryOffset, 4},
            {uint32_t(options.comment.size()), 2}});
  out.insert(out.end(), options.comment.begin(), options.comment.end());
  return zip;
}

}  // namespace testing_support

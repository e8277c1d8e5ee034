#include "tests/support/zip_builder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#include "tests/support/pe_builder.h"

namespace testing_support {

namespace {

void AddU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void AddU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void AddBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
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
  uint8_t Stream() const {
    const uint16_t t = uint16_t((k2 & 0xFFFF) | 2);
    return uint8_t((uint32_t(t) * (t ^ 1u)) >> 8);  // unsigned: the product passes INT_MAX
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
  std::vector<uint8_t> header(12);
  for (int i = 0; i < 11; ++i) {
    seed = seed * 1103515245u + 12345u;
    header[i] = uint8_t(seed >> 16);
  }
  header[11] = checkByte;
  std::vector<uint8_t> out;
  out.reserve(12 + plain.size());
  for (uint8_t b : header) {
    out.push_back(b ^ keys.Stream());
    keys.Update(b);
  }
  for (uint8_t b : plain) {
    out.push_back(b ^ keys.Stream());
    keys.Update(b);
  }
  return out;
}

BuiltZip BuildZip(const std::vector<ArchiveEntry>& entries, const ZipBuildOptions& options) {
  BuiltZip zip;
  std::vector<uint8_t>& out = zip.bytes;
  if (options.leadingSpanMarker) AddU32(out, 0x08074B50);

  struct Written {
    uint32_t offset, crc, compressed, uncompressed;
    uint16_t flags;
  };
  std::vector<Written> written;
  for (const ArchiveEntry& e : entries) {
    const uint32_t crc = ZlibCrc32(e.data);
    std::vector<uint8_t> stored = e.method == 8 ? RawDeflate(e.data, e.level) : e.data;
    uint16_t flags = e.flags;
    if (e.dataDescriptor) flags |= 0x0008;
    if (!e.password.empty()) {
      flags |= 0x0001;
      const uint8_t check = (flags & 0x0008) ? uint8_t(e.dosDateTime >> 8) : uint8_t(crc >> 24);
      stored = EncryptTraditional(stored, e.password, check);
    }
    if (e.rawData) stored = *e.rawData;
    const uint32_t compressed = uint32_t(stored.size());
    const uint32_t uncompressed = uint32_t(e.data.size());
    const bool zeroLocal = e.zeroSizesInLocalHeader;

    const uint32_t offset = uint32_t(out.size());
    zip.localHeaderOffsets.push_back(offset);
    AddU32(out, 0x04034B50);
    AddU16(out, 20);
    AddU16(out, flags);
    AddU16(out, e.method);
    AddU32(out, e.dosDateTime);
    AddU32(out, zeroLocal ? 0 : crc);
    AddU32(out, zeroLocal ? 0 : compressed);
    AddU32(out, zeroLocal ? 0 : uncompressed);
    AddU16(out, uint16_t(e.name.size()));
    AddU16(out, uint16_t(e.extra.size()));
    AddBytes(out, e.name.data(), e.name.size());
    AddBytes(out, e.extra.data(), e.extra.size());
    AddBytes(out, stored.data(), stored.size());
    if (e.dataDescriptor) {
      if (e.descriptorSignature) AddU32(out, 0x08074B50);
      AddU32(out, crc);
      AddU32(out, compressed);
      AddU32(out, uncompressed);
    }
    written.push_back({offset, crc, compressed, uncompressed, flags});
  }

  zip.centralDirectoryOffset = uint32_t(out.size());
  if (options.writeCentralDirectory) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const ArchiveEntry& e = entries[i];
      const Written& w = written[i];
      AddU32(out, 0x02014B50);
      AddU16(out, 20);  // made by: MS-DOS
      AddU16(out, 20);
      AddU16(out, w.flags);
      AddU16(out, e.method);
      AddU32(out, e.dosDateTime);
      AddU32(out, w.crc);
      AddU32(out, w.compressed);
      AddU32(out, w.uncompressed);
      AddU16(out, uint16_t(e.name.size()));
      AddU16(out, uint16_t(e.extra.size()));
      AddU16(out, 0);  // comment
      AddU16(out, 0);  // disk
      AddU16(out, 0);  // internal attributes
      AddU32(out, e.externalAttributes);
      AddU32(out, w.offset);
      AddBytes(out, e.name.data(), e.name.size());
      AddBytes(out, e.extra.data(), e.extra.size());
    }
    const uint32_t centralSize = uint32_t(out.size()) - zip.centralDirectoryOffset;
    AddU32(out, 0x06054B50);
    AddU16(out, 0);
    AddU16(out, 0);
    AddU16(out, uint16_t(entries.size()));
    AddU16(out, uint16_t(entries.size()));
    AddU32(out, centralSize);
    AddU32(out, zip.centralDirectoryOffset);
    AddU16(out, uint16_t(options.comment.size()));
    AddBytes(out, options.comment.data(), options.comment.size());
  }
  return zip;
}

}  // namespace testing_support

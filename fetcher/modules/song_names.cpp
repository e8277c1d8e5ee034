#include "fetcher/modules/song_names.h"

#include "fetcher/modules/ansi_text.h"
#include "unpacker/extract/device_names.h"

std::u16string PercentEncode(std::string_view ansi) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string encoded;
  for (unsigned char byte : ansi) {
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved) {
      encoded.push_back(byte);
    } else {
      encoded += {u'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return encoded;
}

std::u16string LookupAddress(std::u16string_view host, std::u16string_view mediaId) {
  std::u16string address = u"http://";
  address += host;
  address += kLookupPath;
  address += PercentEncode(UnicodeToAnsi(mediaId));
  return address;
}

std::u16string SafeFileName(std::u16string_view title) {
  std::u16string name;
  for (char16_t c : title) {
    const bool forbidden =
        c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos;
    name.push_back(forbidden ? u'_' : c);
  }
  if (IsDeviceName(name.data(), uint32_t(name.size()))) name.insert(0, 1, u'_');
  return name;
}

#include "fetcher/modules/song_names.h"

#include "fetcher/modules/ansi_text.h"

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

namespace {

char16_t Upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

// CON, CON.wma and "CON .x" all open the console on Windows: the device name is the part in
// front of the first dot, trailing blanks ignored.
bool IsDeviceName(std::u16string_view name) {
  name = name.substr(0, name.find(u'.'));
  while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
  std::u16string upper;
  for (char16_t c : name) upper.push_back(Upper(c));
  if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL") return true;
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
         upper[3] >= u'1' && upper[3] <= u'9';
}

}  // namespace

std::u16string SafeFileName(std::u16string_view title) {
  std::u16string name;
  for (char16_t c : title) {
    const bool forbidden =
        c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos;
    name.push_back(forbidden ? u'_' : c);
  }
  if (IsDeviceName(name)) name.insert(0, 1, u'_');
  return name;
}

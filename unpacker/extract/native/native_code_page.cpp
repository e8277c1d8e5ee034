// The code-page seam on Linux: iconv, with the Windows conversion rules imitated where iconv
// differs (bytes that form no character become the default character instead of an error, a
// lead byte takes the byte behind it along), and settable system facts.
#include "unpacker/extract/native/native_code_page.h"

#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <cstring>

#include "unpacker/extract/code_page.h"

namespace {

constexpr uint32_t kDefaultCodePage = 949;
constexpr uint32_t kDefaultLocale = 0x0412;
constexpr uint32_t kDefaultVersionWord = 0x4A61000Au;  // Windows 10: NT, major version 10

uint32_t systemCodePage = kDefaultCodePage;
uint32_t threadLocale = kDefaultLocale;
uint32_t versionWord = kDefaultVersionWord;
bool localeOverridden = false;
uint32_t overriddenLocale = 0;
const char* overriddenText = nullptr;

struct LocaleCodePage {
  uint32_t locale;
  const char* text;
};
constexpr LocaleCodePage kLocales[] = {{0x0412, "949"}, {0x0411, "932"},  {0x0804, "936"},
                                       {0x0404, "950"}, {0x0409, "1252"}, {0x0419, "1251"},
                                       {0x041F, "1254"}};

const char* LocaleText(uint32_t locale) {
  if (localeOverridden && locale == overriddenLocale) return overriddenText;
  for (const LocaleCodePage& entry : kLocales)
    if (entry.locale == locale) return entry.text;
  return nullptr;
}

// The real code page behind the two symbolic ones.
uint32_t Resolve(uint32_t codePage) {
  if (codePage == kSystemAnsiCodePage) return systemCodePage;
  if (codePage != kThreadAnsiCodePage) return codePage;
  const char* text = LocaleText(threadLocale);
  uint32_t value = 0;
  for (; text && *text >= '0' && *text <= '9'; ++text) value = value * 10 + uint32_t(*text - '0');
  return value ? value : systemCodePage;
}

bool IsLeadByte(uint32_t codePage, uint8_t byte) {
  switch (codePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

// What Windows puts in place of bytes that form no character.
char16_t DefaultUnit(uint32_t codePage) {
  return codePage == 932 ? u'\u30FB' : u'?';
}

// Open conversions, kept for the life of the process: opening one costs far more than a name.
struct CachedConverter {
  uint32_t codePage;
  bool toUtf16;
  iconv_t handle;
};
CachedConverter converters[16];
uint32_t converterCount = 0;

iconv_t Converter(uint32_t codePage, bool toUtf16) {
  for (uint32_t i = 0; i < converterCount; ++i)
    if (converters[i].codePage == codePage && converters[i].toUtf16 == toUtf16) {
      iconv(converters[i].handle, nullptr, nullptr, nullptr, nullptr);
      return converters[i].handle;
    }
  char name[16];
  if (codePage == 65001)
    std::snprintf(name, sizeof name, "UTF-8");
  else
    std::snprintf(name, sizeof name, "CP%u", codePage);
  const iconv_t handle = toUtf16 ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
  if (handle == iconv_t(-1)) return handle;
  if (converterCount < sizeof converters / sizeof converters[0])
    converters[converterCount++] = {codePage, toUtf16, handle};
  return handle;
}

// Collects output up to a capacity and counts all of it, the way the Windows functions do:
// with capacity 0 only the count matters.
template <typename Unit>
class Sink {
 public:
  Sink(Unit* out, uint32_t capacity) : out_(out), capacity_(capacity) {}
  void Put(const Unit* units, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      if (capacity_ != 0) {
        if (count_ < capacity_)
          out_[count_] = units[i];
        else
          overflow_ = true;
      }
      ++count_;
    }
  }
  uint32_t Result() const { return overflow_ ? 0 : count_; }

 private:
  Unit* out_;
  uint32_t capacity_;
  uint32_t count_ = 0;
  bool overflow_ = false;
};

}  // namespace

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "UTF-16LE is the host's char16_t");

// The bytes of the character that starts at `byte`, as this side segments a text: a lead byte
// takes the byte behind it, a UTF-8 lead byte its continuation bytes; never past `left`.
static size_t CharacterLength(uint32_t codePage, uint8_t byte, size_t left) {
  size_t length = 1;
  if (codePage == 65001)
    length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
  else if (IsLeadByte(codePage, byte))
    length = 2;
  return length < left ? length : left;
}

uint32_t BytesToUtf16(uint32_t codePage, const char* bytes, uint32_t length, char16_t* units,
                      uint32_t capacity) {
  if (length == 0) return 0;
  codePage = Resolve(codePage);
  const iconv_t converter = Converter(codePage, true);
  if (converter == iconv_t(-1)) return 0;
  Sink<char16_t> sink(units, capacity);
  // One character at a time, so the step is always this loop's own: after an invalid sequence
  // glibc's converters may report the error with the input already advanced past it (CP949
  // does so for "A2 E8" at the end of a text), and their position cannot be trusted.
  for (size_t at = 0; at < length;) {
    const size_t step = CharacterLength(codePage, uint8_t(bytes[at]), length - at);
    char* in = const_cast<char*>(bytes + at);
    size_t inLeft = step;
    char16_t converted[4];
    char* out = reinterpret_cast<char*>(converted);
    size_t outLeft = sizeof converted;
    if (iconv(converter, &in, &inLeft, &out, &outLeft) != size_t(-1) && inLeft == 0) {
      sink.Put(converted, (sizeof converted - outLeft) / sizeof(char16_t));
    } else {
      // No character starts here: one default character for the whole step.
      const char16_t unit = DefaultUnit(codePage);
      sink.Put(&unit, 1);
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    at += step;
  }
  return sink.Result();
}

uint32_t Utf16ToBytes(uint32_t codePage, const char16_t* units, uint32_t count, char* bytes,
                      uint32_t capacity) {
  if (count == 0) return 0;
  codePage = Resolve(codePage);
  const iconv_t converter = Converter(codePage, false);
  if (converter == iconv_t(-1)) return 0;
  Sink<char> sink(bytes, capacity);
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units));
  size_t inLeft = size_t(count) * sizeof(char16_t);
  while (inLeft >= sizeof(char16_t)) {
    char chunk[256];
    char* out = chunk;
    size_t outLeft = sizeof chunk;
    const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    sink.Put(chunk, sizeof chunk - outLeft);
    if (result != size_t(-1) || errno == E2BIG) continue;
    // A unit the code page cannot show, or half a surrogate pair: "?", no best fit.
    char16_t first;
    std::memcpy(&first, in, sizeof first);
    size_t step = sizeof(char16_t);
    if (first >= 0xD800 && first < 0xDC00 && inLeft >= 2 * sizeof(char16_t)) {
      char16_t second;
      std::memcpy(&second, in + sizeof first, sizeof second);
      if (second >= 0xDC00 && second < 0xE000) step *= 2;
    }
    sink.Put("?", 1);
    in += step;
    inLeft -= step;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  return sink.Result();
}

void LowerCaseUtf16(char16_t* units, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (units[i] >= u'A' && units[i] <= u'Z') units[i] = char16_t(units[i] - u'A' + u'a');
}

uint32_t SystemVersionWord() {
  return versionWord;
}

uint32_t ThreadLocale() {
  return threadLocale;
}

uint32_t LocaleAnsiCodePageText(uint32_t locale, char* buffer, uint32_t size) {
  const char* text = LocaleText(locale);
  if (!text) return 0;
  const size_t length = std::strlen(text);
  if (length + 1 > size) return 0;
  std::memcpy(buffer, text, length + 1);
  return uint32_t(length + 1);
}

void SetNativeSystemCodePage(uint32_t codePage) {
  systemCodePage = codePage;
}

void SetNativeThreadLocale(uint32_t locale) {
  threadLocale = locale;
}

void SetNativeVersionWord(uint32_t version) {
  versionWord = version;
}

void SetNativeLocaleCodePageText(uint32_t locale, const char* text) {
  localeOverridden = true;
  overriddenLocale = locale;
  overriddenText = text;
}

void ResetNativeCodePage() {
  systemCodePage = kDefaultCodePage;
  threadLocale = kDefaultLocale;
  versionWord = kDefaultVersionWord;
  localeOverridden = false;
  overriddenText = nullptr;
}

#include "unpacker/extract/paths.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/device_names.h"
#include "unpacker/extract/file_system.h"
#include "unpacker/extract/system_folders.h"

namespace {

// Room for a system folder: the longest Windows path and its NUL.
constexpr uint32_t kFolderBufferSize = 261;

// A text converted to UTF-16, in memory of its own. A conversion that fails (an unknown code
// page) leaves it empty and not ok; every caller decides what is safe then.
class Units {
 public:
  Units(const char* bytes, uint32_t length, uint32_t codePage) {
    if (length == 0) return;
    const uint32_t needed = BytesToUtf16(codePage, bytes, length, nullptr, 0);
    if (needed == 0) {
      ok_ = false;
      return;
    }
    data_ = static_cast<char16_t*>(std::malloc(size_t(needed) * sizeof(char16_t)));
    if (!data_) FatalOutOfMemory();
    size_ = BytesToUtf16(codePage, bytes, length, data_, needed);
    ok_ = size_ == needed;
  }
  Units(const ByteString& text, uint32_t codePage) : Units(text.c_str(), text.size(), codePage) {}
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;
  ~Units() { std::free(data_); }

  bool ok() const { return ok_; }
  uint32_t size() const { return ok_ ? size_ : 0; }
  const char16_t* data() const { return data_; }
  char16_t operator[](uint32_t i) const { return data_[i]; }
  // The last unit, 0 for an empty text.
  char16_t last() const { return size() ? data_[size_ - 1] : 0; }
  bool Contains(char16_t unit) const {
    for (uint32_t i = 0; i < size(); ++i)
      if (data_[i] == unit) return true;
    return false;
  }
  // The index of the first `unit` at or after `from`, size() when there is none.
  uint32_t Find(char16_t unit, uint32_t from) const {
    while (from < size() && data_[from] != unit) ++from;
    return from;
  }

 private:
  char16_t* data_ = nullptr;
  uint32_t size_ = 0;
  bool ok_ = true;
};

ByteString ToBytes(const char16_t* units, uint32_t count, uint32_t codePage) {
  ByteString text;
  if (count == 0) return text;
  const uint32_t needed = Utf16ToBytes(codePage, units, count, nullptr, 0);
  if (needed == 0) return text;
  char* bytes = static_cast<char*>(std::malloc(needed));
  if (!bytes) FatalOutOfMemory();
  const uint32_t length = Utf16ToBytes(codePage, units, count, bytes, needed);
  text.Append(bytes, length);
  std::free(bytes);
  return text;
}

// The length of a text in a fixed buffer; `capacity` when the buffer holds no NUL.
uint32_t TextLength(const char* buffer, uint32_t capacity) {
  const void* nul = std::memchr(buffer, 0, capacity);
  return nul ? uint32_t(static_cast<const char*>(nul) - buffer) : capacity;
}

bool IsSlash(char16_t unit) {
  return unit == u'\\' || unit == u'/';
}

// Characters that a destination folder may not hold outside its drive part.
bool IsRejectedInFolderName(char16_t unit) {
  switch (unit) {
    case u'"':
    case u'*':
    case u':':
    case u'<':
    case u'>':
    case u'?':
    case u'|':
      return true;
    default:
      return false;
  }
}

// The length in units of the drive part of a folder name: "C:" (a single-byte character and
// a colon), "\\server\share" up to the backslash behind the share name (the whole text when
// there is none), otherwise 0.
uint32_t DrivePartLength(const Units& text) {
  if (text.size() >= 2 && text[1] == u':' && text[0] < 0x80) return 2;
  if (text.size() < 2 || text[0] != u'\\' || text[1] != u'\\') return 0;
  const uint32_t endOfServer = text.Find(u'\\', 2);
  if (endOfServer == text.size()) return endOfServer;
  return text.Find(u'\\', endOfServer + 1);
}

// Windows drops trailing dots and blanks from a name, so a component made only of dots and
// blanks with at least two dots ("..", "...", ".. ", ". .") can end up as "..". A single dot
// stays in the folder and is allowed.
bool IsUnsafeComponent(const char16_t* component, uint32_t length) {
  uint32_t dots = 0;
  bool onlyDotsAndBlanks = true;
  for (uint32_t i = 0; i < length; ++i) {
    if (component[i] == u'.')
      ++dots;
    else if (component[i] != u' ')
      onlyDotsAndBlanks = false;
  }
  if (onlyDotsAndBlanks && dots >= 2) return true;
  return IsDeviceName(component, length);
}

// Whether the token (braces included) is the macro, letter case ignored by the locale's rules.
bool IsMacro(const char16_t* lowered, uint32_t length, const char16_t* macro) {
  uint32_t i = 0;
  while (i < length && macro[i] && lowered[i] == macro[i]) ++i;
  return i == length && macro[i] == 0;
}

// Appends a system folder that `get` writes into a buffer of its own; nothing when it fails.
// {temp} loses its trailing backslash, the separator logic of the caller supplies one.
void AppendSystemFolder(uint32_t (*get)(char*, uint32_t), bool dropTrailingBackslash,
                        ByteString* out) {
  char folder[kFolderBufferSize];
  uint32_t length = get(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return;
  if (dropTrailingBackslash) {
    const Units units(folder, length, kSystemAnsiCodePage);
    if (units.last() == u'\\') --length;  // a single-byte character: cut on the bytes
  }
  out->Append(folder, length);
}

bool SameUnits(const char16_t* a, const char16_t* b, uint32_t count) {
  return count == 0 || std::memcmp(a, b, count * sizeof(char16_t)) == 0;
}

// Maps unit indexes of a converted text to the byte offsets where their characters begin, by
// walking the bytes one character at a time. A character is the longest run of up to four
// bytes that converts to exactly one character of the text (a lead byte and the byte behind
// it, whatever that byte is, in the double-byte code pages); counting converted-back bytes
// instead would go wrong for bytes that form no character, whose "?" is one byte.
class CharacterWalk {
 public:
  CharacterWalk(const ByteString& text, const Units& units, uint32_t codePage)
      : text_(text), units_(units), codePage_(codePage) {}

  // The byte offset of unit `index`; indexes must not decrease from call to call. Beyond the
  // text's end when the walk cannot follow the conversion.
  uint32_t ByteOffsetOf(uint32_t index) {
    while (unit_ < index && byte_ <= text_.size()) Step();
    return unit_ == index ? byte_ : text_.size() + 1;
  }

 private:
  void Step() {
    const uint32_t left = text_.size() - byte_;
    for (uint32_t length = left < 4 ? left : 4; length > 0; --length) {
      char16_t got[3];
      const uint32_t count = BytesToUtf16(codePage_, text_.c_str() + byte_, length, got, 3);
      const bool oneCharacter = count == 1 || (count == 2 && got[0] >= 0xD800 && got[0] < 0xDC00);
      if (oneCharacter && count <= units_.size() - unit_ &&
          SameUnits(got, units_.data() + unit_, count)) {
        byte_ += length;
        unit_ += count;
        return;
      }
    }
    byte_ = text_.size() + 1;  // lost: no character here matches the conversion
  }

  const ByteString& text_;
  const Units& units_;
  const uint32_t codePage_;
  uint32_t byte_ = 0, unit_ = 0;
};

}  // namespace

uint32_t LocaleAnsiCodePage(uint32_t locale) {
  char text[7] = {};  // the longest code page number has 5 digits
  if (LocaleAnsiCodePageText(locale, text, sizeof text) == 0) return 0;
  text[sizeof text - 1] = 0;
  uint32_t value = 0, digits = 0;
  for (; text[digits]; ++digits) {
    if (text[digits] < '0' || text[digits] > '9') return 0;
    value = value * 10 + uint32_t(text[digits] - '0');
  }
  return digits ? value : 0;
}

uint32_t NameCodePage() {
  const uint32_t version = SystemVersionWord();
  const bool windows95Family = (version & 0x80000000u) != 0;
  if (!windows95Family && (version & 0xFF) > 4) return kThreadAnsiCodePage;
  return LocaleAnsiCodePage(ThreadLocale());
}

uint32_t CharSafePos(const ByteString& needle, const ByteString& haystack) {
  const uint32_t codePage = NameCodePage();
  const Units n(needle, codePage), h(haystack, codePage);
  if (n.size() == 0 || n.size() > h.size()) return 0;
  CharacterWalk walk(haystack, h, codePage);
  for (uint32_t i = 0; i + n.size() <= h.size(); ++i) {
    if (!SameUnits(h.data() + i, n.data(), n.size())) continue;
    const uint32_t at = walk.ByteOffsetOf(i);
    if (at > haystack.size()) return 0;  // the text cannot be followed character by character
    // Units can agree where bytes do not (a "?" for bytes that form no character); a caller
    // cuts the needle's bytes out at the position, so they must be there.
    if (needle.size() <= haystack.size() - at &&
        std::memcmp(haystack.c_str() + at, needle.c_str(), needle.size()) == 0)
      return at + 1;
  }
  return 0;
}

ByteString FileNamePart(const ByteString& path) {
  const uint32_t codePage = NameCodePage();
  const Units units(path, codePage);
  uint32_t start = units.size();
  while (start > 0 && units[start - 1] != u'\\' && units[start - 1] != u':') --start;
  if (start == 0) return path;
  return ToBytes(units.data() + start, units.size() - start, codePage);
}

ByteString ParentFolder(const ByteString& path) {
  const Units units(path, kPathCodePage);
  uint32_t n = units.size();
  while (n > 0 && !IsSlash(units[n - 1]) && units[n - 1] != u':') --n;
  if (n == 0) return ByteString();
  // A separator is dropped, except the root's ("C:\" stays "C:\"); a colon is kept ("C:").
  if (IsSlash(units[n - 1]) && !(n == 3 && units[1] == u':')) --n;
  return ToBytes(units.data(), n, kPathCodePage);
}

bool IsValidFolderName(const char* text) {
  const Units units(text, uint32_t(std::strlen(text)), kSystemAnsiCodePage);
  if (!units.ok()) return false;
  const uint32_t rest = DrivePartLength(units);
  bool afterBackslash = false, afterBlank = false;
  for (uint32_t i = rest; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (IsRejectedInFolderName(unit)) return false;
    if (unit == u'\\' && (afterBackslash || afterBlank)) return false;
    // The first backslash of the rest never counts for the doubling: "C:\\x" passes.
    afterBackslash = unit == u'\\' && i != rest;
    afterBlank = unit == u' ';
  }
  return !afterBlank;
}

bool ExpandFolderMacros(char* buffer, uint32_t capacity) {
  const uint32_t length = TextLength(buffer, capacity);
  if (length == capacity) return false;
  // {dest} is the destination as it was before this expansion, also when the buffer being
  // expanded is DestFolder itself.
  const ByteString dest(DestFolder, TextLength(DestFolder, kDestFolderSize));
  const Units units(buffer, length, kSystemAnsiCodePage);
  ByteString out;
  bool expanded = false;
  uint32_t rest = 0;  // first unit not yet copied
  for (;;) {
    const uint32_t open = units.Find(u'{', rest);
    const uint32_t close = units.Find(u'}', open);
    if (close == units.size()) break;  // no "{", or none closed: the rest stays as it is
    out.Append(ToBytes(units.data() + rest, open - rest, kSystemAnsiCodePage));
    expanded = true;

    char16_t token[7] = {};  // the longest macro, "{temp}", has 6 units
    const uint32_t tokenLength = close - open + 1;
    if (tokenLength < 7) {
      std::memcpy(token, units.data() + open, tokenLength * sizeof(char16_t));
      LowerCaseUtf16(token, tokenLength);
      if (IsMacro(token, tokenLength, u"{dest}"))
        out.Append(dest);
      else if (IsMacro(token, tokenLength, u"{win}"))
        AppendSystemFolder(WindowsFolder, false, &out);
      else if (IsMacro(token, tokenLength, u"{sys}"))
        AppendSystemFolder(SystemFolder, false, &out);
      else if (IsMacro(token, tokenLength, u"{temp}"))
        AppendSystemFolder(TempFolder, true, &out);
    }
    // Whatever follows a token is separated from it by exactly one backslash.
    rest = close + 1;
    if (rest < units.size() && units[rest] != u'\\') out.Append("\\", 1);
  }
  if (!expanded) return true;  // nothing to do: the bytes stay exactly as they were
  out.Append(ToBytes(units.data() + rest, units.size() - rest, kSystemAnsiCodePage));
  if (out.size() >= capacity) return false;
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return true;
}

bool AbsoluteDestFolder() {
  const uint32_t length = TextLength(DestFolder, kDestFolderSize);
  if (length == kDestFolderSize) return false;
  const Units dest(DestFolder, length, kSystemAnsiCodePage);
  if (!dest.ok() || dest.Contains(u':')) return true;
  if (dest.size() >= 2 && dest[0] == u'\\' && dest[1] == u'\\') return true;

  const char* start = ExtractorOptions.StartDirectory;
  const uint32_t startLength = TextLength(start, kStartDirectorySize);
  ByteString absolute(start, startLength);
  // A start directory at a drive's root ("C:\") brings its own backslash.
  if (Units(start, startLength, kSystemAnsiCodePage).last() != u'\\') absolute.Append("\\", 1);
  absolute.Append(DestFolder, length);
  if (absolute.size() >= kDestFolderSize) return false;
  std::memcpy(DestFolder, absolute.c_str(), absolute.size() + 1);
  return true;
}

bool TargetPath(const ByteString& entryName, ByteString* target) {
  if (!AppendBackslash(DestFolder, kDestFolderSize)) return false;
  ByteString path =
      ConvertText(TrimTrailingSeparators(DestFolder), kSystemAnsiCodePage, kPathCodePage);
  path.Append("\\", 1);
  path.Append(entryName);
  *target = std::move(path);
  return true;
}

bool AppendBackslash(char* buffer, uint32_t capacity) {
  const uint32_t length = TextLength(buffer, capacity);
  if (length == capacity) return false;
  if (Units(buffer, length, kSystemAnsiCodePage).last() == u'\\') return true;
  if (capacity - length < 2) return false;
  buffer[length] = '\\';
  buffer[length + 1] = 0;
  return true;
}

ByteString TrimTrailingSeparators(const char* text) {
  const uint32_t length = uint32_t(std::strlen(text));
  const Units units(text, length, kSystemAnsiCodePage);
  uint32_t cut = 0;
  while (cut < units.size() &&
         (units[units.size() - 1 - cut] == u'\\' || units[units.size() - 1 - cut] == u' '))
    ++cut;
  // Backslash and blank are single-byte characters in every ANSI code page: as many bytes as
  // units go. A text that cannot be converted keeps everything.
  return ByteString(text, length - (cut < length ? cut : length));
}

bool PathExists(const char* path) {
  const uint32_t length = uint32_t(std::strlen(path));
  if (length == 0) return false;
  // The pattern lives on the heap: no fixed buffer to overrun; a pattern longer than the system
  // can search for is simply not found.
  char* pattern = static_cast<char*>(std::malloc(size_t(length) + 4));
  if (!pattern) FatalOutOfMemory();
  std::memcpy(pattern, path, length + 1);
  // A folder written with a trailing backslash exists when it can be listed: it always holds
  // at least its "." entry.
  if (Units(path, length, kPathCodePage).last() == u'\\') std::memcpy(pattern + length, "*.*", 4);
  const bool found = FindAnyFile(SlashesToBackslashes(pattern));
  std::free(pattern);
  return found;
}

char* SlashesToBackslashes(char* buffer) {
  // The one routine that works on bytes: 0x2F is never part of a double-byte character (trail
  // bytes start at 0x40 in every double-byte ANSI code page, lead bytes at 0x81), so each such
  // byte is a slash of its own and is replaced by a single-byte backslash in place.
  for (char* p = buffer; *p; ++p)
    if (*p == '/') *p = '\\';
  return buffer;
}

void ForceFolders(const ByteString& path, ByteString* made) {
  ByteString folder = path;
  if (Units(path, kPathCodePage).last() == u'\\') folder = path.Left(path.size() - 1);
  if (folder.size() < 3 || PathExists(folder.c_str())) return;
  // Only a strictly shorter parent is made first: "C:/" or "ab:" are their own parent, and
  // following them would never end.
  const ByteString parent = ParentFolder(folder);
  if (parent.size() < folder.size()) ForceFolders(parent, made);
  if (MakeFolder(folder.c_str()) && made) made->Append(folder.c_str(), folder.size() + 1);
}

ByteString FixedToString(const char* field, uint16_t n) {
  return ByteString(field, TextLength(field, n));
}

bool IsUnsafeEntryName(const ByteString& name) {
  const Units units(name, kPathCodePage);
  if (!units.ok()) return true;  // what the file system would make of it is unknown
  if (units.size() == 0) return false;
  if (IsSlash(units[0]) || units.Contains(u':')) return true;
  uint32_t start = 0;
  for (uint32_t i = 0; i <= units.size(); ++i) {
    if (i < units.size() && !IsSlash(units[i])) continue;
    if (IsUnsafeComponent(units.data() + start, i - start)) return true;
    start = i + 1;
  }
  return false;
}

ByteString ConvertText(const ByteString& text, uint32_t from, uint32_t to) {
  const Units units(text, from);
  return ToBytes(units.data(), units.size(), to);
}

bool IsValidUtf8(const char* bytes, uint32_t length) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes);
  for (uint32_t i = 0; i < length;) {
    const uint8_t lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The length of the sequence and the range its second byte must lie in (which rules out
    // overlong forms, surrogates and values beyond U+10FFFF).
    uint32_t n;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      n = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      n = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (length - i < n || p[i + 1] < low || p[i + 1] > high) return false;
    for (uint32_t k = 2; k < n; ++k)
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
    i += n;
  }
  return true;
}

bool EntryNameUtf8(const ByteString& stored, bool utf8, ByteString* name) {
  if (utf8) {
    if (IsValidUtf8(stored.c_str(), stored.size())) {
      *name = stored;
      return true;
    }
    *name = ConvertText(stored, kPathCodePage, kPathCodePage);  // for showing only
    return false;
  }
  *name = ConvertText(stored, kSystemAnsiCodePage, kPathCodePage);
  return name->size() > 0 || stored.empty();
}

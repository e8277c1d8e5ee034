// Fuzzes the name and path routines with arbitrary bytes in code pages 949 and 932: no crash,
// no read or write outside a buffer (ASan), and the promises callers build on.
//
// Entry names are also taken as UTF-8 (bit 1 of byte 0): a name accepted as well-formed UTF-8
// must come back unchanged from a round trip through UTF-16 (iconv as the judge).
//
// Input: byte 0 chooses the code page (bit 0: 932, else 949) and, with byte 1, a buffer
// capacity; byte 1 also splits the rest into a needle and a haystack for CharSafePos. The rest
// is the text every routine gets (up to its first NUL where a routine takes a C string).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/fuzz/fuzz_ui.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/native/native_code_page.h"
#include "unpacker/extract/paths.h"

namespace {

ByteString Bytes(const std::string& text) {
  return ByteString(text.data(), uint32_t(text.size()));
}

// Runs a routine that rewrites a fixed buffer on a heap block of exactly `capacity` bytes, so
// any write beyond it is caught; a refusal must leave the text as it was.
template <typename Rewrite>
void InExactBuffer(const std::string& text, uint32_t capacity, Rewrite rewrite) {
  const size_t length = text.size() < capacity ? text.size() : capacity - 1;
  char* buffer = static_cast<char*>(std::malloc(capacity));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = 0;
  const std::string before(buffer);
  Check(rewrite(buffer, capacity) ? std::memchr(buffer, 0, capacity) != nullptr : before == buffer);
  std::free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t codePage = data[0] & 1 ? 932 : 949;
  SetNativeSystemCodePage(codePage);
  SetNativeThreadLocale(codePage == 932 ? 0x0411 : 0x0412);
  const uint32_t capacity = 1 + ((uint32_t(data[0] >> 1) << 8 | data[1]) % 300);

  const std::string raw(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string text = raw.substr(0, raw.find('\0'));
  const ByteString name = Bytes(text);

  // CharSafePos: a position where the needle's bytes really stand.
  const size_t split = data[1] % (raw.size() + 1);
  const ByteString needle = Bytes(raw.substr(0, split)), haystack = Bytes(raw.substr(split));
  const uint32_t at = CharSafePos(needle, haystack);
  if (at != 0) {
    Check(needle.size() > 0 && at - 1 + needle.size() <= haystack.size());
    Check(std::memcmp(haystack.c_str() + at - 1, needle.c_str(), needle.size()) == 0);
  }

  ByteString path;
  const bool wellFormed = EntryNameUtf8(name, (data[0] & 2) != 0, &path);
  if (wellFormed && (data[0] & 2)) {
    Check(path == name);
    Check(ConvertText(name, 65001, 65001) == name);
  }
  FileNamePart(name);
  ParentFolder(path);
  IsValidFolderName(text.c_str());
  IsUnsafeEntryName(path);
  const ByteString trimmed = TrimTrailingSeparators(text.c_str());
  Check(trimmed.size() <= text.size() &&
        std::memcmp(trimmed.c_str(), text.data(), trimmed.size()) == 0);

  // The buffer routines, with the text also as the destination {dest} stands for.
  const size_t destLength = text.size() < kDestFolderSize ? text.size() : kDestFolderSize - 1;
  std::memcpy(DestFolder, text.data(), destLength);
  DestFolder[destLength] = 0;
  InExactBuffer(text, capacity, ExpandFolderMacros);
  InExactBuffer(text, capacity, AppendBackslash);
  std::memcpy(ExtractorOptions.StartDirectory, text.data(),
              text.size() < kStartDirectorySize ? text.size() : 0);
  ExtractorOptions.StartDirectory[text.size() < kStartDirectorySize ? text.size() : 0] = 0;
  if (AbsoluteDestFolder()) Check(std::memchr(DestFolder, 0, kDestFolderSize) != nullptr);
  ByteString target;
  if (TargetPath(path, &target)) Check(target.size() >= path.size());
  return 0;
}

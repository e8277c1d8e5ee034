// What only Windows can show, in process: the code-page seam in the ANSI code page 949 and
// the thread locale's, and positions beyond 2 GiB. The loop's logic is tested natively
// (tests/native/extract); the folder macros, file times and attributes through the real
// program in tests/wine/unpacker.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "tests/wine/support/window_driver.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/extract/win32/overwrite_question.h"
#include "unpacker/inflate/crc32.h"

using namespace testing_support;
using namespace window_driver;

namespace {

constexpr LCID kKorean = 0x0412, kJapanese = 0x0411;

// Name bytes and the UTF-16 units the file system reads them as, in the thread locale's ANSI
// code page (the code page of name comparisons): a lead byte takes the byte behind it into its
// character, even "\", and a pair that is no character is the code page's default one.
TEST(CodePageSeam, NamesAsTheFileSystemReadsThem) {
  EXPECT_EQ(GetACP(), 949u);
  const struct {
    LCID locale;
    std::string bytes;
    std::u16string units;
  } rows[] = {
      {.locale = kKorean, .bytes = "a\\\xB0\xA1", .units = u"a\\\uAC00"},  // 가
      {.locale = kKorean, .bytes = "\xB1\\x", .units = u"?x"},
      {.locale = kJapanese, .bytes = "\xB1\\x", .units = u"\uFF71\\x"},    // half-width ｱ
      {.locale = kJapanese, .bytes = "\x83\x5C\\", .units = u"\u30BD\\"},  // ソ, trail byte "\"
  };
  char16_t units[8];
  for (const auto& row : rows) {
    SetThreadLocale(row.locale);
    const uint32_t count =
        BytesToUtf16(kThreadAnsiCodePage, row.bytes.data(), uint32_t(row.bytes.size()), units, 8);
    EXPECT_EQ(std::u16string(units, count), row.units) << row.bytes;
  }
  // The way back has no best fit: the yen sign never comes back as a backslash in 932.
  char bytes[8];
  EXPECT_EQ(std::string(bytes, Utf16ToBytes(kThreadAnsiCodePage, u"\u00A5", 1, bytes, 8)), "?");
  SetThreadLocale(kKorean);
}

// A program whose image ends beyond 2 GiB (a hole in the Unix file): every position the loop
// seeks to needs 64 bits, in the x86 build too.
TEST(Extraction, PayloadBeyondTwoGigabytes) {
  const std::string root = TempFolder() + "beyond_2_gib";
  RemoveTree(AnsiToWide(root));
  CreateDirectoryA(root.c_str(), nullptr);
  // PE headers whose one section ends at 0x88000000, there the option block and the archive.
  const uint32_t imageEnd = 0x88000000u;
  std::vector<uint8_t> headers = BuildPeImage({{0x400, 0x200}}), tail;
  PutU32(headers, kDefaultPeOffset + 248 + 20, imageEnd - 0x200);  // PointerToRawData
  Append(tail, BuildOptionBlock(0, {}, {}, {}));
  Append(tail, BuildZip({{.name = "far", .data = Bytes("far away"), .method = 8},
                         {.name = "farther", .data = Bytes("even farther"), .method = 8}})
                   .bytes);
  ResetCoreState();
  std::strcpy(ProgramPath, (root + "\\setup.exe").c_str());
  HANDLE h = CreateFileA(ProgramPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(h, headers.data(), DWORD(headers.size()), &written, nullptr);
  SetFilePointerEx(h, {.QuadPart = imageEnd}, nullptr, FILE_BEGIN);
  WriteFile(h, tail.data(), DWORD(tail.size()), &written, nullptr);
  CloseHandle(h);
  // As the stub does: the option block at start-up, then the scan and extract passes.
  BuildCrcTable();
  ArchiveHandle = OpenArchiveFile(ProgramPath);
  ReadOptionBlock();
  EXPECT_EQ(ExtractorOptions.ArchiveOffset, imageEnd + 256ull);
  std::strcpy(DestFolder, (root + "\\out").c_str());
  WalkArchive(Pass::Scan);
  WalkArchive(Pass::Extract);
  EXPECT_EQ(Outcome.Extraction, ExtractionOutcome::Succeeded);
  ResetCoreState();  // closes the program file
  EXPECT_EQ(ReadFileBytes(AnsiToWide(root + "\\out\\far")), "far away");
  EXPECT_EQ(ReadFileBytes(AnsiToWide(root + "\\out\\farther")), "even farther");
  RemoveTree(AnsiToWide(root));
}

}  // namespace

void ShowOverwriteDialog() {  // linked with the overwrite question; nothing here asks it
  ReplaceThisFile = false;
}

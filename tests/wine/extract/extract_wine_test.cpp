// What only Windows can show, in process: the code-page functions (ANSI code page 949, 932
// through the thread locale or by number), the system folders, real folders; the Windows side
// of the extraction loop (files, times, attributes, the overwrite question's texts) behind this
// real mingw-built executable's image; the decoder with a failing Win32 sink; positions beyond
// 2 GiB. The loop's logic is tested natively (tests/native/extract/walk_archive_test.cpp); the
// dialogs, and every answer a user can give, in tests/wine/unpacker.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "tests/wine/support/window_driver.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/extraction_ui.h"
#include "unpacker/extract/win32/overwrite_question.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/win32/win32_output_file.h"

using namespace testing_support;
using namespace window_driver;

namespace {

// The whole file, or "<missing>".
std::string ReadText(const std::string& path) {
  return FileExists(AnsiToWide(path)) ? ReadFileBytes(AnsiToWide(path)) : "<missing>";
}
template <class Bytes>
bool WriteText(const std::string& path, const Bytes& bytes) {
  return WriteFileBytes(AnsiToWide(path), std::string(bytes.begin(), bytes.end()));
}
void RemoveTree(const std::string& path) {
  window_driver::RemoveTree(AnsiToWide(path));
}

// The overwrite questions asked: name, size, date, new size, new date.
std::vector<std::vector<std::wstring>> questions;

const std::string kGa = "\xB0\xA1";               // 가 (949)
const std::string kHanGeul = "\xC7\xD1\xB1\xDB";  // 한글 (949)
const std::string kSo = "\x83\x5C";               // ソ (932): its trail byte is "\"

std::u16string ToUnits(uint32_t codePage, const std::string& bytes) {
  std::u16string units(bytes.size(), u'\0');
  units.resize(BytesToUtf16(codePage, bytes.data(), uint32_t(bytes.size()), units.data(),
                            uint32_t(units.size())));
  return units;
}

TEST(CodePageSeam, AnsiCodePageIsKorean) {
  EXPECT_EQ(GetACP(), 949u);
  EXPECT_EQ(NameCodePage(), 3u) << "an NT system: the thread's ANSI code page";
  EXPECT_EQ(LocaleAnsiCodePage(0x0412), 949u);
  EXPECT_EQ(LocaleAnsiCodePage(0x0411), 932u);
  EXPECT_EQ(LocaleAnsiCodePage(0x7FFF0000), 0u) << "no such locale";
}

// What the core relies on: a lead byte takes the byte behind it, a trail byte 0x5C is part of
// its character, and the way back never turns a character into a look-alike backslash.
TEST(CodePageSeam, ConversionsAsTheFileSystemReadsNames) {
  EXPECT_EQ(ToUnits(932, kSo + "\\"), u"\u30BD\\");
  EXPECT_EQ(ToUnits(949, "\x81\\a").size(), 2u) << "invalid pair: one default character";
  EXPECT_EQ(ToUnits(kSystemAnsiCodePage, "a\\" + kGa), u"a\\\uAC00");
  const char16_t yen = u'\u00A5';
  char bytes[8] = {};
  ASSERT_EQ(Utf16ToBytes(932, &yen, 1, bytes, sizeof bytes), 1u);
  EXPECT_EQ(bytes[0], '?') << "no best fit: the yen sign must not become a backslash";
}

// With a Japanese thread locale the name routines work in 932, while the system code page
// stays 949. 0xB1 is a half-width katakana in 932 but a lead byte in 949, where it takes the
// "\" behind it into one invalid character.
TEST(CodePageSeam, NameRoutinesFollowTheThreadLocale) {
  EXPECT_EQ(FileNamePart("d\\\xB1\\x"), ByteString("?x"));
  const LCID korean = GetThreadLocale();
  SetThreadLocale(0x0411);
  EXPECT_EQ(FileNamePart("d\\\xB1\\x"), ByteString("x"));
  SetThreadLocale(korean);
}

TEST(SystemFolders, MacrosExpandToTheRealFolders) {
  ResetCoreState();
  char windows[MAX_PATH], system[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH) * GetSystemDirectoryA(system, MAX_PATH), 0u);
  const std::pair<std::string, std::string> rows[] = {{"{temp}\\" + kGa, TempFolder() + kGa},
                                                      {"{win}", windows},
                                                      {"{sys}x", system + std::string("\\x")}};
  for (const auto& [text, expected] : rows) {
    char buffer[kDestFolderSize] = {};
    std::strcpy(buffer, text.c_str());
    ASSERT_TRUE(ExpandFolderMacros(buffer, sizeof buffer)) << text;
    EXPECT_EQ(std::string(buffer), expected);
  }
}

// Folders with double-byte names are made at any depth, and found with or without a trailing
// separator, with slashes too.
TEST(FoldersOnWindows, MadeAndFound) {
  const std::string root = TempFolder() + "folders", folder = root + "\\" + kHanGeul;
  RemoveTree(root);
  const std::string deep = folder + "\\" + kGa + " x/\x81\x41";
  ForceFolders(deep.c_str());
  ASSERT_TRUE(WriteText(folder + "\\" + kGa + ".txt", kGa));
  for (const std::string& path : {deep, deep + "\\", root + "/" + kHanGeul + "/" + kGa + ".txt"})
    EXPECT_TRUE(PathExists(path.c_str()) && FileExists(AnsiToWide(path))) << path;
  for (const std::string& path : {root + "\\missing", root + "\\missing\\", std::string(),
                                  root + "\\" + std::string(400, 'x') + "\\"})
    EXPECT_FALSE(PathExists(path.c_str())) << path;
  RemoveTree(root);
}

constexpr char kAllExtracted[] = "모든 파일의 압축을 풀었습니다.";
constexpr char kNo[] = "<missing>";
using Texts = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;  // name, contents

ArchiveEntry Entry(std::string name, std::string data, uint16_t method = 8) {
  return {.name = name, .data = {data.begin(), data.end()}, .method = method};
}
std::string SelfPath() {
  char self[MAX_PATH];
  return std::string(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
}
// This test program's file: a real mingw-built executable, and data of every kind to pack.
const std::string& Program() {
  static const std::string program = ReadText(SelfPath());
  return program;
}

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFolder() + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(root_);
    CreateDirectoryA(root_.c_str(), nullptr);
    dest_ = root_ + "\\out";
    BuildCrcTable();
  }
  void TearDown() override {
    ResetCoreState();
    SetCurrentDirectoryA("C:\\");
    RemoveTree(root_);
  }

  // Writes the self-extracting program: this test program's image, the option block and `zip`.
  void Start(const std::vector<uint8_t>& zip, uint8_t flags = 0, const Files& existing = {}) {
    static const uint64_t imageEnd = [] {
      ArchiveHandle = OpenArchiveFile(SelfPath().c_str());
      return FindImageEnd(ArchiveHandle);
    }();
    ResetCoreState();  // closes the program file of an earlier start
    ASSERT_GT(imageEnd, 1024u);
    std::vector<uint8_t> program(Program().begin(), Program().begin() + imageEnd);
    Append(program, BuildOptionBlock(flags, {}, {}, {}));
    Append(program, zip);
    ASSERT_TRUE(WriteText(root_ + "\\setup.exe", program));
    Open(imageEnd, existing);
  }
  // Opens setup.exe as the stub does at start-up and runs the scan pass; then puts the
  // `existing` files in the destination.
  void Open(uint64_t imageEnd, const Files& existing = {}) {
    ResetCoreState();
    questions.clear();
    RemoveTree(dest_);
    std::strcpy(ProgramPath, (root_ + "\\setup.exe").c_str());
    ArchiveHandle = OpenArchiveFile(ProgramPath);
    SetCurrentDirectoryA(root_.c_str());
    ReadOptionBlock();
    ASSERT_EQ(ExtractorOptions.ArchiveOffset, imageEnd + 256);
    ASSERT_EQ(ExtractorOptions.StartDirectory, root_) << "the current folder at start-up";
    std::strcpy(DestFolder, dest_.c_str());
    OverwriteMode = OverwriteChoice::AskEachFile;
    WalkArchive(Pass::Scan);
    CreateDirectoryA(dest_.c_str(), nullptr);
    for (const auto& [name, text] : existing) ASSERT_TRUE(WriteText(Out(name), text));
  }
  void Extract() { WalkArchive(Pass::Extract); }
  static std::vector<uint8_t> Zip(const std::vector<ArchiveEntry>& e) { return BuildZip(e).bytes; }

  // The messages since Start, the scan pass's too; a path is given from the destination on.
  Texts Messages() const {
    Texts texts;
    for (const ShownMessage& m : shownMessages)
      texts.push_back((m.path.empty() ? "" : m.path.substr(dest_.size() + 1) + ": ") + m.text);
    return texts;
  }
  std::string Out(const std::string& name) const { return dest_ + "\\" + name; }
  // Compares contents without printing megabytes when they differ.
  void ExpectFiles(const Files& files) const {
    for (const auto& [name, text] : files) EXPECT_TRUE(ReadText(Out(name)) == text) << name;
  }

  std::string root_, dest_;
};

// Files and folders (named with slashes, backslashes, Korean), their times and attributes, for
// every entry and not the first 256 only; a read-only file in the way is replaced.
TEST_F(Extraction, FilesFoldersTimesAndAttributes) {
  const DWORD readOnly = FILE_ATTRIBUTE_READONLY, hidden = FILE_ATTRIBUTE_HIDDEN;
  const std::string korean = "deep/" + kHanGeul + "/b.txt",
                    hiddenData = Program().substr(1000000, 200000);
  std::vector<ArchiveEntry> entries = {Entry("a.txt", "alpha"),      Entry("empty\\", "", 0),
                                       Entry("slash/f/", "", 0),     Entry(korean, "beta"),
                                       Entry("locked", "locked", 0), Entry("hidden", hiddenData)};
  entries[4].externalAttributes = readOnly | FILE_ATTRIBUTE_ARCHIVE;
  entries[5].externalAttributes = hidden;
  entries[5].dosDateTime = 0x4EE468A6;  // 2019-07-04 13:05:12
  entries[5].level = 9;                 // real program bytes, deflated by zlib at its best
  for (int i = 0; i < 300; ++i) {
    entries.push_back(Entry("many\\" + std::to_string(i), "", 0));
    entries.back().externalAttributes = (i % 2) ? readOnly : hidden;
  }
  Start(Zip(entries), 0, {{"a.txt", "old"}});
  SetFileAttributesA(Out("a.txt").c_str(), readOnly);
  EXPECT_EQ(BytesTotal, 5u + 4 + 6 + 200000);
  OverwriteMode = OverwriteChoice::ReplaceWithoutAsking;
  Extract();
  EXPECT_TRUE(ExtractionSucceeded);
  ASSERT_EQ(Messages(), Texts{kAllExtracted});
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::None);
  ExpectFiles({{"a.txt", "alpha"}, {korean, "beta"}, {"locked", "locked"}, {"hidden", hiddenData}});
  // Wine keeps the archive bit whatever a file is given: these are the bits to rely on.
  const DWORD folder = FILE_ATTRIBUTE_DIRECTORY;
  const DWORD kept = readOnly | hidden | folder | FILE_ATTRIBUTE_SYSTEM;
  std::vector<DWORD> bits;
  for (const char* name :
       {"a.txt", "empty", "slash\\f", "locked", "hidden", "many\\298", "many\\299"})
    bits.push_back(GetFileAttributesA(Out(name).c_str()) & kept);
  EXPECT_EQ(bits, (std::vector<DWORD>{0, folder, folder, readOnly, hidden, hidden, readOnly}));
  WIN32_FILE_ATTRIBUTE_DATA data;
  FILETIME local;
  SYSTEMTIME t;
  GetFileAttributesExA(Out("hidden").c_str(), GetFileExInfoStandard, &data);
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &t);
  EXPECT_EQ(std::vector<int>({t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond}),
            std::vector<int>({2019, 7, 4, 13, 5, 12}));
  EXPECT_EQ(script.enabled, (std::vector<bool>{false, true, false, true})) << "off for each pass";
}

// The question's texts; an existing file of 6 GiB shows its true size.
TEST_F(Extraction, OverwriteQuestionTexts) {
  ArchiveEntry e = Entry("report.txt", std::string(1234567, 'r'));
  e.dosDateTime = 0x505DBF7D;  // 2020-02-29 23:59:58
  Start(Zip({e}), 0, {{"report.txt", ""}});
  HANDLE h =
      CreateFileA(Out("report.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(SetFilePointerEx(h, {.QuadPart = 6LL << 30}, nullptr, FILE_BEGIN) &&
              SetEndOfFile(h));  // a sparse file
  CloseHandle(h);
  Extract();
  ASSERT_EQ(questions.size(), 1u);
  const std::vector<std::wstring>& q = questions[0];
  EXPECT_EQ((std::vector{q[0], q[1], q[3]}),
            (std::vector<std::wstring>{L"report.txt", L"6,442,450,944바이트", L"1,234,567바이트"}));
  for (const wchar_t* part : {L"2020", L"29", L"58"})  // short date and long time
    EXPECT_NE(q[4].find(part), q[4].npos) << part;
}

// A handle the write fails on (opened for reading only): nothing reaches the file, and the
// CRC-32 and progress count nothing, so the entry fails its check.
TEST_F(Extraction, FailingWritesAreNotCounted) {
  const BuiltZip zip = BuildZip(
      {Entry("d", Program().substr(0, 100000)), Entry("s", Program().substr(0, 50000), 0)});
  Start(zip.bytes);
  for (size_t i = 0; i < 2; ++i) {
    SeekArchive(ExtractorOptions.ArchiveOffset + zip.localHeaderOffsets[i], SeekFromBegin);
    ASSERT_TRUE(ReadLocalHeader());
    SeekArchive(ArchivePosition() + LocalHeader.NameLength + LocalHeader.ExtraLength,
                SeekFromBegin);
    OutputFile file{
        CreateFileA(Out("ro").c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr)};
    OutputHandle = &file;
    RunningCrc = 0xFFFFFFFF;  // BytesDone is 0 after the scan pass
    EXPECT_TRUE(DecompressEntry()) << i;
    CloseHandle(file.handle);
    EXPECT_EQ(RunningCrc, 0xFFFFFFFFu) << i;
    EXPECT_EQ(BytesDone, 0u) << i;
    EXPECT_EQ(ReadText(Out("ro")), "") << i;
  }
}

// A program whose image ends beyond 2 GiB (a hole in the Unix file): every position the loop
// seeks to needs 64 bits.
TEST_F(Extraction, PayloadBeyondTwoGigabytes) {
  const uint32_t imageEnd = 0x88000000u;
  std::vector<uint8_t> headers = BuildPeImage({{0x400, 0x200}});
  PutU32(headers, kDefaultPeOffset + 248 + 20, imageEnd - 0x1000);  // the section's raw data
  PutU32(headers, kDefaultPeOffset + 248 + 16, 0x1000);
  std::vector<uint8_t> tail = BuildOptionBlock(0, {}, {}, {});
  Append(tail, Zip({Entry("far", "far away"), Entry("farther", "even farther")}));
  ResetCoreState();
  HANDLE h = CreateFileA((root_ + "\\setup.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         0, nullptr);
  DWORD written;
  WriteFile(h, headers.data(), DWORD(headers.size()), &written, nullptr);
  SetFilePointerEx(h, {.QuadPart = imageEnd}, nullptr, FILE_BEGIN);
  WriteFile(h, tail.data(), DWORD(tail.size()), &written, nullptr);
  CloseHandle(h);
  Open(imageEnd);
  Extract();
  EXPECT_EQ(Messages(), Texts{kAllExtracted});
  ExpectFiles({{"far", "far away"}, {"farther", "even farther"}});
}

}  // namespace

void ShowOverwriteDialog() {  // always "no", for this file only
  questions.push_back({ExistingName, ExistingSizeText, ExistingDateText, NewSizeText, NewDateText});
  ReplaceThisFile = false;
}

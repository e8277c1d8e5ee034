// What only Windows can show, in process: the code-page functions (ANSI code page 949, 932
// through the thread locale or by number), the system folders, real folders; the extraction
// loop against real files behind this real mingw-built executable's image, with scripted
// answers in place of the dialogs; the decoder with a failing Win32 sink; positions beyond
// 2 GiB. The dialogs themselves, and every answer a user can give, are driven in
// tests/wine/unpacker.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/win32/extraction_ui.h"
#include "unpacker/extract/win32/overwrite_question.h"
#include "unpacker/extract/win32/walk_archive.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/win32/win32_output_file.h"

using namespace testing_support;

namespace {

std::string TempFolder() {  // ends in a backslash
  char folder[MAX_PATH];
  return std::string(folder, GetTempPathA(sizeof folder, folder));
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The whole file, or "<missing>".
std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

// Writes a string or a byte vector as the whole file.
template <class Bytes>
bool WriteText(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  return bool(out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size()) << std::flush);
}

// Removes a file, or a folder and all in it, read-only ones too.
void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") RemoveTree(path + "\\" + name);
  }
  FindClose(search);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!RemoveDirectoryA(path.c_str())) DeleteFileA(path.c_str());
}

// What the user types, and what the loop asked and did to the dialog.
struct Script {
  const char* password = nullptr;  // typed whenever asked; none: the close box
  int passwordQuestions = 0;
  std::vector<std::vector<std::wstring>> questions;  // name, size, date, new size, new date
  std::function<void()> onStep;
  int closes = 0;
  std::vector<bool> enabled;  // every change of the controls, in order
} script;

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
    EXPECT_TRUE(PathExists(path.c_str()) && Exists(path)) << path;
  for (const std::string& path : {root + "\\missing", root + "\\missing\\", std::string(),
                                  root + "\\" + std::string(400, 'x') + "\\"})
    EXPECT_FALSE(PathExists(path.c_str())) << path;
  RemoveTree(root);
}

constexpr char kAllExtracted[] = "모든 파일의 압축을 풀었습니다.";
constexpr char kFailed[] = "파일의 압축을 풀 수 없습니다.";
const std::string kCannotOpen = "파일을 열 수 없습니다.";
constexpr char kUnknownMethod[] = "알수 없는 압축 형식입니다.";
constexpr char kDamaged[] = "압축 파일이 손상되었습니다.";  // told by both passes
constexpr char kNo[] = "<missing>";
using Texts = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;  // name, contents

ZipEntrySpec Entry(std::string name, std::string data, uint16_t method = 8) {
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
    script = {};
    RemoveTree(dest_);
    std::strcpy(ProgramPath, (root_ + "\\setup.exe").c_str());
    ArchiveHandle = OpenArchiveFile(ProgramPath);
    SetCurrentDirectoryA(root_.c_str());
    ReadOptionBlock();
    ASSERT_EQ(ExtractorOptions.ArchiveOffset, imageEnd + 256);
    ASSERT_EQ(ExtractorOptions.StartDirectory, root_) << "the current folder at start-up";
    std::strcpy(DestFolder, dest_.c_str());
    OverwriteMode = AskEachFile;
    WalkArchive(true, false);
    CreateDirectoryA(dest_.c_str(), nullptr);
    for (const auto& [name, text] : existing) ASSERT_TRUE(WriteText(Out(name), text));
  }
  void Extract() { WalkArchive(false, false); }
  static std::vector<uint8_t> Zip(const std::vector<ZipEntrySpec>& e) { return BuildZip(e).bytes; }

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
  std::vector<ZipEntrySpec> entries = {Entry("a.txt", "alpha"),      Entry("empty\\", "", 0),
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
  OverwriteMode = ReplaceWithoutAsking;
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

// Each failure is told where it is found, in the scan pass or the extraction; the loop goes on
// where it can. A folder "t" is in the way of a file of that name.
TEST_F(Extraction, FailuresAndTheirMessages) {
  ZipEntrySpec bad = Entry("bad", "original");
  const std::vector<uint8_t> tampered = RawDeflate(Bytes("tampered"));
  bad.rawData = &tampered;  // its CRC-32 does not match
  BuiltZip unreached = BuildZip({Entry("a", "a"), Entry("b", "b")});
  PutU32(unreached.bytes, unreached.localHeaderOffsets[1], 0x12345678);  // listed, never found
  const struct {
    std::vector<uint8_t> zip;
    Texts messages;
    Files files = {};
    uint8_t flags = 0;
  } cases[] = {
      {Zip({Entry("a", "alpha")}), {}, {{"a", "alpha"}}, kFlagAutoExtract},
      {{}, {"압축 파일을 읽을 수 없습니다."}},
      {Zip({bad, Entry("good", "good")}), {kFailed}, {{"bad", "tampered"}, {"good", "good"}}},
      {Zip({Entry("t", "x"), Entry("n", "n")}), {"t: " + kCannotOpen, kFailed}, {{"n", "n"}}},
      {Zip({Entry("l", "l", 14), Entry("c", "c", 0)}), {kUnknownMethod}, {{"l", ""}, {"c", kNo}}},
      {Zip({Entry("a", "a"), Entry(std::string("\0\0", 2), "x")}), {kDamaged, kDamaged}},
      {unreached.bytes, {kFailed}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Start(c.zip, c.flags);
    CreateDirectoryA(Out("t").c_str(), nullptr);
    OverwriteMode = ReplaceWithoutAsking;
    Extract();
    EXPECT_EQ(Messages(), c.messages);
    EXPECT_EQ(ExtractionSucceeded, c.flags == kFlagAutoExtract);
    ExpectFiles(c.files);
  }
}

// Entry names that would write outside the destination are never created.
TEST_F(Extraction, NamesOutsideTheDestinationAreRefused) {
  const std::vector<std::string> names = {"..\\x", "../x", "a/../../x",   ".. \\x", "...\\x",
                                          "C:x",   "\\x",  "\\\\s\\h\\x", "CON",    "sub\\nul.x"};
  std::vector<ZipEntrySpec> entries;
  for (const std::string& name : names) entries.push_back(Entry(name, "evil"));
  entries.push_back(Entry("fine", "fine"));
  Start(Zip(entries));
  Extract();
  ASSERT_EQ(shownMessages.size(), names.size() + 1);
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_TRUE(shownMessages[i].text == kCannotOpen && shownMessages[i].icon == MessageIcon::Error)
        << names[i];
  EXPECT_EQ(shownMessages.back().text, kFailed);
  EXPECT_FALSE(Exists(root_ + "\\x") || Exists("C:\\x"));
  ExpectFiles({{"fine", "fine"}});
}

// The question's texts; an existing file of 6 GiB shows its true size.
TEST_F(Extraction, OverwriteQuestionTexts) {
  ZipEntrySpec e = Entry("report.txt", std::string(1234567, 'r'));
  e.dosDateTime = 0x505DBF7D;  // 2020-02-29 23:59:58
  Start(Zip({e}), 0, {{"report.txt", ""}});
  HANDLE h =
      CreateFileA(Out("report.txt").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(SetFilePointerEx(h, {.QuadPart = 6LL << 30}, nullptr, FILE_BEGIN) &&
              SetEndOfFile(h));  // a sparse file
  CloseHandle(h);
  Extract();
  ASSERT_EQ(script.questions.size(), 1u);
  const std::vector<std::wstring>& q = script.questions[0];
  EXPECT_EQ((std::vector{q[0], q[1], q[3]}),
            (std::vector<std::wstring>{L"report.txt", L"6,442,450,944바이트", L"1,234,567바이트"}));
  for (const wchar_t* part : {L"2020", L"29", L"58"})  // short date and long time
    EXPECT_NE(q[4].find(part), q[4].npos) << part;
}

// Streaming writers leave CRC-32 and sizes to a data descriptor behind the data.
TEST_F(Extraction, DataDescriptors) {
  ZipEntrySpec streamed = Entry("streamed", std::string(40000, 's'));
  streamed.dataDescriptor = streamed.zeroSizesInLocalHeader = true;
  ZipEntrySpec unsigned_ = Entry("nosig", "no signature");
  unsigned_.dataDescriptor = true;
  unsigned_.descriptorSignature = false;
  ZipEntrySpec locked = Entry("locked", "encrypted with a descriptor");
  locked.dataDescriptor = true;
  locked.password = "pw";
  Start(Zip({streamed, unsigned_, locked, Entry("last", "last")}));
  EXPECT_EQ(BytesTotal, 40000u + 12 + 27 + 4);
  script.password = "pw";
  Extract();
  EXPECT_EQ(Messages(), Texts{kAllExtracted});
  ExpectFiles({{"streamed", std::string(40000, 's')}, {"nosig", "no signature"}});
  ExpectFiles({{"locked", "encrypted with a descriptor"}, {"last", "last"}});

  // Without the central directory a streamed entry's end cannot be found: it fails.
  Start(BuildZip({streamed, Entry("last", "last")}, {.comment = "c"}).bytes);
  Extract();
  EXPECT_EQ(Messages(), Texts{kFailed});
}

// Close pressed between entries: the empty file just made goes, nothing more is written, the
// cancel is told and the dialog is closed.
TEST_F(Extraction, CancelBetweenEntries) {
  Start(Zip({Entry("1", "one", 0), Entry("2", "two", 0), Entry("3", "three", 0)}));
  int steps = 0;
  // One step as the pass starts, then two per entry: before the entry and before its data.
  // Close comes while the second entry's file has just been made.
  script.onStep = [&] { CancelRequested |= ++steps == 5; };
  Extract();
  ExpectFiles({{"1", "one"}, {"2", kNo}, {"3", kNo}});
  ASSERT_EQ(Messages(), Texts{"작업이 취소되었습니다."});
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::Information);
  EXPECT_FALSE(ExtractionSucceeded || CancelRequested);
  EXPECT_EQ(script.closes, 1);
}

// The password is asked once and serves later entries and later passes; it is asked before the
// overwrite rule is applied, so also for a file that is then skipped.
TEST_F(Extraction, PasswordIsAskedOnceAndFirst) {
  ZipEntrySpec a = Entry("a.txt", "A"), b = Entry("b.txt", "B");
  a.password = b.password = "pw";
  Start(Zip({a, Entry("plain.txt", "P"), b}));
  script.password = "pw";
  Extract();
  Extract();
  EXPECT_EQ(script.passwordQuestions, 1);
  EXPECT_TRUE(ExtractionSucceeded);
  ExpectFiles({{"a.txt", "A"}, {"b.txt", "B"}});

  Start(Zip({a}), 0, {{"a.txt", "old"}});
  OverwriteMode = SkipWithoutAsking;
  Extract();  // the close box: the pass ends
  EXPECT_EQ(script.passwordQuestions, 1);
  EXPECT_FALSE(ExtractionSucceeded);
  ExpectFiles({{"a.txt", "old"}});
}

// The delete pass removes only what this run wrote: folders and files that existed before
// and were kept stay.
TEST_F(Extraction, DeletePassRemovesOnlyWhatWasWritten) {
  Start(Zip({Entry("new", "n"), Entry("kept", "archive's"), Entry("sub\\x", "x"),
             Entry("folder\\", "", 0)}),
        0, {{"kept", "the user's own"}});
  Extract();
  ASSERT_TRUE(ExtractionSucceeded);
  WalkArchive(false, true);
  ExpectFiles({{"new", kNo}, {"sub\\x", kNo}, {"kept", "the user's own"}});
  EXPECT_TRUE(Exists(Out("sub")) && Exists(Out("folder")));
}

TEST_F(Extraction, DestinationThatDoesNotFitIsRefused) {
  Start(Zip({Entry("a", "a")}));
  std::strcpy(ExtractorOptions.StartDirectory, ("C:\\" + std::string(200, 's')).c_str());
  std::strcpy(DestFolder, std::string(100, 'd').c_str());  // relative: below StartDirectory
  Extract();
  EXPECT_EQ(Messages(), Texts{"폴더이름이 잘못되었습니다."});
  EXPECT_FALSE(ExtractionSucceeded);
}

// Names are read in full whatever their length; one too long for the file system is a file
// that cannot be created, and the walk goes on.
TEST_F(Extraction, LongNamesAreReadInFull) {
  const std::string fits = std::string(80, 'a') + "\\" + std::string(80, 'b');
  const std::string tooLong = std::string(150, 'c') + "/" + std::string(200, 'd');
  Start(Zip({Entry(fits, "fits"), Entry(tooLong, "no"), Entry("after", "after")}));
  Extract();
  ExpectFiles({{fits, "fits"}, {"after", "after"}});
  EXPECT_EQ(Messages(), (Texts{tooLong + ": " + kCannotOpen, kFailed}));
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
    SeekArchive(LastSeekPosition + 30 + LocalHeader.NameLength + LocalHeader.ExtraLength,
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

// Archives made by other tools, each unpacked and compared with the files they were made from.
TEST_F(Extraction, ArchivesMadeByOtherTools) {
  const std::string fixtures = std::string(TOOL_ARCHIVES) + "\\";
  for (const std::string archive :
       {"infozip", "infozip_encrypted", "7zip", "7zip_zipcrypto", "python", "infozip_stdin"}) {
    SCOPED_TRACE(archive);
    const std::string zip = ReadText(fixtures + archive + ".zip");
    Start({zip.begin(), zip.end()});
    script.password = "secret";
    Extract();
    EXPECT_EQ(Messages(), Texts{kAllExtracted});
    if (archive == "infozip_stdin") {  // streamed through a pipe
      ExpectFiles({{"-", "streamed through a pipe\n"}});
      continue;
    }
    for (const char* file :
         {"readme.txt", "docs\\numbers.txt", "docs\\zero.txt", "bin\\random.bin"})
      ExpectFiles({{file, ReadText(fixtures + "tree\\" + file)}});
    EXPECT_TRUE(Exists(Out("docs\\empty")));
  }
}

}  // namespace

int ShowPasswordDialog() {
  ++script.passwordQuestions;
  if (!script.password) return 0;
  std::strcpy(TypedPassword, script.password);
  TypedPasswordLength = int32_t(std::strlen(TypedPassword));
  return 1;
}
void ShowOverwriteDialog() {  // always "no", for this file only
  script.questions.push_back(
      {ExistingName, ExistingSizeText, ExistingDateText, NewSizeText, NewDateText});
  ReplaceThisFile = false;
}
void MessageStep() {
  if (script.onStep) script.onStep();
}
void EnableExtractionControls(bool enabled) {
  script.enabled.push_back(enabled);
}
void PostCloseCommand() {
  ++script.closes;
}

// The extraction loop against real folders and files under Wine, with scripted answers in
// place of the dialogs.
#include "unpacker/extract/win32/walk_archive.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "tests/wine/extract/scripted_ui.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"

using namespace testing_support;

namespace {

constexpr char kAllExtracted[] = "모든 파일의 압축을 풀었습니다.";
constexpr char kFailed[] = "파일의 압축을 풀 수 없습니다.";
constexpr char kCancelled[] = "작업이 취소되었습니다.";
constexpr char kCannotOpen[] = "파일을 열 수 없습니다.";

std::string ReadFileText(const std::string& path) {
  std::string text;
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[65536];
  DWORD got;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(h);
  return text;
}

void WriteFileText(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD written;
  WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(h);
}

// The attribute bits a test can rely on under Wine, which keeps the archive bit of a file
// whatever it is given.
DWORD Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
}

// Compares texts without printing megabytes when they differ.
::testing::AssertionResult SameText(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "sizes " << actual.size() << " and " << expected.size() << ", starting "
         << actual.substr(0, 40) << " and " << expected.substr(0, 40);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileA(child.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

ZipEntrySpec Entry(std::string name, std::string data, uint16_t method = 8) {
  ZipEntrySpec e;
  e.name = std::move(name);
  e.data.assign(data.begin(), data.end());
  e.method = method;
  return e;
}

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    root_ = std::string(temp) + "walk_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RemoveTree(root_);
    CreateDirectoryA(root_.c_str(), nullptr);
    dest_ = root_ + "\\out";
    BuildCrcTable();
  }
  void TearDown() override {
    ResetCoreState();
    script::Reset();
    SetCurrentDirectoryA("C:\\");
    RemoveTree(root_);
  }

  // Writes the self-extracting program, opens it as the stub does at start-up and runs the
  // scan pass.
  void Start(const std::vector<uint8_t>& zip, uint8_t flags = 0) {
    std::vector<uint8_t> program = BuildPeImage({{0x400, 0x200}});
    Append(program, BuildOptionBlock(flags, {}, {}, {}));
    Append(program, zip);
    const std::string path = root_ + "\\setup.exe";
    ResetCoreState();  // closes the program file of an earlier start
    RemoveTree(dest_);
    WriteFileText(path, std::string(program.begin(), program.end()));
    script::Reset();
    std::strcpy(ProgramPath, path.c_str());
    ArchiveHandle = OpenArchiveFile(ProgramPath);
    SetCurrentDirectoryA(root_.c_str());
    ReadOptionBlock();
    std::strcpy(DestFolder, dest_.c_str());
    OverwriteMode = AskEachFile;
    WalkArchive(true, false);
  }
  void Start(const std::vector<ZipEntrySpec>& entries, uint8_t flags = 0) {
    Start(BuildZip(entries).bytes, flags);
  }
  void Extract() {
    shownMessages.clear();
    WalkArchive(false, false);
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const ShownMessage& m : shownMessages)
      texts.push_back(m.path.empty() ? m.text : m.path + " : " + m.text);
    return texts;
  }
  std::string Out(const std::string& name) const { return dest_ + "\\" + name; }

  std::string root_, dest_;
};

TEST_F(Extraction, FilesFoldersTimesAndAttributes) {
  ZipEntrySpec readOnly = Entry("docs\\locked.txt", "locked", 0);
  readOnly.externalAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
  ZipEntrySpec hidden = Entry("hidden.txt", std::string(100000, 'h'));
  hidden.externalAttributes = FILE_ATTRIBUTE_HIDDEN;
  hidden.dosDateTime =
      (uint32_t(2019 - 1980) << 25 | 7u << 21 | 4u << 16) | (13u << 11 | 5u << 5 | 6u);
  Start({Entry("a.txt", "alpha"), readOnly, hidden, Entry("empty\\", "", 0),
         Entry("slash/folder/", "", 0), Entry("deep/er/b.txt", "beta")});
  EXPECT_EQ(BytesTotal, 5u + 6 + 100000 + 4);
  ASSERT_TRUE(shownMessages.empty());

  Extract();
  EXPECT_TRUE(ExtractionSucceeded);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kAllExtracted});
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::None);
  EXPECT_EQ(ReadFileText(Out("a.txt")), "alpha");
  EXPECT_EQ(ReadFileText(Out("docs\\locked.txt")), "locked");
  EXPECT_TRUE(SameText(ReadFileText(Out("hidden.txt")), std::string(100000, 'h')));
  EXPECT_EQ(ReadFileText(Out("deep\\er\\b.txt")), "beta");
  EXPECT_EQ(Attributes(Out("empty")), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(Attributes(Out("slash\\folder")), DWORD(FILE_ATTRIBUTE_DIRECTORY))
      << "a name ending in a slash is a folder";
  EXPECT_EQ(Attributes(Out("docs\\locked.txt")), DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Attributes(Out("hidden.txt")), DWORD(FILE_ATTRIBUTE_HIDDEN));

  HANDLE h = CreateFileA(Out("hidden.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  FILETIME written, local;
  GetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  FileTimeToLocalFileTime(&written, &local);
  SYSTEMTIME st;
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ(st.wYear, 2019);
  EXPECT_EQ(st.wMonth, 7);
  EXPECT_EQ(st.wDay, 4);
  EXPECT_EQ(st.wHour, 13);
  EXPECT_EQ(st.wMinute, 5);
  EXPECT_EQ(st.wSecond, 12);
  // The controls are disabled for each pass and enabled again.
  EXPECT_EQ(script::controlsEnabled, (std::vector<bool>{false, true, false, true}));
  EXPECT_FALSE(Extracting);
}

TEST_F(Extraction, AutoExtractSucceedsSilently) {
  Start({Entry("a.txt", "alpha")}, kFlagAutoExtract);
  Extract();
  EXPECT_TRUE(ExtractionSucceeded);
  EXPECT_TRUE(shownMessages.empty());
}

TEST_F(Extraction, WithoutPayloadNothingCanBeRead) {
  Start(std::vector<uint8_t>{});
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"압축 파일을 읽을 수 없습니다."});
  Extract();
  EXPECT_TRUE(shownMessages.empty());
  EXPECT_FALSE(ExtractionSucceeded);
}

// Each failure is told where it is found; the loop goes on where it can.
TEST_F(Extraction, FailuresAndTheirMessages) {
  {  // a CRC mismatch keeps the file, and the next entries are still extracted
    ZipEntrySpec bad = Entry("bad.txt", "original");
    const std::vector<uint8_t> other = RawDeflate(Bytes("tampered"));
    bad.rawData = &other;
    Start({bad, Entry("good.txt", "good")});
    Extract();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kFailed});
    EXPECT_EQ(ReadFileText(Out("bad.txt")), "tampered");
    EXPECT_EQ(ReadFileText(Out("good.txt")), "good");
    EXPECT_FALSE(ExtractionSucceeded);
  }
  {  // a file that cannot be created: a folder of that name exists
    Start({Entry("taken", "x"), Entry("next.txt", "n")});
    CreateDirectoryA(dest_.c_str(), nullptr);
    CreateDirectoryA(Out("taken").c_str(), nullptr);
    OverwriteMode = ReplaceWithoutAsking;
    Extract();
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{Out("taken") + " : " + kCannotOpen, kFailed}));
    EXPECT_EQ(ReadFileText(Out("next.txt")), "n");
  }
  {  // an unknown method ends the pass at once; the file stays empty
    Start({Entry("a.txt", "a", 0), Entry("lzma.bin", "l", 14), Entry("c.txt", "c", 0)});
    Extract();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"알수 없는 압축 형식입니다."});
    EXPECT_EQ(ReadFileText(Out("lzma.bin")), "");
    EXPECT_FALSE(Exists(Out("c.txt")));
  }
  {  // an empty name: the archive is damaged
    Start({Entry("a.txt", "a"), Entry(std::string("\0\0", 2), "x")});
    Extract();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"압축 파일이 손상되었습니다."});
  }
  {  // the end record lists an entry the walk never reached
    BuiltZip zip = BuildZip({Entry("a.txt", "a"), Entry("b.txt", "b")});
    PutU32(zip.bytes, zip.localHeaderOffsets[1], 0x12345678);
    Start(zip.bytes);
    Extract();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kFailed});
    EXPECT_FALSE(ExtractionSucceeded);
  }
}

// Entry names that would write outside the destination are never created.
TEST_F(Extraction, NamesOutsideTheDestinationAreRefused) {
  const char* names[] = {"..\\escaped.txt",
                         "../escaped.txt",
                         "a/../../escaped.txt",
                         ".. \\escaped.txt",
                         "...\\escaped.txt",
                         "C:escaped.txt",
                         "\\escaped.txt",
                         "\\\\server\\share\\escaped.txt",
                         "CON",
                         "sub\\nul.txt"};
  std::vector<ZipEntrySpec> entries;
  for (const char* name : names) entries.push_back(Entry(name, "evil"));
  entries.push_back(Entry("fine.txt", "fine"));
  Start(entries);
  Extract();
  ASSERT_EQ(shownMessages.size(), std::size(names) + 1);
  for (size_t i = 0; i < std::size(names); ++i) {
    EXPECT_EQ(shownMessages[i].text, kCannotOpen) << names[i];
    EXPECT_EQ(shownMessages[i].icon, MessageIcon::Error);
  }
  EXPECT_EQ(shownMessages.back().text, kFailed);
  EXPECT_FALSE(Exists(root_ + "\\escaped.txt"));
  EXPECT_FALSE(Exists("C:\\escaped.txt"));
  EXPECT_EQ(ReadFileText(Out("fine.txt")), "fine");
}

TEST_F(Extraction, Passwords) {
  auto encrypted = [](const char* name, const char* data, const char* password) {
    ZipEntrySpec e = Entry(name, data);
    e.password = password;
    return e;
  };
  {  // asked once; later entries and later passes reuse the password
    Start({encrypted("a.txt", "A", "pw"), Entry("plain.txt", "P"), encrypted("b.txt", "B", "pw")});
    script::passwordAnswers = {{1, "pw"}};
    Extract();
    EXPECT_EQ(script::passwordDialogsShown, 1);
    EXPECT_EQ(ReadFileText(Out("b.txt")), "B");
    EXPECT_TRUE(ExtractionSucceeded);
    Extract();
    EXPECT_EQ(script::passwordDialogsShown, 1);
  }
  {  // wrong, then right
    Start({encrypted("a.txt", std::string(70000, 'a').c_str(), "right")});
    script::passwordAnswers = {{1, "wrong"}, {1, "right"}};
    Extract();
    EXPECT_EQ(script::passwordDialogsShown, 2);
    EXPECT_TRUE(SameText(ReadFileText(Out("a.txt")), std::string(70000, 'a')));
  }
  {  // three wrong: the pass stops there, silently
    Start({Entry("first.txt", "1"), encrypted("a.txt", "A", "right"), Entry("after.txt", "x")});
    script::passwordAnswers = {{1, "x"}, {1, "y"}, {1, "z"}, {1, "right"}};
    Extract();
    EXPECT_EQ(script::passwordDialogsShown, 3);
    EXPECT_TRUE(shownMessages.empty());
    EXPECT_FALSE(Exists(Out("a.txt")));
    EXPECT_FALSE(Exists(Out("after.txt")));
    EXPECT_FALSE(ExtractionSucceeded);
  }
  {  // the close box ends the asking
    Start({encrypted("a.txt", "A", "right")});
    script::passwordAnswers = {{0, ""}};
    Extract();
    EXPECT_EQ(script::passwordDialogsShown, 1);
    EXPECT_TRUE(shownMessages.empty());
  }
  {  // the password comes first, also for a file that is then skipped
    Start({encrypted("a.txt", "A", "right")});
    CreateDirectoryA(dest_.c_str(), nullptr);
    WriteFileText(Out("a.txt"), "old");
    OverwriteMode = SkipWithoutAsking;
    script::passwordAnswers = {{0, ""}};
    Extract();
    EXPECT_EQ(script::passwordDialogsShown, 1);
    EXPECT_FALSE(ExtractionSucceeded);
  }
}

TEST_F(Extraction, OverwriteQuestion) {
  const std::vector<ZipEntrySpec> entries = {Entry("1.txt", "new1"), Entry("2.txt", "new2"),
                                             Entry("3.txt", "new3")};
  auto prepare = [&] {
    Start(entries);
    CreateDirectoryA(dest_.c_str(), nullptr);
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) WriteFileText(Out(name), "old");
  };
  const struct {
    const char* name;
    uint8_t mode;
    std::deque<script::OverwriteAnswer> answers;
    int questions;
    const char* contents;  // of 1.txt, 2.txt, 3.txt: 'n' new, 'o' old
    uint8_t modeAfter;
  } cases[] = {
      {"replace without asking", ReplaceWithoutAsking, {}, 0, "nnn", ReplaceWithoutAsking},
      {"skip without asking", SkipWithoutAsking, {}, 0, "ooo", SkipWithoutAsking},
      {"yes, no, yes",
       AskEachFile,
       {{true, false}, {false, false}, {true, false}},
       3,
       "non",
       AskEachFile},
      {"no, then yes to all",
       AskEachFile,
       {{false, false}, {true, true}},
       2,
       "onn",
       ReplaceWithoutAsking},
      {"yes, then no to all",
       AskEachFile,
       {{true, false}, {false, true}},
       2,
       "noo",
       SkipWithoutAsking},
  };
  for (const auto& c : cases) {
    prepare();
    OverwriteMode = c.mode;
    script::overwriteAnswers = c.answers;
    Extract();
    EXPECT_EQ(int(script::overwriteQuestions.size()), c.questions) << c.name;
    for (int i = 0; i < 3; ++i) {
      const std::string name = std::to_string(i + 1) + ".txt";
      EXPECT_EQ(ReadFileText(Out(name)),
                c.contents[i] == 'n' ? "new" + std::to_string(i + 1) : "old")
          << c.name << " " << name;
    }
    EXPECT_EQ(OverwriteMode, c.modeAfter) << c.name;
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kAllExtracted}) << c.name;
  }
}

TEST_F(Extraction, OverwriteQuestionTexts) {
  ZipEntrySpec e = Entry("report.txt", std::string(1234567, 'r'));
  e.dosDateTime =
      (uint32_t(2020 - 1980) << 25 | 2u << 21 | 29u << 16) | (23u << 11 | 59u << 5 | 29u);
  Start({e});
  CreateDirectoryA(dest_.c_str(), nullptr);
  WriteFileText(Out("report.txt"), std::string(1000, 'o'));
  script::overwriteAnswers = {{false, false}};
  Extract();
  ASSERT_EQ(script::overwriteQuestions.size(), 1u);
  const script::OverwriteQuestion& q = script::overwriteQuestions[0];
  EXPECT_EQ(q.name, L"report.txt");
  EXPECT_EQ(q.existingSize, L"1,000바이트");
  EXPECT_EQ(q.newSize, L"1,234,567바이트");
  EXPECT_NE(q.newDate.find(L"2020"), std::wstring::npos) << "short date of 2020-02-29";
  EXPECT_NE(q.newDate.find(L"29"), std::wstring::npos);
  EXPECT_NE(q.newDate.find(L"58"), std::wstring::npos) << "long time 23:59:58";
  EXPECT_FALSE(q.existingDate.empty());
}

TEST_F(Extraction, ReadOnlyFileIsReplacedAndGetsTheArchivesAttributes) {
  ZipEntrySpec e = Entry("ro.txt", "new");
  e.externalAttributes = FILE_ATTRIBUTE_ARCHIVE;
  Start({e});
  CreateDirectoryA(dest_.c_str(), nullptr);
  WriteFileText(Out("ro.txt"), "old");
  SetFileAttributesA(Out("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  OverwriteMode = ReplaceWithoutAsking;
  Extract();
  EXPECT_EQ(ReadFileText(Out("ro.txt")), "new");
  EXPECT_EQ(Attributes(Out("ro.txt")), 0u) << "no longer read-only";
}

TEST_F(Extraction, ThreeHundredEntriesGetTheirAttributes) {
  std::vector<ZipEntrySpec> entries;
  for (int i = 0; i < 300; ++i) {
    entries.push_back(Entry("f" + std::to_string(i), std::to_string(i), 0));
    entries.back().externalAttributes = (i % 2) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_HIDDEN;
  }
  Start(entries);
  EXPECT_EQ(EntryAttributes.size(), 300u);
  Extract();
  EXPECT_TRUE(ExtractionSucceeded);
  for (int i : {0, 1, 150, 299})
    EXPECT_EQ(Attributes(Out("f" + std::to_string(i))),
              DWORD((i % 2) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_HIDDEN))
        << i;
}

TEST_F(Extraction, ArchiveWithACommentKeepsDefaultAttributes) {
  ZipEntrySpec e = Entry("a.txt", "a");
  e.externalAttributes = FILE_ATTRIBUTE_HIDDEN;
  Start(BuildZip({e}, {.comment = "comment"}).bytes);
  Extract();
  EXPECT_TRUE(ExtractionSucceeded);
  EXPECT_FALSE(GetFileAttributesA(Out("a.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// Streaming writers leave CRC-32 and sizes to a data descriptor behind the data.
TEST_F(Extraction, DataDescriptors) {
  ZipEntrySpec streamed = Entry("streamed.txt", std::string(40000, 's'));
  streamed.dataDescriptor = true;
  streamed.zeroSizesInLocalHeader = true;
  ZipEntrySpec unsigned_ = Entry("nosig.txt", "no signature");
  unsigned_.dataDescriptor = true;
  unsigned_.descriptorSignature = false;
  ZipEntrySpec locked = Entry("locked.txt", "encrypted with a descriptor");
  locked.dataDescriptor = true;
  locked.password = "pw";
  Start({streamed, unsigned_, locked, Entry("last.txt", "last")});
  EXPECT_EQ(BytesTotal, 40000u + 12 + 27 + 4);
  script::passwordAnswers = {{1, "pw"}};
  Extract();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kAllExtracted});
  EXPECT_TRUE(SameText(ReadFileText(Out("streamed.txt")), std::string(40000, 's')));
  EXPECT_EQ(ReadFileText(Out("nosig.txt")), "no signature");
  EXPECT_EQ(ReadFileText(Out("locked.txt")), "encrypted with a descriptor");
  EXPECT_EQ(ReadFileText(Out("last.txt")), "last");

  // Without the central directory a streamed entry's end cannot be found: it fails.
  Start(BuildZip({streamed, Entry("last.txt", "last")}, {.comment = "c"}).bytes);
  Extract();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kFailed});
}

// Close pressed between entries: the empty file just made goes, nothing more is written, the
// cancel is told and the dialog is closed.
TEST_F(Extraction, CancelBetweenEntries) {
  Start({Entry("1.txt", "one", 0), Entry("2.txt", "two", 0), Entry("3.txt", "three", 0)});
  int steps = 0;
  script::onMessageStep = [&] {
    // One step as the pass starts, then two per entry: before the entry and before its data.
    // Close comes while the second entry's file has just been made.
    if (++steps == 5) CancelRequested = true;
  };
  Extract();
  EXPECT_EQ(ReadFileText(Out("1.txt")), "one");
  EXPECT_FALSE(Exists(Out("2.txt"))) << "the empty file is removed";
  EXPECT_FALSE(Exists(Out("3.txt")));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kCancelled});
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::Information);
  EXPECT_FALSE(ExtractionSucceeded);
  EXPECT_FALSE(CancelRequested);
  EXPECT_EQ(script::closeCommandsPosted, 1);
}

TEST_F(Extraction, CancelDuringDecodingKeepsThePartialFileWithItsTime) {
  std::string big;
  for (uint32_t i = 0; i < 300000; ++i) big += std::to_string(i * 7919u % 1000003u);
  ZipEntrySpec e = Entry("big.txt", big);
  e.dosDateTime = (uint32_t(2001 - 1980) << 25 | 1u << 21 | 2u << 16);
  Start({e, Entry("after.txt", "after")});
  onPumpOneMessage = [] {
    if (pumpCount == 2) CancelRequested = true;
  };
  Extract();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kCancelled});
  const std::string partial = ReadFileText(Out("big.txt"));
  EXPECT_LT(partial.size(), big.size());
  EXPECT_TRUE(SameText(partial, big.substr(0, partial.size())));
  EXPECT_FALSE(Exists(Out("after.txt")));
  WIN32_FIND_DATAA found;
  FindClose(FindFirstFileA(Out("big.txt").c_str(), &found));
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&found.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ(st.wYear, 2001);
  EXPECT_EQ(script::closeCommandsPosted, 1);
}

// The delete pass removes only what this run wrote: folders and files that existed before
// and were kept stay.
TEST_F(Extraction, DeletePassRemovesOnlyWhatWasWritten) {
  Start({Entry("new.txt", "n"), Entry("kept.txt", "archive version"), Entry("sub\\x.txt", "x"),
         Entry("folder\\", "", 0)});
  CreateDirectoryA(dest_.c_str(), nullptr);
  WriteFileText(Out("kept.txt"), "the user's own");
  script::overwriteAnswers = {{false, false}};
  Extract();
  ASSERT_TRUE(ExtractionSucceeded);
  WalkArchive(false, true);
  EXPECT_FALSE(Exists(Out("new.txt")));
  EXPECT_FALSE(Exists(Out("sub\\x.txt")));
  EXPECT_EQ(ReadFileText(Out("kept.txt")), "the user's own");
  EXPECT_TRUE(Exists(Out("sub")));
  EXPECT_TRUE(Exists(Out("folder")));
}

TEST_F(Extraction, DestinationThatDoesNotFitIsRefused) {
  Start({Entry("a.txt", "a")});
  ExtractorOptions.StartDirectory[0] = 0;
  std::strcpy(ExtractorOptions.StartDirectory, ("C:\\" + std::string(200, 's')).c_str());
  std::strcpy(DestFolder, std::string(100, 'd').c_str());  // relative: below StartDirectory
  Extract();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"폴더이름이 잘못되었습니다."});
  EXPECT_FALSE(ExtractionSucceeded);
}

// Names are read in full whatever their length; one too long for the file system is a file
// that cannot be created, and the walk goes on.
TEST_F(Extraction, LongNamesAreReadInFull) {
  const std::string fits = "long/" + std::string(80, 'a') + "/" + std::string(80, 'b') + ".txt";
  const std::string tooLong =
      "long/" + std::string(200, 'c') + "/" + std::string(200, 'd') + ".txt";
  Start({Entry(fits, "fits"), Entry(tooLong, "too long"), Entry("after.txt", "after")});
  Extract();
  EXPECT_EQ(
      ReadFileText(Out("long\\" + std::string(80, 'a') + "\\" + std::string(80, 'b') + ".txt")),
      "fits");
  ASSERT_EQ(shownMessages.size(), 2u);
  EXPECT_EQ(shownMessages[0].text, kCannotOpen);
  EXPECT_NE(shownMessages[0].path.find(std::string(200, 'd')), std::string::npos)
      << "the whole name, not a cut one";
  EXPECT_EQ(shownMessages[1].text, kFailed);
  EXPECT_EQ(ReadFileText(Out("after.txt")), "after");
}

TEST_F(Extraction, RelativeDestinationIsPlacedBelowTheStartDirectory) {
  Start({Entry("a.txt", "a")});
  std::strcpy(DestFolder, "rel \\ ");
  Extract();
  EXPECT_EQ(ReadFileText(root_ + "\\rel\\a.txt"), "a");
}

// Archives made by other tools, each unpacked and compared with the files they were made from.
TEST_F(Extraction, ArchivesMadeByOtherTools) {
  const std::string fixtures = TOOL_ARCHIVES;
  const char* tree[] = {"readme.txt", "docs\\numbers.txt", "docs\\zero.txt", "bin\\random.bin"};
  for (const char* archive : {"infozip", "infozip_encrypted", "7zip", "7zip_zipcrypto", "python"}) {
    const std::string zip = ReadFileText(fixtures + "\\" + archive + ".zip");
    ASSERT_NE(zip, "<missing>") << archive;
    RemoveTree(dest_);
    Start(std::vector<uint8_t>(zip.begin(), zip.end()));
    script::passwordAnswers = {{1, "secret"}};
    Extract();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kAllExtracted}) << archive;
    for (const char* file : tree)
      EXPECT_TRUE(SameText(ReadFileText(Out(file)), ReadFileText(fixtures + "\\tree\\" + file)))
          << archive << " " << file;
    EXPECT_TRUE(Exists(Out("docs\\empty"))) << archive;
  }
  const std::string streamed = ReadFileText(fixtures + "\\infozip_stdin.zip");
  RemoveTree(dest_);
  Start(std::vector<uint8_t>(streamed.begin(), streamed.end()));
  Extract();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kAllExtracted});
  EXPECT_EQ(ReadFileText(Out("-")), "streamed through a pipe\n");
}

}  // namespace

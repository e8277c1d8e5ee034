#include "unpacker/extract/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/core_harness.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/native/native_code_page.h"
#include "unpacker/extract/native/native_system_folders.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Byte texts used below. Hex escapes are greedy, so a character that follows one is written as
// a separate literal.
const std::string kGa = "\xB0\xA1";               // 가 (949)
const std::string kHanGeul = "\xC7\xD1\xB1\xDB";  // 한글 (949)
const std::string kSo = "\x83\x5C";               // ソ (932): its trail byte is "\"
const std::string kPo = "\x83\x7C";               // ポ (932): its trail byte is "|"
const std::string kMa = "\x83\x7D";               // マ (932): its trail byte is "}"
const std::string kBo = "\x83\x7B";               // ボ (932): its trail byte is "{"

// Makes `codePage` both the system ANSI code page and the thread locale's, as on a system set
// up for that language.
void UseCodePage(uint32_t codePage) {
  SetNativeSystemCodePage(codePage);
  SetNativeThreadLocale(codePage == 932 ? 0x0411 : 0x0412);
}

ByteString Bytes(const std::string& text) {
  return ByteString(text.data(), uint32_t(text.size()));
}

void ResetAll() {
  ResetCoreState();
  ResetNativeCodePage();
  ResetNativeSystemFolders();
}

void SetDestFolder(const std::string& text) {
  ASSERT_LT(text.size(), sizeof DestFolder);
  std::memcpy(DestFolder, text.c_str(), text.size() + 1);
}

// One row of a table over a function from a text to a text.
struct TextCase {
  const char* name;
  uint32_t codePage;
  std::string input;
  std::string expected;
  friend void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }
};

template <typename Row>
class Table : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    ResetAll();
    UseCodePage(this->GetParam().codePage);
  }
  void TearDown() override { ResetAll(); }
};

auto RowName = [](const auto& info) { return std::string(info.param.name); };

// CharSafePos compares characters and answers with byte positions: a trail byte is never a
// match, and a match behind a double-byte character lies one byte further than its index.
struct PosCase {
  const char* name;
  uint32_t codePage;
  std::string needle, haystack;
  uint32_t expected;
  friend void PrintTo(const PosCase& c, std::ostream* os) { *os << c.name; }
};
class CharSafePosTest : public Table<PosCase> {};

TEST_P(CharSafePosTest, FindsCharactersAtBytePositions) {
  EXPECT_EQ(CharSafePos(Bytes(GetParam().needle), Bytes(GetParam().haystack)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CharSafePosTest,
    ::testing::Values(PosCase{"BarAsLastCharacter", 949, "|", "setup.exe|", 10},
                      PosCase{"PlaceholderIsTheWholeText", 949, "><", "><", 1},
                      PosCase{"EmptyNeedle", 949, "", "abc", 0},
                      PosCase{"HaystackShorterThanNeedle", 949, "abcd", "abc", 0},
                      PosCase{"Absent", 949, "|", "setup.exe", 0},
                      PosCase{"BarBehindKoreanIsAtByte3", 949, "|", kGa + "|x", 3},
                      PosCase{"PlaceholderBehindKorean", 949, "><", kHanGeul + "x><", 6},
                      PosCase{"KoreanNeedle", 949, kGa, "a" + kGa, 2},
                      PosCase{"TrailLetterIsNoLetter949", 949, "A", "\x81\x41", 0},
                      PosCase{"TrailBackslashIsNoBackslash932", 932, "\\", kSo, 0},
                      PosCase{"BackslashBehindTrailBackslash932", 932, "\\", kSo + "\\a", 3},
                      PosCase{"TrailBarIsNoBar932", 932, "|", kPo + "x|", 4},
                      PosCase{"BarBehindInvalidPair949", 949, "|", "\x81\x5C|", 3},
                      PosCase{"BackslashBehindInvalidPair949", 949, "\\", "\x81\x5C\\", 3},
                      PosCase{"FarBeyond260Characters", 949, "><", std::string(400, 'a') + "><",
                              401}),
    RowName);

// FileNamePart: the text after the last backslash or colon; a slash does not separate.
class FileNamePartTest : public Table<TextCase> {};

TEST_P(FileNamePartTest, TextAfterLastBackslashOrColon) {
  EXPECT_EQ(std::string(FileNamePart(GetParam().input.c_str()).c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileNamePartTest,
    ::testing::Values(TextCase{"FullPath", 949, "C:\\a\\b.txt", "b.txt"},
                      TextCase{"DriveRelative", 949, "C:b", "b"},
                      TextCase{"SlashIsNoSeparator", 949, "a/b", "a/b"},
                      TextCase{"FolderWithTrailingBackslash", 949, "C:\\a\\", ""},
                      TextCase{"KoreanName", 949, "C:\\" + kHanGeul + ".txt", kHanGeul + ".txt"},
                      TextCase{"TrailBackslashStaysInName932", 932, "C:\\d\\" + kSo + "x.txt",
                               kSo + "x.txt"},
                      TextCase{"NameBeyond260Characters", 949,
                               "C:\\" + std::string(300, 'd') + "\\name.txt", "name.txt"}),
    RowName);

// ParentFolder: the folder part; the root keeps its separator, a drive's colon stays.
class ParentFolderTest : public Table<TextCase> {};

TEST_P(ParentFolderTest, FolderPart) {
  EXPECT_EQ(std::string(ParentFolder(GetParam().input.c_str()).c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParentFolderTest,
    ::testing::Values(
        TextCase{"File", 949, "C:\\a\\b.txt", "C:\\a"},
        TextCase{"FolderBelowRoot", 949, "C:\\a", "C:\\"},
        TextCase{"RootStays", 949, "C:\\", "C:\\"}, TextCase{"SlashSeparates", 949, "a/b", "a"},
        TextCase{"DriveRelative", 949, "C:x", "C:"}, TextCase{"NoSeparator", 949, "name", ""},
        TextCase{"Unc", 949, "\\\\srv\\share\\x", "\\\\srv\\share"},
        TextCase{"KoreanFolder", 949, "C:\\" + kGa + "\\b", "C:\\" + kGa},
        TextCase{"TrailBackslashIsNoCut932", 932, "C:\\a\\" + kSo, "C:\\a"},
        TextCase{"FolderEndingInTrailBackslash932", 932, "C:\\a\\" + kSo + "\\b", "C:\\a\\" + kSo}),
    RowName);

// TrimTrailingSeparators drops backslashes and blanks from the end, and only real ones.
class TrimTest : public Table<TextCase> {};

TEST_P(TrimTest, DropsTrailingBackslashesAndBlanks) {
  const std::string input = GetParam().input;
  EXPECT_EQ(std::string(TrimTrailingSeparators(input.c_str()).c_str()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TrimTest,
    ::testing::Values(TextCase{"Mixed", 949, "C:\\out\\ \\ ", "C:\\out"},
                      TextCase{"Nothing", 949, "C:\\out", "C:\\out"},
                      TextCase{"Empty", 949, "", ""}, TextCase{"OnlySeparators", 949, "\\ \\", ""},
                      TextCase{"KoreanBeforeBlank", 949, kGa + " ", kGa},
                      TextCase{"TrailBackslashStays932", 932, "a" + kSo, "a" + kSo},
                      TextCase{"RealBackslashGoes932", 932, "a" + kSo + "\\", "a" + kSo}),
    RowName);

// IsValidFolderName: the typed destination, checked outside its drive part.
struct ValidCase {
  const char* name;
  uint32_t codePage;
  std::string folder;
  bool valid;
  friend void PrintTo(const ValidCase& c, std::ostream* os) { *os << c.name; }
};
class IsValidFolderNameTest : public Table<ValidCase> {};

TEST_P(IsValidFolderNameTest, AcceptsOrRejects) {
  EXPECT_EQ(IsValidFolderName(GetParam().folder.c_str()), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IsValidFolderNameTest,
    ::testing::Values(ValidCase{"DriveFolder", 949, "C:\\out", true},
                      ValidCase{"TrailingBackslash", 949, "C:\\out\\", true},
                      ValidCase{"Relative", 949, "out\\sub", true},
                      ValidCase{"UncWithFolder", 949, "\\\\server\\share\\folder", true},
                      ValidCase{"UncShareOnly", 949, "\\\\server\\share", true},
                      ValidCase{"Empty", 949, "", true},
                      ValidCase{"TwoBackslashesBehindDrive", 949, "C:\\\\out", true},
                      ValidCase{"Korean", 949, "C:\\" + kHanGeul + " " + kGa, true},
                      ValidCase{"EndsWithBlank", 949, "C:\\out ", false},
                      ValidCase{"BlankBeforeBackslash", 949, "C:\\a \\b", false},
                      ValidCase{"DoubledBackslash", 949, "C:\\a\\\\b", false},
                      ValidCase{"ColonAfterDrive", 949, "C:\\a:b", false},
                      ValidCase{"Star", 949, "C:\\a*", false},
                      ValidCase{"Question", 949, "C:\\a?", false},
                      ValidCase{"Less", 949, "a<b", false}, ValidCase{"Greater", 949, "a>b", false},
                      ValidCase{"Bar", 949, "a|b", false}, ValidCase{"Quote", 949, "a\"b", false},
                      ValidCase{"DoubleByteCharacterIsNoDrive", 949, kGa + ":\\x", false},
                      ValidCase{"TrailBackslashBeforeBackslash932", 932, "C:\\a" + kSo + "\\b",
                                true},
                      ValidCase{"TrailBar932", 932, "C:\\" + kPo, true},
                      ValidCase{"RealBarAfterDoubleByte932", 932, "C:\\" + kPo + "|", false}),
    RowName);

// ExpandFolderMacros with the folders of a Wine prefix and D:\dest as destination.
struct MacroCase {
  const char* name;
  uint32_t codePage;
  std::string text;
  std::string expected;
  friend void PrintTo(const MacroCase& c, std::ostream* os) { *os << c.name; }
};
class ExpandFolderMacrosTest : public Table<MacroCase> {};

TEST_P(ExpandFolderMacrosTest, ExpandsInPlace) {
  SetDestFolder("D:\\dest");
  char buffer[kDestFolderSize] = {};
  std::memcpy(buffer, GetParam().text.c_str(), GetParam().text.size() + 1);
  ASSERT_TRUE(ExpandFolderMacros(buffer, sizeof buffer));
  EXPECT_EQ(std::string(buffer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExpandFolderMacrosTest,
    ::testing::Values(
        MacroCase{"TempThenFolder", 949, "{temp}\\x", "C:\\users\\user\\Temp\\x"},
        MacroCase{"UpperCase", 949, "{TEMP}", "C:\\users\\user\\Temp"},
        MacroCase{"MixedCase", 949, "{Temp}", "C:\\users\\user\\Temp"},
        MacroCase{"BackslashInserted", 949, "{sys}drivers", "C:\\windows\\system32\\drivers"},
        MacroCase{"OwnBackslashKept", 949, "{win}\\app", "C:\\windows\\app"},
        MacroCase{"TextBeforeMacro", 949, "pre{win}", "preC:\\windows"},
        MacroCase{"UnknownTokenDisappears", 949, "{other}abc", "\\abc"},
        MacroCase{"NoMacro", 949, "C:\\plain", "C:\\plain"},
        MacroCase{"Dest", 949, "{dest}setup.exe", "D:\\dest\\setup.exe"},
        MacroCase{"TwoMacros", 949, "{win}{sys}", "C:\\windows\\C:\\windows\\system32"},
        MacroCase{"KoreanAround", 949, kGa + "{temp}" + kHanGeul,
                  kGa + "C:\\users\\user\\Temp\\" + kHanGeul},
        MacroCase{"UnclosedBraceStays", 949, "a{win", "a{win"},
        MacroCase{"UnclosedBraceAfterMacro", 949, "{win}\\b{c", "C:\\windows\\b{c"},
        MacroCase{"ClosingBraceFirstIsText", 949, "a}b{win}", "a}bC:\\windows"},
        MacroCase{"TrailBraceIsNoBrace932", 932, kBo + "\\{win}", kBo + "\\C:\\windows"},
        MacroCase{"TrailClosingBraceIsNoBrace932", 932, "{" + kMa + "}x", "\\x"}),
    RowName);

TEST(ExpandFolderMacros, FailingFolderQueryInsertsNothing) {
  ResetAll();
  SetNativeSystemFolders("C:\\windows", nullptr, nullptr);
  char buffer[kDestFolderSize] = "pre{temp}";
  ASSERT_TRUE(ExpandFolderMacros(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "pre") << "an empty {temp} must not step back over the text before it";
  std::strcpy(buffer, "{temp}{sys}x");
  ASSERT_TRUE(ExpandFolderMacros(buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "\\\\x");
  ResetAll();
}

TEST(ExpandFolderMacros, DestInsideDestFolderIsItsOldText) {
  ResetAll();
  SetDestFolder("{win}\\{dest}");
  ASSERT_TRUE(ExpandFolderMacros(DestFolder, kDestFolderSize));
  EXPECT_STREQ(DestFolder, "C:\\windows\\{win}\\{dest}");
  ResetAll();
}

// A result that does not fit is refused and the buffer keeps its text; the exact fit is taken.
TEST(ExpandFolderMacros, ResultMustFitTheBuffer) {
  ResetAll();
  const std::string win = "C:\\windows\\";
  for (const size_t tail : {255 - win.size(), 256 - win.size()}) {
    const std::string text = "{win}" + std::string(tail, 'x');
    char buffer[kDestFolderSize] = {};
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    const bool fits = win.size() + tail <= 255;
    EXPECT_EQ(ExpandFolderMacros(buffer, kDestFolderSize), fits) << tail;
    EXPECT_EQ(std::string(buffer), fits ? win + std::string(tail, 'x') : text) << tail;
  }
  char unterminated[8];
  std::memset(unterminated, 'a', sizeof unterminated);
  unterminated[0] = '{';
  EXPECT_FALSE(ExpandFolderMacros(unterminated, sizeof unterminated));
  ResetAll();
}

// AbsoluteDestFolder: a relative destination goes below the start directory, if it fits.
struct AbsoluteCase {
  const char* name;
  uint32_t codePage;
  std::string start, dest, expected;
  bool fits = true;
  friend void PrintTo(const AbsoluteCase& c, std::ostream* os) { *os << c.name; }
};
class AbsoluteDestFolderTest : public Table<AbsoluteCase> {};

TEST_P(AbsoluteDestFolderTest, PlacesRelativeFolderBelowStartDirectory) {
  const AbsoluteCase& c = GetParam();
  std::memcpy(ExtractorOptions.StartDirectory, c.start.c_str(), c.start.size() + 1);
  SetDestFolder(c.dest);
  EXPECT_EQ(AbsoluteDestFolder(), c.fits);
  EXPECT_EQ(std::string(DestFolder), c.expected);
}

const std::string k200(200, 's');

INSTANTIATE_TEST_SUITE_P(
    Rows, AbsoluteDestFolderTest,
    ::testing::Values(AbsoluteCase{"Relative", 949, "D:\\work", "out", "D:\\work\\out"},
                      AbsoluteCase{"DriveRelativeStays", 949, "D:\\work", "C:out", "C:out"},
                      AbsoluteCase{"UncStays", 949, "D:\\work", "\\\\srv\\share", "\\\\srv\\share"},
                      AbsoluteCase{"NoStartDirectory", 949, "", "out", "\\out"},
                      AbsoluteCase{"StartAtRoot", 949, "C:\\", "out", "C:\\out"},
                      AbsoluteCase{"Korean", 949, "D:\\" + kGa, kHanGeul,
                                   "D:\\" + kGa + "\\" + kHanGeul},
                      AbsoluteCase{"ExactlyFull", 949, "D:\\" + k200, std::string(51, 'o'),
                                   "D:\\" + k200 + "\\" + std::string(51, 'o')},
                      AbsoluteCase{"OneByteTooLong", 949, "D:\\" + k200, std::string(52, 'o'),
                                   std::string(52, 'o'), false}),
    RowName);

// TargetPath: destination without trailing separators, one backslash, the name as stored; the
// destination keeps a trailing backslash.
struct TargetCase {
  const char* name;
  uint32_t codePage;
  std::string dest, entry, target, destAfter;
  bool fits = true;
  friend void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }
};
class TargetPathTest : public Table<TargetCase> {};

TEST_P(TargetPathTest, JoinsDestinationAndEntryName) {
  const TargetCase& c = GetParam();
  SetDestFolder(c.dest);
  ByteString target("unchanged");
  EXPECT_EQ(TargetPath(c.entry.c_str(), &target), c.fits);
  EXPECT_EQ(std::string(target.c_str()), c.fits ? c.target : "unchanged");
  EXPECT_EQ(std::string(DestFolder), c.destAfter);
}

const std::string k254(254, 'd');

INSTANTIATE_TEST_SUITE_P(
    Rows, TargetPathTest,
    ::testing::Values(
        TargetCase{"SlashKept", 949, "C:\\out", "docs/a.txt", "C:\\out\\docs/a.txt", "C:\\out\\"},
        TargetCase{"TrailingBackslashes", 949, "C:\\out\\\\", "docs/a.txt", "C:\\out\\docs/a.txt",
                   "C:\\out\\\\"},
        TargetCase{"TrailingBlanks", 949, "C:\\out \\ ", "a", "C:\\out\\a", "C:\\out \\ \\"},
        TargetCase{"KoreanEntry", 949, "C:\\out", kHanGeul, "C:\\out\\" + kHanGeul, "C:\\out\\"},
        TargetCase{"TrailBackslashGetsOne932", 932, "C:\\" + kSo, "a", "C:\\" + kSo + "\\a",
                   "C:\\" + kSo + "\\"},
        TargetCase{"BackslashFitsExactly", 949, k254, "a", k254 + "\\a", k254 + "\\"},
        TargetCase{"BackslashDoesNotFit", 949, k254 + "d", "a", "", k254 + "d", false}),
    RowName);

TEST(AppendBackslash, RefusesWhatDoesNotFit) {
  ResetAll();
  char buffer[8] = "abc";
  EXPECT_FALSE(AppendBackslash(buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_TRUE(AppendBackslash(buffer, 5));
  EXPECT_STREQ(buffer, "abc\\");
  EXPECT_TRUE(AppendBackslash(buffer, 5)) << "present already: nothing to add";
  EXPECT_STREQ(buffer, "abc\\");
}

TEST(SlashesToBackslashes, ReplacesEverySlash) {
  ResetAll();
  UseCodePage(932);
  std::string text = "a/b/" + kSo + "/";
  EXPECT_EQ(std::string(SlashesToBackslashes(text.data())), "a\\b\\" + kSo + "\\");
  ResetAll();
}

TEST(FixedToString, StopsAtTheFirstNulOrTheCount) {
  EXPECT_EQ(FixedToString("abc\0def", 7), ByteString("abc"));
  EXPECT_EQ(FixedToString("abcdef", 3), ByteString("abc"));
  EXPECT_EQ(FixedToString("abcdef", 0), ByteString(""));
  EXPECT_EQ(FixedToString("\0bc", 3), ByteString(""));
}

// NameCodePage follows the system version: the thread's code page by number on NT 5 and later,
// looked up from the thread locale elsewhere.
struct VersionCase {
  const char* name;
  uint32_t version;
  uint32_t expected;
};
class NameCodePageTest : public ::testing::TestWithParam<VersionCase> {
 protected:
  void SetUp() override { ResetAll(); }
  void TearDown() override { ResetAll(); }
};

TEST_P(NameCodePageTest, ByVersion) {
  SetNativeThreadLocale(0x0411);
  SetNativeVersionWord(GetParam().version);
  EXPECT_EQ(NameCodePage(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, NameCodePageTest,
                         ::testing::Values(VersionCase{"Windows2000", 0x08930005u, 3},
                                           VersionCase{"Nt4", 0x05650004u, 932},
                                           VersionCase{"Windows98", 0xC0000A04u, 932}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NameCodePage, CharSafePosUsesTheThreadsCodePage) {
  ResetAll();
  // 0xB1 is a half-width katakana in 932 but a lead byte in 949, where it swallows the "\".
  const ByteString text("\xB1\\");
  SetNativeThreadLocale(0x0411);
  EXPECT_EQ(CharSafePos("\\", text), 2u);
  SetNativeThreadLocale(0x0412);
  EXPECT_EQ(CharSafePos("\\", text), 0u);
  ResetAll();
}

struct LocaleCase {
  const char* name;
  const char* text;  // null: the locale is unknown
  uint32_t expected;
};
class LocaleAnsiCodePageTest : public ::testing::TestWithParam<LocaleCase> {
 protected:
  void TearDown() override { ResetAll(); }
};

TEST_P(LocaleAnsiCodePageTest, ParsesTheDecimalText) {
  SetNativeLocaleCodePageText(0x0C0C, GetParam().text);
  EXPECT_EQ(LocaleAnsiCodePage(0x0C0C), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, LocaleAnsiCodePageTest,
                         ::testing::Values(LocaleCase{"Korean", "949", 949},
                                           LocaleCase{"Empty", "", 0},
                                           LocaleCase{"NotANumber", "abc", 0},
                                           LocaleCase{"TrailingGarbage", "12a", 0},
                                           LocaleCase{"TooLongForTheBuffer", "1234567", 0},
                                           LocaleCase{"UnknownLocale", nullptr, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Entry names that would leave the destination or open a device are unsafe; ordinary names,
// also odd ones, are not.
struct EntryCase {
  const char* name;
  uint32_t codePage;
  std::string entry;
  bool unsafe;
  friend void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }
};
class IsUnsafeEntryNameTest : public Table<EntryCase> {};

TEST_P(IsUnsafeEntryNameTest, Judges) {
  EXPECT_EQ(IsUnsafeEntryName(GetParam().entry.c_str()), GetParam().unsafe);
}

INSTANTIATE_TEST_SUITE_P(
    Unsafe, IsUnsafeEntryNameTest,
    ::testing::Values(
        EntryCase{"ParentSlash", 949, "../x", true},
        EntryCase{"ParentBackslash", 949, "..\\x", true},
        EntryCase{"ParentInside", 949, "a/../../b", true},
        EntryCase{"ParentAtEnd", 949, "a\\..", true}, EntryCase{"ParentAlone", 949, "..", true},
        EntryCase{"ParentWithBlank", 949, "a/.. /x", true},
        EntryCase{"ThreeDots", 949, ".../x", true}, EntryCase{"DotBlankDot", 949, ". ./x", true},
        EntryCase{"DotsAndBlanks", 949, "a\\ .. .\\x", true}, EntryCase{"Drive", 949, "C:x", true},
        EntryCase{"DriveRoot", 949, "c:/x", true},
        EntryCase{"StreamColon", 949, "a.txt:stream", true},
        EntryCase{"RootedBackslash", 949, "\\windows\\x", true},
        EntryCase{"RootedSlash", 949, "/etc/x", true},
        EntryCase{"Unc", 949, "\\\\server\\share\\x", true},
        EntryCase{"UncSlashes", 949, "//server/share/x", true},
        EntryCase{"Win32Namespace", 949, "\\\\?\\C:\\x", true},
        EntryCase{"DeviceNamespace", 949, "\\\\.\\PhysicalDrive0", true},
        EntryCase{"Con", 949, "CON", true}, EntryCase{"NulWithExtension", 949, "a/nul.txt", true},
        EntryCase{"AuxTwoExtensions", 949, "aux.tar.gz", true},
        EntryCase{"NulBlankExtension", 949, "NUL .txt", true},
        EntryCase{"PrnTrailingDot", 949, "prn.", true}, EntryCase{"Com1", 949, "dir/COM1", true},
        EntryCase{"Lpt9Log", 949, "lpt9.log", true},
        EntryCase{"ComSuperscriptOne", 949, "COM\xA9\xF6", true},
        EntryCase{"ConOut", 949, "conout$", true},
        EntryCase{"DeviceAsFolder", 949, "con\\a.txt", true},
        EntryCase{"RealSeparatorAfterTrail932", 932, kSo + "\\..\\x", true}),
    RowName);

INSTANTIATE_TEST_SUITE_P(
    Safe, IsUnsafeEntryNameTest,
    ::testing::Values(EntryCase{"Plain", 949, "a.txt", false},
                      EntryCase{"Folder", 949, "dir/", false},
                      EntryCase{"Nested", 949, "dir\\sub\\a.txt", false},
                      EntryCase{"CurrentFolder", 949, "./a.txt", false},
                      EntryCase{"DotsInName", 949, "..a/b..", false},
                      EntryCase{"DotsThenLetter", 949, "....x", false},
                      EntryCase{"DoubledSeparator", 949, "a//b", false},
                      EntryCase{"Console", 949, "CONSOLE.txt", false},
                      EntryCase{"Com10", 949, "COM10", false},
                      EntryCase{"LptAlone", 949, "LPT", false},
                      EntryCase{"NulUnderscore", 949, "nul_file", false},
                      EntryCase{"Korean", 949, kHanGeul + "\\" + kGa + ".txt", false},
                      EntryCase{"Empty", 949, "", false},
                      EntryCase{"TrailBackslashBeforeDots932", 932, kSo + "..\\x", false}),
    RowName);

// The folder routines against a real folder tree, with backslashes as Windows writes them.
class FolderTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ResetAll();
    UseCodePage(GetParam());
    char pattern[] = "/tmp/paths_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    fs::remove_all(root_);
    ResetAll();
  }
  // A path below the root in Windows style: the root, a backslash, the rest.
  std::string Path(const std::string& rest) const { return root_ + "\\" + rest; }
  std::string root_;
};

TEST_P(FolderTest, PathExists) {
  fs::create_directory(root_ + "/dir");
  std::ofstream(root_ + "/file.txt") << "x";
  EXPECT_TRUE(PathExists(Path("file.txt").c_str()));
  EXPECT_TRUE(PathExists(Path("dir").c_str()));
  EXPECT_TRUE(PathExists(Path("dir\\").c_str()));
  EXPECT_FALSE(PathExists(Path("missing").c_str()));
  EXPECT_FALSE(PathExists(Path("missing\\").c_str()));
  EXPECT_FALSE(PathExists(""));
  EXPECT_FALSE(PathExists((Path(std::string(5000, 'x')) + "\\").c_str()));
}

TEST_P(FolderTest, ForceFoldersCreatesEveryMissingFolderFromTheTop) {
  fs::create_directory(root_ + "/a");
  ForceFolders(Path("a\\b\\c\\").c_str());
  EXPECT_TRUE(fs::is_directory(root_ + "/a/b/c"));
  ForceFolders(Path("x/y").c_str());
  EXPECT_TRUE(fs::is_directory(root_ + "/x/y")) << "a slash separates as well";
}

TEST_P(FolderTest, ForceFoldersKeepsDoubleByteCharactersWhole) {
  // In 932 the trail byte of ソ is "\": a byte-wise cut would make a folder of its lead byte.
  const std::string name = GetParam() == 932 ? kSo : kGa;
  const std::string utf8 = GetParam() == 932 ? "\xE3\x82\xBD" : "\xEA\xB0\x80";
  ForceFolders(Path(name + "\\" + name + "x\\").c_str());
  EXPECT_TRUE(fs::is_directory(root_ + "/" + utf8 + "/" + utf8 + "x"));
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(root_)) entries += entry.exists();
  EXPECT_EQ(entries, 1u);
}

// A path that is its own parent ("C:/" or "ab:") ends the climb instead of recursing forever.
TEST_P(FolderTest, ForceFoldersOnPathsThatAreTheirOwnParent) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(root_.c_str()), 0);
  ForceFolders("C:/");
  ForceFolders("ab:");
  ForceFolders("C:/d\\e");
  EXPECT_TRUE(fs::is_directory(root_ + "/C:/d/e"));
  ASSERT_EQ(chdir(previous), 0);
}

INSTANTIATE_TEST_SUITE_P(CodePages, FolderTest, ::testing::Values(949u, 932u),
                         [](const auto& info) { return "Cp" + std::to_string(info.param); });

}  // namespace

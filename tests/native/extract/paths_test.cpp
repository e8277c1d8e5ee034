// Paths, names and folder macros. The destination and the macros are in code page 949 or 932,
// where the trail byte of a double-byte character can be "\", "|", "{" or "}" and must never be
// taken for one; the paths of entries are UTF-8.
#include "unpacker/extract/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/core_harness.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/device_names.h"
#include "unpacker/extract/native/native_code_page.h"
#include "unpacker/extract/native/native_system_folders.h"

namespace fs = std::filesystem;

namespace {

// Hex escapes are greedy, so a character that follows one is written as a separate literal.
const std::string kGa = "\xB0\xA1";               // 가 (949)
const std::string kHanGeul = "\xC7\xD1\xB1\xDB";  // 한글 (949)
const std::string kSo = "\x83\x5C";               // ソ (932): its trail byte is "\"
const std::string kPo = "\x83\x7C";               // ポ (932): its trail byte is "|"

// Makes `codePage` both the system ANSI code page and the thread locale's.
void UseCodePage(uint32_t codePage) {
  SetNativeSystemCodePage(codePage);
  SetNativeThreadLocale(codePage == 932 ? 0x0411 : 0x0412);
}

class Paths : public ::testing::Test {
  void SetUp() override { TearDown(); }
  void TearDown() override {
    testing_support::ResetCoreState();
    ResetNativeCodePage();
    ResetNativeSystemFolders();
  }
};

void SetDestFolder(const std::string& text) {
  ASSERT_LT(text.size(), sizeof DestFolder);
  std::memcpy(DestFolder, text.c_str(), text.size() + 1);
}

// ExpandFolderMacros on `text` in a buffer of kDestFolderSize: its answer and the text after.
std::pair<bool, std::string> Expand(const std::string& text) {
  char buffer[kDestFolderSize] = {};
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  const bool expanded = ExpandFolderMacros(buffer, sizeof buffer);
  return {expanded, buffer};
}

// A text routine on rows of input, expected output and code page.
struct Row {
  std::string input, expected;
  uint32_t codePage = 949;
};
void ExpectRows(const std::vector<Row>& rows, std::function<ByteString(const char*)> routine) {
  for (const Row& r : rows) {
    UseCodePage(r.codePage);
    EXPECT_EQ(std::string(routine(r.input.c_str()).c_str()), r.expected) << r.input;
  }
}

// Characters are compared, answers are byte positions: a trail byte is never a match (also of
// an invalid pair), and a match behind a double-byte character lies one byte further than its
// index.
TEST_F(Paths, CharSafePosFindsCharactersAtBytePositions) {
  const struct {
    std::string needle, haystack;
    uint32_t expected, codePage = 949;
  } cases[] = {{"|", "setup.exe|", 10}, {"><", "><", 1},
               {"", "abc", 0},          {"|", kGa + "|x", 3},
               {kGa, "a" + kGa, 2},     {"A", "\x81\x41", 0},
               {"|", "\x81\x5C|", 3},   {"><", std::string(400, 'a') + "><", 401},
               {"\\", kSo, 0, 932},     {"\\", kSo + "\\a", 3, 932}};

  for (const auto& c : cases) {
    UseCodePage(c.codePage);
    EXPECT_EQ(CharSafePos(c.needle.c_str(), c.haystack.c_str()), c.expected) << c.haystack;
  }
  // Names are compared in the thread's code page: 0xB1 is a katakana in 932, a lead byte in 949.
  SetNativeThreadLocale(0x0411);
  EXPECT_EQ(CharSafePos("\\", "\xB1\\"), 2u);
  SetNativeThreadLocale(0x0412);
  EXPECT_EQ(CharSafePos("\\", "\xB1\\"), 0u);
}

TEST_F(Paths, NamePartsAndTrimmedFolders) {
  // The text after the last backslash or colon; a slash does not separate.
  ExpectRows({{"C:\\a\\b.txt", "b.txt"},
              {"C:b", "b"},
              {"a/b", "a/b"},
              {"C:\\" + std::string(300, 'd') + "\\name.txt", "name.txt"},
              {"C:\\d\\" + kSo + "x.txt", kSo + "x.txt", 932}},
             [](const char* p) { return FileNamePart(p); });
  // The folder part: a root keeps its separator, a drive's colon stays.
  ExpectRows({{"C:\\a\\b.txt", "C:\\a"},
              {"C:\\a", "C:\\"},
              {"C:\\", "C:\\"},
              {"a/b", "a"},
              {"C:x", "C:"},
              {"C:\\a\\ソ\\b", "C:\\a\\ソ"}},
             [](const char* p) { return ParentFolder(p); });
  // Trailing backslashes and blanks go, and only real ones.
  ExpectRows({{"C:\\out\\ \\ ", "C:\\out"},
              {"\\ \\", ""},
              {"a" + kSo, "a" + kSo, 932},
              {"a" + kSo + "\\", "a" + kSo, 932}},
             TrimTrailingSeparators);
  EXPECT_EQ(FixedToString("abc\0def", 7), ByteString("abc"));
  EXPECT_EQ(FixedToString("abcdef", 3), ByteString("abc"));
}

// The typed destination, checked outside its drive part ("C:", or a server and share, which
// in the long-path form \\?\C: holds a colon).
TEST_F(Paths, IsValidFolderName) {
  for (const std::string& valid : std::vector<std::string>{
           "C:\\out", "C:\\out\\", "out\\sub", "\\\\server\\share\\folder", "\\\\server\\share", "",
           "\\\\?\\C:\\out", "C:\\\\out", "C:\\" + kHanGeul + " " + kGa})
    EXPECT_TRUE(IsValidFolderName(valid.c_str())) << valid;
  for (const std::string& invalid :
       std::vector<std::string>{"C:\\out ", "C:\\a \\b", "C:\\a\\\\b", "C:\\a:b", "C:\\a*",
                                "C:\\a?", "a<b", "a>b", "a|b", "a\"b", kGa + ":\\x"})
    EXPECT_FALSE(IsValidFolderName(invalid.c_str())) << invalid;
  UseCodePage(932);
  EXPECT_TRUE(IsValidFolderName(("C:\\a" + kSo + "\\b").c_str()));
  EXPECT_TRUE(IsValidFolderName(("C:\\" + kPo).c_str()));
  EXPECT_FALSE(IsValidFolderName(("C:\\" + kPo + "|").c_str()));
}

// With the folders of a Wine prefix and D:\dest as destination. In code page 932 the trail
// byte of ボ is "{" and that of マ is "}".
TEST_F(Paths, ExpandFolderMacrosInPlace) {
  SetDestFolder("D:\\dest");
  const std::string temp = "C:\\users\\user\\Temp";
  const Row rows[] = {{"{temp}\\x", temp + "\\x"},
                      {"{TEMP}", temp},
                      {"{sys}drivers", "C:\\windows\\system32\\drivers"},
                      {"{win}\\app", "C:\\windows\\app"},
                      {"pre{win}", "preC:\\windows"},
                      {"{other}abc", "\\abc"},
                      {"{dest}setup.exe", "D:\\dest\\setup.exe"},
                      {"a{win", "a{win"},
                      {"{win}\\b{c", "C:\\windows\\b{c"},
                      {"\x83\x7B\\{win}", "\x83\x7B\\C:\\windows", 932},
                      {"{\x83\x7D}x", "\\x", 932}};
  for (const Row& r : rows) {
    UseCodePage(r.codePage);
    EXPECT_EQ(Expand(r.input), std::pair(true, r.expected)) << r.input;
  }
  // {dest} is DestFolder's text from before the expansion, also inside DestFolder.
  SetDestFolder("{win}\\{dest}");
  ASSERT_TRUE(ExpandFolderMacros(DestFolder, kDestFolderSize));
  EXPECT_STREQ(DestFolder, "C:\\windows\\{win}\\{dest}");
  // A folder that cannot be had inserts nothing, and an empty {temp} steps back over nothing.
  SetNativeSystemFolders("C:\\windows", nullptr, nullptr);
  EXPECT_EQ(Expand("pre{temp}"), std::pair(true, std::string("pre")));
  EXPECT_EQ(Expand("{temp}{sys}x"), std::pair(true, std::string("\\\\x")));
}

// A result that does not fit is refused and the buffer keeps its text; the exact fit is taken.
TEST_F(Paths, ExpandedTextMustFitTheBuffer) {
  const std::string win = "C:\\windows\\";
  for (const size_t tail : {255 - win.size(), 256 - win.size()}) {
    const std::string text = "{win}" + std::string(tail, 'x');
    const bool fits = win.size() + tail <= 255;
    EXPECT_EQ(Expand(text), std::pair(fits, fits ? win + std::string(tail, 'x') : text)) << tail;
  }
  char unterminated[8];
  std::memset(unterminated, 'a', sizeof unterminated);
  unterminated[0] = '{';
  EXPECT_FALSE(ExpandFolderMacros(unterminated, sizeof unterminated));
  char buffer[8] = "abc";
  EXPECT_FALSE(AppendBackslash(buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_TRUE(AppendBackslash(buffer, 5));
  EXPECT_TRUE(AppendBackslash(buffer, 5)) << "present already: nothing to add";
  EXPECT_STREQ(buffer, "abc\\");
}

// A relative destination goes below the start directory, if it fits.
TEST_F(Paths, AbsoluteDestFolder) {
  const std::string k200(200, 's'), o51(51, 'o'), o52(52, 'o');
  const struct {
    std::string start, dest, expected;
    bool fits = true;
  } cases[] = {{"D:\\work", "out", "D:\\work\\out"},
               {"D:\\work", "C:out", "C:out"},
               {"D:\\work", "\\\\srv\\share", "\\\\srv\\share"},
               {"C:\\", "out", "C:\\out"},
               {"D:\\" + k200, o51, "D:\\" + k200 + "\\" + o51},
               {"D:\\" + k200, o52, o52, false}};
  for (const auto& c : cases) {
    std::memcpy(ExtractorOptions.StartDirectory, c.start.c_str(), c.start.size() + 1);
    SetDestFolder(c.dest);
    EXPECT_EQ(AbsoluteDestFolder(), c.fits) << c.dest;
    EXPECT_EQ(std::string(DestFolder), c.expected);
  }
  std::memset(DestFolder, 'x', sizeof DestFolder);  // no NUL: nothing to read safely
  EXPECT_FALSE(AbsoluteDestFolder());
}

// The destination without trailing separators, one backslash, the name as stored; the
// destination keeps a trailing backslash, if it fits.
TEST_F(Paths, TargetPathJoinsDestinationAndEntryName) {
  const std::string k254(254, 'd');
  const struct {
    std::string dest, entry, target, destAfter;
    uint32_t codePage = 949;
  } cases[] = {{"C:\\out", "docs/a.txt", "C:\\out\\docs/a.txt", "C:\\out\\"},
               {"C:\\out\\\\", "a", "C:\\out\\a", "C:\\out\\\\"},
               {"C:\\out \\ ", "a", "C:\\out\\a", "C:\\out \\ \\"},
               // The destination's code page becomes UTF-8; the entry name is UTF-8 already.
               {"C:\\" + kSo, "a", "C:\\ソ\\a", "C:\\" + kSo + "\\", 932},
               {"C:\\" + kHanGeul, "😀", "C:\\한글\\😀", "C:\\" + kHanGeul + "\\"},
               {k254, "a", k254 + "\\a", k254 + "\\"},
               {k254 + "d", "a", "unchanged", k254 + "d"}};
  for (const auto& c : cases) {
    UseCodePage(c.codePage);
    SetDestFolder(c.dest);
    ByteString target("unchanged");
    EXPECT_EQ(TargetPath(c.entry.c_str(), &target), c.target != "unchanged") << c.dest;
    EXPECT_EQ(std::string(target.c_str()), c.target);
    EXPECT_EQ(std::string(DestFolder), c.destAfter);
  }
}

// The thread's code page by number on NT 5 and later, looked up from the locale elsewhere; the
// locale's code page only from a decimal text that fits.
TEST_F(Paths, NameAndLocaleCodePages) {
  SetNativeThreadLocale(0x0411);
  for (const auto& [version, codePage] :
       {std::pair<uint32_t, uint32_t>{0x08930005u, 3}, {0x05650004u, 932}, {0xC0000A04u, 932}}) {
    SetNativeVersionWord(version);
    EXPECT_EQ(NameCodePage(), codePage) << std::hex << version;
  }
  using Text = std::pair<const char*, uint32_t>;
  for (const auto& [text, codePage] :
       {Text{"949", 949}, Text{"1250", 1250}, Text{"", 0}, Text{"12a", 0}, Text{"1234567", 0}}) {
    SetNativeLocaleCodePageText(0x0C0C, text);
    EXPECT_EQ(LocaleAnsiCodePage(0x0C0C), codePage) << text;
  }
  SetNativeLocaleCodePageText(0x0C0C, nullptr);
  EXPECT_EQ(LocaleAnsiCodePage(0x0C0C), 0u) << "unknown locale";
}

// Entry names that would leave the destination or open a device are unsafe; ordinary names,
// also odd ones, are not.
TEST_F(Paths, IsUnsafeEntryName) {
  for (const std::string unsafe :
       {// Parent folders, in any spelling Windows reads as one.
        "../x", "..\\x", "a/../../b", "a\\..", "..", "a/.. /x", ".../x", ". ./x", "a\\ .. .\\x",
        // Drives, streams, roots, servers and device paths.
        "C:x", "c:/x", "a.txt:stream", "\\windows\\x", "/etc/x", "\\\\server\\share\\x",
        "//server/share/x", "\\\\?\\C:\\x", "\\\\.\\PhysicalDrive0",
        // Devices (IsDeviceName) as any component, also with a superscript digit.
        "CON", "a/nul.txt", "dir/COM1", "COM¹", "con\\a.txt"})
    EXPECT_TRUE(IsUnsafeEntryName(unsafe.c_str())) << unsafe;
  for (const std::string& safe :
       std::vector<std::string>{"a.txt", "dir/", "dir\\sub\\a.txt", "./a.txt", "..a/b..", "....x",
                                "a//b", "CONSOLE.txt", "nul_file", "한글\\가.txt", "ソ..\\x", ""})
    EXPECT_FALSE(IsUnsafeEntryName(safe.c_str())) << safe;
}

// Names stored as UTF-8 are taken only when well-formed: an overlong "/" or ".", or a "/"
// taken for a trail byte, could otherwise slip past the checks above in some reader. Other
// names come from code page 949.
TEST_F(Paths, EntryNamesInUtf8) {
  for (const std::string valid : {"a", "é", "한글", "😀", "e\xCC\x81", "\xF4\x8F\xBF\xBF", ""})
    EXPECT_TRUE(IsValidUtf8(valid.c_str(), uint32_t(valid.size()))) << valid;
  for (const std::string invalid :
       {"\xC0\xAF", "\xE0\x80\xAE", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "a\x80",
        "\xF8\x88\x80\x80\x80", "\xC3", "\xE2\x82/"})
    EXPECT_FALSE(IsValidUtf8(invalid.c_str(), uint32_t(invalid.size()))) << invalid;
  ByteString name;
  EXPECT_TRUE(EntryNameUtf8(kHanGeul.c_str(), false, &name));
  EXPECT_EQ(std::string(name.c_str()), "한글");
  EXPECT_FALSE(EntryNameUtf8("\xC0\xAF..", true, &name));
}

// The names Windows opens as devices, for every program: the extractor's entry names and the
// downloader's song files.
TEST(DeviceNames, IsDeviceName) {
  for (const std::u16string device :
       {u"CON", u"con", u"Prn", u"aux.tar.gz", u"NUL .txt", u"nul.", u"COM0", u"com9.log", u"LPT0",
        u"lpt5 ", u"COM\u00B9", u"LPT\u00B2.txt", u"lpt\u00B3", u"CONIN$", u"conout$.x"})
    EXPECT_TRUE(IsDeviceName(device.data(), uint32_t(device.size())));
  // Superscript 4 and full-width 1 are no digits of a device.
  for (const std::u16string name :
       {u"CONSOLE", u"CONOUT", u"CONIN$X", u"COM10", u"COM", u"LPT", u"LPTA", u"COM\u2074",
        u"COM\uFF11", u"nul_file", u"xnul", u" con", u".con", u""})
    EXPECT_FALSE(IsDeviceName(name.data(), uint32_t(name.size())))
        << std::string(name.begin(), name.end());
}

// ForceFolders on the native file system (the Wine tests make and find folders on Windows):
// every folder from the top, and a path that is its own parent ends the climb.
TEST_F(Paths, ForceFolders) {
  char root[] = "/tmp/paths_test_XXXXXX", previous[4096];
  ASSERT_NE(mkdtemp(root), nullptr);
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(root), 0);
  ForceFolders("abc\\ソ\\ソx/b\\");
  EXPECT_TRUE(fs::is_directory("abc/ソ/ソx/b"));
  EXPECT_EQ(std::distance(fs::directory_iterator("abc"), {}), 1);
  ForceFolders("C:/");
  ForceFolders("ab:");
  ForceFolders("C:/d\\e");
  EXPECT_TRUE(fs::is_directory("C:/d/e"));
  ASSERT_EQ(chdir(previous), 0);
  fs::remove_all(root);
}

}  // namespace

// The path routines on Windows: the real code-page functions (ANSI code page 949 here, 932
// through the thread locale or by number), the real system folders, and real folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/core_harness.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/paths.h"

using namespace testing_support;

namespace {

const std::string kGa = "\xB0\xA1";               // 가 (949)
const std::string kHanGeul = "\xC7\xD1\xB1\xDB";  // 한글 (949)
const std::string kSo = "\x83\x5C";               // ソ (932): its trail byte is "\"

ByteString Bytes(const std::string& text) {
  return ByteString(text.data(), uint32_t(text.size()));
}

std::u16string ToUnits(uint32_t codePage, const std::string& bytes) {
  std::u16string units(bytes.size(), u'\0');
  units.resize(BytesToUtf16(codePage, bytes.data(), uint32_t(bytes.size()), units.data(),
                            uint32_t(units.size())));
  return units;
}

std::string TempFolderPath() {
  char folder[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  return std::string(folder, length);
}

// Runs a test with the thread locale set to Japanese, so CP_THREAD_ACP is 932.
class JapaneseThreadLocale {
 public:
  JapaneseThreadLocale() : previous_(GetThreadLocale()) { SetThreadLocale(0x0411); }
  ~JapaneseThreadLocale() { SetThreadLocale(previous_); }

 private:
  LCID previous_;
};

TEST(CodePageSeam, SystemFacts) {
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
  EXPECT_EQ(ToUnits(949,
                    "\x81\x5C"
                    "a")
                .size(),
            2u)
      << "invalid pair: one default character";
  EXPECT_EQ(ToUnits(949, "a\\" + kGa), u"a\\\uAC00");
  EXPECT_EQ(ToUnits(kSystemAnsiCodePage, kGa), u"\uAC00");

  const char16_t yen = u'\u00A5';
  char bytes[8] = {};
  ASSERT_EQ(Utf16ToBytes(932, &yen, 1, bytes, sizeof bytes), 1u);
  EXPECT_EQ(bytes[0], '?') << "no best fit: the yen sign must not become a backslash";

  EXPECT_EQ(BytesToUtf16(949, kHanGeul.data(), 4, nullptr, 0), 2u) << "capacity 0 counts";
  char16_t one[1];
  EXPECT_EQ(BytesToUtf16(949, kHanGeul.data(), 4, one, 1), 0u) << "no room: nothing";
}

// With a Japanese thread locale the name routines work in 932, while the system code page
// stays 949: the routines of names follow NameCodePage.
TEST(CodePageSeam, NameRoutinesFollowTheThreadLocale) {
  // 0xB1 is a half-width katakana in 932 but a lead byte in 949, where it swallows the "\".
  EXPECT_EQ(CharSafePos("\\", "\xB1\\"), 0u);
  // In 949 the pair 0xB1 0x5C is one (invalid) character: no separator, and it comes back "?".
  EXPECT_EQ(FileNamePart("d\\\xB1\\x"), ByteString("?x"));
  JapaneseThreadLocale japanese;
  EXPECT_EQ(CharSafePos("\\", "\xB1\\"), 2u);
  EXPECT_EQ(CharSafePos("\\", Bytes(kSo + "\\")), 3u);
  EXPECT_EQ(FileNamePart("d\\\xB1\\x"), ByteString("x"));
  EXPECT_EQ(FileNamePart(Bytes("C:\\d\\" + kSo + "x.txt")), Bytes(kSo + "x.txt"));
}

TEST(ExpandFolderMacrosOnWindows, RealSystemFolders) {
  ResetCoreState();
  char windows[MAX_PATH], system[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, sizeof windows), 0u);
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  const std::string temp = TempFolderPath();
  ASSERT_EQ(temp.back(), '\\');
  const std::string tempFolder = temp.substr(0, temp.size() - 1);

  const std::vector<std::pair<std::string, std::string>> rows = {
      {"{temp}\\" + kHanGeul, tempFolder + "\\" + kHanGeul},
      {"{TEMP}", tempFolder},
      {"{Win}\\app", std::string(windows) + "\\app"},
      {"{sys}drivers", std::string(system) + "\\drivers"},
      {"pre{win}", "pre" + std::string(windows)},
  };
  for (const auto& [text, expected] : rows) {
    char buffer[kDestFolderSize] = {};
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    ASSERT_TRUE(ExpandFolderMacros(buffer, sizeof buffer)) << text;
    EXPECT_EQ(std::string(buffer), expected) << text;
  }
}

// Real folders below the temporary folder, one tree per test.
class FoldersOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = TempFolderPath() + "paths_wine_test_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(root_); }

  static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(path);
        else
          DeleteFileA(path.c_str());
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
  }

  static bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::string root_;
};

TEST_F(FoldersOnWindows, PathExists) {
  const std::string folder = root_ + "\\" + kHanGeul;
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string file = folder + "\\" + kGa + ".txt";
  const HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  EXPECT_TRUE(PathExists(file.c_str()));
  EXPECT_TRUE(PathExists(folder.c_str()));
  EXPECT_TRUE(PathExists((folder + "\\").c_str()));
  std::string slashes = folder + "/";
  for (char& c : slashes)
    if (c == '\\') c = '/';
  EXPECT_TRUE(PathExists((slashes.substr(0, slashes.size() - 1)).c_str()));
  EXPECT_FALSE(PathExists((root_ + "\\missing").c_str()));
  EXPECT_FALSE(PathExists((root_ + "\\missing\\").c_str()));
  EXPECT_FALSE(PathExists(""));
  EXPECT_FALSE(PathExists((root_ + "\\" + std::string(400, 'x') + "\\").c_str()));
}

TEST_F(FoldersOnWindows, ForceFoldersCreatesNestedFolders) {
  ASSERT_TRUE(CreateDirectoryA((root_ + "\\a").c_str(), nullptr));
  ForceFolders((root_ + "\\a\\b\\c\\").c_str());
  EXPECT_TRUE(IsFolder(root_ + "\\a\\b"));
  EXPECT_TRUE(IsFolder(root_ + "\\a\\b\\c"));

  const std::string korean = root_ + "\\" + kHanGeul + "\\" + kGa + " x/" + "\x81\x41";
  ForceFolders(korean.c_str());
  EXPECT_TRUE(IsFolder(korean));
  EXPECT_TRUE(PathExists(korean.c_str()));
}

// The loop's way with one file: the target path, its folder made, the folder found.
TEST_F(FoldersOnWindows, TargetPathFolderIsMadeAndFound) {
  ResetCoreState();
  std::memcpy(DestFolder, root_.c_str(), root_.size() + 1);
  ByteString target;
  ASSERT_TRUE(TargetPath(Bytes("docs/" + kHanGeul + "/a.txt"), &target));
  EXPECT_EQ(std::string(DestFolder), root_ + "\\");
  const ByteString folder = ParentFolder(target);
  EXPECT_EQ(folder, Bytes(root_ + "\\docs/" + kHanGeul));
  ForceFolders(folder);
  EXPECT_TRUE(PathExists(folder.c_str()));
  EXPECT_TRUE(IsFolder(root_ + "\\docs\\" + kHanGeul));
  ResetCoreState();
}

// Under Windows' own path normalization the names the check lets through stay below the
// destination, and every form it refuses leaves it, keeps a ".." component (a middle "..."
// loses its last dot) or opens a device.
TEST(EntryNamesOnWindows, RefusedNamesEscapeAndAcceptedNamesStay) {
  const std::string dest = "C:\\dest\\";
  auto escapes = [&](const std::string& name) {
    char full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameA((dest + name).c_str(), sizeof full, full, nullptr);
    const std::string resolved(full, length < sizeof full ? length : 0);
    return resolved.rfind(dest, 0) != 0 || (resolved + "\\").find("\\..\\") != std::string::npos;
  };
  for (const std::string name :
       {"a.txt", "./a.txt", "..a", "a..", "....x", "a//b", "dir/", "x/./y", "con_x.txt"}) {
    EXPECT_FALSE(IsUnsafeEntryName(name.c_str())) << name;
    EXPECT_FALSE(escapes(name)) << name;
  }
  for (const std::string name : {"../x", "a/../../x", "..\\x", "..", "a\\..\\..", ".../x",
                                 "x\\nul.txt", "com1", "lpt1.log"}) {
    EXPECT_TRUE(IsUnsafeEntryName(name.c_str())) << name;
    EXPECT_TRUE(escapes(name)) << name;
  }
}

}  // namespace

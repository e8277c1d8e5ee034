// fetcher's modules on Windows: Setting.ini through the real private-profile functions, the
// Korean code page at every platform call, and the list file read with CreateFileA.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "fetcher/modules/ansi_text.h"
#include "fetcher/modules/list_file.h"
#include "fetcher/modules/win32/ini_module.h"

namespace {

std::u16string U(const char* ansi) {
  return AnsiToUnicode(ansi);
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    file_ = std::string(folder) + "fetcher_ini_wine_test.ini";
    DeleteFileA(file_.c_str());
  }
  void TearDown() override { DeleteFileA(file_.c_str()); }
  std::u16string File() const { return U(file_.c_str()); }
  std::string Bytes() const {
    std::string bytes;
    HANDLE h = CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
  }
  std::string file_;
};

TEST_F(SettingsFileTest, MissingFileSectionOrKeyReadsEmpty) {
  EXPECT_EQ(ReadIni(u"PathSetting", u"lbmpath", File()), u"");
  WriteIni(u"Other", u"lbmpath", u"x", File());
  EXPECT_EQ(ReadIni(u"PathSetting", u"lbmpath", File()), u"");
  WriteIni(u"PathSetting", u"wmapath", u"C:\\Music\\", File());
  EXPECT_EQ(ReadIni(u"PathSetting", u"lbmpath", File()), u"");
}

// Written as the settings form writes them: one section, both keys, the file created.
TEST_F(SettingsFileTest, WritesBothKeysAndReadsThemBack) {
  WriteIni(u"PathSetting", u"lbmpath", u"D:\\Music\\my list.lbm", File());
  WriteIni(u"PathSetting", u"wmapath", u"D:\\Music\\Downloads\\", File());
  EXPECT_EQ(
      Bytes(),
      "[PathSetting]\r\nlbmpath=D:\\Music\\my list.lbm\r\nwmapath=D:\\Music\\Downloads\\\r\n");
  EXPECT_EQ(ReadIni(u"PathSetting", u"lbmpath", File()), u"D:\\Music\\my list.lbm");
  EXPECT_EQ(ReadIni(u"PathSetting", u"wmapath", File()), u"D:\\Music\\Downloads\\");
}

// The file holds the Korean code page; the program sees Unicode.
TEST_F(SettingsFileTest, KoreanValuesInCodePage949) {
  const std::u16string folder = U("C:\\\xC0\xBD\xBE\xC7\\");  // "C:\음악\"
  WriteIni(u"PathSetting", u"wmapath", folder, File());
  EXPECT_NE(Bytes().find("wmapath=C:\\\xC0\xBD\xBE\xC7\\"), std::string::npos);
  EXPECT_EQ(ReadIni(u"PathSetting", u"wmapath", File()), u"C:\\음악\\");
}

TEST_F(SettingsFileTest, LongValuesReadBackCutTo254Bytes) {
  const std::string value(300, 'v');
  WritePrivateProfileStringA("PathSetting", "lbmpath", value.c_str(), file_.c_str());
  EXPECT_EQ(ReadIni(u"PathSetting", u"lbmpath", File()), std::u16string(254, u'v'));
}

TEST(SettingsFilePath, BesideTheProgram) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string expected(self);
  expected.erase(expected.find_last_of('\\') + 1);
  EXPECT_EQ(SettingsFile(), AnsiToUnicode(expected + "Setting.ini"));
}

// A list file under a Korean folder name, in code page 949, read through CreateFileA.
TEST(ListFileOnWindows, KoreanPathAndTitles) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "\xB8\xF1\xB7\xCF";  // "목록"
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + "\\\xB3\xEB\xB7\xA1.lbm";  // "노래.lbm"
  const std::string bytes = "\xB3\xEB\xB7\xA1 A|1/a*x|Y\r\n\"B, C\"|2/b*x|Y\r\n";
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(h);

  EXPECT_EQ(ReadListFile(AnsiToUnicode(path)), u"노래 A|1/a*x|YB, C|2/b*x|Y");
  EXPECT_EQ(ReadListFile(AnsiToUnicode(folder + "\\none.lbm")), std::nullopt);
  DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(GetACP(), 949u);
  EXPECT_EQ(UnicodeToAnsi(u"a\u0101b"), "a?b");
  EXPECT_EQ(AnsiToUnicode("\xC7\xD1\xB1\xDB"), u"한글");
}

}  // namespace

// The real fetcher.exe, driven through its windows under Wine as a user would drive it, with
// the local music service (tests/music_service) answering lookups and serving songs. What the
// download run does with each title is tested natively (tests/native/fetcher).
// Set by CTest: FETCHER_EXE (a Unix path); MUSIC_SERVICE_PORT and MUSIC_SERVICE_FOLDER, unset
// when the service is not built (the journey then skips).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fetcher/forms/resource.h"
#include "tests/wine/support/window_driver.h"

using namespace window_driver;

namespace {

std::wstring Env(const char* name) {
  return AnsiToWide(std::getenv(name) ? std::getenv(name) : "");
}

// fetcher.exe copied into an empty folder of its own, with Setting.ini beside it; the test's
// view of its forms.
class FetcherTest : public testing::Test {
 protected:
  FetcherTest() {
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW((L"Z:" + Env("FETCHER_EXE")).c_str(), (folder + L"fetcher.exe").c_str(), FALSE);
  }
  ~FetcherTest() override {
    EXPECT_EQ(program.WaitForWindow(IsMessageBox, 0), nullptr)
        << "a message box was left unanswered";
    program.Terminate();
    program.WaitForExit(5000);
    RemoveTree(folder);
  }
  void Set(const wchar_t* key, const std::wstring& value, const wchar_t* section = L"PathSetting") {
    WritePrivateProfileStringW(section, key, value.c_str(), (folder + L"Setting.ini").c_str());
  }
  // Writes a list file in the ANSI code page (949).
  void WriteList(const std::wstring& text) {
    std::string ansi(text.size() * 2, '\0');
    ansi.resize(size_t(WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(),
                                           int(ansi.size()), nullptr, nullptr)));
    ASSERT_TRUE(WriteFileBytes(folder + L"목록.lbm", ansi));
  }
  void Start() {
    ASSERT_TRUE(program.Start(L"\"" + folder + L"fetcher.exe\"", folder) &&
                WaitFor([&] { return (main = Shown(FETCHER_MAIN_FORM_CLASS)); }))
        << "fetcher's main form did not appear";
  }
  // A form once it shows: it fills its fields before.
  static HWND Shown(const wchar_t* windowClass) {
    HWND form = FindWindowW(windowClass, nullptr);
    return form && IsWindowVisible(form) ? form : nullptr;
  }
  static HWND Settings() { return Shown(FETCHER_SET_FORM_CLASS); }
  HWND Main(int id) { return GetDlgItem(main, id); }
  HWND Field(int id) { return GetDlgItem(Settings(), id); }
  std::vector<std::wstring> Items(int listId) { return ListItems(Main(listId)); }
  void LoadList(size_t titles) {
    Click(Main(IDC_LIST_LOAD));
    ASSERT_TRUE(WaitFor([&] { return Items(IDC_MUSIC_LIST).size() == titles; }, 5000));
  }
  // Clicks "Setting" or a button of the settings form and waits until the form is `shown` or
  // gone.
  void ClickForSettings(HWND button, bool shown) {
    Click(button);
    ASSERT_TRUE(WaitFor([&] { return (Settings() != nullptr) == shown; })) << shown;
  }
  // Double-clicks the title at `index` of a list and waits for it to leave.
  void Move(int listId, int index) {
    const size_t count = Items(listId).size();
    DoubleClick(Main(listId), index);
    ASSERT_TRUE(WaitFor([&] { return Items(listId).size() + 1 == count; }, 5000));
  }

  const std::wstring folder = AnsiToWide(TempFolder()) + L"fetcher_e2e\\";
  Program program;
  HWND main = nullptr;
};

// The settings form: "완료" saves the fields typed and closes it, and it shows them when opened
// again; "취소" closes it and saves nothing. List Load then reads the list file saved and lists
// its titles in file order; a double-click moves a title to the end of the other list, and the
// counters follow. Download, against the local music service, looks each title up and saves
// its song byte for byte under its title into the folder saved; a song the service does not
// have (404) leaves no file and is listed at the end.
TEST_F(FetcherTest, SettingsListAndDownload) {
  if (Env("MUSIC_SERVICE_PORT").empty()) GTEST_SKIP() << "no music service (native preset)";
  const std::wstring site = L"Z:" + Env("MUSIC_SERVICE_FOLDER") + L"/";
  Set(L"host", L"127.0.0.1:" + Env("MUSIC_SERVICE_PORT"), L"Service");
  WriteList(L"첫 노래|201/a*x|Y\r\nGone|202/g*x|Y\r\nSong C|203/c*x|Y\r\n");
  ASSERT_TRUE(WriteFileBytes(site + L"catalogue.txt", "lookup\t201\t{self}\nlookup\t202\t{self}"));
  std::string song(70000, '\0');  // bytes that any text conversion would change
  for (size_t i = 0; i < song.size(); ++i) song[i] = char(i * 3 + (i >> 9));
  CreateDirectoryW((site + L"files/201").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(site + L"files/201/a.wma", song));
  Start();

  ASSERT_NO_FATAL_FAILURE(ClickForSettings(Main(IDC_SETTINGS), true));
  Type(Field(IDC_LIST_FILE_FIELD), folder + L"목록.lbm");
  Type(Field(IDC_DOWNLOAD_FOLDER_FIELD), folder);
  ASSERT_NO_FATAL_FAILURE(ClickForSettings(Field(IDC_SAVE_SETTINGS), false));
  ASSERT_NO_FATAL_FAILURE(ClickForSettings(Main(IDC_SETTINGS), true));
  EXPECT_EQ(Text(Field(IDC_DOWNLOAD_FOLDER_FIELD)), folder);
  Type(Field(IDC_LIST_FILE_FIELD), L"C:\\other.lbm");
  ASSERT_NO_FATAL_FAILURE(ClickForSettings(Field(IDC_CANCEL_SETTINGS), false));

  LoadList(3);
  EXPECT_EQ(Items(IDC_MUSIC_LIST), (std::vector<std::wstring>{L"첫 노래", L"Gone", L"Song C"}));
  for (int moved = 0; moved < 3; ++moved) Move(IDC_MUSIC_LIST, 0);
  Move(IDC_DOWNLOAD_LIST, 2);  // Song C
  EXPECT_EQ(Items(IDC_DOWNLOAD_LIST), (std::vector<std::wstring>{L"첫 노래", L"Gone"}));
  EXPECT_EQ(Text(Main(IDC_MUSIC_LIST_LABEL)) + Text(Main(IDC_DOWNLOAD_LIST_LABEL)),
            L"My Music List (1)Download List (2)");

  Click(Main(IDC_DOWNLOAD));
  EXPECT_EQ(program.AnswerMessageBox(), L"Download: 다음 곡을 다운로드하지 못했습니다.\r\nGone");
  EXPECT_TRUE(ReadFileBytes(folder + L"첫 노래.wma") == song);
  EXPECT_FALSE(FileExists(folder + L"Gone.wma")) << "no file holding an error page";
}

// Pictures of both forms for the documentation, as BMP files in the folder FETCHER_SCREENSHOTS
// names (take-screenshots runs this alone).
TEST_F(FetcherTest, DISABLED_Screenshots) {
  const std::wstring out = Env("FETCHER_SCREENSHOTS");
  WriteList(
      L"봄날|1/a*x|Y\r\n밤양갱|2/b*x|Y\r\nHype Boy|3/c*x|Y\r\n사건의 지평선|4/d*x|Y\r\n"
      L"Ditto|5/e*x|Y\r\n첫 눈|6/f*x|Y\r\n너의 의미|7/g*x|Y\r\n");
  Set(L"lbmpath", folder + L"목록.lbm");
  Start();
  LoadList(7);
  for (int index : {0, 1}) Move(IDC_MUSIC_LIST, index);  // 봄날, Hype Boy
  Sleep(500);                                            // drawn
  ASSERT_TRUE(SaveWindowImage(main, out + L"\\fetcher-main.bmp"));
  // The settings form reads the file afresh: show the paths a user would have.
  Set(L"lbmpath", L"D:\\음악\\내 목록.lbm");
  Set(L"wmapath", L"D:\\음악\\받은 노래\\");
  ClickForSettings(Main(IDC_SETTINGS), true);
  SetWindowPos(Settings(), HWND_TOP, 40, 300, 0, 0, SWP_NOSIZE);
  Sleep(500);  // drawn
  ASSERT_TRUE(SaveWindowImage(Settings(), out + L"\\fetcher-settings.bmp"));
}

}  // namespace

// The real fetcher.exe, driven through its windows under Wine as a user would drive it, with
// the local music service (tests/music_service) answering lookups and serving songs.
// Set by CTest: FETCHER_EXE (a Unix path); MUSIC_SERVICE_PORT and MUSIC_SERVICE_FOLDER, unset
// when the service is not built (the download tests then skip).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "fetcher/forms/resource.h"
#include "tests/wine/support/window_driver.h"

using namespace window_driver;
using Icon = MessageBoxSeen::Icon;
using Strings = std::vector<std::wstring>;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The ANSI code page (949), in which the program keeps its files and settings.
std::string A(const std::wstring& text) {
  std::string ansi(text.size() * 2, '\0');
  ansi.resize(size_t(WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), ansi.data(),
                                         int(ansi.size()), nullptr, nullptr)));
  return ansi;
}

// fetcher.exe copied into an empty folder of its own, with Setting.ini beside it; the test's
// view of its forms.
class FetcherTest : public testing::Test {
 protected:
  FetcherTest()
      : folder(AnsiToWide(TempFolder() + "fetcher_e2e_" +
                          testing::UnitTest::GetInstance()->current_test_info()->name() + "\\")) {
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directory(folder, error);
    CopyFileW((L"Z:" + AnsiToWide(Env("FETCHER_EXE"))).c_str(), (folder + L"fetcher.exe").c_str(),
              FALSE);
  }
  ~FetcherTest() override {
    if (program.Running()) {
      EXPECT_FALSE(program.MessageBoxShowing()) << "a message box was left unanswered";
      if (!Close()) program.Terminate();
    }
    program.WaitForExit(5000);
    std::filesystem::remove_all(folder, error);
  }
  void Set(const char* section, const char* key, const std::wstring& value) {
    WritePrivateProfileStringA(section, key, A(value).c_str(), A(folder + L"Setting.ini").c_str());
  }
  std::wstring Setting(const char* key) {
    char value[1024] = "";
    GetPrivateProfileStringA("PathSetting", key, "", value, sizeof value,
                             A(folder + L"Setting.ini").c_str());
    return AnsiToWide(value);
  }
  void Start() {
    ASSERT_TRUE(program.Start(L"\"" + folder + L"fetcher.exe\"", folder) &&
                WaitFor([&] { return (main = Form(FETCHER_MAIN_FORM_CLASS)) != nullptr; }))
        << "fetcher's main form did not appear";
  }
  bool Close() {  // true when closing the main form ended the program
    PostMessageW(main, WM_CLOSE, 0, 0);
    return program.WaitForExit(10000);
  }
  HWND Form(const wchar_t* windowClass, bool visibleOnly = true) const {
    const std::vector<HWND> forms = program.Windows(windowClass, visibleOnly);
    return forms.empty() ? nullptr : forms[0];
  }
  HWND Settings() const { return Form(FETCHER_SET_FORM_CLASS, false); }
  HWND Main(int id) { return GetDlgItem(main, id); }
  HWND Set(int id) { return GetDlgItem(Settings(), id); }
  Strings Items(int listId) { return ListItems(Main(listId)); }
  Strings Labels() {
    return {Text(Main(IDC_MUSIC_LIST_LABEL)), Text(Main(IDC_DOWNLOAD_LIST_LABEL))};
  }

  // Writes a list file in code page 949 and points lbmpath at it.
  std::wstring UseList(const std::wstring& text) {
    EXPECT_TRUE(WriteFileBytes(folder + L"목록.lbm", A(text)));
    Set("PathSetting", "lbmpath", folder + L"목록.lbm");
    return folder + L"목록.lbm";
  }
  void OpenSettings() {
    Click(Main(IDC_SETTINGS));
    ASSERT_TRUE(WaitFor([&] { return Form(FETCHER_SET_FORM_CLASS) != nullptr; }));
  }
  // Clicks `button` and answers the message box that follows.
  void ExpectMessage(HWND button, const std::wstring& caption, const std::wstring& text,
                     Icon icon) {
    Click(button);
    MessageBoxSeen seen;
    ASSERT_TRUE(program.AnswerMessageBox(seen)) << "no message box: " << A(text);
    EXPECT_EQ(std::tie(seen.caption, seen.text, seen.icon), std::tie(caption, text, icon));
  }
  void LoadList(size_t titles) {
    Click(Main(IDC_LIST_LOAD));
    ASSERT_TRUE(WaitFor([&] { return Items(IDC_MUSIC_LIST).size() == titles; }, 5000));
  }
  // Double-clicks `title` in a list and waits for it to leave.
  void Move(int listId, const std::wstring& title) {
    const Strings items = ListItems(Main(listId));
    const auto at = std::find(items.begin(), items.end(), title);
    ASSERT_NE(at, items.end()) << A(title);
    DoubleClick(Main(listId), int(at - items.begin()));
    ASSERT_TRUE(WaitFor([&] { return ListItems(Main(listId)).size() + 1 == items.size(); }, 5000));
  }

  const std::wstring folder;  // ends with "\"
  std::error_code error;
  Program program;
  HWND main = nullptr;
};

// Without a download folder or a chosen title "Download" asks for them, and a double-click on
// an empty list moves nothing. List Load lists the titles in file order (a duplicate record
// once); a double-click moves a title to the end of the other list and the counters follow; a
// service that does not answer is told with the title and the program goes on; List Load again
// empties the download list; a list file that cannot be read is told, and both lists stay empty.
TEST_F(FetcherTest, ListLoadAndDoubleClicks) {
  const std::wstring list = UseList(
      L"첫 노래|101/a*x|Y\r\nSong B|102/b*x|Y\r\n\"Song, C\"|103/c*x|Y\r\n"
      L"첫 노래|101/a*x|Y\r\nSong D|104/d*x|Y\r\n");
  Set("Service", "host", L"127.0.0.1:1");
  Start();
  ExpectMessage(Main(IDC_DOWNLOAD), L"Download", L"설정에서 *.wma파일의 저장 경로를 설정바람.",
                Icon::Information);
  Set("PathSetting", "wmapath", folder);
  DoubleClick(Main(IDC_MUSIC_LIST), 0);
  DoubleClick(Main(IDC_DOWNLOAD_LIST), 0);
  ExpectMessage(Main(IDC_DOWNLOAD), L"Download", L"다운받을 음악을 다운로드 리스트에 추가해주세요.",
                Icon::Information);
  LoadList(4);
  EXPECT_EQ(Items(IDC_MUSIC_LIST), (Strings{L"첫 노래", L"Song B", L"Song, C", L"Song D"}));
  for (const wchar_t* title : {L"첫 노래", L"Song B", L"Song D"}) Move(IDC_MUSIC_LIST, title);
  Move(IDC_DOWNLOAD_LIST, L"Song B");
  EXPECT_EQ(Items(IDC_MUSIC_LIST), (Strings{L"Song, C", L"Song B"}));
  EXPECT_EQ(Items(IDC_DOWNLOAD_LIST), (Strings{L"첫 노래", L"Song D"}));
  EXPECT_EQ(Labels(), (Strings{L"My Music List (2)", L"Download List (2)"}));
  ExpectMessage(Main(IDC_DOWNLOAD), L"Download", L"음악 서버에 연결할 수 없습니다.\r\n곡: 첫 노래",
                Icon::Error);
  LoadList(4);
  EXPECT_EQ(Labels(), (Strings{L"My Music List (4)", L"Download List (0)"}));

  Move(IDC_MUSIC_LIST, L"Song D");
  DeleteFileW(list.c_str());
  ExpectMessage(Main(IDC_LIST_LOAD), L"List Load",
                L"음악 리스트 파일을 읽을 수 없습니다.\r\n" + list, Icon::Error);
  EXPECT_EQ(Items(IDC_MUSIC_LIST).size() + Items(IDC_DOWNLOAD_LIST).size(), 0u);
  EXPECT_EQ(Labels(), (Strings{L"My Music List (0)", L"Download List (0)"}));
}

// "List Load" asks for a list file until one is set. One settings form, without an owner,
// however often "Setting" is pressed; "완료" checks both fields in order, saves both keys and
// closes; the file-open dialog (album filter) fills the list-file field; a cancelled folder
// browse keeps the typed folder; the form shows what is saved; "취소" saves nothing.
TEST_F(FetcherTest, SettingsSavedAndCancelled) {
  Start();
  ExpectMessage(Main(IDC_LIST_LOAD), L"List Load", L"설정에서 *.lbm파일의 경로를 설정바람.",
                Icon::Information);
  Click(Main(IDC_SETTINGS));
  OpenSettings();
  EXPECT_EQ(program.Windows(FETCHER_SET_FORM_CLASS, false).size(), 1u);
  EXPECT_EQ(GetWindow(Settings(), GW_OWNER), nullptr) << "modeless, without an owner";
  ExpectMessage(Set(IDC_SAVE_SETTINGS), L"Setting", L"기본앨범(*.lbm)파일의 경로를 설정하세요.",
                Icon::Error);

  const std::wstring listPath = folder + L"내 목록.lbm";
  ASSERT_TRUE(WriteFileBytes(listPath, "A|1/a*x|Y"));
  Click(Set(IDC_BROWSE_LIST_FILE));
  HWND dialog = program.FindDialog();
  ASSERT_NE(dialog, nullptr) << "no file dialog";
  HWND types = GetDlgItem(dialog, 0x470);  // the file-type combo box
  Strings filters;
  for (wchar_t text[256]; SendMessageW(types, CB_GETLBTEXT, filters.size(), LPARAM(text)) > 0;)
    filters.push_back(text);
  EXPECT_EQ(filters, (Strings{L"앨범 파일", L"모든 파일"}));
  HWND name = GetDlgItem(dialog, 0x47C);  // the file-name box
  SendMessageW(name ? name : GetDlgItem(dialog, 0x480), WM_SETTEXT, 0, LPARAM(listPath.c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return Text(Set(IDC_LIST_FILE_FIELD)) == listPath; }, 5000));
  ExpectMessage(Set(IDC_SAVE_SETTINGS), L"Setting", L"음악(*.wma)파일의 저장 경로를 설정하세요.",
                Icon::Error);
  EXPECT_EQ(Setting("lbmpath"), L"") << "nothing written while a field is empty";

  Type(Set(IDC_DOWNLOAD_FOLDER_FIELD), L"C:\\old\\");
  Click(Set(IDC_BROWSE_FOLDER));
  HWND browser = program.FindDialog();
  ASSERT_NE(browser, nullptr) << "no folder browser";
  PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  Click(Set(IDC_SAVE_SETTINGS));  // handled once the browse has returned
  ASSERT_TRUE(WaitFor([&] { return Settings() == nullptr; })) << "완료 closes the form";
  EXPECT_EQ(Setting("lbmpath"), listPath);
  EXPECT_EQ(Setting("wmapath"), L"C:\\old\\");

  OpenSettings();
  EXPECT_EQ(Text(Set(IDC_LIST_FILE_FIELD)), listPath);
  Type(Set(IDC_LIST_FILE_FIELD), L"C:\\other.lbm");
  Click(Set(IDC_CANCEL_SETTINGS));
  ASSERT_TRUE(WaitFor([&] { return Settings() == nullptr; })) << "취소 closes the form";
  EXPECT_EQ(Setting("lbmpath"), listPath);
}

// --- Downloads, with the local music service -------------------------------------------------

const std::string kLookup = "GET /contents/search/ex_path.php?m_id=";

class DownloadTest : public FetcherTest {
 protected:
  void SetUp() override {
    if (Env("MUSIC_SERVICE_PORT").empty()) GTEST_SKIP() << "no music service (native preset)";
    service_ = L"Z:" + AnsiToWide(Env("MUSIC_SERVICE_FOLDER")) + L"/";
    Set("Service", "host", L"127.0.0.1:" + AnsiToWide(Env("MUSIC_SERVICE_PORT")));
    Set("PathSetting", "wmapath", folder);
    logStart_ = ReadFileBytes(service_ + L"requests.log").size();
  }
  // Lines "lookup\t<id>\t<reply>" and "status\t<path>\t<code>".
  void Catalogue(const std::string& lines) {
    ASSERT_TRUE(WriteFileBytes(service_ + L"catalogue.txt", lines));
  }
  // A song at the service's `path`: bytes that any text conversion would change.
  std::string Song(const std::string& path, int seed) {
    std::string bytes(70000 + size_t(seed) * 1000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * size_t(2 * seed + 1) + (i >> 9));
    const std::wstring file = service_ + L"files" + AnsiToWide(path);  // "/" serves as "\\"
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    EXPECT_TRUE(WriteFileBytes(file, bytes));
    return bytes;
  }
  // The requests the service logged since the test began.
  std::string Requests() { return ReadFileBytes(service_ + L"requests.log").substr(logStart_); }
  void Choose(const Strings& titles, size_t listed) {
    LoadList(listed);
    for (const std::wstring& title : titles) Move(IDC_MUSIC_LIST, title);
  }

  std::wstring service_;
  size_t logStart_ = 0;
};

// Each title looked up and saved byte for byte under its safe name, into the folder the field
// shows, saved or not; "Love" from its own record, not from inside "My Love"'s. Downloads that
// fail (no server at the song's address, 404, 500) leave no file and are listed at the end.
TEST_F(DownloadTest, SeveralTitlesFailuresListed) {
  UseList(
      L"첫 노래|201/a*x|Y\r\nSong: B?|202/b*x|Y\r\nMy Love|203/m*x|Y\r\nLove|204/l*x|Y\r\n"
      L"C|205/c*x|YD|206/d*x|YE|207/e*x|Y");
  Catalogue(
      "lookup\t201\t{self}/s\nlookup\t202\t{self}/s\nlookup\t203\t{self}/wrong\n"
      "lookup\t204\t{self}/s\nlookup\t205\thttp://127.0.0.1:1/s\nlookup\t206\t{self}/s\n"
      "lookup\t207\t{self}/s\nstatus\t/s/207/e.wma\t500\n");
  const std::string one = Song("/s/201/a.wma", 1), two = Song("/s/202/b.wma", 2);
  const std::string love = Song("/s/204/l.wma", 3);
  Song("/s/207/e.wma", 4);
  const std::wstring songs = folder + L"받은 곡\\";
  CreateDirectoryW(songs.c_str(), nullptr);
  Start();
  Choose({L"첫 노래", L"Song: B?", L"Love", L"C", L"D", L"E"}, 7);
  OpenSettings();
  Type(Set(IDC_DOWNLOAD_FOLDER_FIELD), songs);
  ExpectMessage(Main(IDC_DOWNLOAD), L"Download",
                L"다음 곡을 다운로드하지 못했습니다.\r\nC\r\nD\r\nE", Icon::Error);

  EXPECT_EQ(Requests(), kLookup + "201\nGET /s/201/a.wma\n" + kLookup + "202\nGET /s/202/b.wma\n" +
                            kLookup + "204\nGET /s/204/l.wma\n" + kLookup + "205\n" + kLookup +
                            "206\nGET /s/206/d.wma\n" + kLookup + "207\nGET /s/207/e.wma\n");
  EXPECT_TRUE(ReadFileBytes(songs + L"첫 노래.wma") == one);
  EXPECT_TRUE(ReadFileBytes(songs + L"Song_ B_.wma") == two);
  EXPECT_TRUE(ReadFileBytes(songs + L"Love.wma") == love);
  for (const wchar_t* name : {L"C.wma", L"D.wma", L"E.wma"})
    EXPECT_FALSE(FileExists(songs + name)) << A(name) << ": no file holding an error page";
  EXPECT_TRUE(Close()) << "closing the main form ends the program, settings form included";
}

// A reply holding "ERR" ends the run with "오류(1)": the first song stays, the third is never
// asked for. A title the list file no longer holds ends it with "오류(2)" before any request.
TEST_F(DownloadTest, ErrorRepliesEndTheRun) {
  const std::wstring list = UseList(L"A|401/a*x|YB|402/b*x|YC|403/c*x|Y");
  Catalogue("lookup\t401\t{self}/e\nlookup\t402\tERR: no such song\nlookup\t403\t{self}/e\n");
  const std::string song = Song("/e/401/a.wma", 5);
  Start();
  Choose({L"A", L"B", L"C"}, 3);
  ExpectMessage(Main(IDC_DOWNLOAD), L"Download", L"오류(1)", Icon::Error);
  ASSERT_TRUE(WriteFileBytes(list, "B|402/b*x|Y"));
  ExpectMessage(Main(IDC_DOWNLOAD), L"Download", L"오류(2)", Icon::Error);
  EXPECT_EQ(Requests(), kLookup + "401\nGET /e/401/a.wma\n" + kLookup + "402\n");
  EXPECT_TRUE(ReadFileBytes(folder + L"A.wma") == song);
  EXPECT_FALSE(FileExists(folder + L"B.wma"));
}

// Pictures of both forms for the documentation, as BMP files in the folder FETCHER_SCREENSHOTS
// names (take-screenshots runs this alone).
TEST_F(FetcherTest, DISABLED_Screenshots) {
  const std::string out = Env("FETCHER_SCREENSHOTS");
  ASSERT_FALSE(out.empty());
  UseList(
      L"봄날|1/a*x|Y\r\n밤양갱|2/b*x|Y\r\nHype Boy|3/c*x|Y\r\n사건의 지평선|4/d*x|Y\r\n"
      L"Ditto|5/e*x|Y\r\n첫 눈|6/f*x|Y\r\n너의 의미|7/g*x|Y\r\n");
  Start();
  LoadList(7);
  for (int index : {0, 2}) DoubleClick(Main(IDC_MUSIC_LIST), index);
  ASSERT_TRUE(WaitFor([&] { return Items(IDC_DOWNLOAD_LIST).size() == 2; }));
  Sleep(500);  // drawn
  ASSERT_TRUE(SaveWindowImage(main, out + "\\fetcher-main.bmp"));
  // The settings form reads the file afresh: show the paths a user would have.
  Set("PathSetting", "lbmpath", L"D:\\음악\\내 목록.lbm");
  Set("PathSetting", "wmapath", L"D:\\음악\\받은 노래\\");
  OpenSettings();
  SetWindowPos(Settings(), HWND_TOP, 40, 300, 0, 0, SWP_NOSIZE);
  Sleep(500);  // drawn
  ASSERT_TRUE(SaveWindowImage(Settings(), out + "\\fetcher-settings.bmp"));
}

}  // namespace

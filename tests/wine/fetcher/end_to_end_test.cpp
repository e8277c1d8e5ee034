// The real fetcher.exe, driven through its windows under Wine as a user would drive it, with
// the local music service (tests/music_service) answering lookups and serving songs.
//
// Environment, set by CTest:
//   FETCHER_EXE           the program (a Unix path)
//   MUSIC_SERVICE_PORT    the service's loopback port; unset when the service is not built,
//                         and the tests that need it skip
//   MUSIC_SERVICE_FOLDER  the service's folder (catalogue.txt, files/, requests.log)
// With --screenshots FOLDER the program instead saves pictures of both forms as BMP files.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fetcher/forms/resource.h"
#include "tests/wine/fetcher/fetcher_driver.h"

using namespace fetcher_driver;
using namespace window_driver;
using Icon = MessageBoxSeen::Icon;

namespace {

std::wstring W(const std::string& utf8) {
  std::wstring text(utf8.size(), L'\0');
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), int(text.size()));
  text.resize(size_t(length));
  return text;
}

// UTF-8 to the ANSI code page (949), for file contents and paths.
std::string A(const std::string& utf8) {
  const std::wstring wide = W(utf8);
  std::string text(wide.size() * 2, '\0');
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.data(),
                                         int(text.size()), nullptr, nullptr);
  text.resize(size_t(length));
  return text;
}

// The ANSI code page (949) to wide characters, for paths the program shows.
std::wstring FromAnsi(const std::string& ansi) {
  std::wstring text(ansi.size(), L'\0');
  const int length =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), text.data(), int(text.size()));
  text.resize(size_t(length));
  return text;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A Unix path as Wine's drive Z: sees it.
std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

std::vector<std::wstring> Ws(std::initializer_list<const char*> items) {
  std::vector<std::wstring> out;
  for (const char* item : items) out.push_back(W(item));
  return out;
}

// A loopback port on which nothing listens.
int ClosedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(s);
  return ntohs(address.sin_port);
}

// Song bytes that a text conversion anywhere on the way would change: every byte value.
std::string SongBytes(int seed, size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = uint32_t(seed) * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = char(i < 256 ? i : state >> 24);
  }
  return bytes;
}

class FetcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = Environment("FETCHER_EXE");
    ASSERT_FALSE(program.empty()) << "FETCHER_EXE names the program to test";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fetcher_ = std::make_unique<Fetcher>(WindowsPath(program),
                                         std::string(info->test_suite_name()) + "_" + info->name());
  }
  void TearDown() override {
    if (fetcher_ && fetcher_->Running()) {
      EXPECT_FALSE(fetcher_->MessageBoxShowing()) << "a message box was left unanswered";
    }
    fetcher_.reset();
  }

  Fetcher& App() { return *fetcher_; }
  HWND Main(int id) { return GetDlgItem(App().Main(), id); }
  HWND Set(int id) { return GetDlgItem(App().Settings(), id); }
  std::string Folder() { return App().Folder(); }

  // Writes a list file (UTF-8 text here, code page 949 on disk) and points lbmpath at it.
  std::string UseList(const std::string& utf8Text, const char* name = "list.lbm") {
    const std::string path = Folder() + A(name);
    EXPECT_TRUE(WriteFileBytes(path, A(utf8Text)));
    App().WriteSetting("PathSetting", "lbmpath", path);
    return path;
  }

  void Start() { ASSERT_TRUE(App().Start()) << "fetcher's main form did not appear"; }

  MessageBoxSeen Answer() {
    MessageBoxSeen seen;
    EXPECT_TRUE(App().AnswerMessageBox(seen)) << "no message box";
    return seen;
  }

  void ExpectMessage(const char* caption, const char* text, Icon icon) {
    const MessageBoxSeen seen = Answer();
    EXPECT_EQ(seen.caption, W(caption));
    EXPECT_EQ(seen.text, W(text));
    EXPECT_EQ(seen.icon, icon);
  }

  void ExpectNoMessage(DWORD milliseconds = 700) {
    Sleep(milliseconds);
    EXPECT_FALSE(App().MessageBoxShowing());
  }

  // Double-clicks `title` in a list and waits for the counters to change.
  void Move(int listId, const char* title) {
    HWND list = Main(listId);
    const std::vector<std::wstring> items = ListItems(list);
    int index = -1;
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i] == W(title)) index = int(i);
    }
    ASSERT_GE(index, 0) << title;
    DoubleClick(list, index);
    ASSERT_TRUE(WaitFor([&] { return ListItems(list).size() == items.size() - 1; }, 5000)) << title;
  }

  void LoadList() {
    Click(Main(IDC_MAIN_COMMAND1));
    WaitFor([&] { return Text(Main(IDC_MAIN_LABEL1)) != L"My Music List (0)"; }, 5000);
  }

  std::unique_ptr<Fetcher> fetcher_;
};

// Client-area rectangle of a control in pixels: left, top, width, height.
std::vector<int> Placement(HWND form, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
  return {int(rect.left), int(rect.top), int(rect.right - rect.left), int(rect.bottom - rect.top)};
}

std::vector<int> TabOrder(HWND form) {
  std::vector<int> ids;
  HWND first = GetNextDlgTabItem(form, nullptr, FALSE);
  for (HWND item = first; item && ids.size() < 20;) {
    ids.push_back(GetDlgCtrlID(item));
    item = GetNextDlgTabItem(form, item, FALSE);
    if (item == first) break;
  }
  return ids;
}

// The main form as laid out in twips (15 a pixel), its captions, its tab order, and the
// double-click on an empty list, which does nothing.
TEST_F(FetcherTest, MainFormLayout) {
  Start();
  HWND main = App().Main();
  EXPECT_EQ(Text(main).rfind(W("투노라( wma 저장 )"), 0), 0u) << "caption: " << Text(main).size();
  RECT client;
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, 577);
  EXPECT_EQ(client.bottom, 233);
  const struct {
    int id;
    const char* caption;
    std::vector<int> pixels;
  } controls[] = {
      {IDC_MAIN_LABEL1, "My Music List (0)", {8, 8, 95, 11}},
      {IDC_MAIN_LABEL2, "Download List (0)", {256, 8, 97, 11}},
      {IDC_MAIN_LIST1, "", {8, 24, 241, 202}},
      {IDC_MAIN_LIST2, "", {256, 24, 241, 202}},
      {IDC_MAIN_COMMAND1, "List Load", {504, 24, 65, 17}},
      {IDC_MAIN_COMMAND2, "Download", {504, 48, 65, 17}},
      {IDC_MAIN_COMMAND3, "Setting", {504, 72, 65, 17}},
  };
  for (const auto& c : controls) {
    EXPECT_EQ(Placement(main, Main(c.id)), c.pixels) << c.caption;
    EXPECT_EQ(Text(Main(c.id)), W(c.caption));
  }
  EXPECT_EQ(TabOrder(main), (std::vector<int>{IDC_MAIN_COMMAND3, IDC_MAIN_COMMAND2,
                                              IDC_MAIN_COMMAND1, IDC_MAIN_LIST2, IDC_MAIN_LIST1}));

  DoubleClick(Main(IDC_MAIN_LIST1), 0);
  DoubleClick(Main(IDC_MAIN_LIST2), 0);
  ExpectNoMessage(300);
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL1)), L"My Music List (0)");
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL2)), L"Download List (0)");
  EXPECT_EQ(App().Settings(), nullptr) << "the settings form is not loaded at start";
  EXPECT_TRUE(App().Close()) << "closing the main form ends the program";
}

// Without settings, "List Load" and "Download" ask for them; with a folder but an empty
// download list, "Download" asks for songs.
TEST_F(FetcherTest, AsksForSettingsFirst) {
  Start();
  Click(Main(IDC_MAIN_COMMAND1));
  ExpectMessage("List Load", "설정에서 *.lbm파일의 경로를 설정바람.", Icon::Information);
  Click(Main(IDC_MAIN_COMMAND2));
  ExpectMessage("Download", "설정에서 *.wma파일의 저장 경로를 설정바람.", Icon::Information);
  App().WriteSetting("PathSetting", "wmapath", Folder());
  Click(Main(IDC_MAIN_COMMAND2));
  ExpectMessage("Download", "다운받을 음악을 다운로드 리스트에 추가해주세요.", Icon::Information);
}

// List Load lists the titles in file order (a duplicate record once); double-clicks move
// titles to the end of the other list and keep both counters; a new List Load empties the
// download list.
TEST_F(FetcherTest, ListLoadAndDoubleClicks) {
  UseList(
      "첫 노래|101/a*x|Y\r\nSong B|102/b*x|Y\r\n\"Song, C\"|103/c*x|Y\r\n"
      "첫 노래|101/a*x|Y\r\nSong D|104/d*x|Y\r\n");
  Start();
  LoadList();
  HWND list1 = Main(IDC_MAIN_LIST1);
  HWND list2 = Main(IDC_MAIN_LIST2);
  EXPECT_EQ(ListItems(list1), Ws({"첫 노래", "Song B", "Song, C", "Song D"}));
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL1)), L"My Music List (4)");

  Move(IDC_MAIN_LIST1, "첫 노래");
  Move(IDC_MAIN_LIST1, "Song B");
  Move(IDC_MAIN_LIST1, "Song D");
  EXPECT_EQ(ListItems(list1), Ws({"Song, C"}));
  EXPECT_EQ(ListItems(list2), Ws({"첫 노래", "Song B", "Song D"}));
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL1)), L"My Music List (1)");
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL2)), L"Download List (3)");

  Move(IDC_MAIN_LIST2, "Song B");
  EXPECT_EQ(ListItems(list1), Ws({"Song, C", "Song B"}));
  EXPECT_EQ(ListItems(list2), Ws({"첫 노래", "Song D"}));
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL1)), L"My Music List (2)");
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL2)), L"Download List (2)");

  Click(Main(IDC_MAIN_COMMAND1));
  ASSERT_TRUE(WaitFor([&] { return ListItems(list2).empty(); }, 5000));
  WaitFor([&] { return ListItems(list1).size() == 4; }, 5000);
  EXPECT_EQ(ListItems(list1), Ws({"첫 노래", "Song B", "Song, C", "Song D"}));
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL1)), L"My Music List (4)");
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL2)), L"Download List (0)");
  ExpectNoMessage(200);
}

// A list file that is not there: a message naming it, both lists empty, the program goes on.
TEST_F(FetcherTest, MissingListFileIsTold) {
  UseList("A|1/a*x|Y");
  Start();
  LoadList();
  Move(IDC_MAIN_LIST1, "A");
  const std::string missing = Folder() + "gone.lbm";
  App().WriteSetting("PathSetting", "lbmpath", missing);
  Click(Main(IDC_MAIN_COMMAND1));
  const MessageBoxSeen seen = Answer();
  EXPECT_EQ(seen.caption, L"List Load");
  EXPECT_EQ(seen.icon, Icon::Error);
  EXPECT_NE(seen.text.find(FromAnsi(missing)), std::wstring::npos);
  EXPECT_TRUE(ListItems(Main(IDC_MAIN_LIST1)).empty());
  EXPECT_TRUE(ListItems(Main(IDC_MAIN_LIST2)).empty());
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL1)), L"My Music List (0)");
  EXPECT_EQ(Text(Main(IDC_MAIN_LABEL2)), L"Download List (0)");
}

// One settings form however often "Setting" is pressed; "완료" checks both fields in order,
// saves both keys and closes; "취소" saves nothing.
TEST_F(FetcherTest, SettingsFormSavesAndCancels) {
  Start();
  Click(Main(IDC_MAIN_COMMAND3));
  Click(Main(IDC_MAIN_COMMAND3));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() && IsWindowVisible(App().Settings()); }));
  Sleep(300);
  EXPECT_EQ(App().Windows(FETCHER_SET_FORM_CLASS, false).size(), 1u);
  HWND form = App().Settings();
  EXPECT_EQ(Text(form).rfind(W("셋팅"), 0), 0u);
  EXPECT_EQ(GetWindow(form, GW_OWNER), nullptr) << "modeless, without an owner";
  RECT client;
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, 409);
  EXPECT_EQ(client.bottom, 113);
  EXPECT_EQ(Text(Set(IDC_SET_FRAME1)), W("경로 설정"));
  EXPECT_EQ(Text(Set(IDC_SET_LABEL1)), W("기본앨범(*.lbm)파일 경로"));
  EXPECT_EQ(Text(Set(IDC_SET_LABEL2)), W("음악(*.wma)파일 저장 경로"));
  EXPECT_EQ(Placement(form, Set(IDC_SET_TEXT1)), (std::vector<int>{16, 40, 273, 17}));
  EXPECT_EQ(Placement(form, Set(IDC_SET_COMMAND2)), (std::vector<int>{296, 80, 33, 17}));
  EXPECT_EQ(Placement(form, Set(IDC_SET_COMMAND3)), (std::vector<int>{344, 16, 57, 17}));
  EXPECT_EQ(TabOrder(form), (std::vector<int>{IDC_SET_COMMAND4, IDC_SET_COMMAND3, IDC_SET_COMMAND2,
                                              IDC_SET_TEXT2, IDC_SET_COMMAND1, IDC_SET_TEXT1}));
  EXPECT_EQ(Text(Set(IDC_SET_TEXT1)), L"");
  EXPECT_EQ(Text(Set(IDC_SET_TEXT2)), L"");

  Click(Set(IDC_SET_COMMAND3));
  ExpectMessage("Setting", "기본앨범(*.lbm)파일의 경로를 설정하세요.", Icon::Error);
  ExpectNoMessage(300);
  const std::wstring listPath = FromAnsi(Folder() + A("내 목록.lbm"));
  Type(Set(IDC_SET_TEXT1), listPath);
  Click(Set(IDC_SET_COMMAND3));
  ExpectMessage("Setting", "음악(*.wma)파일의 저장 경로를 설정하세요.", Icon::Error);
  EXPECT_EQ(App().ReadSetting("PathSetting", "lbmpath"), "") << "nothing written yet";
  Type(Set(IDC_SET_TEXT2), FromAnsi(Folder()));
  Click(Set(IDC_SET_COMMAND3));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() == nullptr; })) << "완료 closes the form";
  EXPECT_EQ(App().ReadSetting("PathSetting", "lbmpath"), Folder() + A("내 목록.lbm"));
  EXPECT_EQ(App().ReadSetting("PathSetting", "wmapath"), Folder());

  Click(Main(IDC_MAIN_COMMAND3));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() != nullptr; }));
  EXPECT_EQ(Text(Set(IDC_SET_TEXT1)), listPath);
  EXPECT_EQ(Text(Set(IDC_SET_TEXT2)), FromAnsi(Folder()));
  Type(Set(IDC_SET_TEXT1), L"C:\\other.lbm");
  Click(Set(IDC_SET_COMMAND4));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() == nullptr; })) << "취소 closes the form";
  EXPECT_EQ(App().ReadSetting("PathSetting", "lbmpath"), Folder() + A("내 목록.lbm"));
  ExpectNoMessage(200);
}

// The folder browser shows its title; cancelling it leaves the folder field as it was.
TEST_F(FetcherTest, CancelledFolderBrowseKeepsTheField) {
  App().WriteSetting("PathSetting", "wmapath", "C:\\old\\");
  Start();
  Click(Main(IDC_MAIN_COMMAND3));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() != nullptr; }));
  EXPECT_EQ(Text(Set(IDC_SET_TEXT2)), L"C:\\old\\");
  Click(Set(IDC_SET_COMMAND2));
  HWND browser = App().FindDialog();
  ASSERT_NE(browser, nullptr) << "no folder browser";
  bool titleShown = false;
  for (HWND child = GetWindow(browser, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    titleShown = titleShown || Text(child) == W("폴더 찾아보기");
  }
  EXPECT_TRUE(titleShown);
  PostMessageW(browser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(browser); }));
  Sleep(200);
  EXPECT_EQ(Text(Set(IDC_SET_TEXT2)), L"C:\\old\\");
}

// The list-file chooser is the file-open dialog with the album filter; its choice fills Text1.
TEST_F(FetcherTest, FileDialogFillsTheListPath) {
  const std::string list = UseList("A|1/a*x|Y", "앨범.lbm");
  Start();
  Click(Main(IDC_MAIN_COMMAND3));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() != nullptr; }));
  Type(Set(IDC_SET_TEXT1), L"");
  Click(Set(IDC_SET_COMMAND1));
  HWND dialog = App().FindDialog();
  ASSERT_NE(dialog, nullptr) << "no file dialog";
  HWND types = GetDlgItem(dialog, 0x470);  // the file-type combo box
  std::vector<std::wstring> filters;
  for (int i = 0, n = int(SendMessageW(types, CB_GETCOUNT, 0, 0)); i < n; ++i) {
    wchar_t text[256] = L"";
    SendMessageW(types, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
    filters.push_back(text);
  }
  EXPECT_EQ(filters, Ws({"앨범 파일", "모든 파일"}));
  HWND name = GetDlgItem(dialog, 0x47C);  // the file-name box
  if (!name) name = GetDlgItem(dialog, 0x480);
  SendMessageW(name, WM_SETTEXT, 0, LPARAM(FromAnsi(list).c_str()));
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
  EXPECT_TRUE(WaitFor([&] { return !Text(Set(IDC_SET_TEXT1)).empty(); }, 3000));
  EXPECT_EQ(Text(Set(IDC_SET_TEXT1)), FromAnsi(list));
}

// --- Downloads, with the local music service -------------------------------------------------

class DownloadTest : public FetcherTest {
 protected:
  void SetUp() override {
    FetcherTest::SetUp();
    if (Environment("MUSIC_SERVICE_PORT").empty()) {
      GTEST_SKIP() << "the local music service is not built (build/native/bin/music-service: "
                      "configure and build the native preset); download tests skipped";
    }
    service_ = WindowsPath(Environment("MUSIC_SERVICE_FOLDER")) + "\\";
    self_ = "http://127.0.0.1:" + Environment("MUSIC_SERVICE_PORT");
    App().WriteSetting("Service", "host", "127.0.0.1:" + Environment("MUSIC_SERVICE_PORT"));
    App().WriteSetting("PathSetting", "wmapath", Folder());
    logStart_ = ReadFileBytes(service_ + "requests.log").size();
  }

  // Catalogue lines: "lookup\t<id>\t<reply>" and "status\t<path>\t<code>".
  void Catalogue(const std::string& lines) {
    ASSERT_TRUE(WriteFileBytes(service_ + "catalogue.txt", lines));
  }

  // A song file at the service's `path` ("/songs/..."); its bytes.
  std::string Song(const std::string& path, int seed) {
    std::string file = service_ + "files";
    for (size_t from = 1;;) {
      const size_t slash = path.find('/', from);
      if (slash == std::string::npos) break;
      file += "\\" + path.substr(from, slash - from);
      CreateDirectoryA(file.c_str(), nullptr);
      from = slash + 1;
    }
    file += "\\" + path.substr(path.rfind('/') + 1);
    const std::string bytes = SongBytes(seed, 70000 + size_t(seed) * 1000);
    EXPECT_TRUE(WriteFileBytes(file, bytes));
    return bytes;
  }

  // The request lines the service logged since the test began.
  std::vector<std::string> Requests() {
    const std::string log = ReadFileBytes(service_ + "requests.log").substr(logStart_);
    std::vector<std::string> lines;
    for (size_t from = 0; from < log.size();) {
      const size_t end = log.find('\n', from);
      lines.push_back(log.substr(from, end - from));
      from = end == std::string::npos ? log.size() : end + 1;
    }
    return lines;
  }

  // Loads the list and moves `titles` to the download list, in order.
  void Choose(std::initializer_list<const char*> titles) {
    LoadList();
    for (const char* title : titles) Move(IDC_MAIN_LIST1, title);
  }

  std::string Saved(const char* utf8Name) { return ReadFileBytes(Folder() + A(utf8Name)); }

  std::string service_;
  std::string self_;
  size_t logStart_ = 0;
};

const char* kLookup = "GET /contents/search/ex_path.php?m_id=";

// Three titles, each looked up and saved byte for byte under its (safe) name; "Love" is taken
// from its own record, not from inside "My Love"'s. The settings form is loaded unseen.
TEST_F(DownloadTest, ThreeTitles) {
  UseList(
      "첫 노래|201/alpha*x|Y\r\nSong: B?|202/beta*x|Y\r\nMy Love|203/mine*x|Y\r\n"
      "Love|204/love*x|Y\r\n");
  Catalogue(
      "lookup\t201\t{self}/songs/t1\nlookup\t202\t{self}/songs/t2\n"
      "lookup\t203\t{self}/songs/wrong\nlookup\t204\t{self}/songs/t4\n");
  const std::string one = Song("/songs/t1/201/alpha.wma", 1);
  const std::string two = Song("/songs/t2/202/beta.wma", 2);
  const std::string four = Song("/songs/t4/204/love.wma", 4);
  Start();
  Choose({"첫 노래", "Song: B?", "Love"});
  Click(Main(IDC_MAIN_COMMAND2));
  ExpectMessage("Download", "다운로드 완료!", Icon::Information);

  EXPECT_EQ(Requests(),
            (std::vector<std::string>{std::string(kLookup) + "201", "GET /songs/t1/201/alpha.wma",
                                      std::string(kLookup) + "202", "GET /songs/t2/202/beta.wma",
                                      std::string(kLookup) + "204", "GET /songs/t4/204/love.wma"}));
  EXPECT_TRUE(Saved("첫 노래.wma") == one);
  EXPECT_TRUE(Saved("Song_ B_.wma") == two);
  EXPECT_TRUE(Saved("Love.wma") == four);
  EXPECT_EQ(ListItems(Main(IDC_MAIN_LIST2)).size(), 3u) << "the download list stays";
  ASSERT_NE(App().Settings(), nullptr) << "reading the folder field loads the settings form";
  EXPECT_FALSE(IsWindowVisible(App().Settings())) << "without showing it";
  EXPECT_TRUE(App().Close()) << "closing the main form ends the program, settings form included";
}

// The folder field is used as it stands, saved or not.
TEST_F(DownloadTest, UnsavedFolderFieldIsUsed) {
  UseList("A|301/a*x|Y\r\n");
  Catalogue("lookup\t301\t{self}/songs/u1\n");
  const std::string song = Song("/songs/u1/301/a.wma", 5);
  const std::string other = Folder() + "other\\";
  CreateDirectoryA(other.c_str(), nullptr);
  Start();
  Choose({"A"});
  Click(Main(IDC_MAIN_COMMAND3));
  ASSERT_TRUE(WaitFor([&] { return App().Settings() != nullptr; }));
  Type(Set(IDC_SET_TEXT2), FromAnsi(other));
  Click(Main(IDC_MAIN_COMMAND2));
  ExpectMessage("Download", "다운로드 완료!", Icon::Information);
  EXPECT_TRUE(ReadFileBytes(other + "A.wma") == song);
  EXPECT_FALSE(FileExists(Folder() + "A.wma"));
  DeleteFileA((other + "A.wma").c_str());
  RemoveDirectoryA(other.c_str());
}

// A reply that contains "ERR" ends the run with "오류(1)": the first song stays, the third is
// never asked for.
TEST_F(DownloadTest, ErrReplyIsError1) {
  UseList("A|401/a*x|YB|402/b*x|YC|403/c*x|Y");
  Catalogue(
      "lookup\t401\t{self}/songs/e1\nlookup\t402\tERR: no such song\n"
      "lookup\t403\t{self}/songs/e1\n");
  const std::string song = Song("/songs/e1/401/a.wma", 6);
  Start();
  Choose({"A", "B", "C"});
  Click(Main(IDC_MAIN_COMMAND2));
  ExpectMessage("Download", "오류(1)", Icon::Error);
  ExpectNoMessage(500);
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{std::string(kLookup) + "401", "GET /songs/e1/401/a.wma",
                                      std::string(kLookup) + "402"}));
  EXPECT_TRUE(Saved("A.wma") == song);
  EXPECT_FALSE(FileExists(Folder() + "B.wma"));
}

// A title that the list file no longer holds: "오류(2)" before anything is sent.
TEST_F(DownloadTest, TitleGoneFromTheListIsError2) {
  const std::string list = UseList("A|501/a*x|YB|502/b*x|Y");
  Catalogue("lookup\t501\t{self}/songs/g\nlookup\t502\t{self}/songs/g\n");
  Start();
  Choose({"B", "A"});
  WriteFileBytes(list, "A|501/a*x|Y");
  Click(Main(IDC_MAIN_COMMAND2));
  ExpectMessage("Download", "오류(2)", Icon::Error);
  EXPECT_TRUE(Requests().empty());
}

// No service at the host: the run ends with a message that names the title, and the program
// goes on.
TEST_F(DownloadTest, DeadServiceIsToldNotFatal) {
  UseList("첫 노래|601/a*x|Y");
  App().WriteSetting("Service", "host", "127.0.0.1:" + std::to_string(ClosedPort()));
  Start();
  Choose({"첫 노래"});
  Click(Main(IDC_MAIN_COMMAND2));
  const MessageBoxSeen seen = Answer();
  EXPECT_EQ(seen.caption, L"Download");
  EXPECT_EQ(seen.icon, Icon::Error);
  EXPECT_NE(seen.text.find(W("첫 노래")), std::wstring::npos) << "names the title";
  ExpectNoMessage(300);
  EXPECT_TRUE(App().Running());
  Move(IDC_MAIN_LIST2, "첫 노래");  // still answers the user
  EXPECT_TRUE(App().Close());
}

// Downloads that fail (no server at the song's address, 404, 500) do not stop the run, leave
// no file, and are listed in the closing message with the error icon.
TEST_F(DownloadTest, FailedDownloadsAreListed) {
  UseList("A|701/a*x|YB|702/b*x|YC|703/c*x|YD|704/d*x|Y");
  Catalogue(
      "lookup\t701\t{self}/songs/f\nlookup\t702\thttp://127.0.0.1:" + std::to_string(ClosedPort()) +
      "/songs/f\nlookup\t703\t{self}/songs/f\nlookup\t704\t{self}/songs/f\n"
      "status\t/songs/f/704/d.wma\t500\n");
  const std::string song = Song("/songs/f/701/a.wma", 7);
  Song("/songs/f/704/d.wma", 8);
  Start();
  Choose({"A", "B", "C", "D"});
  Click(Main(IDC_MAIN_COMMAND2));
  const MessageBoxSeen seen = Answer();
  EXPECT_EQ(seen.caption, L"Download");
  EXPECT_EQ(seen.icon, Icon::Error);
  EXPECT_EQ(seen.text, W("다음 곡을 다운로드하지 못했습니다.\r\nB\r\nC\r\nD"));
  EXPECT_TRUE(Saved("A.wma") == song);
  EXPECT_FALSE(FileExists(Folder() + "B.wma"));
  EXPECT_FALSE(FileExists(Folder() + "C.wma")) << "no file holding the 404 page";
  EXPECT_FALSE(FileExists(Folder() + "D.wma")) << "no file holding the 500 page";
  EXPECT_EQ(Requests(),
            (std::vector<std::string>{std::string(kLookup) + "701", "GET /songs/f/701/a.wma",
                                      std::string(kLookup) + "702", std::string(kLookup) + "703",
                                      "GET /songs/f/703/c.wma", std::string(kLookup) + "704",
                                      "GET /songs/f/704/d.wma"}));
}

// Pictures of both forms for the documentation, as BMP files in `folder`.
int TakeScreenshots(const std::string& folder) {
  const std::string program = WindowsPath(Environment("FETCHER_EXE"));
  Fetcher app(program, "screenshots");
  const std::string list = app.Folder() + "list.lbm";
  WriteFileBytes(list,
                 A("봄날|1/a*x|Y\r\n밤양갱|2/b*x|Y\r\nHype Boy|3/c*x|Y\r\n사건의 지평선|4/d*x|Y\r\n"
                   "Ditto|5/e*x|Y\r\n첫 눈|6/f*x|Y\r\n너의 의미|7/g*x|Y\r\n"));
  app.WriteSetting("PathSetting", "lbmpath", list);
  if (!app.Start()) return 1;
  HWND main = app.Main();
  Click(GetDlgItem(main, IDC_MAIN_COMMAND1));
  WaitFor([&] { return ListItems(GetDlgItem(main, IDC_MAIN_LIST1)).size() == 7; });
  for (int index : {1, 3}) DoubleClick(GetDlgItem(main, IDC_MAIN_LIST1), index - 1);
  Sleep(500);
  if (!SaveWindowImage(main, folder + "\\fetcher-main.bmp")) return 1;
  // The settings form reads the file afresh: show the paths a user would have.
  app.WriteSetting("PathSetting", "lbmpath", A("D:\\음악\\내 목록.lbm"));
  app.WriteSetting("PathSetting", "wmapath", A("D:\\음악\\받은 노래\\"));
  Click(GetDlgItem(main, IDC_MAIN_COMMAND3));
  WaitFor([&] { return app.Settings() != nullptr; });
  HWND settings = app.Settings();
  SetWindowPos(settings, HWND_TOP, 40, 300, 0, 0, SWP_NOSIZE);
  Sleep(500);
  return SaveWindowImage(settings, folder + "\\fetcher-settings.bmp") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--screenshots") return TakeScreenshots(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

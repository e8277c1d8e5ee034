// Real self-extracting programs, built by mksfx.exe from folders the test makes, started and
// driven through their windows under Wine as a user would: the main dialog, the password,
// overwrite and about dialogs, the folder picker, message boxes, files on disk, exit codes, and
// what the program started after extraction saw. What the extraction loop does with each entry
// is tested in-process (tests/wine/extract); here each flow through the windows is driven once.
//
// Environment, set by CTest (Unix paths): MKSFX_EXE, the builder, which embeds the unpackers of
// both architectures; UNPACKER_EXE, the one of this test's architecture, whose size tells where
// a built file's ZIP data begins; RECORD_RUN_EXE (record_run.cpp). With --screenshots FOLDER
// the program instead saves pictures of the four dialogs as BMP files.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/wine/support/window_driver.h"
#include "unpacker/resources/resource.h"

using namespace window_driver;
using Icon = MessageBoxSeen::Icon;

namespace {

// The texts as the user must see them; written out here rather than taken from the program.
constexpr wchar_t kAllExtracted[] = L"모든 파일의 압축을 풀었습니다.";
constexpr wchar_t kCancelled[] = L"작업이 취소되었습니다.";
constexpr SYSTEMTIME kEntryTime{2021, 5, 0, 6, 13, 8, 10, 0};  // every packed file's time
// A parameterised test's name: its row's.
const auto kRowName = [](const auto& row) { return std::string(row.param.name); };
std::string screenshots;  // the folder given with --screenshots

// A program named by the environment, as Wine's drive Z: sees it.
std::wstring Tool(const char* variable) {
  std::wstring out = L"Z:" + AnsiToWide(std::getenv(variable) ? std::getenv(variable) : "");
  for (wchar_t& c : out) c = c == L'/' ? L'\\' : c;
  return out;
}

// The temporary folder without its trailing backslash, as the folder macro {temp} gives it.
std::wstring TempW() {
  wchar_t folder[MAX_PATH];
  return std::wstring(folder, GetTempPathW(MAX_PATH, folder) - 1);
}
const std::wstring kWork = TempW() + L"\\unpacker_e2e";

// Bytes that deflate can shrink only by half or so.
std::string Noise(uint32_t seed, size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = char(i < 256 ? i : ((seed = seed * 1664525u + 1013904223u) >> 24) & 0x0F);
  return bytes;
}

// A file with a local last-write time, and its folders.
void MakeFile(const std::wstring& path, const std::string& bytes, SYSTEMTIME when = kEntryTime) {
  SHCreateDirectoryExW(nullptr, path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
  FILETIME local, utc;
  SystemTimeToFileTime(&when, &local);
  LocalFileTimeToFileTime(&local, &utc);
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, 0);
  SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
}

// As the overwrite question shows a time: the locale's short date and, unless it is midnight,
// a blank and the locale's time.
std::wstring LocaleDateTime(const SYSTEMTIME& st) {
  wchar_t date[64] = L"", time[64] = L"";
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 64);
  if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0) return date;
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 64);
  return std::wstring(date) + L" " + time;
}

WIN32_FILE_ATTRIBUTE_DATA Attributes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data;
}

// Whether a control of `window` shows a text that begins with `start`.
bool ShowsText(HWND window, const std::wstring& start) {
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (Text(child).starts_with(start)) return true;
  return false;
}

// Every text on a dialog's statics, buttons and check boxes fits its control, measured in the
// dialog font (굴림 9 pt, which the test prefix draws with NanumGothic): nothing is cut or
// wrapped where the template did not mean it.
void ExpectTextsFit(HWND dialog) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontW(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0,
                           0, DEFAULT_CHARSET, 0, 0, 0, 0, L"굴림");
  SelectObject(dc, font);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[32] = L"";
    GetClassNameW(child, kind, 32);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    const std::wstring text = Text(child);
    const bool button = lstrcmpiW(kind, L"Button") == 0;
    if (text.empty() ||
        (!button && (lstrcmpiW(kind, L"Static") || (style & SS_TYPEMASK) == SS_ICON)))
      continue;
    RECT room, need{};
    GetClientRect(child, &room);
    if (button)  // the check box and its gap, or the button's edges
      room.right -= (style & BS_TYPEMASK) == BS_AUTOCHECKBOX ? 13 + 4 : 2 * 3;
    // Line by line, mnemonics taken out, as the control draws it unless it wraps.
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT);
    EXPECT_LE(need.right, room.right) << "cut: " << text;
    EXPECT_LE(need.bottom, room.bottom) << "wraps: " << text;
  }
  DeleteDC(dc);
  DeleteObject(font);
}

// Each test has a folder of its own below %TEMP%\unpacker_e2e: src\ is packed into setup.exe,
// start\ is the unpacker's working folder, dest\ the usual destination, run.log the records of
// record_run.exe. The folder stays behind when the test fails.
class UnpackerTest : public ::testing::Test {
 protected:
  // The unpacker's dialogs, told apart by a control of their own; the password box has the
  // folder box's id.
  static bool IsMain(HWND w) { return IsDialog(w) && GetDlgItem(w, IDC_PROGRESS); }
  static bool IsPassword(HWND w) {
    return IsDialog(w) && !IsMain(w) && GetDlgItem(w, IDC_PASSWORD);
  }
  static bool IsOverwrite(HWND w) { return IsDialog(w) && GetDlgItem(w, IDC_APPLY_TO_ALL); }
  static bool IsAbout(HWND w) { return IsDialog(w) && GetDlgItem(w, IDC_EDITION); }

  void SetUp() override {
    for (const char* name : {"MKSFX_EXE", "UNPACKER_EXE", "RECORD_RUN_EXE"})
      ASSERT_NE(std::getenv(name), nullptr) << name << " names a program the tests need";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    case_ = kWork + L"\\" + AnsiToWide(info->test_suite_name()) + L"." + AnsiToWide(info->name());
    for (wchar_t& c : case_) c = c == L'/' ? L'_' : c;
    RemoveTree(case_);
    SHCreateDirectoryExW(nullptr, Case(L"start").c_str(), nullptr);
    SetEnvironmentVariableW(L"RECORD_RUN_LOG", Case(L"run.log").c_str());
    SetEnvironmentVariableW(L"RECORD_RUN_RELEASE", nullptr);
  }

  void TearDown() override {
    EXPECT_FALSE(stub_ && stub_->Running() && stub_->MessageBoxShowing())
        << "a message box was left unanswered";
    stub_.reset();  // ends it
    if (!HasFailure()) RemoveTree(case_);
  }

  std::wstring Case(const std::wstring& name) const { return case_ + L"\\" + name; }
  std::wstring Dest() const { return Case(L"dest"); }
  std::wstring Dest(const std::wstring& name) const { return Case(L"dest\\" + name); }
  HWND Item(int id) const { return GetDlgItem(main_, id); }
  static bool Checked(HWND box) { return Send(box, BM_GETCHECK) == BST_CHECKED; }
  int Progress() const { return int(Send(Item(IDC_PROGRESS), PBM_GETPOS)); }
  void Source(const std::wstring& name, const std::string& bytes) {
    MakeFile(Case(L"src\\" + name), bytes);
  }
  void SourceRecordRun() { Source(L"record_run.exe", ReadFileBytes(Tool("RECORD_RUN_EXE"))); }
  // What record_run.exe wrote, and what it writes for one start; <dest> stands for the
  // destination with its backslash.
  std::wstring RunLog() const {
    const std::string bytes = ReadFileBytes(Case(L"run.log"));
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
  }
  std::wstring Record(const std::wstring& command, const std::wstring& folder,
                      const std::wstring& program) const {
    std::wstring text = L"command=" + command + L"\nfolder=" + folder + L"\nprogram=" + program;
    for (size_t at; (at = text.find(L"<dest>")) != std::wstring::npos;)
      text.replace(at, 6, Dest() + L"\\");
    return text + L"\n";
  }

  // Three files in two folders, one with a Korean name.
  const std::vector<std::pair<std::wstring, std::string>> standard_ = {
      {L"readme.txt", "Read me first.\r\n"},
      {L"sub\\data.bin", Noise(1, 100000)},
      {L"한글 이름.txt", "\xEC\x95\x88\xEB\x85\x95 hello"}};
  void StandardSource() {
    for (const auto& [name, bytes] : standard_) Source(name, bytes);
  }
  void ExpectStandardFiles(const std::wstring& folder) {
    for (const auto& [name, bytes] : standard_)
      EXPECT_TRUE(ReadFileBytes(folder + L"\\" + name) == bytes) << name;  // no megabytes printed
  }

  int Mksfx(const std::vector<std::wstring>& arguments, std::string* output) {
    std::wstring command = L"\"" + Tool("MKSFX_EXE") + L"\"";
    for (const std::wstring& argument : arguments) command += L" \"" + argument + L"\"";
    return RunToEnd(command, output);
  }
  // Runs mksfx.exe on src\ into setup.exe with the given options, with the embedded stub of
  // this test's own architecture (the one UNPACKER_EXE names).
  void Pack(std::vector<std::wstring> options) {
    options.insert(options.end(), {L"--arch", sizeof(void*) == 8 ? L"x64" : L"x86", L"-o",
                                   Case(L"setup.exe"), Case(L"src")});
    std::string output;
    ASSERT_EQ(Mksfx(options, &output), 0) << output;
  }

  // Starts setup.exe in start\; unless `autoExtract`, waits until its main dialog is idle.
  void Launch(bool autoExtract = false) {
    stub_.emplace();
    ASSERT_TRUE(stub_->Start(L"\"" + Case(L"setup.exe") + L"\"", Case(L"start"))) << "no start";
    if (autoExtract) return;
    main_ = Wait(IsMain);
    ASSERT_NE(main_, nullptr) << "no main dialog";
    // The dialog shows itself before it scans the archive, and its controls are disabled
    // during the scan: idle is when they are enabled again.
    Sleep(150);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); })) << "the scan did not end";
  }
  void PackAndLaunch(const std::vector<std::wstring>& options, bool autoExtract = false) {
    ASSERT_NO_FATAL_FAILURE(Pack(options));
    Launch(autoExtract);
  }

  HWND Wait(bool (*kind)(HWND)) const { return stub_->WaitForWindow(kind, 20000); }
  void Extract(const std::wstring& folder) {
    Type(Item(IDC_FOLDER), folder);
    Click(Item(IDOK));
  }

  void ExpectMessage(const std::wstring& text, Icon icon = Icon::Error) {
    MessageBoxSeen seen;
    ASSERT_TRUE(stub_->AnswerMessageBox(seen)) << "no message box";
    EXPECT_EQ(seen.caption, L"Pakko EXE");
    EXPECT_EQ(seen.text, text);
    EXPECT_EQ(seen.icon, icon);
  }

  // The program ends by itself, with exit code 0; after a message, when `message` is given.
  void ExpectEnded(const wchar_t* message = nullptr, Icon icon = Icon::None) {
    ASSERT_NO_FATAL_FAILURE(if (message) ExpectMessage(message, icon));
    ASSERT_TRUE(stub_->WaitForExit(15000)) << "the unpacker is still running";
    EXPECT_EQ(stub_->ExitCode(), 0u);
  }

  void ExpectIdle() {
    // A dialog that ended, or whose program did, is not enabled.
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); }, 5000)) << "not idle";
    EXPECT_TRUE(IsWindowVisible(main_));
  }

  std::wstring case_;
  std::optional<Program> stub_;
  HWND main_ = nullptr;
};

// --- Automatic extraction and the main dialog ------------------------------------------------

// With the automatic flag nothing is asked and nothing is told (a message box would keep the
// program from ending): the files are there and the program ends with code 0.
TEST_F(UnpackerTest, AutoExtractIsSilent) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(PackAndLaunch({L"--auto", L"--folder", Dest()}, true));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
}

// An archive whose first header is damaged: the scan tells it while the dialog appears; the
// automatic extraction then finds nothing, says nothing more, and the dialog ends.
TEST_F(UnpackerTest, AutoExtractOfAnUnreadableArchive) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Pack({L"--auto", L"--folder", Dest()}));
  const size_t zipStart = size_t(Attributes(Tool("UNPACKER_EXE")).nFileSizeLow) + 256;
  std::string bytes = ReadFileBytes(Case(L"setup.exe"));
  ASSERT_EQ(bytes.substr(zipStart, 4), std::string("PK\3\4", 4));
  ASSERT_TRUE(WriteFileBytes(Case(L"setup.exe"), bytes.replace(zipStart, 4, "XXXX")));
  ASSERT_NO_FATAL_FAILURE(Launch(true));
  ASSERT_NE(Wait(IsMain), nullptr) << "the dialog is shown during the scan";
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(L"압축 파일을 읽을 수 없습니다.", Icon::Error));
  EXPECT_FALSE(FileExists(Dest()));
}

// The option block's caption titles the dialog (message boxes keep theirs), a default folder of
// {temp} and a name shows the temporary folder, one backslash and the name; a folder typed over
// it (Korean, nested, not there yet) is where "압축풀기" puts the files, the bar is full, and the
// plain success message ends the dialog.
TEST_F(UnpackerTest, CaptionDefaultFolderAndTypedFolder) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(
      PackAndLaunch({L"--caption", L"한글 설치 프로그램 1.0", L"--folder", L"{temp}\\e2e_임시"}));
  EXPECT_EQ(Text(main_), L"한글 설치 프로그램 1.0");
  EXPECT_EQ(Text(Item(IDC_FOLDER)), TempW() + L"\\e2e_임시");
  EXPECT_EQ(Progress(), 0);
  ExpectTextsFit(main_);
  Extract(Case(L"받을 곳\\하위 폴더"));
  ASSERT_NE(stub_->WaitForWindow(IsMessageBox), nullptr);
  EXPECT_EQ(Progress(), 100);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kAllExtracted));
  ExpectStandardFiles(Case(L"받을 곳\\하위 폴더"));
  EXPECT_FALSE(FileExists(TempW() + L"\\e2e_임시"));
}

// Folders that the check refuses: the message, nothing written, the box keeps the text and the
// dialog stays. An empty box then means the folder the program was started in: the box shows
// it and the files go there. One that cannot be created there (a folder of its name is in the
// way) is told with its path, the others are still written, the pass ends with the failure
// message, and the dialog is idle again; Escape then ends it, with exit code 0.
TEST_F(UnpackerTest, InvalidFoldersAreRefused) {
  StandardSource();
  SHCreateDirectoryExW(nullptr, Case(L"start\\readme.txt").c_str(), nullptr);
  ASSERT_NO_FATAL_FAILURE(PackAndLaunch({L"--overwrite", L"--folder", Dest()}));
  EXPECT_EQ(Text(main_), L"Pakko EXE");
  for (const wchar_t* bad : {L"\\a?b", L"\\blank \\x", L" ", L"\\\\twice", L"\\a<b>", L"\\a|b"}) {
    SCOPED_TRACE(bad);
    Extract(Dest() + bad);
    ExpectMessage(L"폴더이름이 잘못되었습니다.");
    ExpectIdle();
    EXPECT_EQ(Text(Item(IDC_FOLDER)), Dest() + bad);
  }
  Extract(L"");
  ExpectMessage(Case(L"start\\readme.txt") + L" : 파일을 열 수 없습니다.");
  ExpectMessage(L"파일의 압축을 풀 수 없습니다.");
  ExpectIdle();
  EXPECT_EQ(Text(Item(IDC_FOLDER)), Case(L"start"));
  EXPECT_TRUE(ReadFileBytes(Case(L"start\\sub\\data.bin")) == standard_[1].second);
  EXPECT_FALSE(FileExists(Dest()));
  PressKey(main_, VK_ESCAPE);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
}

// The folder picker, owned by the dialog, shows its title. Cancelled, it puts the destination
// back over what was typed; confirmed on the folder it opens with, the box shows that folder,
// and it becomes the working folder of the program started after extraction.
TEST_F(UnpackerTest, FolderPicker) {
  SourceRecordRun();
  ASSERT_NO_FATAL_FAILURE(PackAndLaunch({L"--folder", Dest(), L"--run", L"record_run.exe"}));
  Type(Item(IDC_FOLDER), Case(L"typed"));
  wchar_t desktop[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
  for (const int button : {IDCANCEL, IDOK}) {
    Click(Item(IDC_BROWSE));
    HWND picker = Wait([](HWND w) { return IsDialog(w) && FindWindowExW(w, 0, WC_TREEVIEWW, 0); });
    ASSERT_NE(picker, nullptr) << "no folder picker";
    EXPECT_EQ(GetWindow(picker, GW_OWNER), main_);
    EXPECT_TRUE(ShowsText(picker, L"압축 풀 폴더를 선택하세요"));
    Sleep(300);  // the tree has selected its folder
    PostMessageW(picker, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(picker); }));
    const std::wstring shown = button == IDOK ? desktop : Dest();
    EXPECT_TRUE(WaitFor([&] { return Text(Item(IDC_FOLDER)) == shown; }, 3000))
        << Text(Item(IDC_FOLDER));
  }
  Extract(Dest());
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kAllExtracted));
  ASSERT_TRUE(WaitFor([&] { return !RunLog().empty(); }, 5000));
  EXPECT_EQ(RunLog(), Record(L"<dest>record_run.exe ", desktop, L"<dest>record_run.exe"));
}

// --- The overwrite question and the password ---------------------------------------------------

// a.txt to d.txt are packed; a, b and c are already in the destination, older and smaller, and
// e.txt only there. Each existing file is asked about unless the overwrite box is checked; with
// "모든 파일에 적용" the first answer holds for the rest; yes replaces, no and Escape keep.
struct OverwriteCase {
  const char* name;
  bool overwriteOption;  // the box starts checked
  bool toggleBox;        // the user clicks it before extracting
  const char* answers;   // to the questions about a, b, c: Yes, No, Escape; * applies to all
  const char* newer;     // which of a to e end up replaced
};

class OverwriteTest : public UnpackerTest, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(OverwriteTest, Answers) {
  const OverwriteCase& c = GetParam();
  const SYSTEMTIME old{2020, 2, 0, 3, 0, 0, 0, 0};  // midnight: shown without a time
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"d.txt"})
    Source(name, "new" + std::string(1231, '.'));
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"e.txt"})
    MakeFile(Dest(name), "old", old);
  std::vector<std::wstring> options{L"--folder", Dest()};
  if (c.overwriteOption) options.push_back(L"--overwrite");
  ASSERT_NO_FATAL_FAILURE(PackAndLaunch(options));
  EXPECT_EQ(Checked(Item(IDC_OVERWRITE)), c.overwriteOption);
  if (c.toggleBox) Click(Item(IDC_OVERWRITE));
  ASSERT_TRUE(
      WaitFor([&] { return Checked(Item(IDC_OVERWRITE)) == (c.overwriteOption != c.toggleBox); }));
  Click(Item(IDOK));
  wchar_t asked = L'a';
  for (const char* answer = c.answers; *answer; ++answer, ++asked) {
    SCOPED_TRACE(std::wstring{asked});
    HWND question = Wait(IsOverwrite);
    ASSERT_NE(question, nullptr);
    auto text = [&](int id) { return Text(GetDlgItem(question, id)); };
    EXPECT_EQ(text(IDC_EXISTING_NAME), std::wstring{asked} + L".txt");
    if (asked == L'a') {
      EXPECT_EQ(Text(question), L"파일 바꾸기 확인");
      EXPECT_EQ(GetWindow(question, GW_OWNER), main_);
      EXPECT_EQ(text(IDC_EXISTING_SIZE), L"3바이트");
      EXPECT_EQ(text(IDC_EXISTING_DATE), LocaleDateTime(old));
      EXPECT_EQ(text(IDC_NEW_SIZE), L"1,234바이트");
      EXPECT_EQ(text(IDC_NEW_DATE), LocaleDateTime(kEntryTime));
      ExpectTextsFit(question);
    }
    HWND all = GetDlgItem(question, IDC_APPLY_TO_ALL);  // unchecked, unless clicked
    if (answer[1] == '*') Click(all);
    ASSERT_TRUE(WaitFor([&] { return Checked(all) == (answer[1] == '*'); }));
    *answer == 'E' ? PressKey(question, VK_ESCAPE)
                   : Click(GetDlgItem(question, *answer == 'Y' ? IDOK : IDCANCEL));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(question); })) << "the question stays";
    answer += answer[1] == '*';
  }
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kAllExtracted));  // asked nothing more
  for (const wchar_t name : std::wstring(L"abcde"))
    EXPECT_EQ(ReadFileBytes(Dest(name + std::wstring(L".txt"))).substr(0, 3),
              std::strchr(c.newer, name) ? "new" : "old")
        << char(name);
}

const OverwriteCase kOverwriteCases[] = {
    {"AskedForEachExistingFile", false, false, "YNE", "ad"},
    {"YesToAll", false, false, "Y*", "abcd"},
    {"BoxClearedThenNoToAll", true, true, "N*", "d"},
    {"BoxCheckedAsksNothing", false, true, "", "abcd"},
};
INSTANTIATE_TEST_SUITE_P(Rows, OverwriteTest, ::testing::ValuesIn(kOverwriteCases), kRowName);

// One row: the archive's password and what the user does, step by step: 'O' types a password
// and clicks 확인, 'R' types one and presses Enter, 'E' presses Escape (which the dialog
// ignores), 'C' clicks the close box, 'X' clicks "압축풀기" again. The right password is asked
// once, for the first entry. Three wrong ones, or the close box, stop the pass without a
// message and without a file, and the dialog stays idle.
struct PasswordCase {
  const char* name;
  std::wstring password;
  std::vector<std::pair<char, std::wstring>> steps;
};

class PasswordTest : public UnpackerTest, public ::testing::WithParamInterface<PasswordCase> {
 protected:
  void ExpectStopped() {
    EXPECT_FALSE(WaitFor(
        [&] { return stub_->MessageBoxShowing() || !stub_->Windows(IsPassword, true).empty(); },
        1500));
    ExpectIdle();
    EXPECT_FALSE(FileExists(Dest()));
  }
};

TEST_P(PasswordTest, Steps) {
  const PasswordCase& c = GetParam();
  StandardSource();
  // A wrong password passes traditional encryption's one-byte check once in 256 tries: the
  // archive is built again until mksfx --test refuses each wrong one of the row at that check.
  for (int built = 0, passed = 1; passed; ++built) {
    ASSERT_LT(built, 5) << "a wrong password keeps passing the check";
    ASSERT_NO_FATAL_FAILURE(Pack({L"--password", c.password, L"--folder", Dest()}));
    passed = 0;
    for (const auto& [step, typed] : c.steps) {
      std::string output;
      if (typed != c.password && !typed.empty())
        Mksfx({L"--test", Case(L"setup.exe"), L"--password", typed}, &output);
      passed += output.find("CRC-32") != std::string::npos;
    }
  }
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDOK));
  for (const auto& [step, typed] : c.steps) {
    SCOPED_TRACE(step);
    if (step == 'X') {
      ExpectStopped();
      Click(Item(IDOK));
      continue;
    }
    HWND dialog = Wait(IsPassword);
    ASSERT_NE(dialog, nullptr) << "no password dialog";
    EXPECT_EQ(Text(dialog), L"암호를 입력하세요");
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), main_);
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    ExpectTextsFit(dialog);
    Type(GetDlgItem(dialog, IDC_PASSWORD), typed, false);
    if (step == 'E' || step == 'R') PressKey(dialog, step == 'E' ? VK_ESCAPE : VK_RETURN);
    if (step == 'O') Click(GetDlgItem(dialog, IDOK));
    if (step == 'C') CloseBox(dialog);
    // Escape leaves the dialog as it is (given time enough to close); the others close it.
    ASSERT_EQ(WaitFor([&] { return !IsWindow(dialog); }, step == 'E' ? 700 : 10000), step != 'E');
  }
  if (c.steps.back().first == 'C') {  // stopped; the close box then ends the idle dialog
    ExpectStopped();
    CloseBox(main_);
    ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  } else {
    ASSERT_NO_FATAL_FAILURE(ExpectEnded(kAllExtracted));  // asked nothing more
    ExpectStandardFiles(Dest());
  }
}

const std::wstring kRight = L"비밀 Pw9", kLong = std::wstring(70, L'p') + L"123456789";
const PasswordCase kPasswordCases[] = {
    {"RightAtTheFirstTry", kRight, {{'O', kRight}}},
    {"WrongThenRightWithEnter", kRight, {{'O', L"wrong"}, {'R', kRight}}},
    {"ThreeWrongStopThePass",
     kRight,
     {{'O', L"one"}, {'O', L"x"}, {'O', L"비밀 pw9"}, {'X', L""}, {'O', kRight}}},
    {"EscapeIgnoredCloseBoxStops", kRight, {{'E', L""}, {'C', L""}}},
    // Of 100 characters typed, the first 79 are the password.
    {"PasswordBoxTakes79Bytes", kLong, {{'O', kLong + std::wstring(21, L'x')}}},
};
INSTANTIATE_TEST_SUITE_P(Rows, PasswordTest, ::testing::ValuesIn(kPasswordCases), kRowName);

// --- A long extraction -----------------------------------------------------------------------

// 128 MiB of noise that deflate halves, then a small file: seconds of work for the unpacker.
class LongExtractionTest : public UnpackerTest {
 protected:
  static constexpr size_t kBigSize = size_t(128) << 20;
  void SetUp() override {
    UnpackerTest::SetUp();
    Source(L"1_big.bin", Noise(7, kBigSize));
    Source(L"2_tail.txt", "the end");
    ASSERT_NO_FATAL_FAILURE(PackAndLaunch({L"--level", L"1", L"--folder", Dest()}));
    Click(Item(IDOK));
    ASSERT_TRUE(WaitFor([&] { return Progress() >= 1; })) << "the extraction does not start";
  }
  uint64_t Written() { return Attributes(Dest(L"1_big.bin")).nFileSizeLow; }
};

// "닫기" during the extraction cancels it: the controls that would start another pass are off,
// the information message comes, the dialog ends, and nothing after the partial file is written.
TEST_F(LongExtractionTest, CloseCancels) {
  for (int id : {IDOK, IDC_FOLDER, IDC_BROWSE, IDC_OVERWRITE, IDCANCEL, IDC_ABOUT})
    EXPECT_EQ(IsWindowEnabled(Item(id)), id == IDCANCEL || id == IDC_ABOUT) << id;
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kCancelled, Icon::Information));
  EXPECT_GT(Written(), 0u);
  EXPECT_LT(Written(), kBigSize);
  const FILETIME partial = Attributes(Dest(L"1_big.bin")).ftLastWriteTime;
  const FILETIME entry = Attributes(Case(L"src\\1_big.bin")).ftLastWriteTime;
  EXPECT_EQ(CompareFileTime(&partial, &entry), 0) << "the partial file keeps the entry's time";
  EXPECT_FALSE(FileExists(Dest(L"2_tail.txt")));
}

// "버전 정보" during the extraction opens the about box, and the pass stands still until it is
// closed: the bar (in its own colour) and the file stop growing, then go on. The close box
// then cancels like "닫기".
TEST_F(LongExtractionTest, AboutBoxPausesTheExtraction) {
  ASSERT_TRUE(WaitFor([&] { return Progress() >= 3; }));
  // The colour asked for; Wine's default theme draws the bar in its own colour, so the pixels
  // are left to the screenshots, which are taken without the theme.
  EXPECT_EQ(Send(Item(IDC_PROGRESS), PBM_GETBARCOLOR), RGB(48, 144, 207));
  Click(Item(IDC_ABOUT));
  HWND about = Wait(IsAbout);
  ASSERT_NE(about, nullptr) << "no about box";
  EXPECT_EQ(Text(about), L"버전정보");
  EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
  EXPECT_EQ(Text(GetDlgItem(about, IDC_EDITION)), L"공개 버전");
  EXPECT_TRUE(ShowsText(about, L"Pakko EXE - zip 모듈 v2.0\n"));
  ExpectTextsFit(about);
  Sleep(300);
  const int position = Progress();
  const uint64_t written = Written();
  Sleep(1200);  // nothing to wait for: the pass must not move meanwhile
  EXPECT_EQ(Progress(), position);
  EXPECT_EQ(Written(), written);
  Click(GetDlgItem(about, IDCANCEL));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(about); })) << "확인 does not close it";
  EXPECT_TRUE(WaitFor([&] { return Written() > written; }, 5000)) << "the pass does not go on";
  CloseBox(main_);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kCancelled, Icon::Information));
}

// --- The run command -------------------------------------------------------------------------

// One row: the option block's run command and what record_run.exe then saw.
struct RunCase {
  const char* name;
  const wchar_t* run;
  std::wstring program, command;
};

class RunCommandTest : public UnpackerTest, public ::testing::WithParamInterface<RunCase> {};

// After an automatic extraction the command is started once: the first attempt relative to the
// destination (which wins over the search path), else the command as it stands; "|" splits
// program and arguments, "><" is the destination with its backslash, the folder macros are
// expanded; the working folder is the one the unpacker was started in.
TEST_P(RunCommandTest, StartsTheProgram) {
  SourceRecordRun();
  ASSERT_NO_FATAL_FAILURE(
      PackAndLaunch({L"--auto", L"--folder", Dest(), L"--run", GetParam().run}, true));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ASSERT_TRUE(WaitFor([&] { return !RunLog().empty(); }, 5000)) << "nothing was started";
  Sleep(200);  // a second start would show by now
  EXPECT_EQ(RunLog(), Record(GetParam().command, Case(L"start"), GetParam().program));
}

const RunCase kRunCases[] = {
    {"ProgramAndArguments", L"record_run.exe|/S ><readme.txt", L"<dest>record_run.exe",
     L"<dest>record_run.exe /S <dest>readme.txt"},
    {"FolderMacros", L"{dest}record_run.exe|{temp}\\x {DEST}y", L"<dest>record_run.exe",
     L"<dest>\\record_run.exe " + TempW() + L"\\x <dest>\\y"},
    {"FoundOnTheSearchPath", L"found_on_path.exe|><", kWork + L"\\tools\\found_on_path.exe",
     L"found_on_path.exe <dest>"},
    {"KoreanArguments", L"record_run.exe|설명서 ><한글.txt", L"<dest>record_run.exe",
     L"<dest>record_run.exe 설명서 <dest>한글.txt"},
};
INSTANTIATE_TEST_SUITE_P(Rows, RunCommandTest, ::testing::ValuesIn(kRunCases), kRowName);

// With WaitThenDelete the dialog stays, idle, while the program runs; when it ends, the files
// the extraction wrote are deleted (the program itself among them), and the folders, a file
// that existed before and was kept, and a file not in the archive remain.
TEST_F(UnpackerTest, WaitThenDeleteRemovesWhatWasWritten) {
  SourceRecordRun();
  Source(L"sub\\data.bin", Noise(2, 5000));
  Source(L"keep.txt", "new keep");
  SHCreateDirectoryExW(nullptr, Case(L"src\\empty").c_str(), nullptr);
  MakeFile(Dest(L"keep.txt"), "old keep");
  MakeFile(Dest(L"other.txt"), "not in the archive");
  SetEnvironmentVariableW(L"RECORD_RUN_RELEASE", Case(L"release").c_str());
  ASSERT_NO_FATAL_FAILURE(
      PackAndLaunch({L"--wait-delete", L"--run", L"record_run.exe|><", L"--folder", Dest()}));
  Click(Item(IDOK));
  Click(GetDlgItem(Wait(IsOverwrite), IDCANCEL));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_TRUE(WaitFor([&] { return !RunLog().empty(); })) << "the program did not start";
  EXPECT_EQ(RunLog(),
            Record(L"<dest>record_run.exe <dest>", Case(L"start"), L"<dest>record_run.exe"));
  Sleep(500);  // time to end, which it must not: the dialog stays, idle, while the program runs
  ExpectIdle();
  EXPECT_TRUE(ReadFileBytes(Dest(L"sub\\data.bin")) == Noise(2, 5000));
  ASSERT_TRUE(WriteFileBytes(Case(L"release"), ""));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  for (const wchar_t* gone : {L"record_run.exe", L"sub\\data.bin"})
    EXPECT_FALSE(FileExists(Dest(gone)));
  for (const wchar_t* kept : {L"sub", L"empty"}) EXPECT_TRUE(FileExists(Dest(kept)));
  EXPECT_EQ(ReadFileBytes(Dest(L"keep.txt")), "old keep");
  EXPECT_EQ(ReadFileBytes(Dest(L"other.txt")), "not in the archive");
}

// Not a test: pictures of the four dialogs for the documentation, taken with --screenshots
// FOLDER as BMP files: the main dialog halfway through an extraction while the overwrite
// question waits (moved aside), that question, the about box, and the password dialog with a
// few characters typed.
TEST_F(UnpackerTest, DISABLED_Screenshots) {
  auto shot = [](HWND window, const char* name) {
    Sleep(700);  // drawn
    EXPECT_TRUE(SaveWindowImage(window, screenshots + "\\unpacker-" + name + ".bmp")) << name;
  };
  const std::wstring dest = L"C:\\압축 예제";  // short, so that the folder box shows it whole
  Source(L"1_data.bin", Noise(3, 12 << 20));
  Source(L"2_설명서.txt", std::string(48213, 'x'));
  Source(L"3_data.bin", Noise(4, 12 << 20));
  MakeFile(dest + L"\\2_설명서.txt", std::string(20480, 'y'), {2023, 11, 0, 20, 9, 30, 0, 0});
  ASSERT_NO_FATAL_FAILURE(PackAndLaunch({L"--level", L"1"}));
  Extract(dest);
  HWND question = Wait(IsOverwrite);
  SetWindowPos(question, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  shot(main_, "main");
  shot(question, "overwrite");
  Click(GetDlgItem(question, IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kAllExtracted));
  RemoveTree(dest);
  ASSERT_NO_FATAL_FAILURE(PackAndLaunch({L"--password", L"secret"}));
  Click(Item(IDC_ABOUT));
  HWND about = Wait(IsAbout);
  shot(about, "about");
  Click(GetDlgItem(about, IDCANCEL));
  Extract(Dest());
  HWND password = Wait(IsPassword);
  Type(GetDlgItem(password, IDC_PASSWORD), L"secret", false);
  shot(password, "password");
  CloseBox(password);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(password); }));
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--screenshots") {
    screenshots = argv[2];
    GTEST_FLAG_SET(filter, "*Screenshots");
    GTEST_FLAG_SET(also_run_disabled_tests, true);
  }
  // The display has no window manager, and Wine waits two seconds for one whenever a managed
  // window is hidden (every message box and dialog that closes). The programs under test run
  // as setup.exe, which Wine is told to give unmanaged windows.
  const wchar_t* key = L"Software\\Wine\\AppDefaults\\setup.exe\\X11 Driver";
  RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
  // A folder on the search path with two programs: a record_run.exe that one in the
  // destination must win against, and one that only the search finds.
  const std::wstring tools = kWork + L"\\tools";
  SHCreateDirectoryExW(nullptr, tools.c_str(), nullptr);
  for (const wchar_t* name : {L"\\record_run.exe", L"\\found_on_path.exe"})
    CopyFileW(Tool("RECORD_RUN_EXE").c_str(), (tools + name).c_str(), FALSE);
  SetEnvironmentVariableW(L"PATH", (tools + L";" + _wgetenv(L"PATH")).c_str());
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  RemoveTree(tools);
  RemoveDirectoryW(kWork.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, key);
  return status;
}

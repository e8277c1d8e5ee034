// Real self-extracting programs, built by mksfx.exe from folders the test makes, started and
// driven through their windows under Wine as a user would drive them: the main dialog, the
// password, overwrite and about dialogs, the folder picker, message boxes, files on disk, exit
// codes, and what the program started after extraction saw.
//
// Environment, set by CTest (Unix paths):
//   MKSFX_EXE       the Windows builder; it embeds the unpacker of the same build tree
//   UNPACKER_EXE    that unpacker, whose size tells where a built file's ZIP data begins
//   RECORD_RUN_EXE  the program the archives start after extraction (record_run.cpp)
// With --screenshots FOLDER the program instead saves pictures of the four dialogs as BMP files.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "tests/wine/support/window_driver.h"
#include "unpacker/resources/resource.h"

using namespace window_driver;
using Icon = MessageBoxSeen::Icon;

namespace {

// The texts as the user must see them; written out here rather than taken from the program.
constexpr char kAllExtracted[] = "모든 파일의 압축을 풀었습니다.";
constexpr char kCancelled[] = "작업이 취소되었습니다.";
constexpr char kInvalidFolder[] = "폴더이름이 잘못되었습니다.";
constexpr char kUnreadable[] = "압축 파일을 읽을 수 없습니다.";

// Every file the tests pack carries this time unless it says otherwise.
constexpr char kEntryTime[] = "2021-05-06 13:08:10";

std::wstring W(const std::string& utf8) {
  std::wstring text(utf8.size(), L'\0');
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), int(text.size()));
  text.resize(size_t(length));
  return text;
}

std::string Utf8(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A Unix path as Wine's drive Z: sees it.
std::wstring WindowsPath(const std::string& path) {
  std::wstring out = L"Z:" + W(path);
  for (wchar_t& c : out) {
    if (c == L'/') c = L'\\';
  }
  return out;
}

// The temporary folder without its trailing backslash, as the folder macro {temp} gives it.
std::wstring TempFolderW() {
  wchar_t folder[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder, n > 0 && folder[n - 1] == L'\\' ? n - 1 : n);
}

std::wstring WorkFolder() {
  return TempFolderW() + L"\\unpacker_e2e";
}

// Bytes that deflate can shrink only by half or so, and that a text conversion would change.
std::string Noise(uint32_t seed, size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = char(i < 256 ? i : (state >> 24) & 0x0F);
  }
  return bytes;
}

// --- Files -----------------------------------------------------------------------------------

void MakeFolders(const std::wstring& folder) {
  for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1))
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "YYYY-MM-DD hh:mm:ss" local time <-> a file's last-write time.
void SetLocalWriteTime(const std::wstring& path, const char* when) {
  SYSTEMTIME st{};
  std::sscanf(when, "%hu-%hu-%hu %hu:%hu:%hu", &st.wYear, &st.wMonth, &st.wDay, &st.wHour,
              &st.wMinute, &st.wSecond);
  FILETIME local, utc;
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &utc);
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
}

std::string LocalWriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return "<missing>";
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &st);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                st.wHour, st.wMinute, st.wSecond);
  return text;
}

// A date and time as the overwrite question shows it: the locale's short date, and unless it is
// midnight a blank and the locale's time.
std::wstring LocaleDateTime(const char* when) {
  SYSTEMTIME st{};
  std::sscanf(when, "%hu-%hu-%hu %hu:%hu:%hu", &st.wYear, &st.wMonth, &st.wDay, &st.wHour,
              &st.wMinute, &st.wSecond);
  wchar_t date[64] = L"", time[64] = L"";
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 64);
  if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0) return date;
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 64);
  return std::wstring(date) + L" " + time;
}

uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

void MakeFile(const std::wstring& path, const std::string& bytes, const char* when = kEntryTime) {
  MakeFolders(path.substr(0, path.rfind(L'\\')));
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << Utf8(path);
  if (when) SetLocalWriteTime(path, when);
}

// Compares file contents without printing megabytes when they differ.
::testing::AssertionResult HasBytes(const std::wstring& path, const std::string& expected) {
  if (!FileExists(path)) return ::testing::AssertionFailure() << Utf8(path) << " is missing";
  const std::string actual = ReadFileBytes(path);
  if (actual == expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << Utf8(path) << ": " << actual.size() << " bytes, " << expected.size()
         << " expected, starting " << actual.substr(0, 20);
}

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring Quote(const std::wstring& argument) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// --- The unpacker's windows ------------------------------------------------------------------

bool IsMain(HWND w) {
  return IsDialog(w) && GetDlgItem(w, IDC_PROGRESS);
}
bool IsPassword(HWND w) {
  return IsDialog(w) && GetDlgItem(w, IDC_PASSWORD) && !GetDlgItem(w, IDC_PROGRESS);
}
bool IsOverwrite(HWND w) {
  return IsDialog(w) && GetDlgItem(w, IDC_APPLY_TO_ALL);
}
bool IsAbout(HWND w) {
  return IsDialog(w) && GetDlgItem(w, IDC_EDITION);
}
bool IsFolderPicker(HWND w) {
  return IsDialog(w) && FindWindowExW(w, nullptr, L"SysTreeView32", nullptr);
}

int ProgressOf(HWND bar) {
  DWORD_PTR position = 0;
  SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &position);
  return int(position);
}

bool Checked(HWND box) {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
  return state == BST_CHECKED;
}

// Every line of text on a dialog's statics, buttons and check boxes fits its control, measured
// in the dialog font (굴림 9 pt, which the test prefix draws with NanumGothic): nothing is cut
// or wrapped where the template did not mean it.
void ExpectTextsFit(HWND dialog) {
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontW(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                           FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH, W("굴림").c_str());
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics;
  GetTextMetricsW(dc, &metrics);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[32] = L"";
    GetClassNameW(child, kind, 32);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    RECT client;
    GetClientRect(child, &client);
    int room = client.right;
    if (lstrcmpiW(kind, L"Button") == 0) {
      const LONG type = style & BS_TYPEMASK;
      if (type == BS_GROUPBOX) continue;
      const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                       type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
      room -= box ? 13 + 4 : 2 * 3;  // the check box and its gap, or the button's edges
    } else if (lstrcmpiW(kind, L"Static") == 0) {
      const LONG type = style & SS_TYPEMASK;
      if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP)
        continue;
    } else {
      continue;
    }
    const std::wstring shown = Text(child);
    std::wstring text;
    for (const wchar_t* c = shown.c_str(); *c; ++c) {
      if (*c == L'&' && c[1]) ++c;  // a mnemonic's ampersand takes no room
      text += *c;
    }
    int lines = 0;
    for (size_t from = 0; from <= text.size(); ++lines) {
      size_t end = text.find(L'\n', from);
      if (end == std::wstring::npos) end = text.size();
      SIZE size{};
      GetTextExtentPoint32W(dc, text.c_str() + from, int(end - from), &size);
      EXPECT_LE(size.cx, room) << "cut: \"" << Utf8(text.substr(from, end - from)) << "\"";
      from = end + 1;
    }
    if (!text.empty()) {
      EXPECT_LE(lines * metrics.tmHeight, client.bottom)
          << "too many lines: \"" << Utf8(text) << "\"";
    }
  }
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
}

// What the program started after extraction saw, one record per start.
struct RunRecord {
  std::wstring command, folder, program;
};

std::vector<RunRecord> ReadRunRecords(const std::wstring& log) {
  std::vector<RunRecord> records;
  const std::wstring text = W(ReadFileBytes(log));
  size_t from = 0;
  auto line = [&](const wchar_t* key) {
    const std::wstring prefix = std::wstring(key) + L"=";
    const size_t end = text.find(L'\n', from);
    std::wstring value = text.substr(from, end - from);
    from = end == std::wstring::npos ? text.size() : end + 1;
    return value.rfind(prefix, 0) == 0 ? value.substr(prefix.size()) : L"<" + value + L">";
  };
  while (from < text.size()) {
    RunRecord r;
    r.command = line(L"command");
    r.folder = line(L"folder");
    r.program = line(L"program");
    records.push_back(r);
  }
  return records;
}

// --- The fixture -----------------------------------------------------------------------------

// The display has no window manager, and Wine waits two seconds for one whenever a managed
// window is hidden (every message box and dialog that closes). The programs under test run as
// setup.exe, which Wine is told to give unmanaged windows.
constexpr wchar_t kUnmanagedKey[] = L"Software\\Wine\\AppDefaults\\setup.exe\\X11 Driver";

void UnmanagedWindows(bool on) {
  if (!on) {
    RegDeleteKeyW(HKEY_CURRENT_USER, kUnmanagedKey);
    return;
  }
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUnmanagedKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"),
                 2 * sizeof(wchar_t));
  RegCloseKey(key);
}

// Each test has a folder of its own below %TEMP%\unpacker_e2e: src\ is packed into setup.exe,
// start\ is the unpacker's working folder, dest\ the usual destination, run.log the records of
// record_run.exe. The folder stays behind when the test fails.
class UnpackerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UnmanagedWindows(true);
    // A folder on the search path with two programs: a record_run.exe that one in the
    // destination must win against, and one that only the search finds.
    const std::wstring tools = Tools();
    MakeFolders(tools);
    const std::wstring recorder = WindowsPath(Environment("RECORD_RUN_EXE"));
    CopyFileW(recorder.c_str(), (tools + L"\\record_run.exe").c_str(), FALSE);
    CopyFileW(recorder.c_str(), (tools + L"\\found_on_path.exe").c_str(), FALSE);
    wchar_t path[8192] = L"";
    GetEnvironmentVariableW(L"PATH", path, 8192);
    SetEnvironmentVariableW(L"PATH", (tools + L";" + path).c_str());
  }

  static std::wstring Tools() { return WorkFolder() + L"\\tools"; }

  void SetUp() override {
    for (const char* name : {"MKSFX_EXE", "UNPACKER_EXE", "RECORD_RUN_EXE"})
      ASSERT_FALSE(Environment(name).empty()) << name << " names a program the tests need";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = W(std::string(info->test_suite_name()) + "." + info->name());
    for (wchar_t& c : name) {
      if (c == L'/') c = L'_';
    }
    case_ = WorkFolder() + L"\\" + name;
    RemoveTree(case_);
    MakeFolders(case_ + L"\\src");
    MakeFolders(StartFolder());
    SetEnvironmentVariableW(L"RECORD_RUN_LOG", (case_ + L"\\run.log").c_str());
    SetEnvironmentVariableW(L"RECORD_RUN_RELEASE", nullptr);
  }

  void TearDown() override {
    if (stub_ && stub_->Running()) {
      EXPECT_FALSE(stub_->MessageBoxShowing()) << "a message box was left unanswered";
      stub_->Terminate();
      stub_->WaitForExit(5000);
    }
    stub_.reset();
    if (!HasFailure()) RemoveTree(case_);
  }

  std::wstring Case(const std::wstring& name) const { return case_ + L"\\" + name; }
  std::wstring StartFolder() const { return Case(L"start"); }
  std::wstring Dest() const { return Case(L"dest"); }
  std::wstring Dest(const char* utf8Name) const { return Dest() + L"\\" + W(utf8Name); }
  std::wstring Sfx() const { return Case(L"setup.exe"); }
  std::vector<RunRecord> RunRecords() const { return ReadRunRecords(Case(L"run.log")); }

  // A file of the folder to pack, with the entry time unless told otherwise.
  void Source(const char* utf8Name, const std::string& bytes, const char* when = kEntryTime) {
    MakeFile(Case(L"src\\" + W(utf8Name)), bytes, when);
  }

  // Three files in two folders, one with a Korean name.
  struct Packed {
    const char* name;
    std::string bytes;
  };
  std::vector<Packed> StandardFiles() {
    return {{"readme.txt", "Read me first.\r\n"},
            {"sub\\data.bin", Noise(1, 100000)},
            {"한글 이름.txt", "\xEC\x95\x88\xEB\x85\x95 hello"}};
  }
  void StandardSource() {
    for (const Packed& f : StandardFiles()) Source(f.name, f.bytes);
  }
  void ExpectStandardFiles(const std::wstring& folder) {
    for (const Packed& f : StandardFiles()) {
      const std::wstring path = folder + L"\\" + W(f.name);
      EXPECT_TRUE(HasBytes(path, f.bytes));
      EXPECT_EQ(LocalWriteTime(path), kEntryTime) << f.name;
    }
  }

  // Runs mksfx.exe on src\ into setup.exe with the given options.
  void Pack(const std::vector<std::wstring>& options) {
    std::wstring command = Quote(WindowsPath(Environment("MKSFX_EXE")));
    for (const std::wstring& option : options) command += L" " + Quote(option);
    command += L" -o " + Quote(Sfx()) + L" " + Quote(Case(L"src"));
    std::string output;
    const int status = RunToEnd(command, &output);
    ASSERT_EQ(status, 0) << Utf8(command) << "\n" << output;
  }

  // Starts setup.exe in start\; unless `autoExtract`, waits until its main dialog is idle.
  void Launch(bool autoExtract = false) {
    stub_ = std::make_unique<Program>();
    main_ = nullptr;
    ASSERT_TRUE(stub_->Start(Quote(Sfx()), StartFolder())) << "setup.exe did not start";
    if (autoExtract) return;
    main_ = stub_->WaitForWindow(IsMain, 20000);
    ASSERT_NE(main_, nullptr) << "no main dialog";
    // The dialog shows itself before it scans the archive, and its controls are disabled
    // during the scan: idle is when they are enabled again.
    Sleep(150);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); })) << "the scan did not end";
  }

  HWND Item(int id) const { return GetDlgItem(main_, id); }
  HWND Wait(bool (*kind)(HWND), DWORD milliseconds = 15000) const {
    return stub_->WaitForWindow(kind, milliseconds);
  }

  // What comes next: "password", "overwrite", "message", "ended", or "nothing" after the time.
  std::string Next(DWORD milliseconds = 15000) const {
    std::string what = "nothing";
    WaitFor(
        [&] {
          if (!stub_->Windows(IsPassword, true).empty()) what = "password";
          if (!stub_->Windows(IsOverwrite, true).empty()) what = "overwrite";
          if (stub_->MessageBoxShowing()) what = "message";
          if (!stub_->Running()) what = "ended";
          return what != "nothing";
        },
        milliseconds);
    return what;
  }

  MessageBoxSeen Answer() {
    MessageBoxSeen seen;
    EXPECT_TRUE(stub_->AnswerMessageBox(seen)) << "no message box";
    return seen;
  }

  void ExpectMessage(const char* text, Icon icon) {
    const MessageBoxSeen seen = Answer();
    EXPECT_EQ(seen.caption, L"Pakko EXE");
    EXPECT_EQ(seen.text, W(text));
    EXPECT_EQ(seen.icon, icon);
  }

  // The program ends by itself, with exit code 0.
  void ExpectEnded(DWORD milliseconds = 15000) {
    ASSERT_TRUE(stub_->WaitForExit(milliseconds)) << "the unpacker is still running";
    EXPECT_EQ(stub_->ExitCode(), 0u);
  }

  void ExpectIdle() {
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); }, 5000)) << "not idle";
    EXPECT_TRUE(stub_->Running());
    EXPECT_TRUE(IsWindowVisible(main_));
  }

  void TypeFolder(const std::wstring& folder) { Type(Item(IDC_FOLDER), folder); }

  // The password dialog, answered with `password` and its OK button.
  void EnterPassword(const std::string& utf8Password) {
    HWND dialog = Wait(IsPassword);
    ASSERT_NE(dialog, nullptr) << "no password dialog";
    Type(GetDlgItem(dialog, IDC_PASSWORD), W(utf8Password), false);
    Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the password dialog stays";
  }

  std::wstring case_;
  std::unique_ptr<Program> stub_;
  HWND main_ = nullptr;
};

// --- Automatic extraction --------------------------------------------------------------------

// With the automatic flag nothing is asked and nothing is told: the files (contents, times,
// the read-only attribute, an empty folder) are there and the program ends with code 0.
TEST_F(UnpackerTest, AutoExtractIsSilent) {
  StandardSource();
  MakeFolders(Case(L"src\\empty"));
  SetFileAttributesW(Case(L"src\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_NO_FATAL_FAILURE(Pack({L"--auto", L"--folder", Dest()}));
  ASSERT_NO_FATAL_FAILURE(Launch(true));
  bool messageSeen = false;
  WaitFor(
      [&] {
        messageSeen = messageSeen || stub_->MessageBoxShowing();
        return messageSeen || !stub_->Running();
      },
      20000);
  EXPECT_FALSE(messageSeen) << "no message box with the automatic flag";
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
  EXPECT_TRUE(IsFolder(Dest("empty")));
  EXPECT_TRUE(GetFileAttributesW(Dest("readme.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(RunRecords().empty());
}

// An archive whose first header is damaged: the scan tells it while the dialog appears; the
// automatic extraction then finds nothing, says nothing more, and the dialog ends.
TEST_F(UnpackerTest, AutoExtractOfAnUnreadableArchive) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Pack({L"--auto", L"--folder", Dest()}));
  const uint64_t zipStart = FileSize(WindowsPath(Environment("UNPACKER_EXE"))) + 256;
  std::string bytes = ReadFileBytes(Sfx());
  ASSERT_EQ(bytes.substr(size_t(zipStart), 4), std::string("PK\3\4", 4));
  bytes.replace(size_t(zipStart), 4, "XXXX");
  ASSERT_TRUE(WriteFileBytes(Sfx(), bytes));

  ASSERT_NO_FATAL_FAILURE(Launch(true));
  ASSERT_NE(Wait(IsMain), nullptr) << "the dialog is shown during the scan";
  ExpectMessage(kUnreadable, Icon::Error);
  EXPECT_EQ(Next(5000), "ended");
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_FALSE(FileExists(Dest()));
}

// --- The destination folder ------------------------------------------------------------------

// The default folder of the option block is shown; a folder typed over it (Korean, nested,
// not there yet) is where "압축풀기" puts the files; the success message is a plain box, and
// the dialog ends after it.
TEST_F(UnpackerTest, TypedFolderAndExtract) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Pack({L"--folder", Case(L"default")}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(Text(main_), L"Pakko EXE");
  EXPECT_EQ(Text(Item(IDC_FOLDER)), Case(L"default"));
  EXPECT_FALSE(Checked(Item(IDC_OVERWRITE)));
  EXPECT_EQ(ProgressOf(Item(IDC_PROGRESS)), 0);
  EXPECT_FALSE(stub_->MessageBoxShowing());
  ExpectTextsFit(main_);

  const std::wstring typed = Case(W("받을 곳\\하위 폴더"));
  TypeFolder(typed);
  Click(Item(IDOK));
  ASSERT_EQ(Next(), "message");
  EXPECT_EQ(ProgressOf(Item(IDC_PROGRESS)), 100);
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(typed);
  EXPECT_FALSE(FileExists(Case(L"default")));
}

// Folders that the check refuses: the message, nothing written, the box keeps the text and the
// dialog stays; a good folder afterwards works.
TEST_F(UnpackerTest, InvalidFoldersAreRefused) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Pack({}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  for (const std::wstring& bad : {Dest() + L"\\a?b", Dest() + L"\\blank \\x", Dest() + L" ",
                                  Dest() + L"\\\\twice", Dest() + L"\\a<b>", Dest() + L"\\a|b"}) {
    SCOPED_TRACE(Utf8(bad));
    TypeFolder(bad);
    Click(Item(IDOK));
    ExpectMessage(kInvalidFolder, Icon::Error);
    ExpectIdle();
    EXPECT_EQ(Text(Item(IDC_FOLDER)), bad);
    EXPECT_FALSE(FileExists(Dest()));
  }
  TypeFolder(Dest());
  Click(Item(IDOK));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
}

// An empty folder box means the folder the program was started in: the box shows it and the
// files go there, not to the default folder.
TEST_F(UnpackerTest, EmptyFolderBoxMeansTheStartFolder) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Pack({L"--folder", Case(L"default")}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeFolder(L"");
  Click(Item(IDOK));
  ASSERT_EQ(Next(), "message");
  EXPECT_EQ(Text(Item(IDC_FOLDER)), StartFolder());
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(StartFolder());
  EXPECT_FALSE(FileExists(Case(L"default")));
}

// A file that cannot be created (a folder of its name is in the way, and existing files are to
// be replaced) is told with its path, the other files are still written, and the pass ends
// with the failure message. The dialog is then idle again, and a second try into another
// folder succeeds; with the automatic flag the dialog ends instead.
TEST_F(UnpackerTest, FailedExtractionReturnsToIdle) {
  StandardSource();
  MakeFolders(Dest("readme.txt"));
  const std::wstring cannotOpen = Dest("readme.txt") + W(" : 파일을 열 수 없습니다.");
  ASSERT_NO_FATAL_FAILURE(Pack({L"--overwrite", L"--folder", Dest()}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDOK));
  MessageBoxSeen seen = Answer();
  EXPECT_EQ(seen.text, cannotOpen);
  EXPECT_EQ(seen.icon, Icon::Error);
  ExpectMessage("파일의 압축을 풀 수 없습니다.", Icon::Error);
  ExpectIdle();
  EXPECT_TRUE(HasBytes(Dest("sub\\data.bin"), StandardFiles()[1].bytes));
  TypeFolder(Case(L"second"));
  Click(Item(IDOK));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Case(L"second"));

  ASSERT_NO_FATAL_FAILURE(Pack({L"--auto", L"--overwrite", L"--folder", Dest()}));
  ASSERT_NO_FATAL_FAILURE(Launch(true));
  seen = Answer();
  EXPECT_EQ(seen.text, cannotOpen);
  ExpectMessage("파일의 압축을 풀 수 없습니다.", Icon::Error);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
}

// A caption from the option block titles the dialog (message boxes keep theirs), and a default
// folder made of {temp} and a name shows the temporary folder, one backslash and the name.
TEST_F(UnpackerTest, CaptionAndTempFolderMacro) {
  StandardSource();
  const std::wstring folder = TempFolderW() + W("\\unpacker_e2e_임시");
  RemoveTree(folder);
  ASSERT_NO_FATAL_FAILURE(Pack(
      {L"--caption", W("한글 설치 프로그램 1.0"), L"--folder", W("{temp}\\unpacker_e2e_임시")}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_EQ(Text(main_), W("한글 설치 프로그램 1.0"));
  EXPECT_EQ(Text(Item(IDC_FOLDER)), folder);
  Click(Item(IDOK));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(folder);
  RemoveTree(folder);
}

// Escape and the close box of the idle dialog end it as "닫기" does: no message, nothing
// written, exit code 0. The about box opens while idle too and closes with Escape.
TEST_F(UnpackerTest, EscapeAndCloseBoxWhileIdle) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Pack({L"--folder", Dest()}));

  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDC_ABOUT));
  HWND about = Wait(IsAbout);
  ASSERT_NE(about, nullptr);
  ExpectTextsFit(about);
  PressKey(about, VK_ESCAPE);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(about); })) << "Escape closes the about box";
  ExpectIdle();
  PressKey(main_, VK_ESCAPE);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());

  ASSERT_NO_FATAL_FAILURE(Launch());
  CloseBox(main_);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());

  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_FALSE(FileExists(Dest()));
}

// The folder picker shows its title. Cancelled, it puts the destination back into the box
// over what was typed; confirmed (on the folder it opens with), the box shows that folder and
// it becomes the working folder of the program started after extraction.
TEST_F(UnpackerTest, FolderPicker) {
  StandardSource();
  Source("record_run.exe", ReadFileBytes(WindowsPath(Environment("RECORD_RUN_EXE"))));
  ASSERT_NO_FATAL_FAILURE(Pack({L"--folder", Dest(), L"--run", L"record_run.exe"}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  TypeFolder(Case(L"typed"));
  Click(Item(IDC_BROWSE));
  HWND picker = Wait(IsFolderPicker, 30000);
  ASSERT_NE(picker, nullptr) << "no folder picker";
  bool titleShown = false;
  for (HWND child = GetWindow(picker, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    titleShown = titleShown || Text(child) == W("압축 풀 폴더를 선택하세요");
  EXPECT_TRUE(titleShown);
  EXPECT_EQ(GetWindow(picker, GW_OWNER), main_);
  PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(picker); }));
  EXPECT_TRUE(WaitFor([&] { return Text(Item(IDC_FOLDER)) == Dest(); }, 3000))
      << Utf8(Text(Item(IDC_FOLDER)));

  Click(Item(IDC_BROWSE));
  picker = Wait(IsFolderPicker, 30000);
  ASSERT_NE(picker, nullptr) << "no folder picker";
  Sleep(300);
  PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(picker); }));
  wchar_t desktop[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
  EXPECT_TRUE(WaitFor([&] { return Text(Item(IDC_FOLDER)) == desktop; }, 3000))
      << Utf8(Text(Item(IDC_FOLDER)));

  TypeFolder(Dest());
  Click(Item(IDOK));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
  ASSERT_TRUE(WaitFor([&] { return RunRecords().size() == 1; }, 5000));
  EXPECT_EQ(RunRecords()[0].folder, desktop);
}

// --- The overwrite question ------------------------------------------------------------------

class OverwriteTest : public UnpackerTest {
 protected:
  // a.txt to d.txt in the archive; a, b and c are already in the destination, older and
  // smaller; e.txt only in the destination.
  void Prepare(const std::vector<std::wstring>& options) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
      Source(name, "new " + std::string(name) + std::string(1234 - 9, '.'));
    for (const char* name : {"a.txt", "b.txt", "c.txt", "e.txt"})
      MakeFile(Dest(name), "old", "2020-02-03 00:00:00");
    std::vector<std::wstring> all = options;
    all.insert(all.end(), {L"--folder", Dest()});
    ASSERT_NO_FATAL_FAILURE(Pack(all));
  }
  bool Replaced(const char* name) { return ReadFileBytes(Dest(name)).rfind("new ", 0) == 0; }
  bool Kept(const char* name) { return ReadFileBytes(Dest(name)) == "old"; }

  enum class Reply { Yes, No, Escape };

  // Answers the next overwrite question, which must be about `name`.
  void AnswerQuestion(const char* name, Reply reply, bool applyToAll = false) {
    SCOPED_TRACE(name);
    ASSERT_EQ(Next(), "overwrite");
    HWND question = Wait(IsOverwrite);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(Text(GetDlgItem(question, IDC_EXISTING_NAME)), W(name));
    HWND box = GetDlgItem(question, IDC_APPLY_TO_ALL);
    EXPECT_FALSE(Checked(box));
    if (applyToAll) {
      Click(box);
      ASSERT_TRUE(WaitFor([&] { return Checked(box); }));
    }
    if (reply == Reply::Escape)
      PressKey(question, VK_ESCAPE);
    else
      Click(GetDlgItem(question, reply == Reply::Yes ? IDOK : IDCANCEL));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(question); })) << "the question stays";
  }
};

// Without "모든 파일에 적용" each existing file is asked about: yes replaces it, no and Escape
// keep it, a new file is never asked about, and the end is still a success. The question
// names the file and shows both sizes and dates (a midnight time without its time part), with
// the file type's icon left of each.
TEST_F(OverwriteTest, AskedForEachExistingFile) {
  ASSERT_NO_FATAL_FAILURE(Prepare({}));
  SetFileAttributesW(Dest("a.txt").c_str(), FILE_ATTRIBUTE_READONLY);  // replaced all the same
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDOK));

  ASSERT_EQ(Next(), "overwrite");
  HWND question = Wait(IsOverwrite);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(Text(question), W("파일 바꾸기 확인"));
  EXPECT_EQ(GetWindow(question, GW_OWNER), main_);
  EXPECT_EQ(Text(GetDlgItem(question, IDC_EXISTING_NAME)), L"a.txt");
  EXPECT_EQ(Text(GetDlgItem(question, IDC_EXISTING_SIZE)), W("3바이트"));
  EXPECT_EQ(Text(GetDlgItem(question, IDC_EXISTING_DATE)), LocaleDateTime("2020-02-03 00:00:00"));
  EXPECT_EQ(Text(GetDlgItem(question, IDC_NEW_SIZE)), W("1,234바이트"));
  EXPECT_EQ(Text(GetDlgItem(question, IDC_NEW_DATE)), LocaleDateTime(kEntryTime));
  ExpectTextsFit(question);
  // The file type's icon, drawn at x = 20 beside the top of each size text.
  Sleep(300);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  POINT client{0, 0};
  ClientToScreen(question, &client);
  HDC screen = GetDC(nullptr);
  for (int id : {IDC_EXISTING_SIZE, IDC_NEW_SIZE}) {
    RECT beside;
    GetWindowRect(GetDlgItem(question, id), &beside);
    int drawn = 0;
    for (int y = beside.top - 5; y < beside.top + 27; ++y)
      for (int x = client.x + 20; x < client.x + 52; ++x)
        drawn += (GetPixel(screen, x, y) & 0xFFFFFF) != face;
    EXPECT_GT(drawn, 50) << "no icon left of control " << id;
  }
  ReleaseDC(nullptr, screen);

  ASSERT_NO_FATAL_FAILURE(AnswerQuestion("a.txt", Reply::Yes));
  ASSERT_NO_FATAL_FAILURE(AnswerQuestion("b.txt", Reply::No));
  ASSERT_NO_FATAL_FAILURE(AnswerQuestion("c.txt", Reply::Escape));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_TRUE(Replaced("a.txt"));
  EXPECT_TRUE(Kept("b.txt"));
  EXPECT_TRUE(Kept("c.txt"));
  EXPECT_TRUE(Replaced("d.txt"));
  EXPECT_TRUE(Kept("e.txt"));
  EXPECT_EQ(LocalWriteTime(Dest("a.txt")), kEntryTime);
  EXPECT_EQ(LocalWriteTime(Dest("b.txt")), "2020-02-03 00:00:00");
}

// With "모든 파일에 적용" the first answer holds for every later existing file: yes replaces
// them all, no and Escape keep them all, and nothing more is asked.
TEST_F(OverwriteTest, ApplyToAll) {
  const struct {
    const char* how;
    Reply reply;
    bool replaced;
  } rows[] = {
      {"yes", Reply::Yes, true}, {"no", Reply::No, false}, {"Escape", Reply::Escape, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.how);
    RemoveTree(Dest());
    RemoveTree(Case(L"src"));
    ASSERT_NO_FATAL_FAILURE(Prepare({}));
    ASSERT_NO_FATAL_FAILURE(Launch());
    Click(Item(IDOK));
    ASSERT_NO_FATAL_FAILURE(AnswerQuestion("a.txt", row.reply, true));
    ASSERT_EQ(Next(), "message") << "asked again";
    ExpectMessage(kAllExtracted, Icon::None);
    ASSERT_NO_FATAL_FAILURE(ExpectEnded());
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
      EXPECT_EQ(Replaced(name), row.replaced) << name;
    EXPECT_TRUE(Replaced("d.txt"));
    EXPECT_TRUE(Kept("e.txt"));
  }
}

// The overwrite box: checked before extracting, existing files are replaced without a
// question; checked by the option block and cleared by the user, the question comes back.
TEST_F(OverwriteTest, OverwriteBoxToggled) {
  ASSERT_NO_FATAL_FAILURE(Prepare({}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDC_OVERWRITE));
  ASSERT_TRUE(WaitFor([&] { return Checked(Item(IDC_OVERWRITE)); }));
  Click(Item(IDOK));
  ASSERT_EQ(Next(), "message") << "no question with the box checked";
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) EXPECT_TRUE(Replaced(name));

  RemoveTree(Dest());
  RemoveTree(Case(L"src"));
  ASSERT_NO_FATAL_FAILURE(Prepare({L"--overwrite"}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  EXPECT_TRUE(Checked(Item(IDC_OVERWRITE)));
  Click(Item(IDC_OVERWRITE));
  ASSERT_TRUE(WaitFor([&] { return !Checked(Item(IDC_OVERWRITE)); }));
  Click(Item(IDOK));
  ASSERT_NO_FATAL_FAILURE(AnswerQuestion("a.txt", Reply::No, true));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) EXPECT_TRUE(Kept(name)) << name;
}

// --- Passwords -------------------------------------------------------------------------------

class PasswordTest : public UnpackerTest {
 protected:
  void SetUp() override {
    UnpackerTest::SetUp();
    StandardSource();
    ASSERT_NO_FATAL_FAILURE(Pack({L"--password", W(kPassword), L"--folder", Dest()}));
    ASSERT_NO_FATAL_FAILURE(Launch());
    Click(Item(IDOK));
  }
  static constexpr char kPassword[] = "비밀 Pw9";
};

// The right password at once: asked once for the first entry, the others use it silently.
TEST_F(PasswordTest, RightAtTheFirstTry) {
  HWND dialog = Wait(IsPassword);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Text(dialog), W("암호를 입력하세요"));
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), main_);
  EXPECT_EQ(GetWindowLongW(GetDlgItem(dialog, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD, ES_PASSWORD);
  ExpectTextsFit(dialog);
  ASSERT_NO_FATAL_FAILURE(EnterPassword(kPassword));
  ASSERT_EQ(Next(), "message") << "asked again";
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
}

// A wrong password is asked again; the right one, confirmed with Enter, then opens every entry.
TEST_F(PasswordTest, WrongThenRight) {
  ASSERT_NO_FATAL_FAILURE(EnterPassword("wrong"));
  ASSERT_EQ(Next(), "password");
  HWND dialog = Wait(IsPassword);
  ASSERT_NE(dialog, nullptr);
  Type(GetDlgItem(dialog, IDC_PASSWORD), W(kPassword), false);
  PressKey(dialog, VK_RETURN);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "Enter does not confirm";
  ASSERT_EQ(Next(), "message");
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
}

// Three wrong passwords stop the pass without a message and without a file; the dialog stays,
// and the next "압축풀기" asks again.
TEST_F(PasswordTest, ThreeWrongStopThePass) {
  for (const char* wrong : {"one", "", "비밀 pw9"}) {
    ASSERT_EQ(Next(), "password") << wrong;
    ASSERT_NO_FATAL_FAILURE(EnterPassword(wrong));
  }
  EXPECT_EQ(Next(1500), "nothing");
  ExpectIdle();
  EXPECT_FALSE(FileExists(Dest()));
  Click(Item(IDOK));
  ASSERT_NO_FATAL_FAILURE(EnterPassword(kPassword));
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Dest());
}

// The password box takes 79 bytes: of 100 characters typed, the first 79 are the password.
TEST_F(UnpackerTest, PasswordBoxTakes79Bytes) {
  const std::string password = std::string(70, 'p') + "123456789";
  Source("readme.txt", "locked");
  ASSERT_NO_FATAL_FAILURE(Pack({L"--password", W(password), L"--folder", Dest()}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDOK));
  ASSERT_NO_FATAL_FAILURE(EnterPassword(password + std::string(21, 'x')));
  ASSERT_EQ(Next(), "message") << "the password was not taken";
  ExpectMessage(kAllExtracted, Icon::None);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_TRUE(HasBytes(Dest("readme.txt"), "locked"));
}

// Escape does not close the password dialog; its close box does, which ends the asking and the
// pass without a message; the dialog stays idle.
TEST_F(PasswordTest, EscapeIgnoredCloseBoxStops) {
  HWND dialog = Wait(IsPassword);
  ASSERT_NE(dialog, nullptr);
  PressKey(dialog, VK_ESCAPE);
  Sleep(700);
  EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog)) << "Escape closed the dialog";
  CloseBox(dialog);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the close box does not close it";
  EXPECT_EQ(Next(1500), "nothing");
  ExpectIdle();
  EXPECT_FALSE(FileExists(Dest("readme.txt")));
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
}

// --- A long extraction -----------------------------------------------------------------------

// 128 MiB of noise that deflate halves, then a small file: seconds of work for the unpacker,
// built once for the tests that interrupt it.
class LongExtractionTest : public UnpackerTest {
 protected:
  static constexpr size_t kBigSize = size_t(128) << 20;

  static std::wstring BigSfx() { return WorkFolder() + L"\\long\\setup.exe"; }

  static void SetUpTestSuite() {
    UnpackerTest::SetUpTestSuite();
    const std::wstring folder = WorkFolder() + L"\\long";
    RemoveTree(folder);
    MakeFolders(folder + L"\\src");
    // Repeats of one MiB lie far beyond deflate's 32 KiB window: no cheaper than fresh noise.
    HANDLE h = CreateFileW((folder + L"\\src\\1_big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    const std::string piece = Noise(7, 1 << 20);
    for (size_t done = 0; done < kBigSize; done += piece.size()) {
      DWORD written;
      WriteFile(h, piece.data(), DWORD(piece.size()), &written, nullptr);
    }
    CloseHandle(h);
    SetLocalWriteTime(folder + L"\\src\\1_big.bin", kEntryTime);
    WriteFileBytes(folder + L"\\src\\2_tail.txt", "the end");
    std::string output;
    const int status = RunToEnd(Quote(WindowsPath(Environment("MKSFX_EXE"))) + L" --level 1 -o " +
                                    Quote(BigSfx()) + L" " + Quote(folder + L"\\src"),
                                &output);
    if (status != 0) {
      std::fprintf(stderr, "mksfx failed: %s\n", output.c_str());
      DeleteFileW(BigSfx().c_str());
    }
    DeleteFileW((folder + L"\\src\\1_big.bin").c_str());
  }

  void SetUp() override {
    UnpackerTest::SetUp();
    ASSERT_GT(FileSize(BigSfx()), kBigSize / 4) << "the long archive was not built";
    ASSERT_TRUE(CopyFileW(BigSfx().c_str(), Sfx().c_str(), FALSE));
    ASSERT_NO_FATAL_FAILURE(Launch());
    TypeFolder(Dest());
    Click(Item(IDOK));
    ASSERT_TRUE(WaitFor([&] { return ProgressOf(Item(IDC_PROGRESS)) >= 1; }))
        << "the extraction does not start";
  }

  uint64_t Written() { return FileSize(Dest("1_big.bin")); }
};

// "닫기" during the extraction cancels it: the information message, the dialog ends, the
// partial file keeps the entry's time, and nothing after it is written.
TEST_F(LongExtractionTest, CloseCancels) {
  EXPECT_FALSE(IsWindowEnabled(Item(IDOK)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_FOLDER)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_BROWSE)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_OVERWRITE)));
  EXPECT_TRUE(IsWindowEnabled(Item(IDCANCEL)));
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_ABOUT)));
  Click(Item(IDCANCEL));
  ExpectMessage(kCancelled, Icon::Information);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_GT(Written(), 0u);
  EXPECT_LT(Written(), kBigSize);
  EXPECT_EQ(LocalWriteTime(Dest("1_big.bin")), kEntryTime);
  EXPECT_FALSE(FileExists(Dest("2_tail.txt")));
}

// "버전 정보" during the extraction opens the about box, and the pass stands still until it is
// closed: the bar (in its own colour) and the file stop growing, then go on. The close box
// then cancels like "닫기".
TEST_F(LongExtractionTest, AboutBoxPausesTheExtraction) {
  ASSERT_TRUE(WaitFor([&] { return ProgressOf(Item(IDC_PROGRESS)) >= 3; }));
  // The colour asked for; Wine's default theme draws the bar in its own colour, so the pixels
  // are left to the screenshots, which are taken without the theme.
  DWORD_PTR colour = 0;
  SendMessageTimeoutW(Item(IDC_PROGRESS), PBM_GETBARCOLOR, 0, 0, SMTO_ABORTIFHUNG, 5000, &colour);
  EXPECT_EQ(colour, RGB(48, 144, 207));

  Click(Item(IDC_ABOUT));
  HWND about = Wait(IsAbout);
  ASSERT_NE(about, nullptr) << "no about box";
  EXPECT_EQ(Text(about), W("버전정보"));
  EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
  EXPECT_EQ(Text(GetDlgItem(about, IDC_EDITION)), W("공개 버전"));
  bool firstLineShown = false;
  for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    firstLineShown = firstLineShown || Text(child).rfind(W("Pakko EXE - zip 모듈 v2.0\n"), 0) == 0;
  EXPECT_TRUE(firstLineShown);
  Sleep(300);
  const int position = ProgressOf(Item(IDC_PROGRESS));
  const uint64_t written = Written();
  Sleep(1200);
  EXPECT_EQ(ProgressOf(Item(IDC_PROGRESS)), position);
  EXPECT_EQ(Written(), written);
  EXPECT_LT(written, kBigSize);

  Click(GetDlgItem(about, IDCANCEL));
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(about); })) << "확인 does not close it";
  EXPECT_TRUE(WaitFor([&] { return Written() > written; }, 5000)) << "the pass does not go on";
  CloseBox(main_);  // cancels as "닫기" does
  ExpectMessage(kCancelled, Icon::Information);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
}

// Close while many small stored files are written, where the stored copy does not look at
// Close and the pass notices it between two files: the same cancel message and end, and no
// file is left empty or short behind.
TEST_F(UnpackerTest, CloseBetweenSmallFiles) {
  constexpr int kFiles = 1500;
  auto name = [](int i) {
    wchar_t text[32];
    std::swprintf(text, 32, L"many\\%04d.txt", i);
    return std::wstring(text);
  };
  auto bytes = [](int i) { return std::string(700, char('a' + i % 26)); };
  MakeFolders(Case(L"src\\many"));
  for (int i = 0; i < kFiles; ++i) ASSERT_TRUE(WriteFileBytes(Case(L"src\\" + name(i)), bytes(i)));
  ASSERT_NO_FATAL_FAILURE(Pack({L"--level", L"0", L"--folder", Dest()}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDOK));
  ASSERT_TRUE(WaitFor([&] { return FileExists(Dest() + L"\\" + name(100)); }, 20000));
  Click(Item(IDCANCEL));
  ExpectMessage(kCancelled, Icon::Information);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  int written = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::wstring path = Dest() + L"\\" + name(i);
    if (!FileExists(path)) continue;
    ++written;
    EXPECT_TRUE(HasBytes(path, bytes(i)));
  }
  EXPECT_GT(written, 100);
  EXPECT_LT(written, kFiles) << "the extraction was not cancelled";
}

// --- The run command -------------------------------------------------------------------------

// One row: the option block's run command and what record_run.exe then saw. <dest> stands for
// the destination, <temp> for the temporary folder and <tools> for the folder on the search
// path, all without a trailing backslash.
struct RunCase {
  const char* name;
  const char* run;
  const char* program;
  const char* command;
};

class RunCommandTest : public UnpackerTest, public ::testing::WithParamInterface<RunCase> {
 protected:
  std::wstring Expand(const char* pattern) {
    std::wstring text = W(pattern);
    const std::pair<std::wstring, std::wstring> marks[] = {
        {L"<dest>", Dest()}, {L"<temp>", TempFolderW()}, {L"<tools>", Tools()}};
    for (const auto& [mark, value] : marks)
      for (size_t at; (at = text.find(mark)) != std::wstring::npos;)
        text.replace(at, mark.size(), value);
    return text;
  }
};

// After an automatic extraction the command is started once: the first attempt relative to the
// destination (which wins over the search path), else the command as it stands; "|" splits
// program and arguments, "><" is the destination with its backslash, the folder macros are
// expanded; the working folder is the one the unpacker was started in.
TEST_P(RunCommandTest, StartsTheProgram) {
  const RunCase& c = GetParam();
  Source("readme.txt", "x");
  Source("record_run.exe", ReadFileBytes(WindowsPath(Environment("RECORD_RUN_EXE"))));
  ASSERT_NO_FATAL_FAILURE(Pack({L"--auto", L"--folder", Dest(), L"--run", W(c.run)}));
  ASSERT_NO_FATAL_FAILURE(Launch(true));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ASSERT_TRUE(WaitFor([&] { return !RunRecords().empty(); }, 5000)) << "nothing was started";
  Sleep(200);
  const std::vector<RunRecord> records = RunRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].command, Expand(c.command));
  EXPECT_EQ(records[0].program, Expand(c.program));
  EXPECT_EQ(records[0].folder, StartFolder());
  EXPECT_TRUE(FileExists(Dest("readme.txt")));
}

const RunCase kRunCases[] = {
    {"ProgramAndArguments", "record_run.exe|/S ><readme.txt", "<dest>\\record_run.exe",
     "<dest>\\record_run.exe /S <dest>\\readme.txt"},
    {"NoBar", "record_run.exe", "<dest>\\record_run.exe", "<dest>\\record_run.exe "},
    {"BarAtTheEnd", "record_run.exe|", "<dest>\\record_run.exe", "<dest>\\record_run.exe "},
    {"SecondBarIsAnArgument", "record_run.exe|a|b ><", "<dest>\\record_run.exe",
     "<dest>\\record_run.exe a|b <dest>\\"},
    {"PlaceholderInTheProgram", "><record_run.exe|><><", "<dest>\\record_run.exe",
     "<dest>\\record_run.exe <dest>\\<dest>\\"},
    {"FolderMacros", "{dest}record_run.exe|{temp}\\x {DEST}y", "<dest>\\record_run.exe",
     "<dest>\\\\record_run.exe <temp>\\x <dest>\\\\y"},
    {"FoundOnTheSearchPath", "found_on_path.exe|><", "<tools>\\found_on_path.exe",
     "found_on_path.exe <dest>\\"},
    {"AbsoluteWithTempMacro", "{temp}\\unpacker_e2e\\tools\\found_on_path.exe|1",
     "<tools>\\found_on_path.exe", "<tools>\\found_on_path.exe 1"},
    {"KoreanArguments", "record_run.exe|설명서 ><한글.txt", "<dest>\\record_run.exe",
     "<dest>\\record_run.exe 설명서 <dest>\\한글.txt"},
};
INSTANTIATE_TEST_SUITE_P(Rows, RunCommandTest, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

// With WaitThenDelete the dialog stays, idle, while the program runs; when it ends, the files
// the extraction wrote are deleted (the program itself among them), and the folders, a file
// that existed before and was kept, and a file not in the archive remain.
TEST_F(UnpackerTest, WaitThenDeleteRemovesWhatWasWritten) {
  Source("record_run.exe", ReadFileBytes(WindowsPath(Environment("RECORD_RUN_EXE"))));
  Source("sub\\data.bin", Noise(2, 5000));
  Source("keep.txt", "new keep");
  MakeFolders(Case(L"src\\empty"));
  MakeFile(Dest("keep.txt"), "old keep");
  MakeFile(Dest("other.txt"), "not in the archive");
  const std::wstring release = Case(L"release");
  SetEnvironmentVariableW(L"RECORD_RUN_RELEASE", release.c_str());
  ASSERT_NO_FATAL_FAILURE(
      Pack({L"--wait-delete", L"--run", L"record_run.exe|><", L"--folder", Dest()}));
  ASSERT_NO_FATAL_FAILURE(Launch());
  Click(Item(IDOK));
  ASSERT_EQ(Next(), "overwrite");
  HWND question = Wait(IsOverwrite);
  ASSERT_NE(question, nullptr);
  Click(GetDlgItem(question, IDCANCEL));
  ExpectMessage(kAllExtracted, Icon::None);

  ASSERT_TRUE(WaitFor([&] { return RunRecords().size() == 1; })) << "the program did not start";
  EXPECT_EQ(RunRecords()[0].command, Dest() + L"\\record_run.exe " + Dest() + L"\\");
  Sleep(500);
  EXPECT_TRUE(stub_->Running());
  EXPECT_TRUE(IsWindowVisible(main_)) << "the dialog stays while the program runs";
  EXPECT_TRUE(IsWindowEnabled(Item(IDOK))) << "and is idle";
  EXPECT_TRUE(HasBytes(Dest("sub\\data.bin"), Noise(2, 5000)));
  ASSERT_TRUE(WriteFileBytes(release, ""));

  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_FALSE(FileExists(Dest("record_run.exe")));
  EXPECT_FALSE(FileExists(Dest("sub\\data.bin")));
  EXPECT_TRUE(IsFolder(Dest("sub")));
  EXPECT_TRUE(IsFolder(Dest("empty")));
  EXPECT_TRUE(HasBytes(Dest("keep.txt"), "old keep"));
  EXPECT_TRUE(HasBytes(Dest("other.txt"), "not in the archive"));
}

// --- Screenshots -----------------------------------------------------------------------------

// Pictures of the four dialogs for the documentation, as BMP files in `folder`: the main dialog
// halfway through an extraction while the overwrite question waits (moved aside), that
// question, the password dialog with a few characters typed, and the about box.
int TakeScreenshots(const std::string& folder) {
  const std::wstring work = WorkFolder() + L"\\screenshots";
  RemoveTree(work);
  // A short destination, so that the folder box shows it whole.
  const std::wstring src = work + L"\\src", dest = W("C:\\압축 예제");
  MakeFile(src + L"\\1_data.bin", Noise(3, 12 << 20));
  MakeFile(src + W("\\2_설명서.txt"), std::string(48213, 'x'));
  MakeFile(src + L"\\3_data.bin", Noise(4, 12 << 20));
  MakeFile(dest + W("\\2_설명서.txt"), std::string(20480, 'y'), "2023-11-20 09:30:00");
  const std::wstring mksfx = Quote(WindowsPath(Environment("MKSFX_EXE")));
  std::string output;
  if (RunToEnd(mksfx + L" --level 1 -o " + Quote(work + L"\\plain.exe") + L" " + Quote(src),
               &output) != 0 ||
      RunToEnd(mksfx + L" --password secret -o " + Quote(work + L"\\locked.exe") + L" " +
                   Quote(src + W("\\2_설명서.txt")),
               &output) != 0) {
    std::fprintf(stderr, "mksfx failed: %s\n", output.c_str());
    return 1;
  }
  bool ok = true;
  {
    Program stub;
    stub.Start(Quote(work + L"\\plain.exe"), work);
    HWND main = stub.WaitForWindow(IsMain, 20000);
    Sleep(300);
    Type(GetDlgItem(main, IDC_FOLDER), dest);
    Click(GetDlgItem(main, IDOK));
    HWND question = stub.WaitForWindow(IsOverwrite, 30000);
    SetWindowPos(question, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Sleep(700);
    ok = ok && SaveWindowImage(main, folder + "\\unpacker-main.bmp");
    ok = ok && SaveWindowImage(question, folder + "\\unpacker-overwrite.bmp");
    Click(GetDlgItem(question, IDCANCEL));
    MessageBoxSeen seen;
    stub.AnswerMessageBox(seen, 30000);
    stub.WaitForExit(10000);
  }
  {
    Program stub;
    stub.Start(Quote(work + L"\\locked.exe"), work);
    HWND main = stub.WaitForWindow(IsMain, 20000);
    Sleep(300);
    Click(GetDlgItem(main, IDC_ABOUT));
    HWND about = stub.WaitForWindow(IsAbout, 10000);
    Sleep(700);
    ok = ok && SaveWindowImage(about, folder + "\\unpacker-about.bmp");
    Click(GetDlgItem(about, IDCANCEL));
    WaitFor([&] { return !IsWindow(about); });
    Type(GetDlgItem(main, IDC_FOLDER), work + L"\\locked");
    Click(GetDlgItem(main, IDOK));
    HWND password = stub.WaitForWindow(IsPassword, 10000);
    Type(GetDlgItem(password, IDC_PASSWORD), L"secret", false);
    Sleep(700);
    ok = ok && SaveWindowImage(password, folder + "\\unpacker-password.bmp");
    CloseBox(password);
    WaitFor([&] { return !IsWindow(password); });
    Click(GetDlgItem(main, IDCANCEL));
    stub.WaitForExit(10000);
  }
  RemoveTree(work);
  RemoveTree(dest);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--screenshots") return TakeScreenshots(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  RemoveTree(WorkFolder() + L"\\tools");
  RemoveTree(WorkFolder() + L"\\long");
  RemoveDirectoryW(WorkFolder().c_str());
  UnmanagedWindows(false);
  return status;
}

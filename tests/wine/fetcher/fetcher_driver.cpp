#include "tests/wine/fetcher/fetcher_driver.h"

#include "fetcher/forms/resource.h"

namespace fetcher_driver {
namespace {

constexpr DWORD kReplyWait = 5000;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyWait, &result);
  return LRESULT(result);
}

bool IsMessageBox(HWND window) {
  wchar_t className[32] = L"";
  GetClassNameW(window, className, 32);
  return lstrcmpW(className, L"#32770") == 0 && GetDlgItem(window, 0xFFFF) != nullptr;
}

bool IsDialog(HWND window) {
  wchar_t className[32] = L"";
  GetClassNameW(window, className, 32);
  return lstrcmpW(className, L"#32770") == 0 && GetDlgItem(window, 0xFFFF) == nullptr;
}

struct Search {
  DWORD processId;
  bool (*accept)(HWND);
  bool visibleOnly;
  const wchar_t* windowClass;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.processId) return TRUE;
  if (search.visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (search.accept && !search.accept(window)) return TRUE;
  if (search.windowClass) {
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    if (lstrcmpW(className, search.windowClass) != 0) return TRUE;
  }
  search.found.push_back(window);
  return TRUE;
}

std::vector<HWND> Find(DWORD processId, bool (*accept)(HWND), bool visibleOnly,
                       const wchar_t* windowClass = nullptr) {
  Search search{processId, accept, visibleOnly, windowClass, {}};
  EnumWindows(Collect, LPARAM(&search));
  return search.found;
}

// Tells the message box's icon from the system's icons by their pixels: icon handles do not
// cross processes, but the screen does.
MessageBoxSeen::Icon IconOf(HWND box) {
  HWND icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[32] = L"";
    GetClassNameW(child, className, 32);
    if (lstrcmpiW(className, L"Static") == 0 &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
      icon = child;
    }
  }
  if (!icon) return MessageBoxSeen::Icon::None;
  RECT rect;
  GetWindowRect(icon, &rect);
  const int size = 32;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  auto capture = [&](auto draw) {
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    draw();
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + size * size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    return pixels;
  };
  const std::vector<DWORD> shown =
      capture([&] { BitBlt(memory, 0, 0, size, size, screen, rect.left, rect.top, SRCCOPY); });
  const COLORREF background = GetPixel(screen, rect.left, rect.top);
  auto reference = [&](LPCWSTR name) {
    return capture([&] {
      HBRUSH brush = CreateSolidBrush(background);
      RECT all{0, 0, size, size};
      FillRect(memory, &all, brush);
      DeleteObject(brush);
      DrawIconEx(memory, 0, 0, LoadIconW(nullptr, name), size, size, 0, nullptr, DI_NORMAL);
    });
  };
  auto distance = [&](const std::vector<DWORD>& other) {
    long total = 0;
    for (int i = 0; i < size * size; ++i) total += (shown[i] & 0xFFFFFF) != (other[i] & 0xFFFFFF);
    return total;
  };
  const long error = distance(reference(MAKEINTRESOURCEW(32513)));        // IDI_ERROR
  const long information = distance(reference(MAKEINTRESOURCEW(32516)));  // IDI_INFORMATION
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (error == information) return MessageBoxSeen::Icon::Unknown;
  return error < information ? MessageBoxSeen::Icon::Error : MessageBoxSeen::Icon::Information;
}

}  // namespace

std::string TempFolder() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return folder;
}

Fetcher::Fetcher(const std::string& programPath, const std::string& name) {
  folder_ = TempFolder() + "fetcher_e2e_" + name + "\\";
  CreateDirectoryA(folder_.c_str(), nullptr);
  program_ = folder_ + "fetcher.exe";
  CopyFileA(programPath.c_str(), program_.c_str(), FALSE);
}

Fetcher::~Fetcher() {
  if (process_.hProcess) {
    if (Running()) {
      Close();
      if (Running()) TerminateProcess(process_.hProcess, 1);
    }
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  // Remove the folder and what the program saved into it.
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder_ + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA((folder_ + entry.cFileName).c_str());
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder_.c_str());
}

void Fetcher::WriteSetting(const char* section, const char* key, const std::string& ansiValue) {
  WritePrivateProfileStringA(section, key, ansiValue.c_str(), SettingsFile().c_str());
}

std::string Fetcher::ReadSetting(const char* section, const char* key) const {
  char value[1024] = "";
  GetPrivateProfileStringA(section, key, "", value, sizeof value, SettingsFile().c_str());
  return value;
}

bool Fetcher::Start() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + program_ + "\"";
  if (!CreateProcessA(program_.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder_.c_str(), &startup, &process_)) {
    return false;
  }
  return WaitFor([&] {
    auto forms = Windows(FETCHER_MAIN_FORM_CLASS, true);
    main_ = forms.empty() ? nullptr : forms[0];
    return main_ != nullptr;
  });
}

bool Fetcher::Close() {
  PostMessageW(main_, WM_CLOSE, 0, 0);
  return WaitForSingleObject(process_.hProcess, 10000) == WAIT_OBJECT_0;
}

bool Fetcher::Running() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND Fetcher::Settings() const {
  auto forms = Windows(FETCHER_SET_FORM_CLASS, false);
  return forms.empty() ? nullptr : forms[0];
}

std::vector<HWND> Fetcher::Windows(const wchar_t* windowClass, bool visibleOnly) const {
  return Find(process_.dwProcessId, nullptr, visibleOnly, windowClass);
}

bool Fetcher::MessageBoxShowing() const {
  return !Find(process_.dwProcessId, IsMessageBox, true).empty();
}

bool Fetcher::AnswerMessageBox(MessageBoxSeen& seen, DWORD milliseconds) {
  HWND box = nullptr;
  if (!WaitFor(
          [&] {
            auto boxes = Find(process_.dwProcessId, IsMessageBox, true);
            box = boxes.empty() ? nullptr : boxes[0];
            return box != nullptr;
          },
          milliseconds)) {
    return false;
  }
  Sleep(200);  // drawn, so that its icon can be seen
  seen.caption = Text(box);
  seen.text = Text(GetDlgItem(box, 0xFFFF));
  seen.icon = IconOf(box);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(box, IDOK)));
  return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

HWND Fetcher::FindDialog(DWORD milliseconds) const {
  HWND dialog = nullptr;
  WaitFor(
      [&] {
        auto dialogs = Find(process_.dwProcessId, IsDialog, true);
        dialog = dialogs.empty() ? nullptr : dialogs[0];
        return dialog != nullptr;
      },
      milliseconds);
  return dialog;
}

std::wstring Text(HWND window) {
  wchar_t text[4096] = L"";
  Send(window, WM_GETTEXT, 4096, LPARAM(text));
  return text;
}

std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  const int count = int(Send(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[1024] = L"";
    Send(list, LB_GETTEXT, WPARAM(i), LPARAM(text));
    items.push_back(text);
  }
  return items;
}

void Click(HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
}

void DoubleClick(HWND list, int index) {
  const int height = int(Send(list, LB_GETITEMHEIGHT, 0, 0));
  const int top = int(Send(list, LB_GETTOPINDEX, 0, 0));
  const int y = (index - top) * height + height / 2;
  const LPARAM at = MAKELPARAM(10, y);
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
  Send(list, WM_NULL, 0, 0);
}

void Type(HWND field, const std::wstring& text) {
  Send(field, WM_SETTEXT, 0, LPARAM(L""));
  for (wchar_t c : text) PostMessageW(field, WM_CHAR, WPARAM(c), 1);
  WaitFor([&] { return Text(field) == text; }, 5000);
}

bool SaveWindowImage(HWND window, const std::string& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = DWORD((width * 3 + 3) & ~3);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + stride * DWORD(height);
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  bytes.append(static_cast<const char*>(bits), stride * DWORD(height));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return WriteFileBytes(path, bytes);
}

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return written == bytes.size();
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace fetcher_driver

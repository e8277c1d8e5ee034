#include "tests/wine/support/window_driver.h"

namespace window_driver {
namespace {

constexpr DWORD kReplyWait = 5000;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kReplyWait, &result);
  return LRESULT(result);
}

std::wstring ClassOf(HWND window) {
  wchar_t className[64] = L"";
  GetClassNameW(window, className, 64);
  return className;
}

struct Search {
  DWORD processId;
  const std::function<bool(HWND)>* accept;
  bool visibleOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.processId) return TRUE;
  if (search.visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (search.accept && *search.accept && !(*search.accept)(window)) return TRUE;
  search.found.push_back(window);
  return TRUE;
}

// The colours of a screen rectangle, top row first, as 0xRRGGBB.
std::vector<DWORD> ScreenPixels(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return {};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  std::vector<DWORD> pixels(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + width * height);
  for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

void ReadAll(HANDLE h, std::string* bytes) {
  if (h == INVALID_HANDLE_VALUE) return;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) bytes->append(buffer, got);
  CloseHandle(h);
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return written == bytes.size();
}

}  // namespace

// A message box is a dialog of buttons and statics whose text is the static with id 0xFFFF. A
// dialog template's own statics may carry that id too (-1 stored in 16 bits), so the id alone
// does not tell: the text static must not be an icon or a frame, and no other kind of control
// may be there.
bool IsMessageBox(HWND window) {
  if (ClassOf(window) != L"#32770") return false;
  HWND text = GetDlgItem(window, 0xFFFF);
  if (!text || lstrcmpiW(ClassOf(text).c_str(), L"Static") != 0) return false;
  const LONG type = GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK;
  if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP &&
      type != SS_SIMPLE)
    return false;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring kind = ClassOf(child);
    if (lstrcmpiW(kind.c_str(), L"Button") != 0 && lstrcmpiW(kind.c_str(), L"Static") != 0)
      return false;
  }
  return true;
}

bool IsDialog(HWND window) {
  return ClassOf(window) == L"#32770" && !IsMessageBox(window);
}

// --- Program -----------------------------------------------------------------------------------

Program::~Program() {
  if (!process_.hProcess) return;
  if (Running()) Terminate();
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

bool Program::Start(const std::wstring& commandLine, const std::wstring& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring writable = commandLine;  // CreateProcessW may write into it
  return CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process_) != FALSE;
}

bool Program::Running() const {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitForExit(DWORD milliseconds) {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_.hProcess) GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

void Program::Terminate() {
  if (process_.hProcess) TerminateProcess(process_.hProcess, 1);
}

std::vector<HWND> Program::Windows(const wchar_t* windowClass, bool visibleOnly) const {
  const std::wstring wanted = windowClass ? windowClass : L"";
  return Windows([&](HWND w) { return wanted.empty() || ClassOf(w) == wanted; }, visibleOnly);
}

std::vector<HWND> Program::Windows(const std::function<bool(HWND)>& accept,
                                   bool visibleOnly) const {
  Search search{process_.dwProcessId, &accept, visibleOnly, {}};
  EnumWindows(Collect, LPARAM(&search));
  return search.found;
}

HWND Program::WaitForWindow(const std::function<bool(HWND)>& accept, DWORD milliseconds) const {
  HWND found = nullptr;
  WaitFor(
      [&] {
        auto windows = Windows(accept, true);
        found = windows.empty() ? nullptr : windows[0];
        return found != nullptr;
      },
      milliseconds);
  return found;
}

bool Program::MessageBoxShowing() const {
  return !Windows(IsMessageBox, true).empty();
}

bool Program::AnswerMessageBox(MessageBoxSeen& seen, DWORD milliseconds, int button) {
  HWND box = WaitForWindow(IsMessageBox, milliseconds);
  if (!box) return false;
  Sleep(200);  // drawn, so that its icon can be seen
  seen.caption = Text(box);
  seen.text = Text(GetDlgItem(box, 0xFFFF));
  seen.icon = MessageBoxIcon(box);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
  return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

HWND Program::FindDialog(DWORD milliseconds) const {
  return WaitForWindow(IsDialog, milliseconds);
}

int RunToEnd(const std::wstring& commandLine, std::string* output, DWORD milliseconds) {
  output->clear();
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring writable = commandLine;
  const bool started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return -1;
  }
  // Read until the program closes its end, so that a full pipe never stalls it.
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got)
    output->append(buffer, got);
  CloseHandle(readEnd);
  DWORD code = DWORD(-1);
  if (WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return int(code);
}

// --- Controls ----------------------------------------------------------------------------------

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

void Type(HWND field, const std::wstring& text, bool wait) {
  Send(field, WM_SETTEXT, 0, LPARAM(L""));
  for (wchar_t c : text) PostMessageW(field, WM_CHAR, WPARAM(c), 1);
  if (wait) WaitFor([&] { return Text(field) == text; }, 5000);
}

void PressKey(HWND window, UINT virtualKey) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  HWND target = window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
    target = info.hwndFocus;
  const LPARAM scanCode = LPARAM(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, WM_KEYDOWN, virtualKey, scanCode | 1);
  PostMessageW(target, WM_KEYUP, virtualKey, scanCode | 1 | (LPARAM(3) << 30));
}

void CloseBox(HWND window) {
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Icon handles do not cross processes, but the screen does: the shown icon is compared pixel by
// pixel with the system's error and information icons drawn on the same background.
MessageBoxSeen::Icon MessageBoxIcon(HWND box) {
  HWND icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiW(ClassOf(child).c_str(), L"Static") == 0 &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
      icon = child;
    }
  }
  // A box without an icon may keep its icon static, empty.
  DWORD_PTR handle = 0;
  if (icon) SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kReplyWait, &handle);
  if (!handle) return MessageBoxSeen::Icon::None;
  RECT rect;
  GetWindowRect(icon, &rect);
  const int size = 32;
  rect.right = rect.left + size;
  rect.bottom = rect.top + size;
  const std::vector<DWORD> shown = ScreenPixels(rect);
  HDC screen = GetDC(nullptr);
  const COLORREF background = GetPixel(screen, rect.left, rect.top);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  auto reference = [&](LPCWSTR name) {
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, size, size};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, LoadIconW(nullptr, name), size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + size * size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    return pixels;
  };
  auto distance = [&](const std::vector<DWORD>& other) {
    long total = 0;
    for (int i = 0; i < size * size && size_t(i) < shown.size(); ++i)
      total += shown[i] != (other[i] & 0xFFFFFF);
    return total;
  };
  const long error = distance(reference(MAKEINTRESOURCEW(32513)));        // IDI_ERROR
  const long information = distance(reference(MAKEINTRESOURCEW(32516)));  // IDI_INFORMATION
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (error == information) return MessageBoxSeen::Icon::Unknown;
  return error < information ? MessageBoxSeen::Icon::Error : MessageBoxSeen::Icon::Information;
}

// --- Pictures ----------------------------------------------------------------------------------

std::vector<DWORD> WindowPixels(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return ScreenPixels(rect);
}

bool SaveWindowImage(HWND window, const std::string& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  const std::vector<DWORD> pixels = ScreenPixels(rect);
  if (pixels.empty()) return false;
  // A BMP lists its rows bottom up, three bytes a pixel (blue, green, red), each row padded to
  // four bytes.
  const DWORD stride = DWORD((width * 3 + 3) & ~3);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + stride * DWORD(height);
  BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
  for (int y = height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
      const DWORD rgb = pixels[size_t(y) * size_t(width) + size_t(x)];
      row[size_t(x) * 3] = char(rgb & 0xFF);
      row[size_t(x) * 3 + 1] = char((rgb >> 8) & 0xFF);
      row[size_t(x) * 3 + 2] = char((rgb >> 16) & 0xFF);
    }
    bytes += row;
  }
  return WriteFileBytes(path, bytes);
}

// --- Files and texts ---------------------------------------------------------------------------

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  ReadAll(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr),
          &bytes);
  return bytes;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  ReadAll(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr),
          &bytes);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  return WriteAll(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
                  bytes);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  return WriteAll(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
                  bytes);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempFolder() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return folder;
}

std::wstring AnsiToWide(const std::string& ansi) {
  std::wstring text(ansi.size(), L'\0');
  const int length =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), text.data(), int(text.size()));
  text.resize(size_t(length > 0 ? length : 0));
  return text;
}

std::string WideToAnsi(const std::wstring& wide) {
  std::string text(wide.size() * 2, '\0');
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), text.data(),
                                         int(text.size()), nullptr, nullptr);
  text.resize(size_t(length > 0 ? length : 0));
  return text;
}

}  // namespace window_driver

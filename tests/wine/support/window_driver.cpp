#include "tests/wine/support/window_driver.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace window_driver {

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
  return LRESULT(result);
}

namespace {

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t className[64] = L"";
  GetClassNameW(window, className, 64);
  return lstrcmpiW(className, name) == 0;
}

BOOL CALLBACK Collect(HWND window, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

// Icon handles do not cross processes, but the screen does: the shown icon is copied beside the
// system's error and information icons drawn on the same background, and compared pixel by pixel.
MessageBoxSeen::Icon MessageBoxIcon(HWND box) {
  HWND icon = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassIs(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child))
      icon = child;
  // A box without an icon may keep its icon static, empty.
  if (!icon || !Send(icon, STM_GETICON)) return MessageBoxSeen::Icon::None;
  RECT shown;
  GetWindowRect(icon, &shown);
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 3 * 32, 32);
  HGDIOBJ old = SelectObject(memory, bitmap);
  SetDCBrushColor(memory, GetPixel(screen, shown.left, shown.top));
  const RECT references{32, 0, 3 * 32, 32};
  FillRect(memory, &references, HBRUSH(GetStockObject(DC_BRUSH)));
  BitBlt(memory, 0, 0, 32, 32, screen, shown.left, shown.top, SRCCOPY);
  for (int id : {32513, 32516})  // IDI_ERROR, IDI_INFORMATION
    DrawIconEx(memory, id == 32513 ? 32 : 64, 0, LoadIconW(nullptr, MAKEINTRESOURCEW(id)), 32, 32,
               0, nullptr, DI_NORMAL);
  long error = 0, information = 0;  // pixels unlike each
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      error += GetPixel(memory, x, y) != GetPixel(memory, 32 + x, y);
      information += GetPixel(memory, x, y) != GetPixel(memory, 64 + x, y);
    }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (error == information) return MessageBoxSeen::Icon::Unknown;
  return error < information ? MessageBoxSeen::Icon::Error : MessageBoxSeen::Icon::Information;
}

}  // namespace

// A message box is a dialog of buttons and statics whose text is the static with id 0xFFFF. A
// dialog template's own statics may carry that id too (-1 stored in 16 bits), so the id alone
// does not tell: the text static must not be an icon or a frame, and no other kind of control
// may be there.
bool IsMessageBox(HWND window) {
  HWND text = GetDlgItem(window, 0xFFFF);
  const LONG type = GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK;
  if (!ClassIs(window, L"#32770") || !text || !ClassIs(text, L"Static") ||
      (type > SS_RIGHT && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP))
    return false;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (!ClassIs(child, L"Button") && !ClassIs(child, L"Static")) return false;
  return true;
}

bool IsDialog(HWND window) {
  return ClassIs(window, L"#32770") && !IsMessageBox(window);
}

// --- Program -----------------------------------------------------------------------------------

Program::~Program() {
  Terminate();  // unless it has ended
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

bool Program::Start(const std::wstring& commandLine, const std::wstring& folder, HANDLE output) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // With `output`: inherited as standard output and error, without a console window.
  startup.dwFlags = output ? STARTF_USESTDHANDLES : 0;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = startup.hStdError = output;
  std::wstring writable = commandLine;  // CreateProcessW may write into it
  return CreateProcessW(nullptr, writable.data(), nullptr, nullptr, output != nullptr,
                        output ? CREATE_NO_WINDOW : 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process_) != FALSE;
}

DWORD Program::ExitCode() const {
  DWORD code;
  return GetExitCodeProcess(process_.hProcess, &code) ? code : STILL_ACTIVE;
}

std::vector<HWND> Program::Windows(const wchar_t* windowClass, bool visibleOnly) const {
  return Windows([&](HWND w) { return !windowClass || ClassIs(w, windowClass); }, visibleOnly);
}

std::vector<HWND> Program::Windows(const std::function<bool(HWND)>& accept,
                                   bool visibleOnly) const {
  std::vector<HWND> all, found;
  EnumWindows(Collect, LPARAM(&all));
  for (HWND window : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process_.dwProcessId && (!visibleOnly || IsWindowVisible(window)) &&
        (!accept || accept(window)))
      found.push_back(window);
  }
  return found;
}

HWND Program::WaitForWindow(const std::function<bool(HWND)>& accept, DWORD milliseconds) const {
  std::vector<HWND> found;
  WaitFor([&] { return !(found = Windows(accept, true)).empty(); }, milliseconds);
  return found.empty() ? nullptr : found[0];
}

bool Program::AnswerMessageBox(MessageBoxSeen& seen, DWORD milliseconds, int button) {
  HWND box = WaitForWindow(IsMessageBox, milliseconds);
  if (!box) return false;
  Sleep(200);  // drawn, so that its icon can be seen
  seen = {Text(box), Text(GetDlgItem(box, 0xFFFF)), MessageBoxIcon(box)};
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
  return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

int RunToEnd(const std::wstring& commandLine, std::string* output, DWORD milliseconds) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return -1;
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  Program program;
  const bool started = program.Start(commandLine, L"", writeEnd);
  CloseHandle(writeEnd);
  // Read until the program closes its end, so that a full pipe never stalls it.
  output->clear();
  char buffer[4096];
  for (DWORD got; started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got;)
    output->append(buffer, got);
  CloseHandle(readEnd);
  return started && program.WaitForExit(milliseconds) ? int(program.ExitCode()) : -1;
}

// --- Controls ----------------------------------------------------------------------------------

std::wstring Text(HWND window) {
  wchar_t text[4096] = L"";
  Send(window, WM_GETTEXT, 4096, LPARAM(text));
  return text;
}

std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  for (int i = 0, count = int(Send(list, LB_GETCOUNT)); i < count; ++i) {
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
  const int height = int(Send(list, LB_GETITEMHEIGHT));
  const LPARAM at = MAKELPARAM(10, (index - Send(list, LB_GETTOPINDEX)) * height + height / 2);
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    PostMessageW(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
  Send(list, WM_NULL);
}

void Type(HWND field, const std::wstring& text, bool wait) {
  Send(field, WM_SETTEXT, 0, LPARAM(L""));
  for (wchar_t c : text) PostMessageW(field, WM_CHAR, WPARAM(c), 1);
  if (wait) WaitFor([&] { return Text(field) == text; }, 5000);
}

void PressKey(HWND window, UINT virtualKey) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
    window = info.hwndFocus;
  const LPARAM scanCode = LPARAM(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(window, WM_KEYDOWN, virtualKey, scanCode | 1);
  PostMessageW(window, WM_KEYUP, virtualKey, scanCode | 1 | (LPARAM(3) << 30));
}

void CloseBox(HWND window) {
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// A BMP lists its rows bottom up, three bytes a pixel (blue, green, red), each row padded to four
// bytes: as GetDIBits gives them.
bool SaveWindowImage(HWND window, const std::string& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof file + sizeof header};
  file.bfSize = file.bfOffBits + DWORD((width * 3 + 3) & ~3) * DWORD(height);
  std::string bytes(file.bfSize, '\0');
  std::memcpy(bytes.data(), &file, sizeof file);
  std::memcpy(bytes.data() + sizeof file, &header, sizeof header);
  const int rows = GetDIBits(memory, bitmap, 0, UINT(height), bytes.data() + file.bfOffBits,
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return rows == height && WriteFileBytes(AnsiToWide(path), bytes);
}

// --- Files and texts ---------------------------------------------------------------------------

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(std::filesystem::path(path), std::ios::binary);
  return file.write(bytes.data(), std::streamsize(bytes.size())).flush().good();
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& path) {
  const std::wstring from = path + L'\0';  // a list of one name
  SHFILEOPSTRUCTW operation{nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, 0, 0, 0};
  SHFileOperationW(&operation);
}

std::string TempFolder() {
  char folder[MAX_PATH];
  return std::string(folder, GetTempPathA(sizeof folder, folder));
}

std::wstring AnsiToWide(const std::string& ansi) {
  std::wstring text(ansi.size(), L'\0');
  text.resize(size_t(MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), text.data(),
                                         int(text.size()))));
  return text;
}

}  // namespace window_driver

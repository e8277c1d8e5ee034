#include "fetcher/modules/win32/project_module.h"

#include <windows.h>
#include <urlmon.h>

#include <optional>
#include <vector>

#include "fetcher/forms/form_kit.h"
#include "fetcher/forms/main_form.h"
#include "fetcher/forms/set_form.h"
#include "fetcher/modules/download_songs.h"
#include "fetcher/modules/list_file.h"
#include "fetcher/modules/messages.h"
#include "fetcher/modules/music_list.h"
#include "fetcher/modules/win32/http_request.h"
#include "fetcher/modules/win32/ini_module.h"
#include "fetcher/modules/win32/wide.h"
#include "service_host.h"

void LoadMusicList() {
  const std::u16string listPath = ReadIni(kPathSection, kListPathKey, SettingsFile());
  const std::optional<std::u16string> text = ReadListFile(listPath);
  if (text) {
    for (const std::u16string& title : ListMusicTitles(*text)) {
      form_kit::ListAdd(MainForm::MusicList(), title);
    }
  }
  MainForm::ShowCounts();
  if (!text) {
    form_kit::ShowMessage(MainForm::Window(), fetcher_text::ListUnreadable(listPath),
                          fetcher_text::kCaptionListLoad, MessageIcon::Error);
  }
}

namespace {

// Hears the HTTP status of a URLDownloadToFileA transfer: urlmon reports success for an error
// page too and saves it as the file.
class StatusListener : public IBindStatusCallback, public IHttpNegotiate {
 public:
  DWORD status = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IBindStatusCallback) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (iid == IID_IHttpNegotiate) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  // Lives on the caller's stack for the length of the synchronous call.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  // Nothing is pumped while a song downloads: the form stays as it is until the run ends.
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                 LPWSTR* additionalHeaders) override {
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR,
                                       LPWSTR* additionalHeaders) override {
    status = code;
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
  }
};

class WindowsDownloadPlatform : public DownloadPlatform {
 public:
  std::optional<std::string> Lookup(const std::u16string& address) override {
    return SendLookup(address);
  }
  bool DownloadFile(const std::u16string& address, const std::u16string& path) override {
    return ::DownloadFile(address, path);
  }
  std::u16string DownloadFolder() override { return SetForm::DownloadFolderField(); }
  void ShowMessage(const std::u16string& text, const std::u16string& caption,
                   MessageIcon icon) override {
    form_kit::ShowMessage(MainForm::Window(), text, caption, icon);
  }
};

}  // namespace

bool DownloadFile(const std::u16string& address, const std::u16string& path) {
  StatusListener listener;
  const std::string ansiPath = Ansi(path);
  // The documentation marks the fourth argument reserved (0). 16 is BINDF_GETNEWESTVERSION,
  // which asks for the server's current copy of the song rather than a cached one wherever
  // urlmon reads the value; where urlmon ignores it, the call behaves as with 0.
  const HRESULT hr =
      URLDownloadToFileA(nullptr, Ansi(address).c_str(), ansiPath.c_str(), 16, &listener);
  if (hr != S_OK) return false;
  if (listener.status >= 400) {
    DeleteFileA(ansiPath.c_str());
    return false;
  }
  return true;
}

void DownloadSongs() {
  const std::u16string settings = SettingsFile();
  const std::u16string text =
      ReadListFile(ReadIni(kPathSection, kListPathKey, settings)).value_or(std::u16string());
  std::vector<std::u16string> titles;
  const int count = form_kit::ListCount(MainForm::DownloadList());
  for (int i = 0; i < count; ++i) titles.push_back(form_kit::ListText(MainForm::DownloadList(), i));
  std::u16string host = ReadIni(kServiceSection, kServiceHostKey, settings);
  if (host.empty()) host = kDefaultServiceHost;
  WindowsDownloadPlatform platform;
  RunDownloadSongs(titles, text, host, platform);
}

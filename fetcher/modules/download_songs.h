// The download run behind "Download" (ProjectModule's DownloadSongs), apart from the platform:
// for each title of the download list, in order, find its record, ask the music service where
// the song lies, download it into the download folder, and tell the user how the run ended.
// win32/project_module.cpp runs it with WinHTTP, urlmon, the settings form and message boxes;
// the native tests run it against a recording double.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class MessageIcon { Information, Error };

// What a download run needs from around it.
class DownloadPlatform {
 public:
  virtual ~DownloadPlatform() = default;
  // A synchronous GET of `address`: the reply's body whatever its status, or nothing when no
  // reply came (no connection, refused, time-out, unknown host).
  virtual std::optional<std::string> Lookup(const std::u16string& address) = 0;
  // Saves `address` as the file `path`; false when the download failed, including an HTTP
  // error status, in which case no file is left at `path`.
  virtual bool DownloadFile(const std::u16string& address, const std::u16string& path) = 0;
  // The download folder as the settings form's folder field shows it now (normally ending
  // with "\"). Asked once per song.
  virtual std::u16string DownloadFolder() = 0;
  // A message box with one OK button.
  virtual void ShowMessage(const std::u16string& text, const std::u16string& caption,
                           MessageIcon icon) = 0;
};

// Runs the download of `titles` (the download list, in order) from `workingText` (the list
// file as ReadListFile returns it), looking songs up at `host` ("name" or "name:port").
// Every way the run ends shows exactly one message:
//   a title without a record of its own   "오류(2)", error icon; nothing is sent for it
//   no reply to a lookup                  a message naming the title, error icon
//   a reply that contains "ERR"           "오류(1)", error icon
//   every title processed                 "다운로드 완료!" with the information icon, or,
//                                         when downloads failed, the failed titles with the
//                                         error icon
// Files saved before an error stay on disk.
void RunDownloadSongs(const std::vector<std::u16string>& titles, std::u16string workingText,
                      const std::u16string& host, DownloadPlatform& platform);

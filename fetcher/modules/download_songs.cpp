#include "fetcher/modules/download_songs.h"

#include "fetcher/modules/ansi_text.h"
#include "fetcher/modules/download_text.h"
#include "fetcher/modules/messages.h"
#include "fetcher/modules/song_names.h"

void RunDownloadSongs(const std::vector<std::u16string>& titles, std::u16string workingText,
                      const std::u16string& host, DownloadPlatform& platform) {
  using namespace fetcher_text;
  DownloadText text(std::move(workingText));
  std::vector<std::u16string> failed;
  for (const std::u16string& title : titles) {
    const std::optional<SongRecord> record = text.FindRecord(title);
    if (!record) {
      platform.ShowMessage(kError2, kCaptionDownload, MessageIcon::Error);
      return;
    }
    const std::optional<std::string> reply = platform.Lookup(LookupAddress(host, record->mediaId));
    if (!reply) {
      platform.ShowMessage(LookupFailed(title), kCaptionDownload, MessageIcon::Error);
      return;
    }
    // Taken verbatim: a line break at the end of the reply stays inside the file address.
    const std::u16string base = AnsiToUnicode(*reply);
    if (base.find(u"ERR") != std::u16string::npos) {
      platform.ShowMessage(kError1, kCaptionDownload, MessageIcon::Error);
      return;
    }
    const std::u16string address = base + u"/" + record->fileKey + u".wma";
    const std::u16string path = platform.DownloadFolder() + SafeFileName(title) + u".wma";
    if (!platform.DownloadFile(address, path)) failed.push_back(title);
    text.RemoveRecord(title, record->fileKey);
  }
  if (failed.empty()) {
    platform.ShowMessage(kDownloadComplete, kCaptionDownload, MessageIcon::Information);
  } else {
    platform.ShowMessage(DownloadsFailed(failed), kCaptionDownload, MessageIcon::Error);
  }
}

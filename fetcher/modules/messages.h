// Every text fetcher shows, in one place: captions, labels, message boxes. The texts marked
// "as is" are compared byte for byte by users' habits and by the tests; keep them unchanged.
#pragma once

#include <string>
#include <vector>

namespace fetcher_text {

// Window captions. Both must begin with these words; the version follows.
inline constexpr char16_t kMainFormCaption[] = u"투노라( wma 저장 ) 1.00";
inline constexpr char16_t kSetFormCaption[] = u"셋팅 - 경로";

// Message-box captions: the action that shows the message.
inline constexpr char16_t kCaptionListLoad[] = u"List Load";
inline constexpr char16_t kCaptionDownload[] = u"Download";
inline constexpr char16_t kCaptionSetting[] = u"Setting";

// Main form.
inline constexpr char16_t kMyMusicList[] = u"My Music List (";
inline constexpr char16_t kDownloadList[] = u"Download List (";
inline constexpr char16_t kListLoad[] = u"List Load";
inline constexpr char16_t kDownload[] = u"Download";
inline constexpr char16_t kSetting[] = u"Setting";
inline constexpr char16_t kNeedListPath[] = u"설정에서 *.lbm파일의 경로를 설정바람.";
inline constexpr char16_t kNeedSavePath[] = u"설정에서 *.wma파일의 저장 경로를 설정바람.";
inline constexpr char16_t kNeedSongs[] = u"다운받을 음악을 다운로드 리스트에 추가해주세요.";

// A list file that does not exist or cannot be read.
inline std::u16string ListUnreadable(const std::u16string& path) {
  return u"음악 리스트 파일을 읽을 수 없습니다.\r\n" + path;
}

// Settings form.
inline constexpr char16_t kPathFrame[] = u"경로 설정";
inline constexpr char16_t kListPathLabel[] = u"기본앨범(*.lbm)파일 경로";
inline constexpr char16_t kSavePathLabel[] = u"음악(*.wma)파일 저장 경로";
inline constexpr char16_t kBrowse[] = u"...";
inline constexpr char16_t kDone[] = u"완료";
inline constexpr char16_t kCancel[] = u"취소";
inline constexpr char16_t kSetListPath[] = u"기본앨범(*.lbm)파일의 경로를 설정하세요.";
inline constexpr char16_t kSetSavePath[] = u"음악(*.wma)파일의 저장 경로를 설정하세요.";
inline constexpr char16_t kListFileFilter[] = u"앨범 파일|*.lbm|모든 파일|*.*";
inline constexpr char16_t kBrowseFolderTitle[] = u"폴더 찾아보기";

// Download run.
inline constexpr char16_t kError2[] = u"오류(2)";
inline constexpr char16_t kError1[] = u"오류(1)";
inline constexpr char16_t kDownloadComplete[] = u"다운로드 완료!";

// A lookup that got no reply at all (no connection, refused, time-out, unknown host).
inline std::u16string LookupFailed(const std::u16string& title) {
  return u"음악 서버에 연결할 수 없습니다.\r\n곡: " + title;
}

// The closing message of a run in which some files could not be downloaded.
inline std::u16string DownloadsFailed(const std::vector<std::u16string>& titles) {
  std::u16string text = u"다음 곡을 다운로드하지 못했습니다.";
  for (const std::u16string& title : titles) text += u"\r\n" + title;
  return text;
}

}  // namespace fetcher_text

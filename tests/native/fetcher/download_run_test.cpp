// Safe file names, and the download run against a recording platform: what is asked, what is
// saved where, and the one message every run ends with.
#include <gtest/gtest.h>

#include <map>

#include "fetcher/modules/download_songs.h"
#include "fetcher/modules/song_names.h"

namespace {

// Forbidden and control characters become "_", device names get a "_" in front: every title
// names a file inside the folder.
TEST(SongNames, SafeFileName) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"한글 ..\\a/b:c*d?e\"f<g>h|i\t\x1F", u"한글 .._a_b_c_d_e_f_g_h_i__"},
      {u"Nul.txt", u"_Nul.txt"},  // every device name of IsDeviceName
      {u"CONSOLE", u"CONSOLE"},
  };
  for (const auto& [title, name] : cases) EXPECT_EQ(SafeFileName(title), name);
}

constexpr char16_t kLookup[] = u"http://h:80/contents/search/ex_path.php?m_id=";

// Logs every call. Replies by media id (none: no reply at all); a download fails when its
// address holds "fail"; the folder field reads "C:\M\" for the first song, then "D:\".
struct Recorder : DownloadPlatform {
  std::map<std::u16string, std::string> replies;
  std::u16string log;
  int folderReads = 0;

  std::optional<std::string> Lookup(const std::u16string& address) override {
    const std::u16string id =
        address.starts_with(kLookup) ? address.substr(std::size(kLookup) - 1) : u"?" + address;
    log += u"lookup " + id + u"\n";
    const auto reply = replies.find(id);
    return reply == replies.end() ? std::nullopt : std::optional(reply->second);
  }
  bool DownloadFile(const std::u16string& address, const std::u16string& path) override {
    log += address + u" > " + path + u"\n";
    return address.find(u"fail") == std::u16string::npos;
  }
  std::u16string DownloadFolder() override { return folderReads++ ? u"D:\\" : u"C:\\M\\"; }
  void ShowMessage(const std::u16string& text, const std::u16string& caption,
                   MessageIcon icon) override {
    log += caption + u": " + text + (icon == MessageIcon::Error ? u" (error)" : u"");
  }
};

TEST(DownloadRun, EveryWayARunEnds) {
  const std::u16string abc = u"A|1/a*x|YB|2/b*y|YC|3/c*z|Y";
  struct Case {
    std::vector<std::u16string> titles;
    std::u16string text;
    std::map<std::u16string, std::string> replies;  // by media id
    std::u16string seen;                            // what the platform was asked and told
  };
  const Case cases[] = {
      // A from its own record, not from inside BA's; the second A takes the next record.
      {.titles = {u"A", u"BA", u"A"},
       .text = u"BA|1/ba*x|YA|2/a*y|YA|3/c*z|Y",
       .replies = {{u"1", "b1"}, {u"2", "b2"}, {u"3", "b3"}},
       .seen = u"lookup 2\nb2/2/a.wma > C:\\M\\A.wma\nlookup 1\nb1/1/ba.wma > D:\\BA.wma\n"
               u"lookup 3\nb3/3/c.wma > D:\\A.wma\nDownload: 다운로드 완료!"},
      // Failed downloads do not stop the run; the closing message lists them. The reply is the
      // address as it stands, in code page 949, line end included.
      {.titles = {u"A", u"B", u"C"},
       .text = abc,
       .replies = {{u"1", "fail"}, {u"2", "\xC7\xD1\r\n"}, {u"3", "fail"}},
       .seen = u"lookup 1\nfail/1/a.wma > C:\\M\\A.wma\nlookup 2\n한\r\n/2/b.wma > D:\\B.wma\n"
               u"lookup 3\nfail/3/c.wma > D:\\C.wma\n"
               u"Download: 다음 곡을 다운로드하지 못했습니다.\r\nA\r\nC (error)"},
      {.titles = {u"A", u"B", u"C"},
       .text = abc,
       .replies = {{u"1", "b"}, {u"2", "xERRx"}},
       .seen = u"lookup 1\nb/1/a.wma > C:\\M\\A.wma\nlookup 2\nDownload: 오류(1) (error)"},
      // "Love" only inside "My Love": no record of its own, nothing sent for it.
      {.titles = {u"A", u"Love"},
       .text = u"A|1/a*x|YMy Love|2/b*y|Y",
       .replies = {{u"1", "b"}},
       .seen = u"lookup 1\nb/1/a.wma > C:\\M\\A.wma\nDownload: 오류(2) (error)"},
      // No reply at all: a message naming the title.
      {.titles = {u"A", u"B"},
       .text = abc,
       .replies = {{u"1", "b"}},
       .seen = u"lookup 1\nb/1/a.wma > C:\\M\\A.wma\nlookup 2\n"
               u"Download: 음악 서버에 연결할 수 없습니다.\r\n곡: B (error)"},
      // List-file text can change neither the request nor the place of the file: the media id
      // is percent-encoded (letters, digits and "-._~" as they are).
      {.titles = {u"..\\evil: \"x\"?"},
       .text = u"..\\evil: \"x\"?|09AZaz-._~ &=?#%+\r\x7F한/f*r|Y",
       .replies = {{u"09AZaz-._~%20%26%3D%3F%23%25%2B%0D%7F%C7%D1", "b"}},
       .seen = u"lookup 09AZaz-._~%20%26%3D%3F%23%25%2B%0D%7F%C7%D1\n"
               u"b/09AZaz-._~ &=?#%+\r\x7F한/f.wma > C:\\M\\.._evil_ _x__.wma\n"
               u"Download: 다운로드 완료!"},
  };
  for (const auto& [titles, text, replies, seen] : cases) {
    Recorder platform;
    platform.replies = replies;
    RunDownloadSongs(titles, text, u"h:80", platform);
    EXPECT_EQ(platform.log, seen);
  }
}

}  // namespace

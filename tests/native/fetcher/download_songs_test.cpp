// The download run against a recording platform: what is asked, what is saved where, and the
// one message every run ends with.
#include "fetcher/modules/download_songs.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fetcher/modules/messages.h"
#include "tests/native/fetcher/test_text.h"

using fetcher_test::U;
using fetcher_test::Us;

namespace {

constexpr char16_t kHost[] = u"music.test:8080";

std::u16string Lookup(const std::string& mediaId) {
  return u"http://music.test:8080/contents/search/ex_path.php?m_id=" + U(mediaId);
}

struct Message {
  std::u16string text;
  std::u16string caption;
  MessageIcon icon;
  bool operator==(const Message&) const = default;
  friend void PrintTo(const Message& m, std::ostream* os) {
    *os << fetcher_test::Utf8(m.caption) << ": " << fetcher_test::Utf8(m.text)
        << (m.icon == MessageIcon::Error ? " (error)" : " (information)");
  }
};

// Replies by lookup address (no entry: the lookup gets no reply at all); downloads fail for
// the addresses in `failing`.
class RecordingPlatform : public DownloadPlatform {
 public:
  std::map<std::u16string, std::string> replies;
  std::vector<std::u16string> failing;
  std::vector<std::u16string> folders{u"C:\\Music\\"};  // one per song; the last repeats

  std::vector<std::u16string> lookups;
  std::vector<std::pair<std::u16string, std::u16string>> downloads;
  std::vector<Message> messages;

  std::optional<std::string> Lookup(const std::u16string& address) override {
    lookups.push_back(address);
    auto it = replies.find(address);
    if (it == replies.end()) return std::nullopt;
    return it->second;
  }
  bool DownloadFile(const std::u16string& address, const std::u16string& path) override {
    downloads.emplace_back(address, path);
    return std::find(failing.begin(), failing.end(), address) == failing.end();
  }
  std::u16string DownloadFolder() override {
    const size_t i = std::min(folderReads_++, folders.size() - 1);
    return folders[i];
  }
  void ShowMessage(const std::u16string& text, const std::u16string& caption,
                   MessageIcon icon) override {
    messages.push_back({text, caption, icon});
  }

 private:
  size_t folderReads_ = 0;
};

const Message kComplete{fetcher_text::kDownloadComplete, u"Download", MessageIcon::Information};
const Message kError1{u"오류(1)", u"Download", MessageIcon::Error};
const Message kError2{u"오류(2)", u"Download", MessageIcon::Error};

const std::u16string kThreeSongs = U("A|1/a*x|YB|2/b*y|YC|3/c*z|Y");

TEST(DownloadRun, ThreeTitlesFoundAndSaved) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "http://files/one"},
                      {Lookup("2"), "http://files/two"},
                      {Lookup("3"), "http://files/three"}};
  RunDownloadSongs(Us({"A", "B", "C"}), kThreeSongs, kHost, platform);
  EXPECT_EQ(platform.lookups, (std::vector<std::u16string>{Lookup("1"), Lookup("2"), Lookup("3")}));
  EXPECT_EQ(platform.downloads, (std::vector<std::pair<std::u16string, std::u16string>>{
                                    {u"http://files/one/1/a.wma", u"C:\\Music\\A.wma"},
                                    {u"http://files/two/2/b.wma", u"C:\\Music\\B.wma"},
                                    {u"http://files/three/3/c.wma", u"C:\\Music\\C.wma"}}));
  EXPECT_EQ(platform.messages, std::vector<Message>{kComplete});
}

TEST(DownloadRun, ErrReplyStopsTheRun) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "http://files/one"}, {Lookup("2"), "xERRx"}};
  RunDownloadSongs(Us({"A", "B", "C"}), kThreeSongs, kHost, platform);
  EXPECT_EQ(platform.lookups, (std::vector<std::u16string>{Lookup("1"), Lookup("2")}));
  EXPECT_EQ(platform.downloads.size(), 1u);
  EXPECT_EQ(platform.messages, std::vector<Message>{kError1});
}

TEST(DownloadRun, TitleWithoutRecordStopsBeforeAnyRequest) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "http://files/one"}};
  RunDownloadSongs(Us({"A", "Z", "B"}), kThreeSongs, kHost, platform);
  EXPECT_EQ(platform.lookups, std::vector<std::u16string>{Lookup("1")});
  EXPECT_EQ(platform.messages, std::vector<Message>{kError2});
}

// The title "Love" only inside "My Love": no record of its own, so nothing is fetched under
// the wrong name.
TEST(DownloadRun, TitleOnlyInsideAnotherTitleIsError2) {
  RecordingPlatform platform;
  RunDownloadSongs(Us({"Love"}), U("My Love|1/a*x|Y"), kHost, platform);
  EXPECT_TRUE(platform.lookups.empty());
  EXPECT_EQ(platform.messages, std::vector<Message>{kError2});
}

// Titles BA and A: A is fetched from its own record, not from inside BA's.
TEST(DownloadRun, TitleThatEndsAnotherTitle) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "b1"}, {Lookup("2"), "b2"}};
  RunDownloadSongs(Us({"A", "BA"}), U("BA|1/ba*x|YA|2/a*y|Y"), kHost, platform);
  EXPECT_EQ(platform.downloads,
            (std::vector<std::pair<std::u16string, std::u16string>>{
                {u"b2/2/a.wma", u"C:\\Music\\A.wma"}, {u"b1/1/ba.wma", u"C:\\Music\\BA.wma"}}));
  EXPECT_EQ(platform.messages, std::vector<Message>{kComplete});
}

// Two records with the same title: each entry of the list takes the next one; both are saved
// to the same path.
TEST(DownloadRun, SameTitleTwiceTakesBothRecords) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "b1"}, {Lookup("2"), "b2"}};
  RunDownloadSongs(Us({"A", "A"}), U("A|1/a*x|YA|2/b*y|Y"), kHost, platform);
  EXPECT_EQ(platform.downloads,
            (std::vector<std::pair<std::u16string, std::u16string>>{
                {u"b1/1/a.wma", u"C:\\Music\\A.wma"}, {u"b2/2/b.wma", u"C:\\Music\\A.wma"}}));
}

// The reply is the address verbatim: empty, an error page without "ERR", a line break at the
// end; a Korean reply arrives in code page 949.
TEST(DownloadRun, ReplyTakenVerbatim) {
  RecordingPlatform platform;
  platform.replies = {
      {Lookup("1"), ""}, {Lookup("2"), "<h1>Not Found</h1>"}, {Lookup("3"), "http://files/x\r\n"}};
  RunDownloadSongs(Us({"A", "B", "C"}), kThreeSongs, kHost, platform);
  ASSERT_EQ(platform.downloads.size(), 3u);
  EXPECT_EQ(platform.downloads[0].first, u"/1/a.wma");
  EXPECT_EQ(platform.downloads[1].first, u"<h1>Not Found</h1>/2/b.wma");
  EXPECT_EQ(platform.downloads[2].first, u"http://files/x\r\n/3/c.wma");

  RecordingPlatform korean;
  korean.replies = {{Lookup("1"), "http://files/\xC7\xD1\xB1\xDB"}};  // "한글"
  RunDownloadSongs(Us({"A"}), kThreeSongs, kHost, korean);
  EXPECT_EQ(korean.downloads.at(0).first, U("http://files/한글/1/a.wma"));
}

// No reply at all: the run ends with a message that names the title.
TEST(DownloadRun, LookupWithoutReplyNamesTheTitle) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "b1"}};
  RunDownloadSongs(Us({"A", "B", "C"}), kThreeSongs, kHost, platform);
  EXPECT_EQ(platform.lookups.size(), 2u);
  EXPECT_EQ(platform.downloads.size(), 1u);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].caption, u"Download");
  EXPECT_EQ(platform.messages[0].icon, MessageIcon::Error);
  EXPECT_NE(platform.messages[0].text.find(u"\r\n곡: B"), std::u16string::npos);
}

// Failed downloads do not stop the run, and the closing message lists them.
TEST(DownloadRun, FailedDownloadsAreListed) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "b"}, {Lookup("2"), "b"}, {Lookup("3"), "b"}};
  platform.failing = {u"b/1/a.wma", u"b/3/c.wma"};
  RunDownloadSongs(Us({"A", "B", "C"}), kThreeSongs, kHost, platform);
  EXPECT_EQ(platform.downloads.size(), 3u);
  const Message failed{U("다음 곡을 다운로드하지 못했습니다.\r\nA\r\nC"), u"Download",
                       MessageIcon::Error};
  EXPECT_EQ(platform.messages, std::vector<Message>{failed});
}

// List-file text cannot change the request or the place of the file.
TEST(DownloadRun, MediaIdEncodedAndTitleMadeSafe) {
  RecordingPlatform platform;
  const std::u16string text = U("..\\..\\evil: \"x\"?|7&cmd=del#x 한/f*r|Y");
  platform.replies = {
      {u"http://music.test:8080/contents/search/ex_path.php?m_id=7%26cmd%3Ddel%23x%20%C7%D1", "b"}};
  RunDownloadSongs({U("..\\..\\evil: \"x\"?")}, text, kHost, platform);
  ASSERT_EQ(platform.downloads.size(), 1u);
  EXPECT_EQ(platform.downloads[0].second, U("C:\\Music\\.._.._evil_ _x__.wma"));
  EXPECT_EQ(platform.downloads[0].first, U("b/7&cmd=del#x 한/f.wma"));
}

// The folder field is read for each song: a change while the run goes on is used.
TEST(DownloadRun, FolderReadForEachSong) {
  RecordingPlatform platform;
  platform.replies = {{Lookup("1"), "b"}, {Lookup("2"), "b"}};
  platform.folders = {u"D:\\one\\", u"E:\\two\\"};
  RunDownloadSongs(Us({"A", "B"}), kThreeSongs, kHost, platform);
  ASSERT_EQ(platform.downloads.size(), 2u);
  EXPECT_EQ(platform.downloads[0].second, u"D:\\one\\A.wma");
  EXPECT_EQ(platform.downloads[1].second, u"E:\\two\\B.wma");
}

}  // namespace

// The list file's fields and the loader ("List Load") against expected results, and the loader
// and the download run's working text against the plain versions in reference_algorithms.h
// (which download_run_test checks through whole runs).
#include <gtest/gtest.h>

#include <random>

#include "fetcher/modules/download_text.h"
#include "fetcher/modules/list_file.h"
#include "fetcher/modules/music_list.h"
#include "tests/native/fetcher/reference_algorithms.h"

namespace {

using Titles = std::vector<std::u16string>;

TEST(ListFile, FieldsJoined) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"Hello, World|1/f*|Y", u"Hello World|1/f*|Y"},  // an unquoted comma only separates
      {u"\"Hello, World\"|1/f*|Y", u"Hello, World|1/f*|Y"},
      {u"say \"hi\",x", u"say \"hi\"x"},       // quotes count only at a field's start
      {u"x,\"a,b\"cd,,\"\",e", u"xa,bcde"},    // text after a closing quote is kept
      {u"\"a\r\nb\"\r\n\"c,d", u"a\r\nbc,d"},  // line ends inside quotes kept; unclosed to the end
      {u"ab\r\ncd\ref\n\n\"g,h\"", u"abcdefg,h"},
      {u"  a b  ,  c  ", u"  a b    c  "},
  };
  for (const auto& [file, text] : cases) EXPECT_EQ(ReadListFields(file), text);
}

TEST(Loader, EdgeCases) {
  const std::pair<std::u16string, Titles> cases[] = {
      {u"no records", {}},
      {u"A|1/a*x|YB|2/b*x|YA|1/a*x|Y", {u"A", u"B"}},  // exact duplicates listed once
      {u"A|1/a*x|YA|2/b*x|Y", {u"A", u"A"}},
      {u"|1/a*x|YB|2/b*x|Y", {u"", u"B"}},
      // "|" without "|Y": the record is "A"; every "A" goes, the text goes on as "|1/a*x".
      {u"A|1/a*xAB|2", {u"A", u""}},
      // A record ending in "|Z" runs on through the next "|Y".
      {u"A|1/a*x|ZB|2/b*x|YC|3/c*x|Y", {u"A", u"C"}},
      // "BA|..." ends with A's record: that goes, and "B" joins the next title.
      {u"A|1/a*x|YBA|1/a*x|YC|3/c*x|Y", {u"A", u"BC"}},
      // Removing "Q|Y" joins a "|" and a "Y" into a new record end.
      {u"Q|YA|1/k*|Q|YYC|2/m*|Y", {u"Q", u"A", u"C"}},
      // "Y|2/b*x|Y" also occurs from C's last "Y": C's record runs on through D's.
      {u"Y|2/b*x|YC|1/a*x|Y|2/b*x|YD|4/d*x|Y", {u"Y", u"C"}},
  };
  for (const auto& [text, titles] : cases) {
    EXPECT_EQ(ListMusicTitles(text), titles);
    EXPECT_EQ(reference::ListMusicTitles(text), titles);
  }
}

TEST(Loader, ListsAtMost1001Titles) {
  std::u16string text;
  for (int i = 0; i < 1500; ++i) text += char16_t(u'가' + i) + std::u16string(u"|1/f*|Y");
  const Titles titles = ListMusicTitles(text);
  ASSERT_EQ(titles.size(), 1001u);
  EXPECT_EQ(titles.back(), std::u16string(1, char16_t(u'가' + 1000)));
}

// Texts of the pieces that matter, each piece with "/" also padded (records longer than 16
// characters take the loader's hashed path).
std::u16string RandomText(std::mt19937& random, int pieces) {
  static const Titles kinds = [] {
    Titles kinds;
    for (std::u16string_view kind :
         {u"A|1/a*x|Y", u"BA|1/a*x|Y", u"A|1/a*x|Z", u"A|2/b*|Y", u"AA|1/a*x|Y", u"Y|1/a*x|Y",
          u"x|Y", u"|Y", u"Y", u"|", u"/", u"*", u"a", u"A|", u"A|1/a*A|1/a*|Y", u"A|1/a*x|"}) {
      kinds.emplace_back(kind);
      const size_t slash = kind.find(u'/');
      if (slash != kind.npos)
        kinds.push_back(std::u16string(kind).insert(slash + 1, u"0123456789abcdefghij"));
    }
    return kinds;
  }();
  std::u16string text;
  for (int n = int(random() % pieces); n > 0; --n) text += kinds[random() % kinds.size()];
  return text;
}

// Random texts through the loader, and random runs of finds and removals (of found and of
// other keys) through the working text: the fast versions must give what the plain ones give.
TEST(ListText, SameAsThePlainVersions) {
  std::mt19937 random(7);
  const Titles titles = {u"A", u"B", u"BA", u"", u"A|1", u"Y", u"x"};
  for (int round = 0; round < 20000; ++round) {
    std::u16string plain = RandomText(random, 40);
    const std::string start = testing::PrintToString(plain);
    ASSERT_EQ(ListMusicTitles(plain), reference::ListMusicTitles(plain)) << start;
    DownloadText fast(plain);
    for (int step = 0; step < 8; ++step) {
      const std::u16string& title = titles[random() % titles.size()];
      const std::optional<SongRecord> found = reference::FindRecord(plain, title);
      ASSERT_TRUE(fast.FindRecord(title) == found) << start << " step " << step;
      const std::u16string key = found && random() % 4 ? found->fileKey : RandomText(random, 2);
      plain = reference::RemoveRecord(plain, title, key);
      fast.RemoveRecord(title, key);
      ASSERT_EQ(fast.Text(), plain) << start << " step " << step;
    }
  }
}

}  // namespace

// The download run's working text: finding a title's record only where a record starts, and
// removing a fetched record so that the next entry of the same title finds the next one.
#include "fetcher/modules/download_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/native/fetcher/literal_algorithms.h"
#include "tests/native/fetcher/test_text.h"

using fetcher_test::U;

namespace {}  // namespace

void PrintTo(const SongRecord& r, std::ostream* os) {
  *os << "{" << ::testing::PrintToString(r.mediaId) << ", " << ::testing::PrintToString(r.fileKey)
      << "}";
}

namespace {

// Each row: a working text, a title, and the media id and file key found (or none).
struct FindCase {
  const char* name;
  std::string text;
  std::string title;
  std::optional<std::pair<std::string, std::string>> found;
  friend void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }
};

class FindRecordTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindRecordTest, FindsTheRecordAtARecordStart) {
  const FindCase& c = GetParam();
  std::optional<SongRecord> expected;
  if (c.found) expected = SongRecord{U(c.found->first), U(c.found->second)};
  EXPECT_EQ(DownloadText(U(c.text)).FindRecord(U(c.title)), expected);
  EXPECT_EQ(literal::FindRecord(U(c.text), U(c.title)), expected) << "the reference";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindRecordTest,
    ::testing::Values(
        FindCase{"First", "A|1/a*x|YB|2/b*y|Y", "A", {{"1", "1/a"}}},
        FindCase{"Second", "A|1/a*x|YB|2/b*y|Y", "B", {{"2", "2/b"}}},
        FindCase{"Korean", "노래|10452/ab77c*x|Y", "노래", {{"10452", "10452/ab77c"}}},
        FindCase{"Missing", "A|1/a*x|Y", "C", std::nullopt},
        // The title occurs, but only inside another record: it has no record of its own.
        FindCase{"OnlyInsideLongerTitle", "My Love|1/a*x|Y", "Love", std::nullopt},
        FindCase{"OnlyInsideRemainder", "A|1/a*Love|Y", "Love", std::nullopt},
        // The longer title comes first; "Love" still gets its own record.
        FindCase{"EndsAnEarlierTitle", "My Love|1/a*x|YLove|2/b*y|Y", "Love", {{"2", "2/b"}}},
        FindCase{"TitleIsPrefixOfAnother", "Lovely|1/a*x|YLove|2/b*y|Y", "Love", {{"2", "2/b"}}},
        FindCase{"EmptyTitle", "|1/a*x|Y", "", {{"1", "1/a"}}},
        // Without "/" or "*", the piece runs to the title's next record or the end.
        FindCase{"NoSlash", "A|1a*x|YB|2/b*y|Y", "A", {{"1a*x|YB|2", "1a"}}},
        FindCase{"NoStarUpToNextRecordOfTitle",
                 "A|1/ax|YB|2/b|YA|3/c*|Y",
                 "A",
                 {{"1", "1/ax|YB|2/b|Y"}}},
        FindCase{"NoStarToEnd", "A|1/ax|Y", "A", {{"1", "1/ax|Y"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Fetching a title twice: the first run takes the first record, removes it, and the second
// finds the next record of that title.
TEST(RemoveRecord, SameTitleTwiceTakesTheNextRecord) {
  DownloadText text(U("A|1/a*x|YB|2/b*y|YA|3/c*z|Y"));
  EXPECT_EQ(text.FindRecord(u"A"), (SongRecord{u"1", u"1/a"}));
  text.RemoveRecord(u"A", u"1/a");
  EXPECT_EQ(text.Text(), u"x|YB|2/b*y|YA|3/c*z|Y");
  EXPECT_EQ(text.FindRecord(u"A"), (SongRecord{u"3", u"3/c"}));
}

// Exact duplicates go together: the same song is not fetched twice.
TEST(RemoveRecord, RemovesEveryCopyAtRecordStarts) {
  DownloadText text(U("A|1/a*x|YB|2/b*y|YA|1/a*x|Y"));
  text.RemoveRecord(u"A", u"1/a");
  EXPECT_EQ(text.Text(), u"x|YB|2/b*y|Yx|Y");
  EXPECT_EQ(text.FindRecord(u"A"), std::nullopt);
}

// "My Love" ends with "Love": removing Love's record must not cut into My Love's.
TEST(RemoveRecord, LeavesTextInsideOtherRecords) {
  DownloadText text(U("My Love|1/a*x|YLove|1/a*y|Y"));
  text.RemoveRecord(u"Love", u"1/a");
  EXPECT_EQ(text.Text(), u"My Love|1/a*x|Yy|Y");
  EXPECT_EQ(text.FindRecord(u"My Love"), (SongRecord{u"1", u"1/a"}));
}

// Removal scans left to right without overlaps: of two occurrences that share text, the
// first goes and the second stays cut.
TEST(RemoveRecord, OverlappingOccurrencesTakeTheFirst) {
  DownloadText text(U("A|*|YA|*|YA|*x|Y"));
  text.RemoveRecord(u"A", u"*|YA|");
  EXPECT_EQ(text.Text(), u"|YA|*x|Y");
  EXPECT_EQ(literal::RemoveRecord(U("A|*|YA|*|YA|*x|Y"), u"A", u"*|YA|"), u"|YA|*x|Y");
}

// Random texts and random sequences of finds and removals, against the plain versions.
TEST(DownloadTextAgainstPlainVersion, RandomRuns) {
  std::mt19937 random(3);
  const std::vector<std::u16string> pieces = {
      u"A|1/a*x|Y", u"BA|1/a*x|Y", u"A|2/b*|Y",       u"A|1/a",          u"*x|Y", u"|Y", u"Y",
      u"A|",        u"|",          u"B|1/a*A|1/a*|Y", u"A|1/a*A|1/a*|Y", u"/",    u"*",  u"A|Y|Y"};
  const std::vector<std::u16string> titles = {u"A", u"B", u"BA", u"", u"A|1", u"Y", u"x"};
  for (int round = 0; round < 5000; ++round) {
    std::u16string plain;
    const int count = std::uniform_int_distribution<int>(0, 20)(random);
    for (int i = 0; i < count; ++i) plain += pieces[random() % pieces.size()];
    DownloadText fast(plain);
    const std::u16string start = plain;
    for (int step = 0; step < 8; ++step) {
      const std::u16string& title = titles[random() % titles.size()];
      const std::optional<SongRecord> expected = literal::FindRecord(plain, title);
      ASSERT_EQ(fast.FindRecord(title), expected)
          << ::testing::PrintToString(start) << " step " << step << " title "
          << ::testing::PrintToString(title);
      const std::u16string key =
          expected && random() % 4 ? expected->fileKey : pieces[random() % pieces.size()];
      plain = literal::RemoveRecord(plain, title, key);
      fast.RemoveRecord(title, key);
      ASSERT_EQ(fast.Text(), plain) << ::testing::PrintToString(start) << " step " << step;
    }
  }
}

}  // namespace

// The list loader: which titles "List Load" shows for a working text.
#include "fetcher/modules/music_list.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/native/fetcher/literal_algorithms.h"
#include "tests/native/fetcher/test_text.h"

using fetcher_test::U;
using fetcher_test::Us;

namespace {

// The loader's documented edge cases, each with the titles it must list.
struct LoaderCase {
  const char* name;
  std::string text;
  std::vector<std::u16string> titles;
  friend void PrintTo(const LoaderCase& c, std::ostream* os) { *os << c.name; }
};

class LoaderTest : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(LoaderTest, ListsTheTitles) {
  EXPECT_EQ(ListMusicTitles(U(GetParam().text)), GetParam().titles);
  EXPECT_EQ(literal::ListMusicTitles(U(GetParam().text)), GetParam().titles) << "the reference";
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, LoaderTest,
    ::testing::Values(
        LoaderCase{"Empty", "", {}}, LoaderCase{"NoBar", "just text, no records", {}},
        LoaderCase{"Three", "A|1/a*x|YB|2/b*x|YC|3/c*x|Y", Us({"A", "B", "C"})},
        LoaderCase{"Korean", "첫 노래|1/a*x|Y둘째 노래|2/b*x|Y", Us({"첫 노래", "둘째 노래"})},
        LoaderCase{"ExactDuplicatesListedOnce", "A|1/a*x|YB|2/b*x|YA|1/a*x|Y", Us({"A", "B"})},
        LoaderCase{"SameTitleOtherId", "A|1/a*x|YA|2/b*x|Y", Us({"A", "A"})},
        LoaderCase{"LeadingBarGivesEmptyTitle", "|1/a*x|YB|2/b*x|Y", Us({"", "B"})},
        // "|" but no "|Y": the record is "A"; every "A" goes, the text goes on as "|1/a*x".
        LoaderCase{"NoPairRecordIsFirstCharacter", "A|1/a*xAB|2", Us({"A", ""})},
        // The first record ends in "|Z": it runs on through the second record's "|Y".
        LoaderCase{"MissingPairSwallowsNext", "A|1/a*x|ZB|2/b*x|YC|3/c*x|Y", Us({"A", "C"})},
        // A record that ends another cuts it short: "BA|..." loses "A|1/a*x|Y" and keeps "B",
        // which joins the next record's title.
        LoaderCase{"RecordInsideLongerRecord", "A|1/a*x|YBA|1/a*x|YC|3/c*x|Y", Us({"A", "BC"})},
        // Removing "Q|Y" joins a "|" and a "Y" into a new record end: "A|1/k*|" + "YC...".
        LoaderCase{"RemovalMakesNewPair", "Q|YA|1/k*|Q|YYC|2/m*|Y", Us({"Q", "A", "C"})},
        // The record "Y|2/b*x|Y" also occurs from the last "Y" of C's record: C's record
        // loses its end and runs on through D's, so D is not listed.
        LoaderCase{"OccurrenceStartsAtPreviousY", "Y|2/b*x|YC|1/a*x|Y|2/b*x|YD|4/d*x|Y",
                   Us({"Y", "C"})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoaderLimit, FifteenHundredRecordsList1001) {
  std::u16string text;
  for (int i = 0; i < 1500; ++i) {
    text += U("Song " + std::to_string(i) + "|" + std::to_string(10000 + i) + "/f" +
              std::to_string(i) + "*x|Y");
  }
  const std::vector<std::u16string> titles = ListMusicTitles(text);
  ASSERT_EQ(titles.size(), 1001u);
  EXPECT_EQ(titles.front(), u"Song 0");
  EXPECT_EQ(titles.back(), u"Song 1000");
}

// Random texts over the characters that matter ("|", "Y", "/", "*") and a few others, and
// texts made of a handful of records repeated, broken and mixed: the fast loader must list
// exactly what the plain one lists.
std::u16string RandomText(std::mt19937& random) {
  static const std::u16string alphabet = u"|Y|Y/*ab";
  static const std::vector<std::u16string> pieces = {
      u"A|1/a*x|Y", u"BA|1/a*x|Y", u"A|1/a*x|Z", u"Y|Y",        u"|Y",
      u"Y",         u"|",          u"A|2/b*|Y",  u"AA|1/a*x|Y", u"x|Y"};
  std::u16string text;
  const int length = std::uniform_int_distribution<int>(0, 40)(random);
  const bool fromPieces = random() % 2;
  for (int i = 0; i < length; ++i) {
    if (fromPieces) {
      text += pieces[random() % pieces.size()];
    } else {
      text += alphabet[random() % alphabet.size()];
    }
  }
  return text;
}

TEST(LoaderAgainstPlainLoader, RandomTexts) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    const std::u16string text = RandomText(random);
    ASSERT_EQ(ListMusicTitles(text), literal::ListMusicTitles(text))
        << "text: " << ::testing::PrintToString(text);
  }
}

// Long records take the hashed path: the same checks with every piece padded.
TEST(LoaderAgainstPlainLoader, RandomTextsOfLongRecords) {
  std::mt19937 random(11);
  const std::u16string pad = u"0123456789abcdefghij";
  const std::vector<std::u16string> pieces = {u"A|1/" + pad + u"*x|Y", u"BA|1/" + pad + u"*x|Y",
                                              u"Y|1/" + pad + u"*x|Y", u"|1/" + pad + u"*x|Y",
                                              u"A|1/" + pad + u"*x|",  u"Y",
                                              u"A|2/" + pad + u"*|Y"};
  for (int round = 0; round < 5000; ++round) {
    std::u16string text;
    const int count = std::uniform_int_distribution<int>(0, 30)(random);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    ASSERT_EQ(ListMusicTitles(text), literal::ListMusicTitles(text))
        << ::testing::PrintToString(text);
  }
}

}  // namespace

// ReadListFile: delimited fields joined into the working text, from real files in the ANSI
// code page.
#include "fetcher/modules/list_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/native/fetcher/test_text.h"

using fetcher_test::U;

namespace {

// Each row: the file's text (ASCII here, so no code page is involved) and the working text.
struct FieldCase {
  const char* name;
  std::string text;
  std::string joined;
  friend void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.name; }
};

class ListFieldsTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ListFieldsTest, JoinsTheFields) {
  EXPECT_EQ(ReadListFields(U(GetParam().text)), U(GetParam().joined));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ListFieldsTest,
    ::testing::Values(
        FieldCase{"Empty", "", ""},
        FieldCase{"OneRecord", "Song A|10452/ab77c*x|Y", "Song A|10452/ab77c*x|Y"},
        FieldCase{"CommasSeparateOnly", "a,b,,c", "abc"},
        FieldCase{"UnquotedCommaInTitleIsLost", "Hello, World|1/f*|Y", "Hello World|1/f*|Y"},
        FieldCase{"QuotedCommaKept", "\"Hello, World\"|1/f*|Y", "Hello, World|1/f*|Y"},
        FieldCase{"QuotesOnlyAtFieldStart", "say \"hi\"|1/f*|Y", "say \"hi\"|1/f*|Y"},
        FieldCase{"QuotedAfterComma", "x,\"a,b\",y", "xa,by"},
        FieldCase{"TextAfterClosingQuoteKept", "\"ab\"cd,e", "abcde"},
        FieldCase{"LineEndInsideQuotesKept", "\"a\r\nb\"", "a\r\nb"},
        FieldCase{"UnclosedQuoteRunsToEnd", "\"a,b\r\nc", "a,b\r\nc"},
        FieldCase{"EmptyQuoted", "\"\",a", "a"}, FieldCase{"CrLf", "ab\r\ncd\r\n", "abcd"},
        FieldCase{"LoneLf", "ab\ncd\n", "abcd"}, FieldCase{"LoneCr", "ab\rcd\r", "abcd"},
        FieldCase{"LfCrAndEmptyLines", "ab\n\r\n\r\ncd", "abcd"},
        FieldCase{"QuoteAfterLineEndStartsAField", "ab\n\"c,d\"", "abc,d"},
        FieldCase{"BlanksKept", "  a b  ,  c  ", "  a b    c  "},
        FieldCase{"BrokenInsideTitle", "Son\r\ng A|10452/ab77c*x|Y", "Song A|10452/ab77c*x|Y"},
        FieldCase{"BrokenAtBlank", "Song\r\n A|1/f*|Y", "Song A|1/f*|Y"},
        FieldCase{"BrokenInsidePair", "A|1/f*|\r\nYB|2/g*|Y", "A|1/f*|YB|2/g*|Y"},
        FieldCase{"RecordsShareALine", "A|1/f*|YB|2/g*|Y,C|3/h*|Y", "A|1/f*|YB|2/g*|YC|3/h*|Y"}),
    [](const auto& info) { return std::string(info.param.name); });

class ListFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fetcher_list_file_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
  std::u16string Write(const std::string& name, const std::string& bytes) {
    const std::string path = folder_ + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return U(path);
  }
  std::string folder_;
};

// The file is in code page 949: Korean titles arrive as Unicode, byte pairs intact even where
// a trail byte looks like ASCII.
TEST_F(ListFileOnDisk, KoreanTitlesFromCodePage949) {
  // "한글 노래|7/k*|Y", a line end, then "갳" (0x81 0x59: its trail byte is "Y") in a quoted
  // field that holds a comma.
  const std::string bytes = "\xC7\xD1\xB1\xDB \xB3\xEB\xB7\xA1|7/k*|Y\r\n\"\x81\x59,1\"|8/m*|Y\r\n";
  EXPECT_EQ(ReadListFile(Write("korean.lbm", bytes)), U("한글 노래|7/k*|Y갳,1|8/m*|Y"));
}

TEST_F(ListFileOnDisk, EmptyFileGivesEmptyText) {
  EXPECT_EQ(ReadListFile(Write("empty.lbm", "")), std::u16string());
}

TEST_F(ListFileOnDisk, MissingFileOrFolderGivesNothing) {
  EXPECT_EQ(ReadListFile(U(folder_ + "/none.lbm")), std::nullopt);
  EXPECT_EQ(ReadListFile(U(folder_)), std::nullopt);
}

}  // namespace

// Names a song gets: the percent-encoded lookup address and the file name inside the folder.
#include "fetcher/modules/song_names.h"

#include <gtest/gtest.h>

#include "tests/native/fetcher/test_text.h"

using fetcher_test::U;

namespace {

TEST(PercentEncode, UnreservedStayOthersEncoded) {
  const struct {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"10452", u"10452"},
      {"AZaz09-._~", u"AZaz09-._~"},
      {"a b&c=d?e#f/g%h+i", u"a%20b%26c%3Dd%3Fe%23f%2Fg%25h%2Bi"},
      {"\r\n\x7F", u"%0D%0A%7F"},
      {"\xC7\xD1\xB1\xDB", u"%C7%D1%B1%DB"},
      {"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(PercentEncode(c.in), c.out) << c.in;
}

TEST(LookupAddress, HostPathAndAnsiMediaId) {
  EXPECT_EQ(LookupAddress(u"localhost", u"10452"),
            u"http://localhost/contents/search/ex_path.php?m_id=10452");
  EXPECT_EQ(LookupAddress(u"127.0.0.1:8080", U("한글")),
            u"http://127.0.0.1:8080/contents/search/ex_path.php?m_id=%C7%D1%B1%DB");
}

TEST(SafeFileName, ForbiddenCharactersAndDevices) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Song A", "Song A"},
      {"한글 노래", "한글 노래"},
      {"a\\b/c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
      {"..\\..\\Windows\\x", ".._.._Windows_x"},
      {"C:\\x", "C__x"},
      {"tab\there\x01", "tab_here_"},
      {"CON", "_CON"},
      {"con", "_con"},
      {"Nul.txt", "_Nul.txt"},
      {"COM1", "_COM1"},
      {"LPT9 ", "_LPT9 "},
      {"COM0", "COM0"},
      {"CONSOLE", "CONSOLE"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeFileName(U(c.in)), U(c.out)) << c.in;
}

}  // namespace

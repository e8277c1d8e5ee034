// The titles that "List Load" shows (ProjectModule's LoadMusicList), taken from the working
// text one record at a time:
//   while fewer than 1001 titles are listed and the working text holds a "|":
//     title  = the text in front of the first "|"
//     record = the text up to and including the first "|Y" (the first character alone when
//              there is no "|Y")
//     remove every occurrence of the record from the working text, left to right, without
//     overlaps, and list the title.
// A record that occurs again later (a duplicate) is therefore listed once, and an occurrence
// inside a longer record cuts that record short.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// "List Load" stops after this many titles; the rest of a longer list is not shown.
inline constexpr size_t kMaxListedTitles = 1001;

// Runs in time proportional to the number of records per listed title (not to the text's
// length), so a list of 100,000 records loads in a fraction of a second.
std::vector<std::u16string> ListMusicTitles(std::u16string workingText);

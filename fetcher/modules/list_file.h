// The music list file (.lbm): ANSI text read as delimited fields, which are joined with nothing
// in between into one string, the working text. The working text is a run of records:
//   title "|" media id "/" file name "*" remainder "|Y"
// ProjectModule's LoadMusicList and DownloadSongs both read the list through ReadListFile.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Joins the delimited fields of `text`. A field ends at a comma or a line end (CR LF, a lone CR
// or a lone LF). A field whose first character is a double quote runs to the next double quote
// (commas and line ends included) and is taken without its quotes; text between the closing
// quote and the field's end is kept. Outside quotes, commas and line ends only separate fields;
// blanks and every other character are kept, so a record broken at any character loads the same.
std::u16string ReadListFields(std::u16string_view text);

// The working text of the list file at `path`, or nothing when the file cannot be read.
std::optional<std::u16string> ReadListFile(const std::u16string& path);

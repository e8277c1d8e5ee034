// The working text of a download run (ProjectModule's DownloadSongs): where a title's record
// lies, its media id and file key, and the removal of a fetched record so that the next entry
// of the same title finds the next record of that title.
//
// A record starts at the start of the text or right after a "|Y". A title is looked up only
// where a record starts: the song "Love" is never taken from inside the record of "My Love".
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct SongRecord {
  std::u16string mediaId;  // the piece in front of its first "/"
  std::u16string fileKey;  // the piece in front of its first "*": media id "/" file name
  bool operator==(const SongRecord&) const = default;
};

class DownloadText {
 public:
  explicit DownloadText(std::u16string workingText);

  // The first record that starts with title + "|". Its piece runs from behind that "|" to the
  // next record that starts with title + "|", or to the end of the text; a piece without "/"
  // (or "*") gives its whole text as the media id (or the file key).
  std::optional<SongRecord> FindRecord(std::u16string_view title) const;

  // Removes every title + "|" + file key + "*" that stands at a record start, left to right,
  // without overlaps. What follows the removed text keeps its place as a record start.
  void RemoveRecord(std::u16string_view title, std::u16string_view fileKey);

  // The working text as it stands.
  std::u16string Text() const;

 private:
  // The text is cut after every "|Y" into segments that never move; a removal marks whole
  // segments dead and moves the start of the segment in which it ends. Every record start is
  // the start of a live segment, indexed by the text in front of its first "|".
  struct Match {
    uint32_t segment;  // where the matched text ends
    size_t end;        // position in the text just behind it
  };
  std::optional<Match> MatchAt(uint32_t segment, std::u16string_view pattern) const;
  std::u16string_view Live(uint32_t segment) const;
  std::optional<std::u16string> LeadingTitle(uint32_t segment) const;
  void Index(uint32_t segment);
  void Unindex(uint32_t segment);
  // Live segments whose start may hold title + "|", in text order.
  std::vector<uint32_t> Candidates(std::u16string_view title) const;

  const std::u16string text_;
  std::vector<size_t> starts_;
  std::vector<size_t> ends_;
  std::vector<uint8_t> live_;
  std::unordered_map<std::u16string, std::set<uint32_t>> byTitle_;
};

// The list loader and the download run's working-text steps written the plain way: one string,
// every step a scan of the whole text. Quadratic on large lists, but easy to check by eye
// against the description of the program; the fast versions in fetcher/modules must give the
// same results on every input (differential tests, the fuzz target, the benchmark).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fetcher/modules/download_text.h"

namespace literal {

// Replace(text, what, "") with no limit: occurrences found left to right in the input, without
// overlaps.
inline std::u16string RemoveAll(const std::u16string& text, const std::u16string& what) {
  std::u16string out;
  size_t from = 0;
  for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, from)) {
    out.append(text, from, at - from);
    from = at + what.size();
  }
  out.append(text, from);
  return out;
}

inline std::vector<std::u16string> ListMusicTitles(std::u16string text) {
  std::vector<std::u16string> titles;
  for (int16_t counter = 0; counter <= 1000; ++counter) {
    const size_t bar = text.find(u'|');
    if (bar == std::u16string::npos) break;
    const std::u16string title = text.substr(0, bar);
    const size_t pair = text.find(u"|Y");
    const std::u16string record =
        pair == std::u16string::npos ? text.substr(0, 1) : text.substr(0, pair + 2);
    text = RemoveAll(text, record);
    titles.push_back(title);
  }
  return titles;
}

inline bool IsRecordStart(const std::u16string& text, size_t i) {
  return i == 0 || (i >= 2 && text[i - 2] == u'|' && text[i - 1] == u'Y');
}

inline size_t FindAtRecordStart(const std::u16string& text, const std::u16string& what,
                                size_t from) {
  for (size_t i = from; i < text.size(); ++i) {
    if (IsRecordStart(text, i) && text.compare(i, what.size(), what) == 0) return i;
  }
  return std::u16string::npos;
}

inline std::optional<SongRecord> FindRecord(const std::u16string& text,
                                            const std::u16string& title) {
  const std::u16string head = title + u"|";
  const size_t at = FindAtRecordStart(text, head, 0);
  if (at == std::u16string::npos) return std::nullopt;
  const size_t pieceStart = at + head.size();
  const size_t next = FindAtRecordStart(text, head, pieceStart);
  const std::u16string piece = text.substr(
      pieceStart, next == std::u16string::npos ? std::u16string::npos : next - pieceStart);
  return SongRecord{piece.substr(0, piece.find(u'/')), piece.substr(0, piece.find(u'*'))};
}

inline std::u16string RemoveRecord(const std::u16string& text, const std::u16string& title,
                                   const std::u16string& fileKey) {
  const std::u16string what = title + u"|" + fileKey + u"*";
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    if (IsRecordStart(text, i) && text.compare(i, what.size(), what) == 0) {
      i += what.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

}  // namespace literal

// The list loader and the download run's working-text steps written the plain way: every step
// a scan of the whole text. Slow, but easy to check by eye; the fast versions in
// fetcher/modules must give the same results (differential tests, the fuzz target, the bench).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fetcher/modules/download_text.h"

namespace reference {

using Text = std::u16string;

inline std::vector<Text> ListMusicTitles(Text text) {
  std::vector<Text> titles;
  for (int counter = 0; counter <= 1000 && text.find(u'|') != Text::npos; ++counter) {
    titles.push_back(text.substr(0, text.find(u'|')));
    const size_t pair = text.find(u"|Y");
    const Text record = text.substr(0, pair == Text::npos ? 1 : pair + 2);
    // Replace(text, record, ""): every occurrence, left to right, without overlaps.
    Text rest;
    size_t from = 0;
    for (size_t at; (at = text.find(record, from)) != Text::npos; from = at + record.size())
      rest.append(text, from, at - from);
    text = rest + text.substr(from);
  }
  return titles;
}

// The first place from `from` on where `what` starts a record: the text's start or behind "|Y".
inline size_t FindAtRecordStart(const Text& text, const Text& what, size_t from) {
  for (size_t i = from; i < text.size(); ++i)
    if ((i == 0 || (i >= 2 && text.compare(i - 2, 2, u"|Y") == 0)) &&
        text.compare(i, what.size(), what) == 0)
      return i;
  return Text::npos;
}

inline std::optional<SongRecord> FindRecord(const Text& text, const Text& title) {
  const Text head = title + u"|";
  const size_t at = FindAtRecordStart(text, head, 0);
  if (at == Text::npos) return std::nullopt;
  const size_t start = at + head.size();
  const Text piece = text.substr(start, FindAtRecordStart(text, head, start) - start);
  return SongRecord{piece.substr(0, piece.find(u'/')), piece.substr(0, piece.find(u'*'))};
}

inline Text RemoveRecord(const Text& text, const Text& title, const Text& fileKey) {
  const Text what = title + u"|" + fileKey + u"*";
  Text out;
  size_t from = 0;
  for (size_t at; (at = FindAtRecordStart(text, what, from)) != Text::npos; from = at + what.size())
    out.append(text, from, at - from);
  return out + text.substr(from);
}

}  // namespace reference

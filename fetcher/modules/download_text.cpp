#include "fetcher/modules/download_text.h"

#include <utility>

DownloadText::DownloadText(std::u16string workingText) : text_(std::move(workingText)) {
  size_t start = 0;
  for (size_t i = 1; i < text_.size(); ++i) {
    if (text_[i - 1] == u'|' && text_[i] == u'Y') {
      starts_.push_back(start);
      ends_.push_back(i + 1);
      start = i + 1;
    }
  }
  starts_.push_back(start);  // the text behind the last "|Y", possibly empty
  ends_.push_back(text_.size());
  live_.assign(starts_.size(), 1);
  for (uint32_t s = 0; s < starts_.size(); ++s) Index(s);
}

std::u16string_view DownloadText::Live(uint32_t segment) const {
  return std::u16string_view(text_).substr(starts_[segment], ends_[segment] - starts_[segment]);
}

std::optional<std::u16string> DownloadText::LeadingTitle(uint32_t segment) const {
  const std::u16string_view live = Live(segment);
  const size_t bar = live.find(u'|');
  if (bar == std::u16string_view::npos) return std::nullopt;
  return std::u16string(live.substr(0, bar));
}

void DownloadText::Index(uint32_t segment) {
  if (auto title = LeadingTitle(segment)) byTitle_[*title].insert(segment);
}

void DownloadText::Unindex(uint32_t segment) {
  auto title = LeadingTitle(segment);
  if (!title) return;
  auto it = byTitle_.find(*title);
  if (it == byTitle_.end()) return;
  it->second.erase(segment);
  if (it->second.empty()) byTitle_.erase(it);
}

std::vector<uint32_t> DownloadText::Candidates(std::u16string_view title) const {
  std::vector<uint32_t> candidates;
  if (title.find(u'|') == std::u16string_view::npos) {
    auto it = byTitle_.find(std::u16string(title));
    if (it != byTitle_.end()) candidates.assign(it->second.begin(), it->second.end());
  } else {
    // A title holding "|" is not its record's leading text: try every record start.
    for (uint32_t s = 0; s < live_.size(); ++s) {
      if (live_[s]) candidates.push_back(s);
    }
  }
  return candidates;
}

std::optional<DownloadText::Match> DownloadText::MatchAt(uint32_t segment,
                                                         std::u16string_view pattern) const {
  for (uint32_t s = segment; s < live_.size(); ++s) {
    if (!live_[s]) continue;
    const std::u16string_view live = Live(s);
    const size_t n = std::min(live.size(), pattern.size());
    if (live.substr(0, n) != pattern.substr(0, n)) return std::nullopt;
    pattern.remove_prefix(n);
    if (pattern.empty()) return Match{s, starts_[s] + n};
  }
  return std::nullopt;
}

std::optional<SongRecord> DownloadText::FindRecord(std::u16string_view title) const {
  std::u16string head(title);
  head += u'|';
  std::optional<Match> found;
  uint32_t pieceEnd = uint32_t(live_.size());  // first segment no longer in the piece
  for (uint32_t s : Candidates(title)) {
    if (!MatchAt(s, head)) continue;
    if (!found) {
      found = MatchAt(s, head);
    } else if (s > found->segment) {
      pieceEnd = s;
      break;
    }
  }
  if (!found) return std::nullopt;

  SongRecord record;
  bool slash = false;
  bool star = false;
  for (uint32_t s = found->segment; s < pieceEnd && !(slash && star); ++s) {
    if (!live_[s]) continue;
    std::u16string_view piece = Live(s);
    if (s == found->segment) piece.remove_prefix(found->end - starts_[s]);
    for (char16_t c : piece) {
      if (c == u'/') slash = true;
      if (c == u'*') star = true;
      if (slash && star) break;
      if (!slash) record.mediaId.push_back(c);
      if (!star) record.fileKey.push_back(c);
    }
  }
  return record;
}

void DownloadText::RemoveRecord(std::u16string_view title, std::u16string_view fileKey) {
  std::u16string pattern(title);
  pattern += u'|';
  pattern += fileKey;
  pattern += u'*';
  std::vector<std::pair<uint32_t, Match>> found;
  for (uint32_t s : Candidates(title)) {
    if (!found.empty() && s <= found.back().second.segment) continue;  // overlaps
    if (auto match = MatchAt(s, pattern)) found.emplace_back(s, *match);
  }
  for (const auto& [first, match] : found) {
    for (uint32_t s = first; s < match.segment; ++s) {
      if (!live_[s]) continue;
      Unindex(s);
      live_[s] = 0;
    }
    Unindex(match.segment);
    starts_[match.segment] = match.end;
    Index(match.segment);
  }
}

std::u16string DownloadText::Text() const {
  std::u16string text;
  for (uint32_t s = 0; s < live_.size(); ++s) {
    if (live_[s]) text += Live(s);
  }
  return text;
}

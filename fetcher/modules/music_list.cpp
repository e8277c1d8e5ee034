#include "fetcher/modules/music_list.h"

#include <cstdint>
#include <string_view>
#include <utility>

// How the loader avoids rescanning the whole text for every title.
//
// The text is kept cut into segments, each ending with a "|Y" pair and holding no other pair,
// plus the pair-less tail behind the last one. The record removed in one step is exactly the
// first live segment R. Every occurrence of R contains a single pair, at its end, so it ends
// where a segment ends and starts no earlier than one character before that segment:
//   whole  the segment equals R                    -> the segment goes
//   inner  the segment is longer and ends with R   -> its front stays and joins what follows
//   wider  "Y" + the segment equals R, starting at the last "Y" of the live segment before
//          -> that segment loses its "Y" and joins what follows; skipped when it overlaps an
//             occurrence ending there (the left-to-right removal takes the earlier one).
// Joined text is cut again, since a "|" at the end of one part and a "Y" at the start of the
// next form a new pair. Whole removals, nearly all of them in real lists, only mark the segment
// dead. To test "ends with R" quickly, each segment keeps a hash of its last kTailLength
// characters; it is compared first whenever R is long enough for the hash to decide.
namespace {

constexpr size_t kTailLength = 16;

uint64_t TailHash(std::u16string_view text) {
  if (text.size() < kTailLength) return 0;
  uint64_t hash = 14695981039346656037ull;
  for (char16_t c : text.substr(text.size() - kTailLength)) {
    hash = (hash ^ c) * 1099511628211ull;
  }
  return hash;
}

bool EndsWith(std::u16string_view text, std::u16string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

enum class Cut : uint8_t { None, Whole, Inner, Wider };

class SegmentedText {
 public:
  explicit SegmentedText(std::u16string text) {
    std::u16string rest;
    AppendCut(std::move(text), rest);
    tail_ = std::move(rest);
  }

  // Lists the next title, or returns false when the text holds no "|".
  bool TakeNextTitle(std::vector<std::u16string>& titles) {
    while (front_ < segments_.size() && !live_[front_]) ++front_;
    if (front_ < segments_.size()) {
      const std::u16string record = segments_[front_];
      titles.push_back(record.substr(0, record.find(u'|')));
      RemoveRecord(record);
      return true;
    }
    const size_t bar = tail_.find(u'|');
    if (bar == std::u16string::npos) return false;
    titles.push_back(tail_.substr(0, bar));
    // No "|Y" anywhere: the record is the first character, and every copy of it goes.
    const char16_t first = tail_[0];
    std::u16string kept;
    for (char16_t c : tail_) {
      if (c != first) kept.push_back(c);
    }
    tail_.clear();
    AppendCut(std::move(kept), tail_);
    return true;
  }

 private:
  // Appends the complete segments of `text` and leaves its pair-less end in `rest`.
  void AppendCut(std::u16string text, std::u16string& rest) {
    size_t start = 0;
    for (size_t i = 1; i < text.size(); ++i) {
      if (text[i - 1] == u'|' && text[i] == u'Y') {
        Push(text.substr(start, i + 1 - start));
        start = i + 1;
      }
    }
    rest = start == 0 ? std::move(text) : text.substr(start);
  }

  void Push(std::u16string segment) {
    hashes_.push_back(TailHash(segment));
    live_.push_back(1);
    segments_.push_back(std::move(segment));
  }

  void RemoveRecord(const std::u16string& record) {
    const size_t n = segments_.size();
    const bool hashDecides = record.size() > kTailLength;  // also for "wider": size - 1
    const uint64_t recordHash = TailHash(record);
    std::vector<std::pair<size_t, Cut>> found{{front_, Cut::Whole}};
    size_t previousLive = front_;  // the live segment in front of the one looked at
    bool previousCut = true;
    for (size_t j = front_ + 1; j < n; ++j) {
      if (hashDecides && hashes_[j] != recordHash) {
        if (live_[j]) previousLive = j, previousCut = false;
        continue;
      }
      if (!live_[j]) continue;
      const std::u16string& segment = segments_[j];
      Cut cut = Cut::None;
      if (EndsWith(segment, record)) {
        cut = segment.size() == record.size() ? Cut::Whole : Cut::Inner;
      } else if (!previousCut && segment.size() + 1 == record.size() &&
                 segments_[previousLive].back() == record[0] &&
                 std::u16string_view(record).substr(1) == segment) {
        cut = Cut::Wider;
      }
      if (cut != Cut::None) found.emplace_back(j, cut);
      previousLive = j;
      previousCut = cut != Cut::None;
    }

    bool onlyWhole = true;
    for (const auto& [j, cut] : found) onlyWhole = onlyWhole && cut == Cut::Whole;
    if (onlyWhole) {
      for (const auto& [j, cut] : found) {
        live_[j] = 0;
        std::u16string().swap(segments_[j]);
      }
      return;
    }
    Rebuild(found, record.size());
  }

  // Writes the text again from the front, with the occurrences in `found` cut out.
  void Rebuild(const std::vector<std::pair<size_t, Cut>>& found, size_t recordLength) {
    std::vector<std::u16string> old = std::move(segments_);
    std::vector<uint8_t> oldLive = std::move(live_);
    segments_.clear();
    live_.clear();
    hashes_.clear();
    std::u16string pending;  // joined text not yet ending at a pair
    auto flush = [&] {
      std::u16string rest;
      AppendCut(std::move(pending), rest);
      pending = std::move(rest);
    };
    size_t next = 0;
    for (size_t j = front_; j < old.size(); ++j) {
      if (!oldLive[j]) continue;
      Cut cut = Cut::None;
      if (next < found.size() && found[next].first == j) cut = found[next++].second;
      switch (cut) {
        case Cut::Whole:
          break;
        case Cut::Inner:
          pending += std::u16string_view(old[j]).substr(0, old[j].size() - recordLength);
          break;
        case Cut::Wider:
          if (pending.empty()) {
            pending = std::move(segments_.back());
            segments_.pop_back();
            live_.pop_back();
            hashes_.pop_back();
          }
          pending.pop_back();
          break;
        case Cut::None:
          if (pending.empty()) {
            Push(std::move(old[j]));
          } else {
            pending += old[j];
            flush();
          }
          break;
      }
    }
    pending += tail_;
    tail_.clear();
    AppendCut(std::move(pending), tail_);
    front_ = 0;
  }

  std::vector<std::u16string> segments_;
  std::vector<uint64_t> hashes_;  // TailHash of each segment, kept beside for a tight scan
  std::vector<uint8_t> live_;
  size_t front_ = 0;  // no live segment lies in front of this one
  std::u16string tail_;
};

}  // namespace

std::vector<std::u16string> ListMusicTitles(std::u16string workingText) {
  std::vector<std::u16string> titles;
  SegmentedText text(std::move(workingText));
  while (titles.size() < kMaxListedTitles) {
    if (!text.TakeNextTitle(titles)) break;
  }
  return titles;
}

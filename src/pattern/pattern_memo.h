// The memo of failed states the matcher keeps for a search that works hard
// for little progress (see CPattern::SetMemo). Only the matcher uses it.
#ifndef STRBATCH_PATTERN_PATTERN_MEMO_H_
#define STRBATCH_PATTERN_PATTERN_MEMO_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "pattern/pattern.h"

namespace strbatch::pattern_internal {

// The memo: (choice point, position) states that a search has explored
// without finding a match. What happens from such a state depends on
// nothing else (the compiler gives rows only to such choice points), so
// reaching one again can only fail again. Bits are kept in pages of
// kPagePositions positions, allocated when a position in the page is first
// visited, so that a long text costs only for the stretch the search
// explores; pages behind the attempt start are dropped, as no later state
// lies there.
class FailedStates {
 public:
  // points rows; positions from base to end.
  FailedStates(int32_t points, uint32_t base, uint32_t end)
      : pageWords_(static_cast<size_t>(points) * (kPagePositions / 64)),
        base_(base),
        pages_(((end - base) >> kPageShift) + 1) {
    bytes_ = pages_.size() * sizeof(pages_[0]);
  }

  // 0 on the first visit of the state, which is recorded; 1 when it was
  // visited before; -1 when recording it would pass CPattern::kMaxMemoBytes.
  int Visit(int32_t point, uint32_t pos) {
    const uint32_t offset = pos - base_;
    std::unique_ptr<uint64_t[]>& page = pages_[offset >> kPageShift];
    if (!page) {
      if (bytes_ + PageBytes() > CPattern::kMaxMemoBytes) return -1;
      page.reset(new uint64_t[pageWords_]());
      bytes_ += PageBytes();
    }
    const size_t bit = static_cast<size_t>(point) * kPagePositions + (offset & (kPagePositions - 1));
    uint64_t& word = page[bit >> 6];
    const uint64_t mask = uint64_t{1} << (bit & 63);
    if ((word & mask) != 0) return 1;
    word |= mask;
    return 0;
  }

  // Drops the pages that lie wholly before pos.
  void Forget(uint32_t pos) {
    const size_t end = (pos - base_) >> kPageShift;
    for (; firstLive_ < end; ++firstLive_) {
      if (pages_[firstLive_]) {
        pages_[firstLive_].reset();
        bytes_ -= PageBytes();
      }
    }
  }

 private:
  static constexpr uint32_t kPageShift = 12;
  static constexpr uint32_t kPagePositions = uint32_t{1} << kPageShift;

  size_t PageBytes() const { return pageWords_ * sizeof(uint64_t); }

  const size_t pageWords_;
  const uint32_t base_;
  std::vector<std::unique_ptr<uint64_t[]>> pages_;
  size_t firstLive_ = 0;
  size_t bytes_ = 0;
};

}  // namespace strbatch::pattern_internal

#endif  // STRBATCH_PATTERN_PATTERN_MEMO_H_

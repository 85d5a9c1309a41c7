#include "office/occurrence_cursor.h"

#include <algorithm>

namespace strbatch {

void OccurrenceCursor::Begin(std::string_view searchedText) {
  searched_.assign(searchedText);
  start_ = length_ = end_ = walkFrom_ = 0;
  clamped_ = located_ = taken_ = edited_ = false;
}

bool OccurrenceCursor::Locate(int64_t start, int64_t length) {
  const bool leftBefore = located_ && !edited_;
  const size_t size = searched_.size();
  start_ = std::min(static_cast<size_t>(std::max<int64_t>(start, 0)), size);
  length_ = std::min(static_cast<size_t>(std::max<int64_t>(length, 0)), size - start_);
  clamped_ = start < 0 || length < 0 || static_cast<uint64_t>(start) != start_ ||
             static_cast<uint64_t>(length) != length_;
  walkFrom_ = std::min(end_, start_);
  end_ = start_ + length_;
  located_ = true;
  taken_ = edited_ = false;
  return leftBefore;
}

bool OccurrenceCursor::TakeForEdit() {
  if (!located_ || taken_) return false;
  taken_ = true;
  // A range the searched text does not wholly hold was not found in it: the
  // part inside is no occurrence, and is not edited in its stead.
  if (clamped_) {
    leftovers_.Add(NotAppliedReason::kNotMatchable);
    return false;
  }
  return true;
}

}  // namespace strbatch

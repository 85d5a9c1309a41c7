// Where a document's work text holds stand-ins: the characters the code
// page cannot hold, each written as a "?" that is no "?" of the document.
// An occurrence that covers one is no occurrence (OfficeDocument::Admits).
#ifndef STRBATCH_OFFICE_STAND_INS_H_
#define STRBATCH_OFFICE_STAND_INS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace strbatch {

class StandInSpans {
 public:
  void Clear() { spans_.clear(); }
  // The stand-in at [begin, end) of the work text; spans are added in the
  // order of the text and do not overlap.
  void Add(size_t begin, size_t end) { spans_.push_back({begin, end}); }
  // One-byte stand-ins at these offsets, in order.
  void AddBytes(const std::vector<size_t>& offsets) {
    for (size_t at : offsets) Add(at, at + 1);
  }
  size_t Count() const { return spans_.size(); }
  std::vector<size_t> Offsets() const {
    std::vector<size_t> offsets;
    offsets.reserve(spans_.size());
    for (const Span& span : spans_) offsets.push_back(span.begin);
    return offsets;
  }
  // Whether [start, start + length) covers no stand-in. An empty range
  // covers nothing.
  bool Admits(int64_t start, int64_t length) const {
    if (spans_.empty() || length <= 0 || start < 0) return true;
    const auto from = static_cast<size_t>(start);
    const size_t to = from + static_cast<size_t>(length);
    // The first stand-in that ends after the range begins.
    auto next = std::upper_bound(spans_.begin(), spans_.end(), from,
                                 [](size_t at, const Span& span) { return at < span.end; });
    return next == spans_.end() || next->begin >= to;
  }

 private:
  struct Span {
    size_t begin, end;
  };
  std::vector<Span> spans_;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_STAND_INS_H_

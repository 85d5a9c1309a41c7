#include "batch/text_diff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace strbatch {
namespace {

// Where two token sequences differ: [oldFrom, oldTo) of the first stands
// where [newFrom, newTo) of the second is.
struct Run {
  size_t oldFrom = 0;
  size_t oldTo = 0;
  size_t newFrom = 0;
  size_t newTo = 0;
};

// How many tokens a and b have in common at their start, and then at their
// end.
void CommonEnds(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, size_t* prefix,
                size_t* suffix) {
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) head++;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    tail++;
  }
  *prefix = head;
  *suffix = tail;
}

// The runs of a shortest edit script between a and b, in order.
std::vector<Run> DifferingRuns(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  // Most of a text comes through a replace unchanged: the common ends are
  // cut off before the diff, which then works on the middle only.
  size_t prefix = 0, suffix = 0;
  CommonEnds(a, b, &prefix, &suffix);
  const size_t aEnd = a.size() - suffix;
  const size_t bEnd = b.size() - suffix;
  std::vector<Run> runs;
  if (prefix == aEnd && prefix == bEnd) return runs;
  if (prefix == aEnd || prefix == bEnd) {
    runs.push_back({prefix, aEnd, prefix, bEnd});
    return runs;
  }
  const std::vector<uint32_t> middleA(a.begin() + static_cast<long>(prefix),
                                      a.begin() + static_cast<long>(aEnd));
  const std::vector<uint32_t> middleB(b.begin() + static_cast<long>(prefix),
                                      b.begin() + static_cast<long>(bEnd));
  dtl::Diff<uint32_t> diff(middleA, middleB);
  diff.compose();
  size_t i = prefix, j = prefix;
  bool open = false;
  Run run;
  for (const auto& [element, info] : diff.getSes().getSequence()) {
    if (info.type == dtl::SES_COMMON) {
      if (open) {
        run.oldTo = i;
        run.newTo = j;
        runs.push_back(run);
        open = false;
      }
      i++;
      j++;
      continue;
    }
    if (!open) {
      run = {i, i, j, j};
      open = true;
    }
    if (info.type == dtl::SES_DELETE) {
      i++;
    } else {
      j++;
    }
  }
  if (open) runs.push_back({run.oldFrom, i, run.newFrom, j});
  return runs;
}

template <class IsEnd>
std::vector<std::string_view> SplitAfter(std::string_view text, IsEnd isEnd) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); i++) {
    if (isEnd(static_cast<unsigned char>(text[i]))) {
      pieces.push_back(text.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

// How far a line end of an office document reaches from the byte at i:
// the offset just past it, or i when no line ends there.
size_t OfficeLineEnd(std::string_view text, size_t i, const TextLayout& layout) {
  const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
  // A story's mark ends the line before it, or is a line of its own.
  const auto storyMark = [&text, &byte](size_t k) {
    return k < text.size() && byte(k) == static_cast<unsigned char>(kStoryMark);
  };
  if (layout.crPairs) {
    if (storyMark(i)) return i + 1;
    if (byte(i) != '\r') return i;
    const size_t end =
        i + 1 < text.size() && (byte(i + 1) == '\n' || byte(i + 1) == '\a') ? i + 2 : i + 1;
    return storyMark(end) ? end + 1 : end;
  }
  const auto level = [&layout](unsigned char b) {
    return b == static_cast<unsigned char>(kStoryMark) ? 4
           : b == layout.outer                          ? 3
           : b == layout.middle                         ? 2
           : b == layout.inner                          ? 1
                                                        : 0;
  };
  int passed = level(byte(i));
  if (passed == 0) return i;
  size_t end = i + 1;
  while (end < text.size() && level(byte(end)) > passed) passed = level(byte(end++));
  return end;
}

// The length of an office document's line without the mark or separators
// that end it.
size_t OfficeLineContent(std::string_view line, const TextLayout& layout) {
  size_t size = line.size();
  if (size > 0 && line[size - 1] == kStoryMark) size--;
  if (layout.crPairs) {
    if (size >= 2 && line[size - 2] == '\r' && (line[size - 1] == '\n' || line[size - 1] == '\a')) {
      return size - 2;
    }
    return size > 0 && line[size - 1] == '\r' ? size - 1 : size;
  }
  while (size > 0 && layout.Separates(static_cast<unsigned char>(line[size - 1]))) size--;
  return size;
}

// The offsets just past each line end of text, as kind cuts lines.
std::vector<size_t> LineEnds(std::string_view text, OfficeKind kind) {
  std::vector<size_t> ends;
  if (kind == OfficeKind::None) {
    for (const char* at = text.data(); at != nullptr && at < text.data() + text.size();) {
      at = static_cast<const char*>(std::memchr(at, '\n', text.data() + text.size() - at));
      if (at != nullptr) ends.push_back(static_cast<size_t>(++at - text.data()));
    }
    return ends;
  }
  const TextLayout layout = WorkTextLayout(kind);
  for (size_t i = 0; i < text.size();) {
    const size_t end = OfficeLineEnd(text, i, layout);
    if (end == i) {
      i++;
      continue;
    }
    ends.push_back(end);
    i = end;
  }
  return ends;
}

// The blocks of pieces (lines or segments) that differ, each piece made a
// token by its content.
std::vector<LineBlock> DiffPieces(const std::vector<std::string_view>& a,
                                  const std::vector<std::string_view>& b) {
  std::unordered_map<std::string_view, uint32_t> ids;
  auto tokens = [&ids](const std::vector<std::string_view>& pieces) {
    std::vector<uint32_t> out;
    out.reserve(pieces.size());
    for (std::string_view piece : pieces) {
      out.push_back(ids.try_emplace(piece, static_cast<uint32_t>(ids.size())).first->second);
    }
    return out;
  };
  const std::vector<uint32_t> ta = tokens(a);
  const std::vector<uint32_t> tb = tokens(b);
  std::vector<LineBlock> blocks;
  for (const Run& run : DifferingRuns(ta, tb)) {
    blocks.push_back({run.oldFrom, run.oldTo - run.oldFrom, run.newFrom, run.newTo - run.newFrom});
  }
  return blocks;
}

// Byte offsets of the pieces' starts, and the text's end after them.
std::vector<size_t> PieceStarts(const std::vector<std::string_view>& pieces,
                                std::string_view text) {
  std::vector<size_t> starts;
  starts.reserve(pieces.size() + 1);
  for (std::string_view piece : pieces) starts.push_back(static_cast<size_t>(piece.data() - text.data()));
  starts.push_back(text.size());
  return starts;
}

// The characters of text[from, to) as tokens, with their byte offsets (and
// `to` after the last). A token holds the character's bytes; no two byte
// strings give one token, since a character's bytes after the first are
// never NUL.
void Characters(std::string_view text, size_t from, size_t to, const CodePage& codePage,
                std::vector<uint32_t>* tokens, std::vector<size_t>* offsets) {
  tokens->clear();
  offsets->clear();
  for (size_t at = from; at < to;) {
    const size_t next = std::min(codePage.NextChar(text.data(), at, to), to);
    uint32_t token = 0;
    for (size_t k = at; k < next && k < at + 4; k++) {
      token |= static_cast<uint32_t>(static_cast<unsigned char>(text[k])) << (8 * (k - at));
    }
    tokens->push_back(token);
    offsets->push_back(at);
    at = next;
  }
  offsets->push_back(to);
}

// The changes between original[oldFrom, oldTo) and result[newFrom, newTo),
// found by characters.
void DiffCharacters(std::string_view original, size_t oldFrom, size_t oldTo,
                    std::string_view result, size_t newFrom, size_t newTo,
                    const CodePage& codePage, std::vector<TextChange>* changes) {
  std::vector<uint32_t> a, b;
  std::vector<size_t> aAt, bAt;
  Characters(original, oldFrom, oldTo, codePage, &a, &aAt);
  Characters(result, newFrom, newTo, codePage, &b, &bAt);
  const std::vector<Run> runs = DifferingRuns(a, b);
  for (const Run& run : runs) {
    TextChange change;
    change.offset = aAt[run.oldFrom];
    change.length = aAt[run.oldTo] - aAt[run.oldFrom];
    change.resultOffset = bAt[run.newFrom];
    change.resultLength = bAt[run.newTo] - bAt[run.newFrom];
    changes->push_back(change);
  }
}

// Joins changes that touch and numbers their lines.
void Finish(std::string_view original, std::vector<TextChange>* changes,
            OfficeKind lines = OfficeKind::None) {
  size_t kept = 0;
  for (size_t k = 0; k < changes->size(); k++) {
    TextChange& change = (*changes)[k];
    if (kept > 0) {
      TextChange& last = (*changes)[kept - 1];
      if (last.offset + last.length == change.offset) {
        last.length += change.length;
        last.resultLength += change.resultLength;
        continue;
      }
    }
    if (kept != k) (*changes)[kept] = change;
    kept++;
  }
  changes->resize(kept);
  if (lines != OfficeKind::None) {
    const std::vector<size_t> ends = LineEnds(original, lines);
    for (TextChange& change : *changes) {
      change.line = 1 + static_cast<size_t>(
                            std::upper_bound(ends.begin(), ends.end(), change.offset) - ends.begin());
    }
    return;
  }
  size_t line = 1, counted = 0;
  for (TextChange& change : *changes) {
    line += static_cast<size_t>(std::count(original.begin() + static_cast<long>(counted),
                                           original.begin() + static_cast<long>(change.offset),
                                           '\n'));
    counted = change.offset;
    change.line = line;
  }
}

}  // namespace

void EditTrail::BeginDefinition() { EndDefinition(); }

void EditTrail::Occurrence(size_t start, size_t length, size_t replacementLength) {
  pending_.push_back({start, length, replacementLength});
}

void EditTrail::EndDefinition() {
  if (pending_.empty()) return;
  std::vector<Piece>& old = spare_;
  old.swap(pieces_);
  pieces_.clear();
  pieces_.reserve(old.size() + pending_.size());
  // A cursor in the text the definition searched: `position` there is
  // `gapFrom` in the original, and the original is taken over from there to
  // the next old piece.
  size_t i = 0, position = 0, gapFrom = 0;
  auto pieceStart = [&](size_t k) { return position + (old[k].from - gapFrom); };
  for (const Pending& occurrence : pending_) {
    const size_t start = occurrence.start;
    const size_t end = start + occurrence.length;
    while (i < old.size() && pieceStart(i) + old[i].length <= start && position <= start) {
      position = pieceStart(i) + old[i].length;
      gapFrom = old[i].to;
      pieces_.push_back(old[i++]);
    }
    Piece joined{0, 0, occurrence.replacementLength};
    bool placed = false;
    auto cover = [&joined, &placed](size_t from, size_t to) {
      joined.from = placed ? std::min(joined.from, from) : from;
      joined.to = placed ? std::max(joined.to, to) : to;
      placed = true;
    };
    size_t at = start;
    if (start < position) {
      // It begins in a piece that the occurrence before took in whole: it
      // joins that occurrence's piece, less what it replaces.
      const Piece before = pieces_.back();
      pieces_.pop_back();
      joined.length += before.length - (std::min(position, end) - start);
      cover(before.from, before.to);
      at = position;
    }
    // An empty occurrence inside a piece rewrites that piece too.
    bool inside = i < old.size() && at == end && pieceStart(i) < at &&
                  at < pieceStart(i) + old[i].length;
    while (at < end || inside) {
      inside = false;
      if (i < old.size() && at >= pieceStart(i)) {
        const size_t from = pieceStart(i);
        const size_t to = from + old[i].length;
        cover(old[i].from, old[i].to);
        joined.length += (at - from) + (to > end ? to - end : 0);
        position = to;
        gapFrom = old[i].to;
        at = std::max(at, to);
        i++;
        continue;
      }
      const size_t gapEnd = i < old.size() ? pieceStart(i) : end;
      const size_t take = std::min(end, gapEnd) - at;
      cover(gapFrom + (at - position), gapFrom + (at - position) + take);
      at += take;
    }
    if (!placed) {
      const size_t point = i < old.size() && at >= pieceStart(i) ? old[i].from
                                                                  : gapFrom + (at - position);
      cover(point, point);
    }
    if (at > position) {
      gapFrom += at - position;
      position = at;
    }
    gapFrom = std::max(gapFrom, joined.to);
    pieces_.push_back(joined);
  }
  while (i < old.size()) pieces_.push_back(old[i++]);
  pending_.clear();
}

std::vector<Region> EditTrail::Regions() {
  EndDefinition();
  std::vector<Region> regions;
  size_t position = 0, taken = 0;  // in the result, and the original taken up to there
  for (const Piece& piece : pieces_) {
    const size_t resultFrom = position + (piece.from - taken);
    if (!regions.empty() && regions.back().to >= piece.from) {
      regions.back().to = std::max(regions.back().to, piece.to);
      regions.back().resultTo = resultFrom + piece.length;
    } else {
      regions.push_back({piece.from, piece.to, resultFrom, resultFrom + piece.length});
    }
    position = resultFrom + piece.length;
    taken = std::max(taken, piece.to);
  }
  return regions;
}

namespace {

// The lines of a text by the offsets just past their line ends.
class LineIndex {
 public:
  LineIndex(std::string_view text, OfficeKind kind)
      : size_(text.size()), ends_(LineEnds(text, kind)) {
    count_ = ends_.size() + (size_ > 0 && (ends_.empty() || ends_.back() != size_));
  }
  size_t Count() const { return count_; }
  // The line that holds offset (Count() for the end of a text that ends with
  // a line end). Asked in nearly increasing order, it walks from its last
  // answer.
  size_t LineOf(size_t offset) {
    while (cursor_ < ends_.size() && ends_[cursor_] <= offset) cursor_++;
    while (cursor_ > 0 && ends_[cursor_ - 1] > offset) cursor_--;
    return cursor_;
  }
  // Whether a line ends just before offset.
  bool EndsAt(size_t offset) const { return std::binary_search(ends_.begin(), ends_.end(), offset); }
  size_t End(size_t line) const { return line < ends_.size() ? ends_[line] : size_; }

 private:
  size_t size_;
  std::vector<size_t> ends_;
  size_t count_ = 0;
  size_t cursor_ = 0;
};

}  // namespace

std::vector<LineBlock> LineBlocks(std::string_view original, std::string_view result,
                                  const std::vector<TextChange>& changes, OfficeKind lines) {
  LineIndex oldLines(original, lines);
  LineIndex newLines(result, lines);
  std::vector<LineBlock> blocks;
  for (const TextChange& change : changes) {
    const size_t oldFrom = change.offset;
    const size_t oldEnd = oldFrom + change.length;
    const size_t newFrom = change.resultOffset;
    const size_t newEnd = newFrom + change.resultLength;
    size_t first = oldLines.LineOf(oldFrom);
    size_t last = first >= oldLines.Count() ? first
                  : oldEnd > oldFrom        ? oldLines.LineOf(oldEnd - 1) + 1
                                            : first + 1;
    size_t newLineEnd = newEnd + ((last > first ? oldLines.End(last - 1) : oldEnd) - oldEnd);
    // A change that takes away a line end joins the next line to its own.
    while (newLineEnd > 0 && newLineEnd < result.size() && !newLines.EndsAt(newLineEnd) &&
           last < oldLines.Count()) {
      last++;
      newLineEnd = newEnd + (oldLines.End(last - 1) - oldEnd);
    }
    size_t newFirst = newLines.LineOf(newFrom);
    const size_t newLast =
        newLineEnd >= result.size() ? newLines.Count() : newLines.LineOf(newLineEnd);
    if (!blocks.empty() && first < blocks.back().oldFirst + blocks.back().oldCount) {
      first = blocks.back().oldFirst;
      newFirst = blocks.back().newFirst;
      blocks.pop_back();
    }
    blocks.push_back({first, last - first, newFirst, newLast - newFirst});
  }
  return blocks;
}

bool DiffRewrittenRegions(std::string_view original, std::string_view result,
                          const std::vector<Region>& regions, const CodePage& codePage,
                          TextDiff* diff) {
  diff->changes.clear();
  diff->changes.reserve(regions.size());
  size_t oldAt = 0, newAt = 0;
  std::vector<uint32_t> a, b;
  std::vector<size_t> aAt, bAt;
  for (const Region& region : regions) {
    if (region.from < oldAt || region.to > original.size() || region.resultFrom < newAt ||
        region.resultTo > result.size() || region.from - oldAt != region.resultFrom - newAt ||
        original.compare(oldAt, region.from - oldAt, result.substr(newAt, region.from - oldAt)) !=
            0) {
      return false;
    }
    oldAt = region.to;
    newAt = region.resultTo;
    // What a region begins and ends with on both sides is no change. Most
    // replacements differ from their occurrence at both ends: no character
    // needs to be found then.
    TextChange change;
    if (region.from < region.to && region.resultFrom < region.resultTo &&
        original[region.from] != result[region.resultFrom] &&
        original[region.to - 1] != result[region.resultTo - 1]) {
      change.offset = region.from;
      change.length = region.to - region.from;
      change.resultOffset = region.resultFrom;
      change.resultLength = region.resultTo - region.resultFrom;
      diff->changes.push_back(change);
      continue;
    }
    Characters(original, region.from, region.to, codePage, &a, &aAt);
    Characters(result, region.resultFrom, region.resultTo, codePage, &b, &bAt);
    size_t head = 0, tail = 0;
    CommonEnds(a, b, &head, &tail);
    if (head + tail == a.size() && head + tail == b.size()) continue;
    change.offset = aAt[head];
    change.length = aAt[a.size() - tail] - aAt[head];
    change.resultOffset = bAt[head];
    change.resultLength = bAt[b.size() - tail] - bAt[head];
    diff->changes.push_back(change);
  }
  if (original.size() - oldAt != result.size() - newAt ||
      original.substr(oldAt) != result.substr(newAt)) {
    return false;
  }
  Finish(original, &diff->changes);
  return true;
}

std::vector<std::string_view> SplitLines(std::string_view text, OfficeKind lines) {
  if (lines == OfficeKind::None) {
    return SplitAfter(text, [](unsigned char b) { return b == '\n'; });
  }
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t end : LineEnds(text, lines)) {
    pieces.push_back(text.substr(start, end - start));
    start = end;
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

PlaceFinder::PlaceFinder(std::string_view text, OfficeKind kind)
    : text_(text), kind_(kind), layout_(WorkTextLayout(kind)) {}

TextPlace PlaceFinder::At(size_t offset) {
  offset = std::min(offset, text_.size());
  if (offset < walked_) {
    walked_ = 0;
    outer_ = middle_ = inner_ = marks_ = stories_ = 0;
  }
  while (walked_ < offset) {
    const int byte = static_cast<unsigned char>(text_[walked_]);
    if (byte == static_cast<unsigned char>(kStoryMark)) {
      // Each story counts its places from its start.
      stories_++;
      outer_ = middle_ = inner_ = marks_ = 0;
      walked_++;
      continue;
    }
    if (layout_.crPairs) {
      // A mark counts once it is passed whole, its LF or BEL too.
      const size_t end = OfficeLineEnd(text_, walked_, layout_);
      if (end > offset) break;
      if (end > walked_) {
        marks_++;
        walked_ = end;
        continue;
      }
    } else if (byte == layout_.outer) {
      outer_++;
      middle_ = inner_ = 0;
    } else if (byte == layout_.middle) {
      middle_++;
      inner_ = 0;
    } else if (byte == layout_.inner) {
      inner_++;
    }
    walked_++;
  }
  TextPlace place;
  if (const std::vector<OfficeStory> further = FurtherStories(kind_);
      stories_ > 0 && !further.empty()) {
    place.story = further[std::min(stories_, further.size()) - 1];
  }
  switch (kind_) {
    case OfficeKind::Word:
      place.paragraph = marks_ + 1;
      break;
    case OfficeKind::Excel:
      place.sheet = outer_ + 1;
      place.row = middle_ + 1;
      place.column = inner_ + 1;
      break;
    case OfficeKind::PowerPoint:
      place.slide = outer_ + 1;
      place.shape = middle_ + 1;
      break;
    case OfficeKind::None:
      break;
  }
  return place;
}

TextDiff DiffTexts(std::string_view original, std::string_view result, const CodePage& codePage) {
  TextDiff diff;
  const std::vector<std::string_view> oldLines = SplitLines(original);
  const std::vector<std::string_view> newLines = SplitLines(result);
  const std::vector<LineBlock> blocks = DiffPieces(oldLines, newLines);
  const std::vector<size_t> oldAt = PieceStarts(oldLines, original);
  const std::vector<size_t> newAt = PieceStarts(newLines, result);
  for (const LineBlock& block : blocks) {
    if (block.oldCount == block.newCount) {
      // Line for line: a diff of each pair costs far less than one of the
      // whole block when every line of a file changed.
      for (size_t k = 0; k < block.oldCount; k++) {
        DiffCharacters(original, oldAt[block.oldFirst + k], oldAt[block.oldFirst + k + 1], result,
                       newAt[block.newFirst + k], newAt[block.newFirst + k + 1], codePage,
                       &diff.changes);
      }
    } else {
      DiffCharacters(original, oldAt[block.oldFirst], oldAt[block.oldFirst + block.oldCount],
                     result, newAt[block.newFirst], newAt[block.newFirst + block.newCount],
                     codePage, &diff.changes);
    }
  }
  Finish(original, &diff.changes);
  return diff;
}

TextDiff DiffSegments(std::string_view original, std::string_view result, OfficeKind lines) {
  TextDiff diff;
  auto isEnd = [](unsigned char b) { return b < 0x20; };
  const std::vector<std::string_view> oldSegments = SplitAfter(original, isEnd);
  const std::vector<std::string_view> newSegments = SplitAfter(result, isEnd);
  const std::vector<LineBlock> blocks = DiffPieces(oldSegments, newSegments);
  const std::vector<size_t> oldAt = PieceStarts(oldSegments, original);
  const std::vector<size_t> newAt = PieceStarts(newSegments, result);
  auto add = [&](size_t oldFirst, size_t oldCount, size_t newFirst, size_t newCount) {
    TextChange change;
    change.offset = oldAt[oldFirst];
    change.length = oldAt[oldFirst + oldCount] - change.offset;
    change.resultOffset = newAt[newFirst];
    change.resultLength = newAt[newFirst + newCount] - newAt[newFirst];
    diff.changes.push_back(change);
  };
  for (const LineBlock& block : blocks) {
    if (block.oldCount == block.newCount) {
      for (size_t k = 0; k < block.oldCount; k++) add(block.oldFirst + k, 1, block.newFirst + k, 1);
    } else {
      add(block.oldFirst, block.oldCount, block.newFirst, block.newCount);
    }
  }
  Finish(original, &diff.changes, lines);
  return diff;
}

bool ApplyEdits(std::string_view original, std::vector<ByteEdit> edits, std::string* out) {
  std::sort(edits.begin(), edits.end(), [](const ByteEdit& x, const ByteEdit& y) {
    return x.offset != y.offset ? x.offset < y.offset : x.length < y.length;
  });
  size_t copied = 0;
  out->clear();
  for (size_t k = 0; k < edits.size(); k++) {
    const ByteEdit& edit = edits[k];
    if (edit.offset > original.size() || edit.length > original.size() - edit.offset) return false;
    // Two edits at one place have no order; overlapping ones no meaning.
    if (k > 0 && (edit.offset < copied || edit.offset == edits[k - 1].offset)) return false;
    out->append(original.substr(copied, edit.offset - copied));
    out->append(edit.bytes);
    copied = edit.offset + edit.length;
  }
  out->append(original.substr(copied));
  return true;
}

std::string UnifiedDiff(std::string_view original, std::string_view result,
                        const std::vector<LineBlock>& blocks, const CodePage& codePage,
                        const std::string& oldName, const std::string& newName, OfficeKind lines,
                        const std::function<std::string(size_t)>& placeLabel) {
  constexpr size_t kContext = 3;
  const std::vector<std::string_view> oldLines = SplitLines(original, lines);
  const std::vector<std::string_view> newLines = SplitLines(result, lines);
  std::string out = "--- " + oldName + "\n+++ " + newName + "\n";
  // The lines of a hunk are gathered in the code page and carried into
  // UTF-8 at once; the marks are ASCII, the same in every code page.
  std::string hunk;
  std::vector<std::pair<char, std::string_view>> hunkLines;
  auto append = [](std::string* to, char mark, std::string_view line) {
    *to += mark;
    to->append(line);
    if (line.empty() || line.back() != '\n') *to += "\n\\ No newline at end of file\n";
  };
  const TextLayout layout = WorkTextLayout(lines);
  auto emit = [&](char mark, std::string_view line) {
    if (lines != OfficeKind::None) {
      // Line by line: the mark or separators that end an office document's
      // line are left out, and no control character reaches a terminal.
      line = line.substr(0, OfficeLineContent(line, layout));
      std::string utf8;
      if (codePage.IsUtf8()) {
        utf8.assign(line);
      } else {
        codePage.ToUtf8(line, &utf8);
      }
      out += mark;
      for (const char c : utf8) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
          out += "\xE2\x90";
          out += static_cast<char>(0x80 + c);
        } else {
          out += c;
        }
      }
      out += '\n';
      return;
    }
    append(&hunk, mark, line);
    hunkLines.emplace_back(mark, line);
  };
  auto flush = [&] {
    std::string utf8;
    if (codePage.IsUtf8()) {
      out += hunk;
    } else if (codePage.ToUtf8(hunk, &utf8) ||
               std::count(utf8.begin(), utf8.end(), '\n') ==
                   std::count(hunk.begin(), hunk.end(), '\n')) {
      out += utf8;
    } else {
      // A stray lead byte took the line end after it: line by line instead.
      for (const auto& [mark, line] : hunkLines) {
        codePage.ToUtf8(line, &utf8);
        append(&out, mark, utf8);
      }
    }
    hunk.clear();
    hunkLines.clear();
  };
  auto range = [](size_t first, size_t count) {
    return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
  };
  for (size_t k = 0; k < blocks.size();) {
    // A hunk takes every block whose context meets the one before.
    size_t last = k;
    while (last + 1 < blocks.size() &&
           blocks[last + 1].oldFirst <=
               blocks[last].oldFirst + blocks[last].oldCount + 2 * kContext) {
      last++;
    }
    const size_t oldStart = blocks[k].oldFirst - std::min(blocks[k].oldFirst, kContext);
    const size_t newStart = blocks[k].newFirst - (blocks[k].oldFirst - oldStart);
    const size_t oldEnd =
        std::min(oldLines.size(), blocks[last].oldFirst + blocks[last].oldCount + kContext);
    const size_t newEnd = blocks[last].newFirst + blocks[last].newCount +
                          (oldEnd - blocks[last].oldFirst - blocks[last].oldCount);
    out += "@@ -" + range(oldStart, oldEnd - oldStart) + " +" + range(newStart, newEnd - newStart) +
           " @@";
    if (placeLabel) {
      const size_t first = blocks[k].oldFirst;
      out += " " + placeLabel(first < oldLines.size()
                                  ? static_cast<size_t>(oldLines[first].data() - original.data())
                                  : original.size());
    }
    out += '\n';
    size_t at = oldStart;
    for (size_t b = k; b <= last; b++) {
      for (; at < blocks[b].oldFirst; at++) emit(' ', oldLines[at]);
      for (size_t i = 0; i < blocks[b].oldCount; i++) emit('-', oldLines[blocks[b].oldFirst + i]);
      for (size_t i = 0; i < blocks[b].newCount; i++) emit('+', newLines[blocks[b].newFirst + i]);
      at = blocks[b].oldFirst + blocks[b].oldCount;
    }
    for (; at < oldEnd; at++) emit(' ', oldLines[at]);
    flush();
    k = last + 1;
  }
  return out;
}

}  // namespace strbatch

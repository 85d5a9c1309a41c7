#include "office/layout_walk.h"

#include <algorithm>

#include "office/office_location.h"

namespace strbatch {

std::string CleanLayoutText(std::string_view text, bool tabSeparates) {
  std::string clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      clean.push_back(' ');
      i++;
    } else if (c == '\r' || c == '\n' || (tabSeparates && c == '\t')) {
      clean.push_back(' ');
    } else {
      clean.push_back(c);
    }
  }
  return clean;
}

LayoutWalk WalkLayout(std::string_view segment, size_t begin, size_t end, LayoutPosition position,
                      size_t skip, const LayoutSeparators& separators, const CodePage& codePage) {
  LayoutWalk walk;
  end = std::min(end, segment.size());
  size_t pos = std::min(skip, segment.size());
  for (;;) {
    if (pos == begin) {
      walk.started = true;
      walk.atStart = position;
    }
    if (pos >= end) break;
    const size_t next = OfficeUnitEnd(segment, pos, codePage);
    position.characters++;
    if (next == pos + 1) {
      const int byte = static_cast<unsigned char>(segment[pos]);
      const bool separator =
          byte == separators.inner || byte == separators.middle || byte == separators.outer;
      if (separator && pos >= begin) walk.crossed = true;
      if (byte == separators.inner) {
        position.inner++;
        position.characters = 0;
      } else if (byte == separators.middle) {
        position.middle++;
        position.inner = 0;
        position.characters = 0;
      } else if (byte == separators.outer) {
        position.outer++;
        position.middle = 0;
        position.inner = 0;
        position.characters = 0;
      }
    }
    pos = next;
  }
  walk.aligned = walk.started && pos == end;
  if (walk.started && !walk.crossed) walk.length = position.characters - walk.atStart.characters;
  walk.atEnd = position;
  walk.overshoot = pos > end ? pos - end : 0;
  return walk;
}

}  // namespace strbatch

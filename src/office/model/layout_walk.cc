#include "office/model/layout_walk.h"

#include <algorithm>

#include "office/model/office_location.h"

namespace strbatch {

LayoutWalk WalkLayout(std::string_view segment, size_t begin, size_t end, LayoutPosition position,
                      size_t skip, bool afterCr, const TextLayout& layout,
                      const CodePage& codePage) {
  LayoutWalk walk;
  end = std::min(end, segment.size());
  size_t pos = std::min(skip, segment.size());
  afterCr = afterCr && layout.crPairs;
  for (;;) {
    if (pos == begin) {
      walk.started = true;
      walk.atStart = position;
    }
    if (pos >= end) break;
    const size_t next = OfficeUnitEnd(segment, pos, codePage);
    const bool single = next == pos + 1;
    const int byte = static_cast<unsigned char>(segment[pos]);
    // The second unit of a CR LF or CR BEL pair is not a character of its
    // own in the document.
    if (!(afterCr && single && (byte == '\n' || byte == '\a'))) position.characters++;
    afterCr = layout.crPairs && single && byte == '\r';
    if (single && layout.Separates(byte)) {
      if (pos >= begin) walk.crossed = true;
      if (byte == layout.story) {
        position = LayoutPosition{.story = position.story + 1};
      } else if (byte == layout.inner) {
        position.inner++;
      } else if (byte == layout.middle) {
        position.middle++;
        position.inner = 0;
      } else {
        position.outer++;
        position.middle = 0;
        position.inner = 0;
      }
      position.characters = 0;
    }
    pos = next;
  }
  walk.aligned = walk.started && pos == end;
  if (walk.started && !walk.crossed) walk.length = position.characters - walk.atStart.characters;
  walk.atEnd = position;
  walk.overshoot = pos > end ? pos - end : 0;
  walk.afterCr = afterCr;
  return walk;
}

}  // namespace strbatch

// Walking the work text of an office document by its layout. A workbook or
// a presentation lays out cells or shapes separated by single separator
// bytes, each separator starting the next cell, row, worksheet (or shape,
// slide) with its character count at 0. A Word document has no separators;
// its paragraph and cell marks read as CR LF and CR BEL, and each pair is
// one character of the document.
#ifndef STRBATCH_OFFICE_MODEL_LAYOUT_WALK_H_
#define STRBATCH_OFFICE_MODEL_LAYOUT_WALK_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "office/work_text.h"

namespace strbatch {

// A position in the layout: story marks passed (0: the body), outer,
// middle, inner separators passed in the story (sheet, row, column or slide,
// shape) and characters into the current cell.
struct LayoutPosition {
  long story = 0;
  long outer = 0;
  long middle = 0;
  long inner = 0;
  long characters = 0;
};


struct LayoutWalk {
  bool started = false;      // a character begins at the occurrence's start
  bool aligned = false;      // ... and one ends at its end
  bool crossed = false;      // a separator lies inside the occurrence
  LayoutPosition atStart;    // where the occurrence begins (when started)
  long length = 0;           // its characters (when started and not crossed)
  LayoutPosition atEnd;      // where the walk stands after the occurrence
  size_t overshoot = 0;      // bytes of the last character beyond the end
  bool afterCr = false;      // the walk ends on a CR that may pair with what follows
};


// Walks segment from position over [begin, end), after skipping `skip`
// bytes that end a character counted already; afterCr tells that the
// segment follows a CR (for a layout with CR pairs).
LayoutWalk WalkLayout(std::string_view segment, size_t begin, size_t end, LayoutPosition position,
                      size_t skip, bool afterCr, const TextLayout& layout,
                      const CodePage& codePage);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_LAYOUT_WALK_H_

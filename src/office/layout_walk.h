// Walking the work text of a workbook or a presentation: cells or shapes
// separated by single separator bytes, each separator starting the next
// cell, row, worksheet (or shape, slide) with its character count at 0.
#ifndef STRBATCH_OFFICE_LAYOUT_WALK_H_
#define STRBATCH_OFFICE_LAYOUT_WALK_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {

// A position in the layout: outer, middle, inner separators passed (sheet,
// row, column or slide, shape) and characters into the current cell.
struct LayoutPosition {
  long outer = 0;
  long middle = 0;
  long inner = 0;
  long characters = 0;
};

// The bytes that separate the levels; -1 for a level the layout lacks.
struct LayoutSeparators {
  int outer;
  int middle;
  int inner;
};

struct LayoutWalk {
  bool started = false;      // a character begins at the occurrence's start
  bool aligned = false;      // ... and one ends at its end
  bool crossed = false;      // a separator lies inside the occurrence
  LayoutPosition atStart;    // where the occurrence begins (when started)
  long length = 0;           // its characters (when started and not crossed)
  LayoutPosition atEnd;      // where the walk stands after the occurrence
  size_t overshoot = 0;      // bytes of the last character beyond the end
};

// A cell's or shape's text as its layout holds it: a CR LF pair becomes one
// space, and so does every other CR, LF and (when tabs separate cells) TAB,
// so that the separators never occur inside.
std::string CleanLayoutText(std::string_view text, bool tabSeparates);

// Walks segment from position (after skipping `skip` bytes that end a
// character counted already) over [begin, end).
LayoutWalk WalkLayout(std::string_view segment, size_t begin, size_t end, LayoutPosition position,
                      size_t skip, const LayoutSeparators& separators, const CodePage& codePage);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_LAYOUT_WALK_H_

// Walking the work text of an office document by its layout. A workbook or
// a presentation lays out cells or shapes separated by single separator
// bytes, each separator starting the next cell, row, worksheet (or shape,
// slide) with its character count at 0. A Word document has no separators;
// its paragraph and cell marks read as CR LF and CR BEL, and each pair is
// one character of the document.
#ifndef STRBATCH_OFFICE_LAYOUT_WALK_H_
#define STRBATCH_OFFICE_LAYOUT_WALK_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

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

// How a kind of document lays out its text: the bytes that separate the
// levels (-1 for a level the layout lacks), whether an LF or BEL right
// after a CR belongs to the CR's character, and the byte that begins each
// story after the body (-1 when the text is the body alone), which starts
// all levels afresh.
struct TextLayout {
  int outer = -1;
  int middle = -1;
  int inner = -1;
  bool crPairs = false;
  int story = -1;

  bool Separates(int byte) const {
    return byte == outer || byte == middle || byte == inner || byte == story;
  }
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

// A cell's or shape's text as its layout holds it: where CR is a separator,
// a CR LF pair becomes one space, and so does every other separator byte
// (the story mark too), so that the separators never occur inside. A
// layout without separators keeps the text as it is.
std::string CleanLayoutText(std::string_view text, const TextLayout& layout);

// A document's work text as its application gave it.
struct OfficeText {
  std::string bytes;
  // The offset of each "?" in bytes that stands for a character the code
  // page cannot hold, in order.
  std::vector<size_t> standIns;
  // How many of them stand for an object or a field (U+FFFC) rather than a
  // character of the text: never matched either, but nothing the user's
  // code page lacks.
  size_t objects = 0;
  // The application failed part of the way: bytes holds what was read up to
  // there.
  bool readInPart = false;

  // Appends UTF-8 text in the code page, noting its stand-ins.
  void AppendUtf8(std::string_view utf8, const CodePage& codePage);
};

// Appends a cell's or shape's text, given as UTF-8, to the work text as the
// layout holds it.
void AppendLayoutText(OfficeText& text, std::string_view utf8, const TextLayout& layout,
                      const CodePage& codePage);

// Appends count items of one level of the layout, each written by item(i)
// (i from 1) and ended by the level's separator.
template <class Item>
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): a count, then a layout's byte
void AppendLayoutLevel(std::string& text, long count, int separator, Item&& item) {
  for (long i = 1; i <= count; i++) {
    item(i);
    text.push_back(static_cast<char>(separator));
  }
}

// Walks segment from position over [begin, end), after skipping `skip`
// bytes that end a character counted already; afterCr tells that the
// segment follows a CR (for a layout with CR pairs).
LayoutWalk WalkLayout(std::string_view segment, size_t begin, size_t end, LayoutPosition position,
                      size_t skip, bool afterCr, const TextLayout& layout,
                      const CodePage& codePage);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_LAYOUT_WALK_H_

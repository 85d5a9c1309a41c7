// The differences between a text and what a batch made of it, as the
// preview shows them: lines that differ (LineBlock) and, within them, the
// changes, each a region of the original and the text that takes its place.
// Both texts are in one code page; a change never splits a character.
#ifndef STRBATCH_BATCH_TEXT_DIFF_H_
#define STRBATCH_BATCH_TEXT_DIFF_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "office/office_bridge.h"

namespace strbatch {

// A region of the original text and where the result holds the text that
// takes its place.
struct TextChange {
  size_t offset = 0;  // bytes into the original
  size_t length = 0;
  size_t resultOffset = 0;  // bytes into the result
  size_t resultLength = 0;
  size_t line = 1;  // the original's line where the region begins, from 1
};

inline std::string_view Replacement(std::string_view result, const TextChange& change) {
  return result.substr(change.resultOffset, change.resultLength);
}

// How a text is cut into lines is told by its kind. A text file's
// (OfficeKind::None) lines end after each LF. An office document's lines
// are its paragraphs, cells and shapes: in a Word document a line ends after
// a paragraph or cell mark (a CR, with the LF or BEL that pairs with it); in
// a workbook or presentation after each separator, together with the
// separators of higher levels that follow at once (the last cell of a row
// ends the row, and perhaps the sheet, on its own line).

// Lines [oldFirst, oldFirst + oldCount) of the original (from 0) stand
// where the result has lines [newFirst, newFirst + newCount).
struct LineBlock {
  size_t oldFirst = 0;
  size_t oldCount = 0;
  size_t newFirst = 0;
  size_t newCount = 0;
};

struct TextDiff {
  // In increasing order; they neither overlap nor touch.
  std::vector<TextChange> changes;
};

// The line blocks of result against original around changes (in increasing
// order, as a diff gives them): the lines each change touches, grown until
// the text after them begins a line in both texts, joined where they share
// a line.
std::vector<LineBlock> LineBlocks(std::string_view original, std::string_view result,
                                  const std::vector<TextChange>& changes,
                                  OfficeKind lines = OfficeKind::None);

// A region of the original text, [from, to), and where the result holds
// what took its place, [resultFrom, resultTo).
struct Region {
  size_t from = 0;
  size_t to = 0;
  size_t resultFrom = 0;
  size_t resultTo = 0;
};

// Follows the definitions of one text through their occurrences to the
// regions of the original that they rewrote. Each definition's occurrences
// come in increasing order, as offsets in the text that definition searched.
class EditTrail {
 public:
  EditTrail() = default;
  void BeginDefinition();
  void Occurrence(size_t start, size_t length, size_t replacementLength);
  // The rewritten regions, in order; regions that meet are one, as touching
  // occurrences make one change.
  std::vector<Region> Regions();

 private:
  // A piece of the current text that occurrences wrote in place of [from,
  // to) of the original. Between two pieces lies text taken over from the
  // original: from the first one's `to` to the next one's `from`.
  struct Piece {
    size_t from = 0;
    size_t to = 0;
    size_t length = 0;
  };
  struct Pending {
    size_t start, length, replacementLength;
  };
  void EndDefinition();

  std::vector<Piece> pieces_;
  std::vector<Piece> spare_;      // the pieces before the definition under way
  std::vector<Pending> pending_;  // the occurrences of the definition under way
};

// The lines of a text, each with its line end (a text file's LF); a last
// line without one still counts.
std::vector<std::string_view> SplitLines(std::string_view text,
                                         OfficeKind lines = OfficeKind::None);

// Where an offset of an office document's work text lies, each number from
// 1: the paragraph of a Word document, the sheet, row and column of a
// workbook (row and column counted in the sheet's used range, the rows and
// columns the layout holds), the slide and shape of a presentation.
// A further story counts its places from its own start: a footnote's
// paragraphs, the cell comments of a sheet (each comment a column of row 1),
// the sheet names (each a sheet), a slide's notes (each a shape).
struct TextPlace {
  OfficeStory story = OfficeStory::kBody;
  size_t paragraph = 0;
  size_t sheet = 0;
  size_t row = 0;
  size_t column = 0;
  size_t slide = 0;
  size_t shape = 0;
};

// The places of offsets of one work text, by the separators (or, in Word,
// the paragraph marks) before them. Asked in increasing order, it walks on
// from its last answer.
class PlaceFinder {
 public:
  PlaceFinder(std::string_view text, OfficeKind kind);
  TextPlace At(size_t offset);

 private:
  std::string_view text_;
  OfficeKind kind_;
  TextLayout layout_;
  size_t walked_ = 0;  // the bytes counted into the counts below
  size_t outer_ = 0, middle_ = 0, inner_ = 0, marks_ = 0, stories_ = 0;
};

// Compares the lines, then the characters of the lines that differ; a
// change is a run of differing characters.
TextDiff DiffTexts(std::string_view original, std::string_view result, const CodePage& codePage);

// The changes of a text whose rewritten regions are known (EditTrail): each
// region, less the characters it begins and ends with unchanged, is one
// change, so a replaced word stays one change even where it shares letters
// with its replacement, and the cost follows the regions, not the text.
// False when the text between the regions is not the same in both texts
// (the regions do not describe the result); *diff is then unusable.
bool DiffRewrittenRegions(std::string_view original, std::string_view result,
                          const std::vector<Region>& regions, const CodePage& codePage,
                          TextDiff* diff);

// For office documents: one change per paragraph, cell or shape text that
// differs, the texts separated by control bytes (below 0x20) as their
// layouts write them; each change's line is counted as the kind cuts lines.
TextDiff DiffSegments(std::string_view original, std::string_view result, OfficeKind lines);

// The original with every edit's region replaced by its text. False when
// two regions overlap, two begin at one place, or one reaches past the end.
struct ByteEdit {
  size_t offset = 0;
  size_t length = 0;
  std::string bytes;
};
bool ApplyEdits(std::string_view original, std::vector<ByteEdit> edits, std::string* out);

// A unified diff ("---", "+++", "@@" hunks with three lines of context),
// every line shown in UTF-8 from the texts' code page. The lines of an
// office document are shown without their marks or separators, other
// control characters than TAB as their pictures (U+2400 on), so that
// none reaches a terminal; placeLabel, when given, names the place of a
// hunk's first changed line (its offset in the original) after the "@@".
std::string UnifiedDiff(std::string_view original, std::string_view result,
                        const std::vector<LineBlock>& blocks, const CodePage& codePage,
                        const std::string& oldName, const std::string& newName,
                        OfficeKind lines = OfficeKind::None,
                        const std::function<std::string(size_t)>& placeLabel = {});

}  // namespace strbatch

#endif  // STRBATCH_BATCH_TEXT_DIFF_H_

// The differences between a text and what a batch made of it, as the
// preview shows them: lines that differ (LineBlock) and, within them, the
// changes, each a region of the original and the text that takes its place.
// Both texts are in one code page; a change never splits a character.
#ifndef STRBATCH_BATCH_TEXT_DIFF_H_
#define STRBATCH_BATCH_TEXT_DIFF_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

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
                                  const std::vector<TextChange>& changes);

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

// Lines end after each LF (the LF belongs to the line); a last line without
// one still counts.
std::vector<std::string_view> SplitLines(std::string_view text);

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
// layouts write them.
TextDiff DiffSegments(std::string_view original, std::string_view result);

// The original with every edit's region replaced by its text. False when
// two regions overlap, two begin at one place, or one reaches past the end.
struct ByteEdit {
  size_t offset = 0;
  size_t length = 0;
  std::string bytes;
};
bool ApplyEdits(std::string_view original, std::vector<ByteEdit> edits, std::string* out);

// A unified diff ("---", "+++", "@@" hunks with three lines of context),
// every line shown in UTF-8 from the texts' code page.
std::string UnifiedDiff(std::string_view original, std::string_view result,
                        const std::vector<LineBlock>& blocks, const CodePage& codePage,
                        const std::string& oldName, const std::string& newName);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_TEXT_DIFF_H_

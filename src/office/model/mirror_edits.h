// The plan that writes an edited document text back: a plain model of the
// text as the LibreOffice plugin mirrors it (its characters, the document's
// originals, their portions and texts) and the edits, back to front, that
// turn the originals into the characters held now. Positions are cursor steps.
#ifndef STRBATCH_OFFICE_MODEL_MIRROR_EDITS_H_
#define STRBATCH_OFFICE_MODEL_MIRROR_EDITS_H_

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "office/model/office_model.h"

namespace strbatch {

enum class CharKind : uint8_t { Text, ParagraphBreak, LineBreak, CellMark, Object };

// No original: a character inserted, or one that takes no original's formatting.
constexpr uint32_t kNoOriginal = std::numeric_limits<uint32_t>::max();

// A paragraph's text portions longer than this, in steps, are written anew whole.
constexpr uint32_t kLongPortion = 2048;

struct MirrorChar {
  char32_t code = 0;
  uint32_t origin = kNoOriginal;  // the document's character it is, or none
  uint32_t format = kNoOriginal;  // inserted: the original whose formatting it takes
  uint32_t entry = 0;
  CharKind kind = CharKind::Text;
  uint8_t steps = 1;
  EditLock lock = EditLock::kNone;
  bool anchorBefore = false;  // an anchor lies just before it
};

// A character as the document holds it.
struct MirrorOriginal {
  char32_t code;
  CharKind kind;
  uint8_t steps;
  uint32_t portion;
  uint32_t offset;  // steps from its entry's start
};

struct MirrorPortion {
  enum class Kind : uint8_t { Text, Locked, Break };
  uint32_t entry = 0;
  uint32_t offset = 0;
  uint32_t first = 0;  // its originals: [first, first + count)
  uint32_t count = 0;
  Kind kind = Kind::Text;
  bool whole = false;   // a paragraph's text read whole, not split into its portions yet
  bool uniform = true;  // one format throughout
};

// A text of its own: a Writer paragraph (it has an anchor, and its mark is
// found from its end) or a whole edit-engine text.
struct MirrorEntry {
  bool paragraph = false;
  uint32_t steps = 0;  // of its characters so far
  bool whole = false;  // written back whole when it changed
};

struct MirrorModel {
  std::vector<MirrorChar> chars;
  std::vector<MirrorOriginal> originals;
  std::vector<MirrorPortion> portions;
  std::vector<MirrorEntry> entries;
  bool finalMark = false;  // Writer: every text ends in a mark nothing goes after

  uint32_t AddPortion(uint32_t entry, MirrorPortion::Kind kind);
  // Adds c as the next original character of the last portion, in entry.
  void AddOriginal(uint32_t entry, MirrorChar c);
};

// Text to insert, in the pieces the text object takes: runs of characters
// (UTF-16) and breaks.
struct MirrorPiece {
  enum Kind : uint8_t { Run, Paragraph, Line } kind;
  std::u16string text;
};

// One change of the document, in a portion: delta steps after the
// portion's start (the paragraph's end for a break), deleteSteps removed
// and pieces inserted. keepSteps > 0: the first character removed is
// removed only after the insertion went in just behind it, so that the
// inserted text takes its formatting and an anchor before it stays there.
// A whole-portion edit writes the portion's text anew in that way.
struct MirrorEdit {
  uint32_t portion = 0;
  uint32_t entry = 0;
  uint32_t offset = 0;  // steps from the entry's start, for the order
  uint32_t delta = 0;
  uint32_t keepSteps = 0;
  uint32_t deleteSteps = 0;
  bool whole = false;
  bool bare = false;  // an insertion before the original at delta
  std::vector<MirrorPiece> pieces;
};

// The edits in the order they are to be applied: back to front, so that
// none changes the position of one still to come.
std::vector<MirrorEdit> PlanMirrorEdits(const MirrorModel& model);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_MIRROR_EDITS_H_

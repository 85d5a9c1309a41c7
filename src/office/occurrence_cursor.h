// The occurrences of one definition as a document takes them, apart from
// where they lie in the document: the searched text, the occurrence located
// last (clamped to that text), its one edit, and the occurrences left as they
// were, per reason. Both office paths keep one; each finds the occurrence in
// its own document.
#ifndef STRBATCH_OFFICE_OCCURRENCE_CURSOR_H_
#define STRBATCH_OFFICE_OCCURRENCE_CURSOR_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "office/office_bridge.h"

namespace strbatch {

class OccurrenceCursor {
 public:
  // Starts the occurrences of a definition over searchedText (copied).
  // Nothing is located; the leftovers counted so far are kept.
  void Begin(std::string_view searchedText);

  // Locates the next occurrence at [start, start + length) of the searched
  // text, clamped to it. Returns whether the occurrence located before was
  // left unedited: it is still in the document, and a walk that resumes at
  // its end has to pass over it.
  bool Locate(int64_t start, int64_t length);

  // Hands out the located occurrence for its edit: true once for each
  // occurrence located, false when none is located or it was handed out
  // already. A clamped one is never handed out: it is counted as not
  // matchable. A taken occurrence counts as left unedited until Edited.
  bool TakeForEdit();
  // The taken occurrence was replaced in the document.
  void Edited() { edited_ = true; }
  // The taken occurrence was left as it was, for reason.
  void Leave(NotAppliedReason reason) { leftovers_.Add(reason); }

  const std::string& Searched() const { return searched_; }
  // The located occurrence, within the searched text.
  size_t Start() const { return start_; }
  size_t Length() const { return length_; }
  std::string_view Text() const { return std::string_view(searched_).substr(start_, length_); }
  // The range given to Locate reached past the searched text (or began
  // before it): the occurrence is only the part inside.
  bool Clamped() const { return clamped_; }
  // Where the walk to the located occurrence begins: the end of the one
  // located before, or the occurrence's start when that end lies beyond it.
  size_t WalkFrom() const { return walkFrom_; }

  // The occurrences left as they were since the document was opened.
  const NotApplied& Leftovers() const { return leftovers_; }

 private:
  std::string searched_;
  size_t start_ = 0, length_ = 0;
  size_t end_ = 0;  // where the occurrence located last ended
  size_t walkFrom_ = 0;
  bool clamped_ = false;
  bool located_ = false;
  bool taken_ = false;
  bool edited_ = false;
  NotApplied leftovers_;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_OCCURRENCE_CURSOR_H_

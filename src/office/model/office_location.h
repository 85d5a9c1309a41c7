// The running position of a definition's occurrences inside an office
// document, shared by the Word, Excel and PowerPoint modules. A worker call
// starts with a fresh location; each locate step reads and updates it.
#ifndef STRBATCH_OFFICE_MODEL_OFFICE_LOCATION_H_
#define STRBATCH_OFFICE_MODEL_OFFICE_LOCATION_H_

#include <cstddef>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {

struct OfficeLocation {
  long start = 0;   // characters before the occurrence: in the segment (Word),
                    // in its cell (Excel) or in its shape (PowerPoint)
  long length = 0;  // characters of the occurrence
  // Word: document characters before the segment. Excel, PowerPoint:
  // characters of the current cell or shape before the segment.
  long carriedOffset = 0;
  long sheet = 0, row = 0, column = 0;  // Excel, 0-based
  long slide = 0, shape = 0;            // PowerPoint, 0-based
  // 0: the body; n: the nth story of the kind's further stories, whose
  // levels and characters count from the story's start.
  long story = 0;

  // Where a walk resumes after an occurrence that was not edited into the
  // document. Both are 0 after an edit.
  int continuationBytes = 0;         // bytes at the segment's start that end a
                                     // character counted already
  bool afterCarriageReturn = false;  // Word: the segment follows a CR that an
                                     // LF or BEL at its start pairs with
};

// What a locate step found besides the location it set.
struct LocateResult {
  // The occurrence begins and ends on character boundaries and lies inside
  // one cell or shape: it can be edited into the document.
  bool editable = false;
  // It spans a separator of the layout: two cells, shapes or worksheets.
  bool crossed = false;
  // The location just after the occurrence, for the next segment when this
  // occurrence is not edited.
  OfficeLocation after;
};

// The end of the character that begins at pos, as the code page delimits
// it (a lead byte and the byte after it in GBK or BIG5; a whole sequence in
// UTF-8). The code page's own lead-byte test is used rather than "0x80 or
// above": 0x80 is a character of one byte (the euro sign in GBK), and
// counting it with the next byte would put every later edit of the
// document one character off.
inline size_t OfficeUnitEnd(std::string_view text, size_t pos, const CodePage& codePage) {
  return codePage.NextChar(text, pos);
}

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_OFFICE_LOCATION_H_

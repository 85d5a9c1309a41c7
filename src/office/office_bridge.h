// The office documents as the batch sees them: a document's text laid out
// in the work text, and each occurrence found in that text located and
// edited back into the document. The applications are reached through the
// object model of office_model.h; MakeLibreOfficeBridge gives the real one.
#ifndef STRBATCH_OFFICE_OFFICE_BRIDGE_H_
#define STRBATCH_OFFICE_OFFICE_BRIDGE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "office/model/office_model.h"
#include "office/office_formats.h"
#include "office/work_text.h"

namespace strbatch {

// How much of a document its work text holds: the body alone (the main
// text, the cells of the sheets, the shapes of the slides), or the body and
// then every further story of the document.
enum class OfficeParts { kBody, kAll };

// The stories of a document. A body is laid out as WorkTextLayout says;
// each further story follows it as its own stretch of the work text.
enum class OfficeStory {
  kBody,
  // Word: each distinct header and footer once, section by section (in a
  // section: header, first-page header, even-page header, then the footers
  // in that order); each one's paragraphs as in the body.
  kHeadersFooters,
  kFootnotes,  // Word: each note in the order of its reference, paragraphs as in the body
  kEndnotes,   // the same for endnotes
  kComments,   // Word: each comment in the order of its anchor, paragraphs as in the body
  // Word: the text of each text box and frame the body does not hold, in
  // the order of its anchor, paragraphs as in the body.
  kTextBoxes,
  // Excel: for each sheet, each cell comment row by row, its text cleaned
  // as a cell's and ended by TAB; each sheet's comments ended by CR.
  kCellComments,
  // Excel: each sheet's name, cleaned as a cell's and ended by CR. Found and
  // counted, never replaced (formulas, names and charts refer to them).
  kSheetNames,
  // PowerPoint: for each slide, each text of its notes page (the notes
  // placeholders, not the slide image, number, date, header or footer),
  // cleaned as a shape's and ended by LF; each slide's notes ended by CR.
  kSlideNotes,
};

// The further stories of a kind, in the order the work text lays them out
// after the body under OfficeParts::kAll.
std::vector<OfficeStory> FurtherStories(OfficeKind kind);

// The story's name in the program's output ("body", "headers and footers",
// "footnotes", ...): English words that scripts may rely on.
const char* StoryName(OfficeStory story);

// The byte that begins each further story in the work text under
// OfficeParts::kAll, one per story of FurtherStories even when the story is
// empty. No body or story text holds it (it reads as a space there), so no
// occurrence spans two stories, and a position's story is the number of
// marks before it.
inline constexpr char kStoryMark = '\f';

// Why an occurrence that was found (and counted) was not edited into the
// document.
enum class NotAppliedReason {
  kSpansParts,      // it spans paragraphs' cells, shapes or other separate texts
  kProtected,       // it lies in a protected sheet, section or document
  kObjectAnchor,    // it covers the anchor of an image, frame, shape, field or note
  kFormulaResult,   // it lies in the displayed result of a formula or a number cell
  kNotMatchable,    // it begins or ends inside a character, or covers a character the
                    // work text could only show as a stand-in
  kNotInPlace,      // it needs a change of the document's structure that cannot be made
                    // where it lies (a paragraph break inside a link, blanks that would
                    // vanish)
  kSheetName,       // it lies in a sheet's name, which formulas, names and charts refer to
  kCount,
};

// Occurrences counted but left as they were, per reason.
struct NotApplied {
  size_t counts[static_cast<size_t>(NotAppliedReason::kCount)] = {};

  void Add(NotAppliedReason reason, size_t n = 1) { counts[static_cast<size_t>(reason)] += n; }
  size_t Of(NotAppliedReason reason) const { return counts[static_cast<size_t>(reason)]; }
  size_t Total() const {
    size_t total = 0;
    for (size_t count : counts) total += count;
    return total;
  }
};

class OfficeDocument {
 public:
  virtual ~OfficeDocument() = default;
  // The document's text in the work text layout of its kind. Called again
  // after a definition has edited the document, the text is what the
  // document now holds.
  virtual std::string WriteText() = 0;
  // Starts the occurrences of one definition over the text it searches
  // (the work text as that definition sees it; copied, so the caller may
  // change its buffer afterwards). The running position is reset.
  virtual void BeginOccurrences(std::string_view searchedText) = 0;
  // One occurrence, in the order found: its byte offset in the searched
  // text and its byte length. Occurrences do not overlap.
  virtual void LocateOccurrence(int64_t start, int64_t length) = 0;
  // Replaces the occurrence located last with the replacement text. The
  // replacement takes the formatting of the occurrence's first character.
  // An occurrence that cannot be edited in place (one that spans cells or
  // shapes, begins inside a character, covers a field, an object's anchor,
  // a protected or computed text, or a character the code page cannot hold)
  // is left as it is and counted in Leftovers.
  virtual void EditOccurrence(std::string_view replacement) = 0;
  // Saves (when save is true and the document was changed) and closes the
  // document. A document dropped without Close is closed unsaved.
  virtual void Close(bool save) = 0;
  // The occurrences EditOccurrence left as they were since the document was
  // opened, by reason.
  virtual NotApplied Leftovers() const = 0;
  // Whether [start, start + length) of the text given to BeginOccurrences
  // may be an occurrence at all. One that covers a character the code page
  // holds only as a stand-in (a "?" for a character GBK lacks) is no
  // occurrence: it is neither counted nor edited, and the search goes on
  // past its start.
  virtual bool Admits(int64_t start, int64_t length) const {
    (void)start;
    (void)length;
    return true;
  }
  // The characters of the document the code page holds only as stand-ins.
  virtual size_t StandIns() const { return 0; }
  // Opened with OfficeParts::kBody: the further stories the work text leaves
  // out, laid out as OfficeParts::kAll would append them (each begun by
  // kStoryMark), so that a run can count what it did not search; "" when
  // they hold no text.
  virtual std::string OtherStoriesText() { return ""; }
  // The text was read in part only (the application failed part of the
  // way): a find counts what was read, a replace leaves the document as it
  // is.
  virtual bool ReadInPart() const { return false; }
};

// What a run allows the reading of a zipped document: the largest part it
// inflates into memory, and the run's stop request, asked every few
// megabytes while a part is inflated and scanned (empty: never stops; once
// it answers true it keeps answering true). A part over the limit or a
// stop leaves the document unopened, with the reason.
struct OfficeReadLimits {
  uint64_t partLimit = uint64_t{1} << 30;
  std::function<bool()> shouldStop;
};

class OfficeBridge {
 public:
  virtual ~OfficeBridge() = default;
  // The limits of the documents opened from now on; the bridges that read
  // no package themselves ignore them.
  virtual void SetReadLimits(const OfficeReadLimits&) {}
  // The stories of the documents opened from now on.
  virtual void SetParts(OfficeParts) {}
  // Opens a document whose work text is in codePage; null when the
  // application is missing or the file is not a document it can save back
  // in its own format. *whyNot then says why, when there is something to
  // tell (a missing application is told once). Throws AutomationError when
  // the application fails to open the file.
  virtual std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind,
                                               const CodePage& codePage,
                                               Message* whyNot) = 0;
  // Ends the application instances started during the run.
  virtual void QuitAll() = 0;
};

// A bridge over the applications of suite (null: none can be started).
// Documents are saved through rewriter.
std::unique_ptr<OfficeBridge> MakeOfficeBridge(std::unique_ptr<OfficeSuite> suite,
                                               FileRewriter& rewriter);

// The bridge of the program: .docx, .xlsx, .pptx, .odt, .ods and .odp are
// edited in their XML (package_document.h), every other office document in
// LibreOffice. Nothing is loaded or started until the first document that
// needs LibreOffice is opened; when LibreOffice is missing, those documents
// yield no text and the first Open says why. Documents are written through
// rewriter.
std::unique_ptr<OfficeBridge> MakeLibreOfficeBridge(
    FileRewriter& rewriter);

// The bridge to LibreOffice alone, for every office document, the zipped
// formats included.
std::unique_ptr<OfficeBridge> MakeApplicationBridge(
    FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_OFFICE_BRIDGE_H_

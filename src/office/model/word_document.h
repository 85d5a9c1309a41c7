// Word documents: the document's characters are the work text, each
// occurrence found in it is located by counting characters (a CR LF or CR
// BEL pair counts once), and replaced in the document by cutting its
// characters and inserting the replacement at the same place. Text handed
// to and from these functions is in the code page the run opened the
// document with.
#ifndef STRBATCH_OFFICE_MODEL_WORD_DOCUMENT_H_
#define STRBATCH_OFFICE_MODEL_WORD_DOCUMENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "office/model/office_applications.h"
#include "office/model/office_location.h"
#include "office/model/office_model.h"
#include "office/model/office_occurrence.h"
#include "office/office_bridge.h"

namespace strbatch {

// The text is read in windows of at most this many characters, so that no
// single answer of the application grows with the document.
inline constexpr long kWordTextWindow = 102401;

// The document's text, as Word reports it for its characters. When Word
// fails part of the way, the text read up to there, marked as read in part;
// throws AutomationError when it fails before any text is read.
OfficeText WriteWordText(WordDocument& document, const CodePage& codePage);

// The text of a further story, read as the body's.
OfficeText WriteWordStory(WordDocument& document, OfficeStory story, const CodePage& codePage);

// Word documents for the shared occurrence steps: no separators, paragraph
// and cell marks counting once, an occurrence's start counted from its
// segment.
struct WordSteps {
  using Document = WordDocument;
  static constexpr OfficeKind kKind = OfficeKind::Word;
  static constexpr OfficeLayout kLayout{.text = kWordTextLayout, .startInSegment = true};
  static WordApplication* Application(OfficeApplications& applications, Message* whyNot) {
    return applications.EnsureWord(whyNot);
  }
  static constexpr auto WriteText = WriteWordText;
  static constexpr auto WriteStory = WriteWordStory;
  // The range from the start of the occurrence's first character to the end
  // of its last (in the body or the story of the location), or empty at its
  // place when it has no characters.
  static std::unique_ptr<WordRange> OccurrenceCharacters(WordDocument& document,
                                                         const OfficeLocation& location);
  // Cuts the occurrence and inserts the text at its place.
  static long ReplaceCharacters(WordDocument& document, const OfficeLocation& location,
                                std::string_view utf8);
};

// The shared steps under their Word names: opening a document in the run's
// Word instance, locating an occurrence in the text from the worker's
// cursor (start and length in characters), and replacing it.
inline constexpr auto& OpenWordDocument = OpenDocument<WordSteps>;
inline constexpr auto& LocateInWordText = LocateIn<WordSteps>;
inline constexpr auto& EditWordOccurrence = ReplaceOccurrence<WordSteps>;

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_WORD_DOCUMENT_H_

// Word documents: the document's characters are the work text, each
// occurrence found in it is located by counting characters (a CR LF or CR
// BEL pair counts once), and replaced in the document by cutting its
// characters and inserting the replacement at the same place. Text handed
// to and from these functions is in the process code page.
#ifndef STRBATCH_OFFICE_WORD_DOCUMENT_H_
#define STRBATCH_OFFICE_WORD_DOCUMENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "office/office_applications.h"
#include "office/office_location.h"
#include "office/office_model.h"

namespace strbatch {

// The text is read in windows of at most this many characters, so that no
// single answer of the application grows with the document.
inline constexpr long kWordTextWindow = 102401;

// Opens the document in the Word instance of the run (started when
// missing). Null when there is no Word application (*whyNot tells why the
// first time) or the file is not a document it can save back.
std::unique_ptr<WordDocument> OpenWordDocument(OfficeApplications& applications,
                                               const std::string& path, std::string* whyNot);

// The document's text, as Word reports it for its characters. An automation
// error while reading ends the text quietly: the text read so far is given.
std::string WriteWordText(WordDocument& document, const CodePage& codePage);

// Sets start and length (in characters) of the occurrence at
// [offset, offset + length) of segment, the text from the worker's cursor.
LocateResult LocateInWordText(std::string_view segment, int64_t offset, int64_t length,
                              OfficeLocation& location, const CodePage& codePage);

// True when the located occurrence can be replaced in the document: the
// characters at its place read exactly as the occurrence and can be edited.
bool WordOccurrenceFits(WordDocument& document, const OfficeLocation& location,
                        std::string_view occurrence, const CodePage& codePage);

// Replaces the located occurrence with the replacement and sets
// carriedOffset to the position just after the inserted text. An empty
// occurrence inserts the replacement at its place.
void EditWordOccurrence(WordDocument& document, OfficeLocation& location,
                        std::string_view replacement, const CodePage& codePage);

// Saves the document over its file when changes are expected and it holds
// changes, then closes it.
void CloseWordDocument(WordDocument& document, const std::string& path, bool changesExpected,
                       FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_WORD_DOCUMENT_H_

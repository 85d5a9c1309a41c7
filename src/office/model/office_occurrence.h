// The steps every kind of office document takes for one occurrence found in
// its work text: locate it by walking the layout, check that the document
// holds exactly its characters there, edit the replacement in, and save and
// close the document at the end. What differs between Word, Excel and
// PowerPoint is given by the kind's steps (WordSteps, WorkbookSteps,
// PresentationSteps): its layout, where its levels stand in OfficeLocation,
// and how it reaches and replaces characters in its object model.
#ifndef STRBATCH_OFFICE_MODEL_OFFICE_OCCURRENCE_H_
#define STRBATCH_OFFICE_MODEL_OFFICE_OCCURRENCE_H_

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "office/model/layout_walk.h"
#include "office/model/office_applications.h"
#include "office/model/office_location.h"
#include "office/office_bridge.h"
#include "office/office_save.h"

namespace strbatch {

// A kind's layout, and the fields of OfficeLocation its levels stand in
// (null for a level it lacks).
struct OfficeLayout {
  TextLayout text;
  long OfficeLocation::*outer = nullptr;
  long OfficeLocation::*middle = nullptr;
  long OfficeLocation::*inner = nullptr;
  // Word: start counts from the segment, carriedOffset holding the
  // document's characters before it. Excel, PowerPoint: start counts from
  // the start of the cell or shape.
  bool startInSegment = false;
};

// Sets the level fields, start and length of the occurrence at
// [offset, offset + length) of segment, walking on from the location.
LocateResult LocateInLayout(std::string_view segment, int64_t offset, int64_t length,
                            OfficeLocation& location, const OfficeLayout& layout,
                            const CodePage& codePage);

// What a kind of document gives the shared steps:
//   Document              its document in the object model;
//   kLayout               its OfficeLayout;
//   Application           the run's application for it (started when missing);
//   WriteText             its work text (the body), with its stand-ins;
//   WriteStory            the text of one of its further stories, likewise;
//   OccurrenceCharacters  the characters at the located occurrence's place
//                         (anything with Text and Lock), null when the
//                         document does not hold them all there;
//   ReplaceCharacters     replaces those characters with UTF-8 text, and
//                         gives the position just after the insertion, from
//                         which the next segment counts.
template <class Steps>
concept DocumentSteps = requires(typename Steps::Document& document, OfficeLocation& location,
                                 OfficeApplications& applications, const std::string& path,
                                 Message* whyNot, std::string_view utf8,
                                 const CodePage& codePage) {
  { Steps::kLayout } -> std::convertible_to<OfficeLayout>;
  {
    Steps::Application(applications, whyNot)->Open(path, whyNot)
  } -> std::same_as<std::unique_ptr<typename Steps::Document>>;
  { Steps::WriteText(document, codePage) } -> std::same_as<OfficeText>;
  { Steps::WriteStory(document, OfficeStory(), codePage) } -> std::same_as<OfficeText>;
  { Steps::OccurrenceCharacters(document, location)->Text() } -> std::same_as<std::string>;
  { Steps::OccurrenceCharacters(document, location)->Lock() } -> std::same_as<EditLock>;
  { Steps::ReplaceCharacters(document, location, utf8) } -> std::same_as<long>;
};

// Opens the document in the application of the run. Null when there is no
// such application (*whyNot tells why the first time) or the file is not a
// document it can save back.
template <DocumentSteps Steps>
std::unique_ptr<typename Steps::Document> OpenDocument(OfficeApplications& applications,
                                                       const std::string& path,
                                                       Message* whyNot) {
  auto* application = Steps::Application(applications, whyNot);
  if (application == nullptr) return nullptr;
  return application->Open(path, whyNot);
}

// LocateInLayout with the kind's layout.
template <DocumentSteps Steps>
LocateResult LocateIn(std::string_view segment, int64_t offset, int64_t length,
                      OfficeLocation& location, const CodePage& codePage) {
  return LocateInLayout(segment, offset, length, location, Steps::kLayout, codePage);
}

// What the document holds at a located occurrence's place.
enum class OccurrenceFit {
  kFits,       // exactly its characters, and they can be edited
  kMissing,    // not all of its characters
  kLocked,     // its characters, but they cannot be edited (*lock tells why)
  kOtherText,  // characters that read otherwise than the work text: the
               // occurrence matched a "?" standing for a character the code
               // page cannot hold
};

// Whether the located occurrence can be replaced in the document (removed,
// when removal: replaced by nothing).
template <DocumentSteps Steps>
OccurrenceFit FitOccurrence(typename Steps::Document& document, const OfficeLocation& location,
                            std::string_view occurrence, const CodePage& codePage, bool removal,
                            EditLock* lock) {
  const auto characters = Steps::OccurrenceCharacters(document, location);
  if (!characters) return OccurrenceFit::kMissing;
  // The lock comes first: a field reads as a stand-in too, and it is the
  // field that keeps the occurrence as it is.
  if constexpr (requires { characters->RemovalLock(); }) {
    *lock = removal ? characters->RemovalLock() : characters->Lock();
  } else {
    *lock = characters->Lock();
  }
  if (*lock != EditLock::kNone) return OccurrenceFit::kLocked;
  std::string bytes;
  if (!codePage.FromUtf8(characters->Text(), &bytes) ||
      CleanLayoutText(bytes, Steps::kLayout.text) != occurrence) {
    return OccurrenceFit::kOtherText;
  }
  return OccurrenceFit::kFits;
}

// Replaces the located occurrence with the replacement, and sets
// carriedOffset to the position just after the inserted text. An empty
// occurrence inserts the replacement at its place.
template <DocumentSteps Steps>
void ReplaceOccurrence(typename Steps::Document& document, OfficeLocation& location,
                       std::string_view replacement, const CodePage& codePage) {
  std::string utf8;
  codePage.ToUtf8(replacement, &utf8);
  location.carriedOffset = Steps::ReplaceCharacters(document, location, utf8);
  location.continuationBytes = 0;
  location.afterCarriageReturn = false;
}

// Saves the document over its file when changes are expected and it holds
// changes, then closes it.
template <class Document>
void CloseOfficeDocument(Document& document, const std::string& path, bool changesExpected,
                         FileRewriter& rewriter) {
  if (changesExpected && document.Modified()) {
    SaveDocumentInPlace([&document](const std::string& copy) { document.SaveCopyAs(copy); }, path,
                        rewriter);
  }
  document.Close();
}

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_OFFICE_OCCURRENCE_H_

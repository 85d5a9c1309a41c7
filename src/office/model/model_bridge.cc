// The object-model path: a document opened in its application and walked
// through the application's object model, occurrence by occurrence.
#include "office/office_bridge.h"

#include <algorithm>
#include <vector>

#include "office/model/excel_workbook.h"
#include "office/model/office_applications.h"
#include "office/model/office_occurrence.h"
#include "office/model/powerpoint_presentation.h"
#include "office/model/word_document.h"
#include "office/occurrence_cursor.h"
#include "office/stand_ins.h"

namespace strbatch {

namespace {

NotAppliedReason ReasonOf(EditLock lock) {
  switch (lock) {
    case EditLock::kObject: return NotAppliedReason::kObjectAnchor;
    case EditLock::kProtected: return NotAppliedReason::kProtected;
    case EditLock::kComputed: return NotAppliedReason::kFormulaResult;
    case EditLock::kStructure:
    case EditLock::kNone: break;
  }
  // A mark that keeps texts apart: the occurrence reaches into the next one.
  return NotAppliedReason::kSpansParts;
}

// A story mark in a document's own text reads as a space, so that only the
// marks the layout puts begin a story.
std::string WithoutStoryMarks(std::string text) {
  std::replace(text.begin(), text.end(), kStoryMark, ' ');
  return text;
}

// Appends text to into, its stand-ins moved to their place there.
void AppendOfficeText(OfficeText& into, const OfficeText& text) {
  const size_t base = into.bytes.size();
  for (size_t at : text.standIns) into.standIns.push_back(base + at);
  into.objects += text.objects;
  into.readInPart = into.readInPart || text.readInPart;
  into.bytes += text.bytes;
}

// The further stories of a document, each begun by its mark.
template <DocumentSteps Steps>
OfficeText WriteFurtherStories(typename Steps::Document& document, const CodePage& codePage) {
  OfficeText text;
  for (OfficeStory story : FurtherStories(Steps::kKind)) {
    text.bytes.push_back(kStoryMark);
    OfficeText one = Steps::WriteStory(document, story, codePage);
    one.bytes = WithoutStoryMarks(std::move(one.bytes));
    AppendOfficeText(text, one);
  }
  return text;
}

// The layout the occurrences of a session are walked by.
OfficeLayout SessionLayout(const OfficeLayout& layout, OfficeParts parts) {
  OfficeLayout session = layout;
  if (parts == OfficeParts::kAll) session.text.story = kStoryMark;
  return session;
}

// One open document during the processing of its file. The occurrences of a
// definition arrive as segments of the definition's searched text; the
// cursor keeps that text, so that the walk can resume exactly where the
// previous occurrence ended, also when the worker's cursor stepped over a
// character after an empty match, and so that an occurrence left unedited
// is walked over instead of being counted as replaced.
template <DocumentSteps Steps>
class DocumentSession : public OfficeDocument {
 public:
  using Document = typename Steps::Document;

  DocumentSession(std::unique_ptr<Document> document, std::string path, const CodePage& codePage,
                  FileRewriter& rewriter, OfficeParts parts)
      : document_(std::move(document)),
        path_(std::move(path)),
        codePage_(codePage),
        rewriter_(rewriter),
        parts_(parts),
        layout_(SessionLayout(Steps::kLayout, parts)) {}

  ~DocumentSession() override {
    if (!document_) return;
    try {
      document_->Close();
    } catch (const AutomationError&) {
      // The run is already ending on an error; quitting the application
      // takes the document with it.
    }
  }

  std::string WriteText() override {
    OfficeText text = Steps::WriteText(document(), codePage_);
    if (parts_ == OfficeParts::kAll) {
      text.bytes = WithoutStoryMarks(std::move(text.bytes));
      AppendOfficeText(text, WriteFurtherStories<Steps>(document(), codePage_));
    }
    standIns_.Clear();
    standIns_.AddBytes(text.standIns);
    unheld_ = text.standIns.size() - text.objects;
    readInPart_ = readInPart_ || text.readInPart;
    return std::move(text.bytes);
  }

  std::string OtherStoriesText() override {
    if (parts_ == OfficeParts::kAll) return "";
    std::string text = WriteFurtherStories<Steps>(document(), codePage_).bytes;
    // Marks and separators alone are no text: an empty paragraph of a
    // header, a sheet without comments.
    const TextLayout& layout = Steps::kLayout.text;
    const bool any = std::any_of(text.begin(), text.end(), [&](char c) {
      return c != kStoryMark && c != '\r' && c != '\n' && c != '\a' &&
             !layout.Separates(static_cast<unsigned char>(c));
    });
    return any ? text : "";
  }

  void BeginOccurrences(std::string_view searchedText) override {
    cursor_.Begin(searchedText);
    location_ = OfficeLocation();
  }

  void LocateOccurrence(int64_t start, int64_t length) override {
    // An occurrence that was not edited stays in the document: the walk
    // goes on from its end.
    if (cursor_.Locate(start, length)) location_ = located_.after;
    // The walk resumes where the last occurrence ended: Word's location
    // counts document characters before that point, the others the
    // characters of the current cell or shape.
    const size_t from = cursor_.WalkFrom();
    located_ = LocateInLayout(std::string_view(cursor_.Searched()).substr(from),
                              static_cast<int64_t>(cursor_.Start() - from),
                              static_cast<int64_t>(cursor_.Length()), location_, layout_,
                              codePage_);
  }

  void EditOccurrence(std::string_view replacement) override {
    if (!cursor_.TakeForEdit()) return;
    if (!located_.editable) {
      cursor_.Leave(located_.crossed ? NotAppliedReason::kSpansParts
                                     : NotAppliedReason::kNotMatchable);
      return;
    }
    if (InSheetName()) {
      cursor_.Leave(NotAppliedReason::kSheetName);
      return;
    }
    EditLock lock = EditLock::kNone;
    switch (FitOccurrence<Steps>(document(), location_, cursor_.Text(), codePage_,
                                 replacement.empty(), &lock)) {
      case OccurrenceFit::kFits:
        ReplaceOccurrence<Steps>(document(), location_, replacement, codePage_);
        cursor_.Edited();
        return;
      case OccurrenceFit::kLocked:
        cursor_.Leave(ReasonOf(lock));
        return;
      case OccurrenceFit::kMissing:
      case OccurrenceFit::kOtherText:
        cursor_.Leave(NotAppliedReason::kNotMatchable);
        return;
    }
  }

  NotApplied Leftovers() const override { return cursor_.Leftovers(); }

  // The searched text is (a start of) the text written last.
  bool Admits(int64_t start, int64_t length) const override {
    return standIns_.Admits(start, length);
  }
  size_t StandIns() const override { return unheld_; }
  bool ReadInPart() const override { return readInPart_; }

  void Close(bool save) override {
    if (!document_) return;
    CloseOfficeDocument(document(), path_, save, rewriter_);
    document_.reset();
  }

 private:
  Document& document() {
    if (!document_) throw AutomationError(path_ + ": the document is closed");
    return *document_;
  }

  bool InSheetName() const {
    if (location_.story == 0) return false;
    const std::vector<OfficeStory> stories = FurtherStories(Steps::kKind);
    const auto story = static_cast<size_t>(location_.story - 1);
    return story < stories.size() && stories[story] == OfficeStory::kSheetNames;
  }

  std::unique_ptr<Document> document_;
  const std::string path_;
  const CodePage& codePage_;
  FileRewriter& rewriter_;
  const OfficeParts parts_;
  const OfficeLayout layout_;
  OccurrenceCursor cursor_;
  OfficeLocation location_;
  LocateResult located_;  // what the walk found of the located occurrence
  StandInSpans standIns_;
  size_t unheld_ = 0;  // the stand-ins for characters, not for objects
  bool readInPart_ = false;
};

class ApplicationsBridge : public OfficeBridge {
 public:
  ApplicationsBridge(std::unique_ptr<OfficeSuite> suite, FileRewriter& rewriter)
      : suite_(std::move(suite)), applications_(suite_.get()), rewriter_(rewriter) {}

  std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind,
                                       const CodePage& codePage, Message* whyNot) override {
    if (OfficeBridge* inside = suite_ ? suite_->DocumentBridge(rewriter_) : nullptr) {
      inside->SetParts(parts_);
      return inside->Open(path, kind, codePage, whyNot);
    }
    Message reason;
    std::unique_ptr<OfficeDocument> session;
    switch (kind) {
      case OfficeKind::Word:
        session = OpenSession<WordSteps>(path, codePage, &reason);
        break;
      case OfficeKind::Excel:
        session = OpenSession<WorkbookSteps>(path, codePage, &reason);
        break;
      case OfficeKind::PowerPoint:
        session = OpenSession<PresentationSteps>(path, codePage, &reason);
        break;
      case OfficeKind::None:
        break;
    }
    if (!session && whyNot) *whyNot = reason;
    return session;
  }

  void QuitAll() override { applications_.QuitAll(); }
  void SetParts(OfficeParts parts) override { parts_ = parts; }

 private:
  template <DocumentSteps Steps>
  std::unique_ptr<OfficeDocument> OpenSession(const std::string& path, const CodePage& codePage,
                                              Message* reason) {
    std::unique_ptr<typename Steps::Document> document =
        OpenDocument<Steps>(applications_, path, reason);
    if (!document) return nullptr;
    return std::make_unique<DocumentSession<Steps>>(std::move(document), path, codePage,
                                                    rewriter_, parts_);
  }

  std::unique_ptr<OfficeSuite> suite_;
  OfficeApplications applications_;
  FileRewriter& rewriter_;
  OfficeParts parts_ = OfficeParts::kBody;
};

}  // namespace

std::unique_ptr<OfficeBridge> MakeOfficeBridge(std::unique_ptr<OfficeSuite> suite,
                                               FileRewriter& rewriter) {
  return std::make_unique<ApplicationsBridge>(std::move(suite), rewriter);
}

}  // namespace strbatch

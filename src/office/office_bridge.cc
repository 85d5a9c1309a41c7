#include "office/office_bridge.h"

#include <strings.h>

#include <algorithm>

#include "office/excel_workbook.h"
#include "office/office_applications.h"
#include "office/powerpoint_presentation.h"
#include "office/word_document.h"

namespace strbatch {

OfficeKind OfficeKindOf(const std::string& extension) {
  static constexpr struct {
    const char* extension;
    OfficeKind kind;
  } kKinds[] = {
      {".doc", OfficeKind::Word},        {".rtf", OfficeKind::Word},
      {".docx", OfficeKind::Word},       {".odt", OfficeKind::Word},
      {".xls", OfficeKind::Excel},       {".xlsx", OfficeKind::Excel},
      {".ods", OfficeKind::Excel},       {".ppt", OfficeKind::PowerPoint},
      {".pptx", OfficeKind::PowerPoint}, {".odp", OfficeKind::PowerPoint},
  };
  for (const auto& entry : kKinds) {
    if (strcasecmp(extension.c_str(), entry.extension) == 0) return entry.kind;
  }
  return OfficeKind::None;
}

namespace {

// One open document during the processing of its file. The occurrences of a
// definition arrive as segments of the definition's searched text; the
// session keeps that text, so that the walk can resume exactly where the
// previous occurrence ended, also when the worker's cursor stepped over a
// character after an empty match, and so that an occurrence left unedited
// is walked over instead of being counted as replaced.
template <class Document>
class DocumentSession : public OfficeDocument {
 public:
  DocumentSession(std::unique_ptr<Document> document, std::string path, const CodePage& codePage,
                  FileRewriter& rewriter)
      : document_(std::move(document)),
        path_(std::move(path)),
        codePage_(codePage),
        rewriter_(rewriter) {}

  ~DocumentSession() override {
    if (!document_) return;
    try {
      document_->Close();
    } catch (const AutomationError&) {
      // The run is already ending on an error; quitting the application
      // takes the document with it.
    }
  }

  void BeginOccurrences(std::string_view searchedText) override {
    pass_.assign(searchedText);
    consumed_ = 0;
    location_ = OfficeLocation();
    pending_ = false;
  }

  void LocateOccurrence(int64_t start, int64_t length) override {
    FinishPending();
    const size_t at = std::min(static_cast<size_t>(std::max<int64_t>(start, 0)), pass_.size());
    // The walk resumes where the last occurrence ended.
    const size_t from = std::min(consumed_, at);
    const std::string_view rest = std::string_view(pass_).substr(from);
    const size_t size = std::min(static_cast<size_t>(std::max<int64_t>(length, 0)), pass_.size() - at);
    located_ = Locate(rest, at - from, size);
    occurrence_ = rest.substr(at - from, size);
    consumed_ = at + size;
    pending_ = true;
  }

  void EditOccurrence(std::string_view replacement) override {
    if (!pending_ || !located_.editable || !Fits()) return;
    Edit(replacement);
    pending_ = false;
  }

  void Close(bool save) override {
    if (!document_) return;
    CloseDocument(save);
    document_.reset();
  }

 protected:
  // The kind's locate step on the text from the end of the last occurrence.
  virtual LocateResult Locate(std::string_view rest, size_t offset, size_t length) = 0;
  virtual bool Fits() = 0;
  virtual void Edit(std::string_view replacement) = 0;
  virtual void CloseDocument(bool save) = 0;

  Document& document() {
    if (!document_) throw AutomationError(path_ + ": the document is closed");
    return *document_;
  }

  std::unique_ptr<Document> document_;
  const std::string path_;
  const CodePage& codePage_;
  FileRewriter& rewriter_;
  OfficeLocation location_;
  std::string_view occurrence_;

 private:
  // An occurrence that was not edited stays in the document: the walk goes
  // on from its end.
  void FinishPending() {
    if (pending_) location_ = located_.after;
    pending_ = false;
  }

  std::string pass_;
  size_t consumed_ = 0;
  LocateResult located_;
  bool pending_ = false;
};

class WordSession : public DocumentSession<WordDocument> {
 public:
  using DocumentSession::DocumentSession;
  std::string WriteText() override { return WriteWordText(document(), codePage_); }

 protected:
  LocateResult Locate(std::string_view rest, size_t offset, size_t length) override {
    // Word's position counts document characters before the segment; the
    // walk's segment begins where the last occurrence ended.
    return LocateInWordText(rest, static_cast<int64_t>(offset), static_cast<int64_t>(length),
                            location_, codePage_);
  }
  bool Fits() override { return WordOccurrenceFits(document(), location_, occurrence_, codePage_); }
  void Edit(std::string_view replacement) override {
    EditWordOccurrence(document(), location_, replacement, codePage_);
  }
  void CloseDocument(bool save) override {
    CloseWordDocument(document(), path_, save, rewriter_);
  }
};

class WorkbookSession : public DocumentSession<ExcelWorkbook> {
 public:
  using DocumentSession::DocumentSession;
  std::string WriteText() override { return WriteWorkbookText(document(), codePage_); }

 protected:
  LocateResult Locate(std::string_view rest, size_t offset, size_t length) override {
    return LocateInWorkbookText(rest, static_cast<int64_t>(offset), static_cast<int64_t>(length),
                                location_, codePage_);
  }
  bool Fits() override {
    return WorkbookOccurrenceFits(document(), location_, occurrence_, codePage_);
  }
  void Edit(std::string_view replacement) override {
    EditWorkbookOccurrence(document(), location_, replacement, codePage_);
  }
  void CloseDocument(bool save) override { CloseWorkbook(document(), path_, save, rewriter_); }
};

class PresentationSession : public DocumentSession<PowerPointPresentation> {
 public:
  using DocumentSession::DocumentSession;
  std::string WriteText() override { return WritePresentationText(document(), codePage_); }

 protected:
  LocateResult Locate(std::string_view rest, size_t offset, size_t length) override {
    return LocateInPresentationText(rest, static_cast<int64_t>(offset),
                                    static_cast<int64_t>(length), location_, codePage_);
  }
  bool Fits() override {
    return PresentationOccurrenceFits(document(), location_, occurrence_, codePage_);
  }
  void Edit(std::string_view replacement) override {
    EditPresentationOccurrence(document(), location_, replacement, codePage_);
  }
  void CloseDocument(bool save) override {
    ClosePresentation(document(), path_, save, rewriter_);
  }
};

class ApplicationsBridge : public OfficeBridge {
 public:
  ApplicationsBridge(std::unique_ptr<OfficeSuite> suite, FileRewriter& rewriter)
      : suite_(std::move(suite)), applications_(suite_.get()), rewriter_(rewriter) {}

  std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind,
                                       const CodePage& codePage, std::string* whyNot) override {
    std::string reason;
    std::unique_ptr<OfficeDocument> session;
    switch (kind) {
      case OfficeKind::Word:
        if (auto document = OpenWordDocument(applications_, path, &reason)) {
          session = std::make_unique<WordSession>(std::move(document), path, codePage, rewriter_);
        }
        break;
      case OfficeKind::Excel:
        if (auto workbook = OpenWorkbook(applications_, path, &reason)) {
          session =
              std::make_unique<WorkbookSession>(std::move(workbook), path, codePage, rewriter_);
        }
        break;
      case OfficeKind::PowerPoint:
        if (auto presentation = OpenPresentation(applications_, path, &reason)) {
          session = std::make_unique<PresentationSession>(std::move(presentation), path,
                                                          codePage, rewriter_);
        }
        break;
      case OfficeKind::None:
        break;
    }
    if (!session && whyNot) *whyNot = reason;
    return session;
  }

  void QuitAll() override { applications_.QuitAll(); }

 private:
  std::unique_ptr<OfficeSuite> suite_;
  OfficeApplications applications_;
  FileRewriter& rewriter_;
};

}  // namespace

std::unique_ptr<OfficeBridge> MakeOfficeBridge(std::unique_ptr<OfficeSuite> suite,
                                               FileRewriter& rewriter) {
  return std::make_unique<ApplicationsBridge>(std::move(suite), rewriter);
}

}  // namespace strbatch

#include "office/package/package_document.h"

#include <strings.h>
#include <sys/stat.h>

#include "base/paths.h"
#include "office/occurrence_cursor.h"
#include "office/office_save.h"
#include "office/package/package_read.h"
#include "office/package/package_text.h"
#include "office/package/zip_package.h"
#include "office/stand_ins.h"

namespace strbatch {
namespace {

using PackageReader = bool (*)(PackageSource& source, Message* error);

// The package reader of a zipped format.
PackageReader ReaderOf(OfficeReader reader) {
  switch (reader) {
    case OfficeReader::kWordprocessingMl: return ReadWordprocessing;
    case OfficeReader::kSpreadsheetMl: return ReadSpreadsheet;
    case OfficeReader::kPresentationMl: return ReadPresentation;
    case OfficeReader::kOdfText: return ReadOpenDocumentText;
    case OfficeReader::kOdfSpreadsheet: return ReadOpenDocumentSpreadsheet;
    case OfficeReader::kOdfPresentation: return ReadOpenDocumentPresentation;
    case OfficeReader::kApplication: break;
  }
  return nullptr;
}

MessageId EmptyReason(OfficeKind kind) {
  switch (kind) {
    case OfficeKind::Excel: return MessageId::kEmptyNotWorkbook;
    case OfficeKind::PowerPoint: return MessageId::kEmptyNotPresentation;
    default: return MessageId::kEmptyNotWordDocument;
  }
}

// An OLE compound file holding an encrypted Office Open XML package names
// its streams in UTF-16.
bool NamesEncryptedPackage(const std::string& bytes) {
  static const std::string kNames[] = {
      std::string("E\0n\0c\0r\0y\0p\0t\0i\0o\0n\0I\0n\0f\0o\0", 28),
      std::string("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32),
  };
  for (const std::string& name : kNames) {
    if (bytes.find(name) != std::string::npos) return true;
  }
  return false;
}

class PackageDocument : public OfficeDocument {
 public:
  PackageDocument(std::string path, const OfficeFormat& format, std::unique_ptr<ZipPackage> zip,
                  const CodePage& codePage, FileRewriter& rewriter, OfficeParts parts)
      : path_(std::move(path)),
        format_(format),
        zip_(std::move(zip)),
        codePage_(codePage),
        rewriter_(rewriter),
        parts_(parts) {}

  // Reads the text from the parts; the first time, the run's stop request
  // is asked while they are read. *refused tells a failure that is no fault
  // of the document (a part over the limit, the run stopped).
  bool Build(Message* error, bool first = false, bool* refused = nullptr) {
    text_.Clear();
    AddNoInsertionNode(text_);
    text_.format = format_.container == OfficeContainer::kOpenDocument ? PackageFormat::kOpenDocument
                   : format_.kind == OfficeKind::Word  ? PackageFormat::kWordprocessing
                   : format_.kind == OfficeKind::Excel ? PackageFormat::kSpreadsheet
                                                       : PackageFormat::kPresentation;
    PackageSource source(*zip_, text_,
                         first ? zip_->Limits().shouldStop : std::function<bool()>());
    const PackageReader reader = ReaderOf(format_.reader);
    const bool read = reader != nullptr && reader(source, error);
    if (!source.Refusal().Empty()) {
      // A part left unread, or read in part, leaves no text to search.
      *error = source.Refusal();
      if (refused) *refused = true;
      return false;
    }
    if (!read) return false;
    if (text_.protectedDocument) {
      // A document under write protection is searched, never changed.
      for (PackageItem& item : text_.items) {
        if (item.kind != ItemKind::kMark) item.lock = Lock(NotAppliedReason::kProtected);
      }
    }
    // The further stories are read either way: under kBody they are only
    // counted, for the note of what was not searched.
    work_ = LayOutPackageText(text_, format_.kind, codePage_, 0,
                              parts_ == OfficeParts::kAll ? text_.items.size() : text_.BodyItems(),
                              first ? zip_->Limits().shouldStop : std::function<bool()>());
    if (work_.stopped) {
      *error = Message(MessageId::kTextLayOutStopped);
      if (refused) *refused = true;
      return false;
    }
    edits_ = std::make_unique<PackageEdits>(text_, work_, codePage_);
    standIns_.Clear();
    unheld_ = 0;
    for (size_t i = 0; i < work_.lossy.size(); i++) {
      if (!work_.lossy[i]) continue;
      standIns_.Add(work_.offsets[i], work_.offsets[i + 1]);
      // An object reads as a stand-in too, but is no character of the text.
      if (text_.items[i].kind != ItemKind::kObject) unheld_++;
    }
    return true;
  }

  std::string WriteText() override {
    Flush();
    return work_.text;
  }

  void BeginOccurrences(std::string_view searchedText) override {
    Flush();
    // Offsets are this text's; a searched text that is not (a start of) it
    // cannot be traced back into the document.
    matches_ = searchedText.size() <= work_.text.size() &&
               work_.text.compare(0, searchedText.size(), searchedText) == 0;
    cursor_.Begin(searchedText);
  }

  // The edits find their place by the offsets alone: nothing to walk.
  void LocateOccurrence(int64_t start, int64_t length) override { cursor_.Locate(start, length); }

  void EditOccurrence(std::string_view replacement) override {
    if (!cursor_.TakeForEdit()) return;
    NotAppliedReason reason = NotAppliedReason::kNotMatchable;
    if (!matches_ || !edits_->Edit(cursor_.Start(), cursor_.Length(), replacement, &reason)) {
      cursor_.Leave(reason);
      return;
    }
    cursor_.Edited();
  }

  void Close(bool save) override {
    if (closed_) return;
    closed_ = true;
    if (!save) return;
    Flush();
    std::map<std::string, std::string> replaced;
    for (const PackagePart& part : text_.parts) {
      if (part.changed) replaced[part.name] = part.bytes;
    }
    if (replaced.empty()) return;
    std::string bytes, error;
    Message notWritten;
    if (!zip_->Rewrite(replaced, &bytes, &error)) {
      ThrowCannotSave(path_, LibraryText(error));
    }
    if (!RewriteFile(rewriter_, path_, bytes, &notWritten)) {
      ThrowCannotSave(path_, notWritten);
    }
  }

  NotApplied Leftovers() const override { return cursor_.Leftovers(); }

  // The searched text is (a start of) the work text.
  bool Admits(int64_t start, int64_t length) const override {
    return standIns_.Admits(start, length);
  }
  size_t StandIns() const override { return unheld_; }

  std::string OtherStoriesText() override {
    if (parts_ == OfficeParts::kAll) return "";
    Flush();
    const size_t body = text_.BodyItems();
    bool any = false;
    for (size_t i = body; i < text_.items.size() && !any; i++) {
      any = text_.items[i].kind != ItemKind::kMark;
    }
    if (!any) return "";
    return LayOutPackageText(text_, format_.kind, codePage_, body, text_.items.size()).text;
  }

 private:
  // Writes the edits of the pass into the parts and reads them again.
  void Flush() {
    if (!edits_ || !edits_->Pending()) return;
    Message error;
    if (!edits_->Apply() || !Build(&error)) {
      closed_ = true;
      throw AutomationError(path_ + ": the edited document could not be read again: " +
                            PlainReason(error));
    }
  }

  const std::string path_;
  const OfficeFormat& format_;
  std::unique_ptr<ZipPackage> zip_;
  const CodePage& codePage_;
  FileRewriter& rewriter_;
  const OfficeParts parts_;
  PackageText text_;
  PackageWorkText work_;
  std::unique_ptr<PackageEdits> edits_;
  OccurrenceCursor cursor_;
  StandInSpans standIns_;
  size_t unheld_ = 0;  // the stand-ins for characters, not for objects
  bool matches_ = true;
  bool closed_ = false;
};

class PackageBridge : public OfficeBridge {
 public:
  PackageBridge(std::unique_ptr<OfficeBridge> fallback, FileRewriter& rewriter)
      : fallback_(std::move(fallback)), rewriter_(rewriter) {}

  std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind,
                                       const CodePage& codePage, Message* whyNot) override {
    // An empty file is no document of any format; LibreOffice would open it
    // as a new empty one, and a find would say 0 of a file it never read.
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0) {
      if (whyNot) *whyNot = Message(EmptyReason(kind));
      return nullptr;
    }
    if (IsPackageExtension(SplitPath(path).extension)) {
      bool notPackage = false;
      Message reason;
      std::unique_ptr<OfficeDocument> document =
          OpenPackageDocument(path, codePage, rewriter_, &reason, &notPackage, limits_, parts_);
      if (!notPackage) {
        if (!document && whyNot) *whyNot = reason;
        return document;
      }
    }
    if (!fallback_) return nullptr;
    return fallback_->Open(path, kind, codePage, whyNot);
  }

  void QuitAll() override {
    if (fallback_) fallback_->QuitAll();
  }

  void SetReadLimits(const OfficeReadLimits& limits) override {
    limits_ = limits;
    if (fallback_) fallback_->SetReadLimits(limits);
  }

  void SetParts(OfficeParts parts) override {
    parts_ = parts;
    if (fallback_) fallback_->SetParts(parts);
  }

 private:
  std::unique_ptr<OfficeBridge> fallback_;
  OfficeReadLimits limits_;
  OfficeParts parts_ = OfficeParts::kBody;
  FileRewriter& rewriter_;
};

// The zipped formats, read here; the others only their applications read.
const OfficeFormat* FindPackageFormat(const std::string& extension) {
  const OfficeFormat* format = FindOfficeFormat(extension);
  return format && format->container != OfficeContainer::kApplication ? format : nullptr;
}

}  // namespace

bool IsPackageExtension(const std::string& extension) {
  return FindPackageFormat(extension) != nullptr;
}

std::unique_ptr<OfficeDocument> OpenPackageDocument(const std::string& path,
                                                    const CodePage& codePage,
                                                    FileRewriter& rewriter, Message* whyNot,
                                                    bool* notPackage,
                                                    const OfficeReadLimits& limits,
                                                    OfficeParts parts) {
  *notPackage = false;
  const OfficeFormat* format = FindPackageFormat(SplitPath(path).extension);
  if (format == nullptr) {
    *notPackage = true;
    return nullptr;
  }
  std::string bytes;
  Message error;
  if (Message notRead; !ReadWholeFile(path, &bytes, &notRead)) {
    *whyNot = notRead;
    return nullptr;
  }
  if (bytes.compare(0, 4, "\xD0\xCF\x11\xE0") == 0 && NamesEncryptedPackage(bytes)) {
    *whyNot = Message(MessageId::kEncryptedAsWhole);
    return nullptr;
  }
  if (bytes.compare(0, 4, "PK\x03\x04") != 0) {
    *notPackage = true;
    return nullptr;
  }
  std::unique_ptr<ZipPackage> zip = ZipPackage::Open(std::move(bytes), &error, limits);
  if (!zip) {
    *whyNot = Message(MessageId::kLeftOut).Because(error);
    return nullptr;
  }
  if (format->container == OfficeContainer::kOpenDocument) {
    std::string mimeType, manifest;
    if (!zip->Read("mimetype", &mimeType, &error) || mimeType != format->mimeType) {
      *whyNot = Message(format->kind == OfficeKind::Word    ? MessageId::kNotOpenDocumentText
                        : format->kind == OfficeKind::Excel ? MessageId::kNotOpenDocumentSpreadsheet
                                                            : MessageId::kNotOpenDocumentPresentation);
      return nullptr;
    }
    if (zip->Read("META-INF/manifest.xml", &manifest, &error) &&
        manifest.find("encryption-data") != std::string::npos) {
      *whyNot = Message(MessageId::kEncryptedAsWhole);
      return nullptr;
    }
  }
  auto document = std::make_unique<PackageDocument>(path, *format, std::move(zip), codePage,
                                                    rewriter, parts);
  bool refused = false;
  if (!document->Build(&error, true, &refused)) {
    *whyNot = Message(refused ? MessageId::kLeftOut : MessageId::kTextCannotBeRead).Because(error);
    return nullptr;
  }
  return document;
}

std::unique_ptr<OfficeBridge> MakePackageBridge(std::unique_ptr<OfficeBridge> fallback,
                                                FileRewriter& rewriter) {
  return std::make_unique<PackageBridge>(std::move(fallback), rewriter);
}

}  // namespace strbatch

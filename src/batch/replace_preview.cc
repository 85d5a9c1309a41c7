#include "batch/replace_preview.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/paths.h"
#include "batch/backup.h"

namespace strbatch {
namespace {

bool IsUtf16(FileEncoding encoding) {
  return encoding == FileEncoding::Utf16LE || encoding == FileEncoding::Utf16BE;
}

// A change refused for why: the file is not touched.
Message LeftAsItIs(Message why) { return Message(MessageId::kLeftAsItIs).Because(std::move(why)); }

}  // namespace

// Keeps every result of the dry run as a FilePreview.
class ReplacePreview::Writer : public ResultWriter {
 public:
  explicit Writer(ReplacePreview& preview) : preview_(preview) {}

  bool DryRun() const override { return true; }

  bool CommitText(const TextResult& result, Message* error) override {
    const CodePage& codePage = result.fileText.WorkCodePage();
    // The regions the occurrences rewrote give the changes directly; a
    // diff finds them where there is no such record.
    TextDiff diff;
    if (result.rewritten == nullptr ||
        !DiffRewrittenRegions(*result.before, result.after, *result.rewritten, codePage,
                              &diff)) {
      diff = DiffTexts(*result.before, result.after, codePage);
    }
    // A definition may replace text with the same text.
    if (diff.changes.empty()) return true;
    FilePreview file;
    file.row = result.row;
    file.path = result.path;
    file.encoding = result.fileText.Encoding();
    file.codePage = &codePage;
    file.fingerprint = *result.fingerprint;
    file.original.swap(*result.before);
    file.result.assign(result.after);
    file.markLength = result.fileText.MarkLength();
    if (IsUtf16(file.encoding)) {
      std::vector<MatchSpan> spans;
      spans.reserve(diff.changes.size());
      for (const TextChange& change : diff.changes) {
        spans.push_back({static_cast<int64_t>(change.offset), static_cast<int64_t>(change.length)});
      }
      result.fileText.MapMatches(&spans, file.original);
      file.encodedBytes.resize(diff.changes.size());
      for (size_t k = 0; k < diff.changes.size(); k++) {
        if (!result.fileText.Encode(Replacement(file.result, diff.changes[k]),
                                    &file.encodedBytes[k])) {
          *error = Message(MessageId::kChangesNotInEncoding);
          return false;
        }
        file.encoded.push_back({static_cast<uint64_t>(spans[k].offset),
                                static_cast<uint64_t>(spans[k].length), file.encodedBytes[k]});
      }
    }
    file.changes = std::move(diff.changes);
    preview_.Add(std::move(file));
    return true;
  }

  bool CopyDocument(const std::string& path, std::string* copy, FileFingerprint* print,
                    Message* error) override {
    if (preview_.copyFolder_.empty()) {
      std::string dir;
      if (!PrivateTempDir(&dir, error)) return false;
      std::string folder = dir + "/preview-XXXXXX";
      if (mkdtemp(folder.data()) == nullptr) {
        *error = OsFailure(MessageId::kCannotMakeCopyFolder, {dir});
        return false;
      }
      preview_.copyFolder_ = folder;
    }
    // One folder per document keeps its name, and so its kind.
    const std::string folder = preview_.copyFolder_ + "/" + std::to_string(copies_++);
    std::error_code ec;
    std::filesystem::create_directory(folder, ec);
    const SplitPathResult parts = SplitPath(path);
    *copy = folder + "/" + parts.baseName + parts.extension;
    std::string bytes;
    return ReadFingerprinted(path, &bytes, print, error) && RewriteFile(*copy, bytes, error);
  }

  void CommitDocument(const DocumentResult& result) override {
    TextDiff diff = DiffSegments(result.before, result.after, result.kind);
    if (diff.changes.empty()) return;
    FilePreview file;
    file.row = result.row;
    file.path = result.path;
    file.encoding = result.codePage.IsUtf8() ? FileEncoding::Utf8 : FileEncoding::CodePage;
    file.codePage = &result.codePage;
    file.fingerprint = result.fingerprint;
    file.original.assign(result.before);
    file.result.assign(result.after);
    file.documentCopy = result.copy;
    file.kind = result.kind;
    file.changes = std::move(diff.changes);
    preview_.Add(std::move(file));
  }

 private:
  ReplacePreview& preview_;
  size_t copies_ = 0;
};

ReplacePreview::~ReplacePreview() {
  if (copyFolder_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(copyFolder_, ec);
}

void ReplacePreview::Add(FilePreview file) {
  if (onFile) {
    onFile(file);
  } else {
    files_.push_back(std::move(file));
  }
}

BatchRunner::RunEnd ReplacePreview::Compute(FileList& files, DefinitionList& definitions,
                                            const Options& options, BatchHost& host,
                                            OfficeBridge* office) {
  Writer writer(*this);
  BatchRunner runner(files, definitions, host);
  runner.options = options;
  runner.SetOfficeBridge(office);
  runner.SetResultWriter(&writer);
  runner.BatchReplace();
  lastRowReached_ = runner.LastRowReached();
  return runner.End();
}

std::vector<LineBlock> FileLineBlocks(const FilePreview& file) {
  return LineBlocks(file.original, file.result, file.changes, file.kind);
}

DiskChange OnDisk(const FilePreview& file, size_t k) {
  if (!file.encoded.empty()) return file.encoded[k];
  const TextChange& change = file.changes[k];
  return {change.offset + file.markLength, change.length, Replacement(file.result, change)};
}

std::string OldBytes(const FilePreview& file, size_t k) {
  const std::string_view old =
      std::string_view(file.original).substr(file.changes[k].offset, file.changes[k].length);
  std::string bytes;
  if (IsUtf16(file.encoding)) {
    Utf8ToUtf16(old, file.encoding == FileEncoding::Utf16BE, &bytes);
  } else {
    bytes.assign(old);
  }
  return bytes;
}

namespace {

// Puts content in place of the file, after a backup when asked for.
ApplyOutcome Write(const std::string& path, std::string_view content, bool backup,
                   FileRewriter& rewriter, Message* error) {
  if (backup && !MakeBackup(path, error, rewriter)) {
    *error = Message(MessageId::kNoBackupNoChange).Because(*error);
    return ApplyOutcome::kFailed;
  }
  return RewriteFile(rewriter, path, content, error) ? ApplyOutcome::kApplied
                                                     : ApplyOutcome::kFailed;
}

}  // namespace

ApplyOutcome ApplyFilePreview(const FilePreview& preview, const std::vector<bool>& accepted,
                              bool backup, FileRewriter& rewriter, Message* error) {
  std::vector<ByteEdit> edits;
  for (size_t k = 0; k < preview.changes.size() && k < accepted.size(); k++) {
    if (!accepted[k]) continue;
    const DiskChange change = OnDisk(preview, k);
    edits.push_back({static_cast<size_t>(change.offset), static_cast<size_t>(change.length),
                     std::string(change.newBytes)});
  }
  if (edits.empty()) return ApplyOutcome::kNothing;
  std::string bytes;
  FileFingerprint now;
  if (!ReadFingerprinted(preview.path, &bytes, &now, error)) return ApplyOutcome::kFailed;
  if (!(now == preview.fingerprint)) {
    *error = Message(MessageId::kChangedSincePreview);
    return ApplyOutcome::kChanged;
  }
  if (preview.IsDocument()) {
    // The copy holds every change; a part of them cannot be written.
    if (edits.size() != preview.changes.size()) {
      *error = LeftAsItIs(Message(MessageId::kDocumentAllOrNothing));
      return ApplyOutcome::kRefused;
    }
    std::string copy;
    if (!ReadWholeFile(preview.documentCopy, &copy, error)) return ApplyOutcome::kFailed;
    return Write(preview.path, copy, backup, rewriter, error);
  }
  std::string out;
  if (!ApplyEdits(bytes, std::move(edits), &out)) {
    *error = LeftAsItIs(Message(MessageId::kChangesOutsideFile));
    return ApplyOutcome::kRefused;
  }
  return Write(preview.path, out, backup, rewriter, error);
}

namespace {

bool IsUtf16Name(std::string_view encoding) {
  return encoding == "UTF-16LE" || encoding == "UTF-16BE";
}

// The byte-order mark every UTF-16 file of a plan begins with.
std::string_view Utf16Mark(std::string_view encoding) {
  return encoding == "UTF-16LE" ? "\xFF\xFE" : "\xFE\xFF";
}

// Whether a plan made for a file in encoding can have been made from bytes:
// a UTF-16 file is recognised by its mark; the other encodings are the
// reading the user chose and fit any bytes.
bool EncodingFits(std::string_view bytes, std::string_view encoding) {
  if (IsUtf16Name(encoding)) return bytes.substr(0, 2) == Utf16Mark(encoding);
  return encoding == "UTF-8" || encoding == "GBK" || encoding == "BIG5";
}

// Whether bytes that are not those of the plan are another encoding than
// the plan's (a file converted since), rather than other text.
bool EncodingChanged(std::string_view bytes, std::string_view encoding) {
  if (IsUtf16Name(encoding)) return bytes.substr(0, 2) != Utf16Mark(encoding);
  const FileEncoding now = DetectFileEncoding(bytes, EncodingSetting::Auto).encoding;
  if (now != FileEncoding::CodePage) return encoding != FileEncodingName(now);
  bool multiByte = false;
  return encoding == "UTF-8" && !IsValidUtf8(bytes, &multiByte);
}

// The lines of a file's text: one more than its line feeds (in UTF-16,
// code units 0x000A after the mark).
uint64_t LineCount(std::string_view bytes, std::string_view encoding) {
  if (!IsUtf16Name(encoding)) {
    return 1 + static_cast<uint64_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  }
  const size_t low = encoding == "UTF-16LE" ? 0 : 1;
  uint64_t lines = 1;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    if (bytes[i + low] == '\n' && bytes[i + 1 - low] == '\0') lines++;
  }
  return lines;
}

// Why a planned change does not fit the file, or no message when it does.
Message MisfitOfChange(const PlannedChange& change, std::string_view bytes, uint64_t lines) {
  const std::string offset = std::to_string(change.offset);
  const std::string size = std::to_string(bytes.size());
  if (change.offset > bytes.size()) {
    return Message(MessageId::kPlanOffsetPastEnd, {offset, size});
  }
  if (change.length > bytes.size() - change.offset) {
    return Message(MessageId::kPlanLengthPastEnd, {std::to_string(change.length), offset, size});
  }
  if (change.line < 1 || change.line > lines) {
    return Message(MessageId::kPlanLineOutside,
                   {std::to_string(change.line), offset, std::to_string(lines)});
  }
  if (Sha256Hex(bytes.substr(change.offset, change.length)) != change.oldSha256) {
    return Message(MessageId::kPlanBytesDiffer, {offset});
  }
  return Message();
}

}  // namespace

ApplyOutcome ApplyPlannedChanges(const PlannedFile& plan, bool backup, FileRewriter& rewriter,
                                 Message* error) {
  if (plan.changes.empty()) return ApplyOutcome::kNothing;
  std::string bytes;
  if (!ReadWholeFile(plan.path, &bytes, error)) return ApplyOutcome::kFailed;
  if (Sha256Hex(bytes) != plan.sha256) {
    *error = LeftAsItIs(EncodingChanged(bytes, plan.encoding)
                            ? Message(MessageId::kPlanEncodingChanged, {plan.encoding})
                            : Message(MessageId::kChangedSincePlan));
    return ApplyOutcome::kChanged;
  }
  if (!EncodingFits(bytes, plan.encoding)) {
    *error = LeftAsItIs(Message(MessageId::kPlanEncodingNotFile, {plan.encoding}));
    return ApplyOutcome::kRefused;
  }
  const uint64_t lines = LineCount(bytes, plan.encoding);
  std::vector<ByteEdit> edits;
  for (const PlannedChange& change : plan.changes) {
    if (const Message misfit = MisfitOfChange(change, bytes, lines); !misfit.Empty()) {
      *error = LeftAsItIs(misfit);
      return ApplyOutcome::kRefused;
    }
    edits.push_back({static_cast<size_t>(change.offset), static_cast<size_t>(change.length),
                     change.newBytes});
  }
  std::string out;
  if (!ApplyEdits(bytes, std::move(edits), &out)) {
    *error = LeftAsItIs(Message(MessageId::kPlanChangesOverlap));
    return ApplyOutcome::kRefused;
  }
  return Write(plan.path, out, backup, rewriter, error);
}

bool EncodeForFile(std::string_view utf8, std::string_view encoding, std::string* bytes) {
  bool multiByte = false;
  if (!IsValidUtf8(utf8, &multiByte)) return false;
  if (encoding == "UTF-8") {
    bytes->assign(utf8);
    return true;
  }
  if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
    return Utf8ToUtf16(utf8, encoding == "UTF-16BE", bytes);
  }
  if (encoding == "GBK") return CodePage::Gbk().FromUtf8(utf8, bytes);
  if (encoding == "BIG5") return CodePage::Big5().FromUtf8(utf8, bytes);
  return false;
}

}  // namespace strbatch

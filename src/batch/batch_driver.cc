#include "batch/batch_driver.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "config/language.h"
#include "base/paths.h"
#include "base/scope_exit.h"
#include "batch/backup.h"
#include "batch/code_conversion.h"
#include "batch/rename.h"
#include "batch/replace_template.h"
#include "batch/text_diff.h"
#include "config/text_keys.h"
#include "lists/file_identity.h"
#include "office/office_bridge.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

// Room for a file's text to grow through its definitions without being
// copied to a larger buffer.
constexpr size_t kGrowthReserve = size_t{32} << 20;

// The side effects of the occurrences of one file: the match list during a
// batch find, the find report, the edits of an open office document, and
// in a dry run the trail of the regions rewritten.
class FileOccurrences : public OccurrenceSink {
 public:
  FileOccurrences(std::vector<MatchSpan>* matches, FindReport* report, OfficeDocument* document,
                  bool edit, EditTrail* trail)
      : matches_(matches), report_(report), document_(document), edit_(edit), trail_(trail) {}

  bool Needed() const {
    return matches_ != nullptr || report_ != nullptr || document_ != nullptr || trail_ != nullptr;
  }

  void BeginDefinition(std::string_view searchedText) override {
    if (document_) document_->BeginOccurrences(searchedText);
    if (trail_) trail_->BeginDefinition();
  }
  // A document's objects and fields stand in the work text as characters
  // too: every open document is asked.
  bool Restricts() const override { return document_ != nullptr; }
  bool Admits(size_t start, size_t length) const override {
    return document_->Admits(static_cast<int64_t>(start), static_cast<int64_t>(length));
  }
  void Occurrence(size_t start, size_t length, std::string_view replacement) override {
    if (trail_) trail_->Occurrence(start, length, replacement.size());
    if (matches_) {
      matches_->push_back({static_cast<int64_t>(start), static_cast<int64_t>(length)});
    }
    if (report_ && !replacement.empty()) report_->WriteLine(replacement);
    if (document_) {
      document_->LocateOccurrence(static_cast<int64_t>(start), static_cast<int64_t>(length));
      if (edit_) document_->EditOccurrence(replacement);
    }
  }

 private:
  std::vector<MatchSpan>* matches_;
  FindReport* report_;
  OfficeDocument* document_;
  bool edit_;
  EditTrail* trail_;
};

}  // namespace

// One file row on its way through the stages of ProcessFile.
struct BatchRunner::FileJob {
  size_t row = 0;
  std::string path;
  OfficeKind kind = OfficeKind::None;
  // The work text: the file's name, an office document's text, or the
  // file itself.
  WorkText work;
  bool haveText = false;   // the work text is loaded (or failed to load)
  bool usable = true;      // the work text could be loaded
  bool textFile = false;   // the work text is a text file's content
  const CodePage* workPage = nullptr;
  FileText fileText;
  std::unique_ptr<OfficeDocument> document;
  std::vector<int64_t> found;      // occurrences per definition
  std::vector<MatchSpan> matches;  // during a batch find
  // Dry runs: the file as read, its work text before the definitions, and
  // the private copy an office document is worked on.
  FileFingerprint fingerprint;
  std::string before;
  std::unique_ptr<EditTrail> trail;
  std::string copy;
};

namespace {

// The batch's own writer: each changed text file rewritten in its encoding.
class FileWriter : public ResultWriter {
 public:
  explicit FileWriter(FileRewriter& rewriter) : rewriter_(rewriter) {}
  bool CommitText(const TextResult& result, Message* error) override {
    return result.fileText.Save(rewriter_, result.path, result.after, error);
  }

 private:
  FileRewriter& rewriter_;
};

}  // namespace

BatchRunner::BatchRunner(FileList& files, DefinitionList& definitions, BatchHost& host)
    : files_(files), definitions_(definitions), host_(host) {}

BatchRunner::~BatchRunner() = default;

void BatchRunner::BatchReplace() {
  options.AltCode = CodeConversion::None;
  state_.findMode = false;
  RunBatch(BatchMode::Content);
}

void BatchRunner::BatchRename() {
  options.AltCode = CodeConversion::None;
  state_.findMode = false;
  RunBatch(BatchMode::Rename);
}

void BatchRunner::ConvertCode(CodeConversion conversion) {
  options.AltCode = conversion;
  state_.findMode = false;
  RunBatch(BatchMode::Content);
}

std::string BatchRunner::ReportPath(Message* error) {
  std::string dir;
  Message why;
  if (!PrivateTempDir(&dir, error ? error : &why)) return "";
  return dir + "/outfind.txt";
}

void BatchRunner::BatchFind() {
  options.AltCode = CodeConversion::None;
  state_.findMode = true;
  Message error;
  std::string path = ReportPath(&error);
  FindReport report;
  if (options.reportOutput && path.empty()) {
    // The find still runs; the user hears why there is no report.
    host_.Warn("", Message(MessageId::kFindReportNoPlace).Because(error));
  } else if (options.reportOutput) {
    if (report.Open(path)) {
      state_.reportFile = &report;
    } else {
      host_.Warn(path, Message(MessageId::kCannotCreateFindReport));
    }
  }
  ScopeExit clearReport([this] { state_.reportFile = nullptr; });
  RunBatch(BatchMode::Content);
  if (state_.reportFile) {
    if (!report.Close()) host_.Warn(path, Message(MessageId::kFindReportIncomplete));
    state_.reportFile = nullptr;
    host_.OpenReport(path);
  }
}

bool BatchRunner::ComputeChangesExpected() const {
  for (size_t d = 0; d < definitions_.Size(); d++) {
    if (!definitions_.Row(d).checked || definitions_.Find(d).empty()) continue;
    if (definitions_.Replace(d) != definitions_.Find(d)) return true;
  }
  return false;
}

void BatchRunner::MakeBackupStep(const std::string& path) {
  BackUpBeforeChange(path, host_, *rewriter_);
}

void BatchRunner::ConvertStep(const std::string& path) {
  // Conversions write whole files; a dry run previews replaces only.
  if (DryRun()) return;
  const ConversionResult result =
      ConvertCodeFile(path, options.AltCode, options.encoding, Changes());
  switch (result.status) {
    case ConversionResult::kConverted:
      // "?" in place of a character is the conversion's designed answer
      // where the target holds no form of it, but never a silent one.
      if (result.unmapped > 0) {
        host_.Notice(path, Message(MessageId::kConversionUnmapped,
                                   {std::to_string(result.unmapped), result.encodingName}));
      }
      break;
    case ConversionResult::kUnchanged: break;
    case ConversionResult::kAlreadyUtf8:
    case ConversionResult::kNotHeld:
    case ConversionResult::kInvalidBytes:
    case ConversionResult::kFailed: host_.Warn(path, result.Why()); break;
  }
}

bool BatchRunner::Cancelled() {
  if (!host_.CheckCancelled()) return false;
  stopped_ = true;
  end_ = RunEnd::kStopped;
  return true;
}

std::vector<const CodePage*> BatchRunner::RunCodePages(BatchMode mode) const {
  const bool utf8Names =
      options.encoding == EncodingSetting::Auto || options.encoding == EncodingSetting::Utf8;
  std::vector<const CodePage*> pages;
  auto add = [&pages](const CodePage* page) {
    for (const CodePage* known : pages) {
      if (known->Number() == page->Number()) return;
    }
    pages.push_back(page);
  };
  // Names and office documents: see ProcessFile.
  const CodePage* unicodeText = utf8Names ? &CodePage::Utf8() : codePage_;
  if (mode == BatchMode::Rename) {
    add(unicodeText);
    return pages;
  }
  for (size_t r = 0; r < files_.Size(); r++) {
    if (!files_.Row(r).checked) continue;
    if (OfficeKindOf(SplitPath(files_.Row(r).path).extension) != OfficeKind::None) {
      add(unicodeText);
      continue;
    }
    switch (options.encoding) {
      case EncodingSetting::Gbk: add(codePage_); break;
      case EncodingSetting::Auto:
        add(codePage_);
        add(&CodePage::Utf8());
        break;
      case EncodingSetting::Big5: add(&CodePage::Big5()); break;
      case EncodingSetting::Utf8: add(&CodePage::Utf8()); break;
    }
  }
  return pages;
}

namespace {

// The compile error in words, with the character of the find string it is
// about (counted from 1 in the code page the expression was compiled in).
Message DescribePatternError(const CPattern& pattern, std::string_view find,
                             const CodePage& codePage) {
  // In the order of PatternError, from PATTERN_ERR_MEMORY.
  static constexpr MessageId kFaults[] = {
      MessageId::kPatternMemory,    MessageId::kPatternBrace,         MessageId::kPatternParen,
      MessageId::kPatternBracket,   MessageId::kPatternAbbreviation,  MessageId::kPatternEmptyClass,
      MessageId::kPatternGroupReference, MessageId::kPatternRange,    MessageId::kPatternEmptyRepeat,
      MessageId::kPatternNoInput,   MessageId::kPatternNesting,       MessageId::kPatternTooLarge,
  };
  size_t character = 1;
  const size_t offset = std::min(pattern.ErrorOffset(), find.size());
  for (size_t at = 0; at < offset; at = codePage.NextChar(find, at)) character++;
  const size_t fault = static_cast<size_t>(pattern.LastError()) - PATTERN_ERR_MEMORY;
  return Message(fault < std::size(kFaults) ? kFaults[fault] : MessageId::kPatternMemory,
                 {std::to_string(character)});
}

}  // namespace

bool BatchRunner::CheckExpressions(BatchMode mode) {
  const std::vector<const CodePage*> pages = RunCodePages(mode);
  for (size_t d = 0; d < definitions_.Size(); d++) {
    if (!definitions_.Row(d).checked || snapshot_->finds[d].empty()) continue;
    bool noticed = false;
    for (const CodePage* page : pages) {
      const CarriedDefinition& def = Carried(d, *page);
      // A find string the code page cannot hold is never searched in it.
      if (!def.findOk) continue;
      CPattern pattern(*page);
      if (pattern.Compile(def.find, options.Case) != PATTERN_OK) {
        const Message what = DescribePatternError(pattern, def.find, *page);
        const std::string row = std::to_string(d + 1);
        // Where the expression compiles in one code page and not in another
        // (a class range of single bytes), the message says which.
        host_.RejectDefinition(
            d, pages.size() > 1
                   ? Message(MessageId::kDefinitionFaultIn, {row, page->Name()}).Because(what)
                   : Message(MessageId::kDefinitionFault, {row}).Because(what));
        return false;
      }
      int group = 0;
      if (!noticed && def.replaceOk) {
        std::vector<std::string> pieces;
        std::vector<uint32_t> kinds;
        ParseReplaceTemplate(def.replace, &pieces, &kinds, *page);
        if (FindMissingGroupReference(pieces, kinds, pattern.GroupCount(), &group)) {
          host_.Notice("", Message(MessageId::kMissingGroup,
                                   {std::to_string(d + 1), std::to_string(group),
                                    std::to_string(pattern.GroupCount())}));
          noticed = true;
        }
      }
    }
  }
  return true;
}

void BatchRunner::RunBatch(BatchMode mode) {
  texts_.SetLanguage(options.language);
  stopped_ = false;
  readStopped_ = false;
  lastRowReached_ = 0;
  end_ = RunEnd::kRejected;
  Snapshot snapshot;
  for (size_t d = 0; d < definitions_.Size(); d++) {
    snapshot.finds.push_back(definitions_.Find(d));
    snapshot.replaces.push_back(definitions_.Replace(d));
  }
  snapshot_ = &snapshot;
  carried_.clear();
  ScopeExit forgetSnapshot([this] {
    snapshot_ = nullptr;
    carried_.clear();
  });
  const bool converting = options.AltCode != CodeConversion::None;
  // A definition that cannot be used stops the command before anything is
  // asked, backed up or written.
  if (options.Advance && !converting && !CheckExpressions(mode)) return;
  end_ = RunEnd::kRefused;
  state_.changesExpected = ComputeChangesExpected() && !state_.findMode;
  // A dry run writes nothing, so it has nothing to ask.
  const bool changing = (state_.changesExpected || converting) && !DryRun();
  if (changing && !ConfirmChanges(journal_, OldBytes(mode), host_)) return;
  JournalledRun journalRun(changing ? journal_ : nullptr);
  if (changing && !StartJournal(journalRun, mode)) return;
  end_ = RunEnd::kFinished;
  for (size_t r = 0; r < files_.Size(); r++) files_.SetCount(r, 0);
  for (size_t d = 0; d < definitions_.Size(); d++) definitions_.SetCount(d, 0);

  host_.ShowProgress();
  // The progress window and the office applications end however the run
  // ends, also when an office call throws.
  ScopeExit endRun([this] {
    if (office_) {
      try {
        office_->QuitAll();
      } catch (const AutomationError&) {
        // Quitting is best effort; the error that ended the run matters more.
      }
    }
    host_.HideProgress();
  });
  // Reading an office document's parts is bounded, and answers Stop.
  if (office_) {
    OfficeReadLimits limits;
    limits.partLimit = static_cast<uint64_t>(options.partLimitMegabytes) << 20;
    // The host forgets a request once given: the run remembers it, and a
    // stop inside a document ends the run there.
    limits.shouldStop = [this] {
      if (!readStopped_ && Cancelled()) readStopped_ = true;
      return readStopped_;
    };
    office_->SetReadLimits(limits);
    office_->SetParts(options.allParts ? OfficeParts::kAll : OfficeParts::kBody);
  }
  ScopeExit forgetLimits([this] {
    if (office_) office_->SetReadLimits({});
  });
  // A file named again is skipped in its place, so that the running file
  // number of every later row stays what the list says; its count stays
  // blank.
  FileOnce once(mode == BatchMode::Rename ? SameFileRule::kEntry : SameFileRule::kContents);
  ScopeExit tellFolded([this, &once] {
    if (!once.Folded().empty()) host_.Notice("", Message(MessageId::kNamesSkipped, {once.FoldedNames()}));
  });
  for (size_t r = 0; r < files_.Size(); r++) {
    files_.SetMatches(r, {});
    state_.currentFileNumber = static_cast<long long>(r) + 1;
    if (readStopped_ || Cancelled()) break;
    if (!files_.Row(r).checked) continue;
    lastRowReached_ = r + 1;
    if (!once.First(files_.Row(r).path)) {
      files_.SetCount(r, std::nullopt);
      continue;
    }
    host_.SetMessage(texts_.Text(key::kProcessingFile) + std::to_string(r + 1) + "/" +
                     std::to_string(files_.Size()));
    host_.SelectFileRow(r);
    ProcessFile(r, mode);
  }
}

uint64_t BatchRunner::OldBytes(BatchMode mode) const {
  // A rename keeps no bytes, only names.
  std::vector<std::string> paths;
  for (size_t r = 0; r < files_.Size() && mode == BatchMode::Content; r++) {
    if (files_.Row(r).checked) paths.push_back(files_.Row(r).path);
  }
  return SizeOfFiles(paths);
}

bool BatchRunner::StartJournal(JournalledRun& run, BatchMode mode) {
  if (journal_ == nullptr) return true;
  const bool converting = options.AltCode != CodeConversion::None;
  const char* command = mode == BatchMode::Rename ? "rename" : converting ? "convert" : "replace";
  return run.Open(command, OldBytes(mode), host_);
}

const BatchRunner::CarriedDefinition& BatchRunner::Carried(size_t d, const CodePage& codePage) {
  std::vector<CarriedDefinition>& list = carried_[codePage.Number()];
  if (list.empty()) {
    const CodePage& source = *codePage_;
    for (size_t i = 0; i < snapshot_->finds.size(); i++) {
      CarriedDefinition def;
      if (codePage.Number() == source.Number()) {
        def.find = snapshot_->finds[i];
        def.replace = snapshot_->replaces[i];
      } else {
        // Through UTF-8: exact for every character both code pages hold.
        std::string find, replace;
        def.findOk = source.ToUtf8(snapshot_->finds[i], &find) &&
                     codePage.FromUtf8(find, &def.find);
        def.replaceOk = source.ToUtf8(snapshot_->replaces[i], &replace) &&
                        codePage.FromUtf8(replace, &def.replace);
      }
      list.push_back(std::move(def));
    }
  }
  return list[d];
}

void BatchRunner::ProcessFile(size_t r, BatchMode mode) {
  FileJob job;
  job.row = r;
  job.path = files_.Row(r).path;
  job.kind = mode == BatchMode::Content ? OfficeKindOf(SplitPath(job.path).extension)
                                        : OfficeKind::None;
  const bool converting = options.AltCode != CodeConversion::None;
  if (options.autoBackup && (state_.changesExpected || converting) && !DryRun()) {
    MakeBackupStep(job.path);
  }
  if (converting && job.kind != OfficeKind::None) return;

  // The text buffer is kept from file to file, so that a run over large
  // files does not map fresh memory for each one.
  job.work.bytes.swap(textBuffer_);
  ScopeExit keepBuffer([this, &job] {
    job.work.bytes.clear();
    // A buffer that grew for one very large file is not kept past it.
    if (job.work.bytes.capacity() > (size_t{1} << 30)) job.work.bytes.shrink_to_fit();
    textBuffer_.swap(job.work.bytes);
  });

  LoadWorkText(job, mode);
  if (readStopped_) return;
  if (!converting) ApplyDefinitions(job);
  if (!converting && job.document && !Cancelled()) TellOtherStories(job);
  // What the work text could not show was not searched: said once per
  // document, with the settings that search it.
  if (job.document && job.usable && job.document->StandIns() > 0) {
    host_.Notice(job.path, Message(MessageId::kStandInsNotSearched,
                                   {std::to_string(job.document->StandIns())}));
  }
  if (CommitText(job, mode)) Tally(job);
  if (converting) ConvertStep(job.path);
  if (mode == BatchMode::Rename) RenameFile(job);
  if (job.document) {
    job.document->Close(state_.changesExpected);
    if (state_.changesExpected) TellLeftovers(job, job.document->Leftovers());
    if (DryRun() && job.usable && job.before != job.work.bytes) {
      writer_->CommitDocument({job.row, job.path, job.copy, job.fingerprint, job.before,
                               job.work.bytes, *job.workPage, job.kind});
    }
  }
}

void BatchRunner::TellLeftovers(const FileJob& job, const NotApplied& leftovers) {
  if (leftovers.Total() == 0) return;
  files_.SetNotChanged(job.row, leftovers.Total());
  // The total, then the count of each NotAppliedReason in its order. A
  // replace that leaves some of what it counted has not done what was
  // asked: a warning, not a notice.
  Message warning(MessageId::kNotApplied, {std::to_string(leftovers.Total())});
  for (size_t r = 0; r < static_cast<size_t>(NotAppliedReason::kCount); r++) {
    warning.args.push_back(std::to_string(leftovers.Of(static_cast<NotAppliedReason>(r))));
  }
  host_.Warn(job.path, warning);
}

void BatchRunner::TellOtherStories(const FileJob& job) {
  if (options.allParts || !job.usable) return;
  WorkText other;
  other.bytes = job.document->OtherStoriesText();
  if (other.bytes.empty()) return;
  // Each definition is counted in the stories as they are: none of them
  // is changed, so a later definition sees what an earlier one would have
  // replaced there.
  WorkerContext context;
  context.caseSensitive = options.Case;
  context.codePage = job.workPage;
  context.currentFileNumber = state_.currentFileNumber;
  context.searchSteps = searchSteps_;
  int64_t total = 0;
  for (size_t d = 0; d < definitions_.Size() && !Cancelled(); d++) {
    if (!definitions_.Row(d).checked || snapshot_->finds[d].empty()) continue;
    const CarriedDefinition& def = Carried(d, *job.workPage);
    if (!def.findOk) continue;
    total += options.Advance ? ReplaceInTextAdvanced(other, def.find, def.replace, context).count
                             : ReplaceInTextPlain(other, def.find, def.replace, context);
  }
  if (total > 0) {
    host_.Notice(job.path, Message(MessageId::kOtherStoriesNotSearched, {std::to_string(total)}));
  }
}

void BatchRunner::LoadWorkText(FileJob& job, BatchMode mode) {
  // File names are UTF-8: under the settings that recognise UTF-8 they are
  // matched as such, otherwise carried into the process code page. Office
  // documents hold Unicode text: under those settings it is worked on as
  // UTF-8 too, so no character is lost on the way.
  const bool utf8Names =
      options.encoding == EncodingSetting::Auto || options.encoding == EncodingSetting::Utf8;
  job.workPage = (mode == BatchMode::Rename || job.kind != OfficeKind::None) && utf8Names
                     ? &CodePage::Utf8()
                     : codePage_;
  if (mode == BatchMode::Rename) {
    job.haveText = true;
    job.usable = NameTextForRename(job.path, *job.workPage, &job.work.bytes);
    if (!job.usable) host_.Warn(job.path, Message(MessageId::kNameNotCarried));
  } else if (job.kind != OfficeKind::None) {
    job.haveText = true;
    if (office_) {
      // A dry run works the document through the same steps, on a copy.
      Message notCopied;
      if (DryRun() && !writer_->CopyDocument(job.path, &job.copy, &job.fingerprint, &notCopied)) {
        job.usable = false;
        host_.Warn(job.path, notCopied);
        return;
      }
      Message whyNot;
      try {
        job.document =
            office_->Open(DryRun() ? job.copy : job.path, job.kind, *job.workPage, &whyNot);
      } catch (const std::bad_alloc&) {
        // One document too large for this machine is left out; the run
        // goes on with the next file.
        whyNot = Message(MessageId::kNotEnoughMemoryToRead);
      }
      if (!job.document) {
        // A document stopped while it was read is not told: the run ends.
        if (!whyNot.Empty() && !readStopped_) host_.Warn(job.path, whyNot);
        if (!whyNot.Empty()) job.usable = false;
      }
    }
    if (job.document) {
      Message whyNot;
      try {
        job.work.bytes = job.document->WriteText();
      } catch (const AutomationError& error) {
        // A document read in part is no document to replace in: it is
        // warned, closed unsaved and not counted; the run goes on. The
        // application's own words are all there is to tell.
        whyNot = LibraryText(error.what());
      } catch (const std::bad_alloc&) {
        whyNot = Message(MessageId::kNotEnoughMemoryToRead);
      }
      if (!whyNot.Empty()) {
        host_.Warn(job.path, whyNot);
        job.usable = false;
        job.work.bytes.clear();
        job.work.bytes.shrink_to_fit();
        job.document.reset();
        return;
      }
    }
    if (job.document && job.document->ReadInPart() && !KeepReadInPart(job)) return;
    if (job.document && DryRun()) job.before = job.work.bytes;
  }
}

bool BatchRunner::KeepReadInPart(FileJob& job) {
  // A find counts what was read; replacing in part of a document would
  // count it as if whole, so a replace leaves it as it is, unsaved.
  if (!state_.changesExpected) {
    host_.Warn(job.path, Message(MessageId::kReadInPartCounted));
    return true;
  }
  host_.Warn(job.path, Message(MessageId::kReadInPartLeft));
  job.usable = false;
  job.found.assign(job.found.size(), 0);
  job.work.bytes.clear();
  job.document.reset();
  return false;
}

bool BatchRunner::ReadTextFile(FileJob& job) {
  job.haveText = true;
  job.textFile = true;
  Message error;
  const bool read =
      DryRun() ? ReadFingerprinted(job.path, &job.work.bytes, &job.fingerprint, &error,
                                   kGrowthReserve)
               : ReadWholeFile(job.path, &job.work.bytes, &error, kGrowthReserve);
  if (!read || !job.fileText.Open(&job.work.bytes, options.encoding, &error)) {
    job.usable = false;
    host_.Warn(job.path, error);
    return false;
  }
  job.workPage = &job.fileText.WorkCodePage();
  if (DryRun()) {
    job.before = job.work.bytes;
    job.trail = std::make_unique<EditTrail>();
  }
  return true;
}

void BatchRunner::ApplyDefinitions(FileJob& job) {
  const size_t definitionCount = definitions_.Size();
  job.found.assign(definitionCount, 0);
  for (size_t d = 0; d < definitionCount; d++) {
    if (Cancelled()) break;
    const uint64_t rows = files_.Size();
    host_.SetPosition(static_cast<int>((d + job.row * definitionCount) * 100 /
                                       (rows * definitionCount)));
    if (!definitions_.Row(d).checked) continue;
    if (!job.haveText) ReadTextFile(job);
    if (!job.usable) continue;
    ApplyDefinition(job, d);
  }
  // Offsets of a text file's work text are offsets in the file again.
  if (job.textFile && job.usable) job.fileText.MapMatches(&job.matches, job.work.bytes);
  if (state_.findMode) files_.SetMatches(job.row, std::move(job.matches));
}

void BatchRunner::ApplyDefinition(FileJob& job, size_t d) {
  // An empty find string finds nothing, in either mode (an empty
  // expression would match the empty text everywhere).
  if (snapshot_->finds[d].empty()) return;
  const CarriedDefinition& def = Carried(d, *job.workPage);
  // A find string the file's encoding cannot hold occurs nowhere in it.
  if (!def.findOk) return;
  if (!def.replaceOk && state_.changesExpected) {
    host_.Warn(job.path, Message(MessageId::kReplacementNotHeld,
                                 {std::to_string(d + 1), FileEncodingName(job.fileText.Encoding())}));
    return;
  }
  FindReport* report = state_.reportFile;
  if (report) {
    // Under the settings that read several encodings (and on the CLI's
    // standard output) the report is UTF-8, each line carried from its
    // file's encoding.
    const bool utf8Report = reportInUtf8_ || options.encoding != EncodingSetting::Gbk;
    report->SetSourceCodePage(utf8Report && !job.workPage->IsUtf8() ? job.workPage : nullptr);
  }
  FileOccurrences occurrences(state_.findMode ? &job.matches : nullptr, report,
                              job.document.get(), state_.changesExpected, job.trail.get());
  WorkerContext context;
  context.caseSensitive = options.Case;
  context.changesExpected = state_.changesExpected;
  context.currentFileNumber = state_.currentFileNumber;
  context.sink = occurrences.Needed() ? &occurrences : nullptr;
  context.codePage = job.workPage;
  context.searchSteps = searchSteps_;
  if (options.Advance) {
    const AdvancedResult result = ReplaceInTextAdvanced(job.work, def.find, def.replace, context);
    job.found[d] = result.count;
    if (result.gaveUp) {
      host_.Warn(job.path, Message(MessageId::kSearchGaveUp,
                                   {std::to_string(d + 1), std::to_string(result.reachedOffset)}));
    }
  } else {
    job.found[d] = ReplaceInTextPlain(job.work, def.find, def.replace, context);
  }
  if (job.document && job.found[d] > 0 && state_.changesExpected) {
    // A document may hold the replacements otherwise than the work text
    // does (an occurrence it could not take stays as it was, a line break
    // in a cell reads as a space): the next definition searches what the
    // document now holds.
    job.work.bytes = job.document->WriteText();
    job.work.SetSearchedLength(std::min(job.work.bytes.find('\0'), job.work.bytes.size()));
    if (job.document->ReadInPart()) KeepReadInPart(job);
  }
}

bool BatchRunner::CommitText(FileJob& job, BatchMode mode) {
  // A text file is written once, after its definitions.
  if (!job.work.changed || mode != BatchMode::Content || job.kind != OfficeKind::None) return true;
  Message error;
  FileWriter fileWriter(Changes());
  ResultWriter& writer = writer_ != nullptr ? *writer_ : fileWriter;
  std::vector<Region> rewritten;
  if (job.trail) rewritten = job.trail->Regions();
  TextResult result{job.row, job.path, job.fileText, job.work.bytes,
                    DryRun() ? &job.fingerprint : nullptr, DryRun() ? &job.before : nullptr,
                    &rewritten};
  if (writer.CommitText(result, &error)) return true;
  host_.Warn(job.path, error);
  return false;
}

void BatchRunner::Tally(const FileJob& job) {
  for (size_t d = 0; d < job.found.size(); d++) {
    if (job.found[d] <= 0) continue;
    files_.AddToCount(job.row, job.found[d]);
    definitions_.AddToCount(d, job.found[d]);
  }
}

void BatchRunner::RenameFile(FileJob& job) {
  if (!job.usable || !state_.changesExpected || DryRun()) return;
  std::string newName, newPath;
  Message error;
  if (NewNameFromWorkText(job.work.bytes, *job.workPage, &newName, &error) &&
      RenameStep(job.path, newName, &newPath, &error, Changes())) {
    files_.SetPath(job.row, newPath);
  } else {
    // The count stays: it is of the occurrences found in the name.
    host_.Warn(job.path, error);
  }
}

}  // namespace strbatch

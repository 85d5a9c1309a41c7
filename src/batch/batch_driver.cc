#include "batch/batch_driver.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "app/language.h"
#include "app/paths.h"
#include "batch/backup.h"
#include "batch/code_conversion.h"
#include "batch/file_text.h"
#include "batch/rename.h"
#include "batch/replace_template.h"
#include "office/office_bridge.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

// Ends the progress window and the office applications however the run
// ends, also when an office call throws.
class RunGuard {
 public:
  RunGuard(BatchHost& host, OfficeBridge* office) : host_(host), office_(office) {
    host_.ShowProgress();
  }
  ~RunGuard() {
    if (office_) {
      try {
        office_->QuitAll();
      } catch (const AutomationError&) {
        // Quitting is best effort; the error that ended the run matters more.
      }
    }
    host_.HideProgress();
  }

 private:
  BatchHost& host_;
  OfficeBridge* office_;
};

// Room for a file's text to grow through its definitions without being
// copied to a larger buffer.
constexpr size_t kGrowthReserve = size_t{32} << 20;

}  // namespace

BatchRunner::BatchRunner(FileList& files, DefinitionList& definitions, BatchHost& host)
    : files_(files), definitions_(definitions), host_(host) {}

void BatchRunner::BatchReplace() {
  options.AltCode = 0;
  state.findMode = 0;
  RunBatch(BatchMode::Content);
}

void BatchRunner::BatchRename() {
  options.AltCode = 0;
  state.findMode = 0;
  RunBatch(BatchMode::Rename);
}

void BatchRunner::ConvertCode(int altCode) {
  options.AltCode = altCode;
  state.findMode = 0;
  RunBatch(BatchMode::Content);
}

std::string BatchRunner::ReportPath(std::string* error) {
  std::string dir, why;
  if (!PrivateTempDir(&dir, error ? error : &why)) return "";
  return dir + "/outfind.txt";
}

void BatchRunner::BatchFind() {
  options.AltCode = 0;
  state.findMode = 1;
  std::string error;
  std::string path = ReportPath(&error);
  FindReport report;
  if (options.reportOutput && path.empty()) {
    // The find still runs; the user hears why there is no report.
    host_.Warn("find report", error);
  } else if (options.reportOutput) {
    if (report.Open(path)) {
      state.reportFile = &report;
    } else {
      host_.Warn(path, "cannot create the find report");
    }
  }
  struct ClearReport {
    BatchState& state;
    ~ClearReport() { state.reportFile = nullptr; }
  } clearReport{state};
  RunBatch(BatchMode::Content);
  if (state.reportFile) {
    if (!report.Close()) host_.Warn(path, "the find report could not be written completely");
    state.reportFile = nullptr;
    host_.OpenReport(path);
  }
}

bool BatchRunner::ComputeChangesExpected() const {
  for (size_t d = 0; d < definitions_.Size(); d++) {
    const DefinitionRow& row = definitions_.Row(d);
    if (!row.checked || row.find.empty()) continue;
    if (definitions_.GetDefinitionText(d, 1) != definitions_.GetDefinitionText(d, 0)) return true;
  }
  return false;
}

std::string BatchRunner::AddToCount(const std::string& cell, int64_t n) {
  long long current = std::strtoll(cell.c_str(), nullptr, 10);
  return std::to_string(current + n);
}

void BatchRunner::MakeBackupStep(const std::string& path) {
  // A failed backup does not stop the batch, but the user hears of it.
  std::string error;
  if (!MakeBackup(path, &error, *rewriter_)) host_.Warn(path, "no backup made: " + error);
}

void BatchRunner::ConvertStep(const std::string& path) {
  std::string error;
  bool done = true;
  switch (options.AltCode) {
    case 1: done = ConvertGbkToBig5(path, &error, *rewriter_); break;
    case 2: done = ConvertGbkToTraditional(path, &error, *rewriter_); break;
    case 3: done = ConvertBig5ToGbk(path, &error, *rewriter_); break;
    case 4: done = ConvertGbkToSimplified(path, &error, *rewriter_); break;
    case 5: done = ConvertToUtf8(path, options.encoding, &error, *rewriter_); break;
    case 6: done = ConvertUtf8ToCodePage(path, &error, *rewriter_); break;
    default: break;
  }
  if (!done) host_.Warn(path, error);
}

bool BatchRunner::Cancelled() {
  if (!host_.CheckCancelled()) return false;
  stopped_ = true;
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

std::string CodePageName(const CodePage& codePage) {
  switch (codePage.Number()) {
    case CodePage::kGbk: return "GBK";
    case CodePage::kBig5: return "BIG5";
    default: return codePage.IsUtf8() ? "UTF-8" : "CP" + std::to_string(codePage.Number());
  }
}

// The compile error in words, with the character of the find string it is
// about (counted from 1 in the code page the expression was compiled in).
std::string DescribePatternError(const CPattern& pattern, std::string_view find,
                                 const CodePage& codePage) {
  size_t character = 1;
  const size_t offset = std::min(size_t{0} /* ERROR-OFFSET-PENDING */, find.size());
  for (size_t at = 0; at < offset; at = codePage.NextChar(find, at)) character++;
  return MessageText(std::to_string(1120 + static_cast<int>(pattern.LastError())),
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
      if (pattern.Compile(def.find, options.Case != 0) != PATTERN_OK) {
        const std::string what = DescribePatternError(pattern, def.find, *page);
        const std::string row = std::to_string(d + 1);
        // Where the expression compiles in one code page and not in another
        // (a class range of single bytes), the message says which.
        host_.RejectDefinition(
            d, pages.size() > 1 ? MessageText("1112", {row, CodePageName(*page), what})
                                : MessageText("1111", {row, what}));
        return false;
      }
      int group = 0;
      if (!noticed && def.replaceOk) {
        std::vector<std::string> pieces;
        std::vector<uint32_t> kinds;
        ParseReplaceTemplate(def.replace, &pieces, &kinds, *page);
        if (FindMissingGroupReference(pieces, kinds, pattern.GroupCount(), &group)) {
          host_.Notice("", MessageText("1140", {std::to_string(d + 1), std::to_string(group),
                                                std::to_string(pattern.GroupCount())}));
          noticed = true;
        }
      }
    }
  }
  return true;
}

void BatchRunner::RunBatch(BatchMode mode) {
  SetInterfaceLanguage(options.language);
  stopped_ = false;
  lastRowReached_ = 0;
  Snapshot snapshot;
  for (size_t d = 0; d < definitions_.Size(); d++) {
    snapshot.finds.push_back(definitions_.GetDefinitionText(d, 0));
    snapshot.replaces.push_back(definitions_.GetDefinitionText(d, 1));
  }
  snapshot_ = &snapshot;
  carried_.clear();
  struct ForgetSnapshot {
    BatchRunner& runner;
    ~ForgetSnapshot() {
      runner.snapshot_ = nullptr;
      runner.carried_.clear();
    }
  } forget{*this};
  // A definition that cannot be used stops the command before anything is
  // asked, backed up or written.
  if (options.Advance == 1 && options.AltCode == 0 && !CheckExpressions(mode)) return;
  state.changesExpected = ComputeChangesExpected() ? 1 : 0;
  if (state.findMode == 1) state.changesExpected = 0;
  if ((state.changesExpected == 1 || options.AltCode > 0) && !host_.Confirm("1023", "1024")) {
    return;
  }
  for (size_t r = 0; r < files_.Size(); r++) files_.SetCount(r, "0");
  for (size_t d = 0; d < definitions_.Size(); d++) definitions_.SetCount(d, "0");

  RunGuard guard(host_, office_);
  std::vector<std::string>& matchLists = files_.MatchLists();
  for (size_t r = 0; r < files_.Size(); r++) {
    if (matchLists.size() <= r) matchLists.resize(r + 1);
    matchLists[r].clear();
    state.currentFileNumber = static_cast<long long>(r) + 1;
    if (Cancelled()) break;
    if (!files_.Row(r).checked) continue;
    lastRowReached_ = r + 1;
    host_.SetMessage(GetText("1025") + std::to_string(r + 1) + "/" +
                     std::to_string(files_.Size()));
    host_.SelectFileRow(r);
    ProcessFile(r, mode);
  }
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
  const std::string path = files_.Row(r).path;
  const SplitPathResult parts = SplitPath(path);
  const OfficeKind kind =
      mode == BatchMode::Content ? OfficeKindOf(parts.extension) : OfficeKind::None;
  std::string error;

  if (options.autoBackup && (state.changesExpected == 1 || options.AltCode > 0)) {
    MakeBackupStep(path);
  }
  if (options.AltCode > 0 && kind != OfficeKind::None) return;

  // The work text: the file's name, an office document's text, or the
  // file itself (read when the first checked definition needs it).
  WorkText work;
  // The text buffer is kept from file to file, so that a run over large
  // files does not map fresh memory for each one.
  work.bytes.swap(textBuffer_);
  struct KeepBuffer {
    std::string& buffer;
    WorkText& work;
    ~KeepBuffer() {
      work.bytes.clear();
      // A buffer that grew for one very large file is not kept past it.
      if (work.bytes.capacity() > (size_t{1} << 30)) work.bytes.shrink_to_fit();
      buffer.swap(work.bytes);
    }
  } keepBuffer{textBuffer_, work};
  bool haveText = false;
  bool nameUsable = true;
  std::unique_ptr<OfficeDocument> document;
  // File names are UTF-8: under the settings that recognise UTF-8 they are
  // matched as such, otherwise carried into the process code page.
  const bool utf8Names =
      options.encoding == EncodingSetting::Auto || options.encoding == EncodingSetting::Utf8;
  // Office documents hold Unicode text: under those settings it is worked
  // on as UTF-8 too, so no character is lost on the way.
  const CodePage* workPage = (mode == BatchMode::Rename || kind != OfficeKind::None) && utf8Names
                                 ? &CodePage::Utf8()
                                 : codePage_;
  FileText fileText;
  bool plainFile = false;
  if (mode == BatchMode::Rename) {
    nameUsable = NameTextForRename(path, *workPage, &work.bytes);
    if (!nameUsable) host_.Warn(path, "the name cannot be carried into the code page and back");
    haveText = true;
  } else if (kind != OfficeKind::None) {
    if (office_) {
      std::string whyNot;
      document = office_->Open(path, kind, *workPage, &whyNot);
      if (!document && !whyNot.empty()) host_.Warn(path, whyNot);
    }
    if (document) work.bytes = document->WriteText();
    haveText = true;
  }

  const size_t definitionCount = definitions_.Size();
  std::vector<int64_t> found(definitionCount, 0);
  bool readFailed = false;
  if (options.AltCode == 0) {
    for (size_t d = 0; d < definitionCount; d++) {
      if (Cancelled()) break;
      const uint64_t rows = files_.Size();
      host_.SetPosition(static_cast<int>((d + r * definitionCount) * 100 /
                                         (rows * definitionCount)));
      if (!definitions_.Row(d).checked) continue;
      if (!haveText) {
        haveText = true;
        if (!ReadWholeFile(path, &work.bytes, &error, kGrowthReserve) ||
            !fileText.Open(&work.bytes, options.encoding, &error)) {
          readFailed = true;
          host_.Warn(path, error);
        }
        plainFile = true;
        workPage = &fileText.WorkCodePage();
      }
      if (readFailed || !nameUsable) continue;
      // An empty find string finds nothing, in either mode (an empty
      // expression would match the empty text everywhere).
      if (snapshot_->finds[d].empty()) continue;
      const CarriedDefinition& def = Carried(d, *workPage);
      // A find string the file's encoding cannot hold occurs nowhere in it.
      if (!def.findOk) continue;
      if (!def.replaceOk && state.changesExpected == 1) {
        host_.Warn(path, std::string("the replacement of definition ") + std::to_string(d + 1) +
                             " has characters that " + FileEncodingName(fileText.Encoding()) +
                             " cannot hold; that definition was not applied to this file");
        continue;
      }
      WorkerContext context;
      context.caseSensitive = options.Case != 0;
      context.findMode = state.findMode == 1;
      context.changesExpected = state.changesExpected == 1;
      context.currentFileNumber = state.currentFileNumber;
      context.report = state.reportFile;
      context.office = document.get();
      context.matchList = &files_.MatchLists()[r];
      context.codePage = workPage;
      context.searchSteps = searchSteps_;
      if (state.reportFile) {
        // Under the settings that read several encodings the report is
        // UTF-8, each line carried from its file's encoding.
        const bool utf8Report = options.reportUtf8 || options.encoding != EncodingSetting::Gbk;
        state.reportFile->SetSourceCodePage(utf8Report && !workPage->IsUtf8() ? workPage : nullptr);
      }
      if (options.Advance == 1) {
        const AdvancedResult result = ReplaceInTextAdvanced(work, def.find, def.replace, context);
        found[d] = result.count;
        if (result.gaveUp) {
          host_.Warn(path, MessageText("1141", {std::to_string(d + 1),
                                                std::to_string(result.reachedOffset)}));
        }
      } else {
        found[d] = ReplaceInTextPlain(work, def.find, def.replace, context);
      }
      if (document && found[d] > 0 && context.changesExpected) {
        // A document may hold the replacements otherwise than the work text
        // does (an occurrence it could not take stays as it was, a line break
        // in a cell reads as a space): the next definition searches what the
        // document now holds.
        work.bytes = document->WriteText();
        work.SetSearchedLength(std::min(work.bytes.find('\0'), work.bytes.size()));
      }
    }
  }
  if (plainFile && !readFailed) {
    std::string& entry = files_.MatchLists()[r];
    entry = fileText.MapMatchList(entry, work.bytes);
  }

  // A text file is written once, after its definitions; when that fails the
  // original stays as it was and its occurrences count as not found.
  bool kept = true;
  if (work.changed && mode == BatchMode::Content && kind == OfficeKind::None) {
    kept = fileText.Save(*rewriter_, path, work.bytes, &error);
    if (!kept) host_.Warn(path, error);
  }
  if (kept) {
    for (size_t d = 0; d < definitionCount; d++) {
      if (found[d] <= 0) continue;
      files_.SetCount(r, AddToCount(files_.Row(r).count, found[d]));
      definitions_.SetCount(d, AddToCount(definitions_.Row(d).count, found[d]));
    }
  }

  if (options.AltCode > 0) ConvertStep(path);

  if (mode == BatchMode::Rename && nameUsable && state.changesExpected == 1) {
    std::string newName, newPath;
    if (!NewNameFromWorkText(work.bytes, *workPage, &newName)) {
      host_.Warn(path, "the new name cannot be carried back from the code page");
    } else if (RenameStep(path, newName, &newPath, &error)) {
      files_.SetPath(r, newPath);
    } else {
      host_.Warn(path, error);
    }
  }

  if (document) document->Close(state.changesExpected == 1);
}

}  // namespace strbatch

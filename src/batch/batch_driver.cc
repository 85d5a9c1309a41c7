#include "batch/batch_driver.h"

#include <cstdlib>
#include <memory>

#include "app/language.h"
#include "app/paths.h"
#include "batch/backup.h"
#include "batch/code_conversion.h"
#include "batch/rename.h"
#include "office/office_bridge.h"

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

std::string BatchRunner::ReportPath() {
  std::string dir, error;
  if (!PrivateTempDir(&dir, &error)) return "";
  return dir + "/outfind.txt";
}

void BatchRunner::BatchFind() {
  options.AltCode = 0;
  state.findMode = 1;
  std::string path = ReportPath();
  FindReport report;
  if (options.reportOutput && !path.empty()) {
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
    default: break;
  }
  if (!done) host_.Warn(path, error);
}

void BatchRunner::RunBatch(BatchMode mode) {
  SetInterfaceLanguage(options.language);
  state.changesExpected = ComputeChangesExpected() ? 1 : 0;
  if (state.findMode == 1) state.changesExpected = 0;
  if ((state.changesExpected == 1 || options.AltCode > 0) && !host_.Confirm("1023", "1024")) {
    return;
  }
  for (size_t r = 0; r < files_.Size(); r++) files_.SetCount(r, "0");
  for (size_t d = 0; d < definitions_.Size(); d++) definitions_.SetCount(d, "0");

  RunGuard guard(host_, office_);
  Snapshot snapshot;
  for (size_t d = 0; d < definitions_.Size(); d++) {
    snapshot.finds.push_back(definitions_.GetDefinitionText(d, 0));
    snapshot.replaces.push_back(definitions_.GetDefinitionText(d, 1));
  }
  std::vector<std::string>& matchLists = files_.MatchLists();
  for (size_t r = 0; r < files_.Size(); r++) {
    if (matchLists.size() <= r) matchLists.resize(r + 1);
    matchLists[r].clear();
    state.currentFileNumber = static_cast<long long>(r) + 1;
    if (host_.CheckCancelled()) break;
    if (!files_.Row(r).checked) continue;
    host_.SetMessage(GetText("1025") + std::to_string(r + 1) + "/" +
                     std::to_string(files_.Size()));
    host_.SelectFileRow(r);
    ProcessFile(r, mode, snapshot);
  }
}

void BatchRunner::ProcessFile(size_t r, BatchMode mode, const Snapshot& snapshot) {
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
  bool haveText = false;
  bool nameUsable = true;
  std::unique_ptr<OfficeDocument> document;
  if (mode == BatchMode::Rename) {
    nameUsable = NameTextForRename(path, *codePage_, &work.bytes);
    if (!nameUsable) host_.Warn(path, "the name cannot be carried into the code page and back");
    haveText = true;
  } else if (kind != OfficeKind::None) {
    if (office_) document = office_->Open(path, kind);
    if (document) work.bytes = document->WriteText();
    haveText = true;
  }

  const size_t definitionCount = definitions_.Size();
  std::vector<int64_t> found(definitionCount, 0);
  bool readFailed = false;
  if (options.AltCode == 0) {
    for (size_t d = 0; d < definitionCount; d++) {
      if (host_.CheckCancelled()) break;
      const uint64_t rows = files_.Size();
      host_.SetPosition(static_cast<int>((d + r * definitionCount) * 100 /
                                         (rows * definitionCount)));
      if (!definitions_.Row(d).checked) continue;
      if (!haveText) {
        haveText = true;
        if (!ReadWholeFile(path, &work.bytes, &error, kGrowthReserve)) {
          readFailed = true;
          host_.Warn(path, error);
        }
      }
      if (readFailed || !nameUsable) continue;
      WorkerContext context;
      context.caseSensitive = options.Case != 0;
      context.findMode = state.findMode == 1;
      context.changesExpected = state.changesExpected == 1;
      context.currentFileNumber = state.currentFileNumber;
      context.report = state.reportFile;
      context.office = document.get();
      context.matchList = &files_.MatchLists()[r];
      context.codePage = codePage_;
      found[d] = options.Advance == 1
                     ? ReplaceInTextAdvanced(work, snapshot.finds[d], snapshot.replaces[d], context)
                     : ReplaceInTextPlain(work, snapshot.finds[d], snapshot.replaces[d], context);
    }
  }

  // A text file is written once, after its definitions; when that fails the
  // original stays as it was and its occurrences count as not found.
  bool kept = true;
  if (work.changed && mode == BatchMode::Content && kind == OfficeKind::None) {
    kept = RewriteFile(*rewriter_, path, work.bytes, &error);
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
    if (!NewNameFromWorkText(work.bytes, *codePage_, &newName)) {
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

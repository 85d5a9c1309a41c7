#include "commands/commands.h"

#include <algorithm>
#include <set>

#include "batch/backup.h"
#include "config/settings.h"
#include "lists/file_identity.h"
#include "office/office_bridge.h"

namespace strbatch {
namespace {

// Why an office call ended the run: its message, or the office's own words.
Message FailureOf(const AutomationError& error) {
  return error.Reason().Empty() ? LibraryText(error.what()) : error.Reason();
}

// Passes everything on to the front end's host and keeps in the report
// what the command told: its warnings, its notices, a cancel request.
class ReportingHost : public BatchHost {
 public:
  ReportingHost(BatchHost& inner, CommandReport& report) : inner_(inner), report_(report) {}

  bool cancelled = false;

  bool Ask(Question question) override { return inner_.Ask(question); }
  void ShowProgress() override { inner_.ShowProgress(); }
  void SetMessage(const std::string& text) override { inner_.SetMessage(text); }
  void SetPosition(int percent) override { inner_.SetPosition(percent); }
  bool CheckCancelled() override {
    const bool cancel = inner_.CheckCancelled();
    cancelled = cancelled || cancel;
    return cancel;
  }
  void HideProgress() override { inner_.HideProgress(); }
  void SelectFileRow(size_t row) override { inner_.SelectFileRow(row); }
  void OpenReport(const std::string& path) override { inner_.OpenReport(path); }
  void Warn(const std::string& path, const Message& reason) override {
    report_.warnings.push_back({path, reason});
    inner_.Warn(path, reason);
  }
  void Notice(const std::string& path, const Message& text) override {
    report_.notices++;
    inner_.Notice(path, text);
  }
  void RejectDefinition(size_t row, const Message& message) override {
    inner_.RejectDefinition(row, message);
  }

 private:
  BatchHost& inner_;
  CommandReport& report_;
};

std::vector<std::string> CheckedOnly(const std::vector<CheckedPath>& rows) {
  std::vector<std::string> paths;
  for (const CheckedPath& row : rows) {
    if (row.checked) paths.push_back(row.path);
  }
  return paths;
}

// The counts of the file list after a run.
void CountFiles(const FileList& files, CommandReport* report) {
  report->rows = files.Size();
  for (size_t r = 0; r < files.Size(); r++) {
    const FileRow& row = files.Row(r);
    if (!row.checked) continue;
    report->checked++;
    const int64_t count = row.count.value_or(0);
    report->filesHit += count > 0 ? 1 : 0;
    report->occurrences += count;
  }
}

CommandEnd EndOf(BatchRunner::RunEnd end) {
  switch (end) {
    case BatchRunner::RunEnd::kFinished: return CommandEnd::kFinished;
    case BatchRunner::RunEnd::kStopped: return CommandEnd::kStopped;
    case BatchRunner::RunEnd::kRejected: return CommandEnd::kRejected;
    case BatchRunner::RunEnd::kRefused: return CommandEnd::kRefused;
  }
  return CommandEnd::kFailed;
}

}  // namespace

std::unique_ptr<UndoJournal> MakeUndoJournal(const std::string& settingsPath, bool noUndo,
                                             FileRewriter& inner) {
  std::string root;
  Message error;
  if (!DefaultJournalRoot(&root, &error)) root.clear();
  auto journal = std::make_unique<UndoJournal>(root, inner);
  journal->limits = UndoLimitsFrom(LoadUndoSettings(settingsPath));
  if (noUndo) journal->limits.enabled = false;
  return journal;
}

size_t CommandReport::WarnedFiles() const {
  std::set<std::string> paths;
  for (const Refusal& warning : warnings) paths.insert(warning.path);
  return paths.size();
}

CommandReport RunBatchCommand(const BatchRequest& request, BatchHost& frontEnd) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  FileList& files = request.files;
  std::vector<std::string> pathsBefore;
  for (size_t r = 0; r < files.Size(); r++) pathsBefore.push_back(files.Row(r).path);
  BatchRunner runner(files, request.definitions, host);
  runner.options = request.options;
  runner.SetReportInUtf8(request.reportInUtf8);
  runner.SetOfficeBridge(request.office);
  runner.SetJournal(request.journal);
  try {
    switch (request.command) {
      case BatchCommand::kReplace: runner.BatchReplace(); break;
      case BatchCommand::kFind: runner.BatchFind(); break;
      case BatchCommand::kRename: runner.BatchRename(); break;
      case BatchCommand::kConvert: runner.ConvertCode(request.conversion); break;
    }
    report.end = EndOf(runner.End());
  } catch (const AutomationError& error) {
    // An office call that failed ends the run; the files before it are done.
    report.end = CommandEnd::kFailed;
    report.failure = FailureOf(error);
  }
  report.lastRow = runner.LastRowReached();
  CountFiles(files, &report);
  for (size_t r = 0; r < files.Size() && r < pathsBefore.size(); r++) {
    report.done += files.Row(r).path != pathsBefore[r] ? 1 : 0;
  }
  return report;
}

CommandReport ComputePreview(const PreviewRequest& request, ReplacePreview& preview,
                             BatchHost& frontEnd) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  try {
    report.end = EndOf(preview.Compute(request.files, request.definitions, request.options, host,
                                       request.office));
  } catch (const AutomationError& error) {
    report.end = CommandEnd::kFailed;
    report.failure = FailureOf(error);
  }
  report.lastRow = preview.LastRowReached();
  CountFiles(request.files, &report);
  return report;
}

CommandReport ApplyPreview(const ApplyPreviewRequest& request, std::vector<int64_t>* applied,
                           BatchHost& frontEnd) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  const std::vector<FilePreview>& files = request.preview.files();
  applied->assign(files.size(), -1);
  std::vector<std::string> paths;
  for (size_t f = 0; f < files.size(); f++) {
    if (request.filesChecked[f]) paths.push_back(files[f].path);
  }
  JournalledRun run(request.journal);
  if (!run.Open("apply", SizeOfFiles(paths), host)) {
    report.end = CommandEnd::kRefused;
    return report;
  }
  for (size_t f = 0; f < files.size(); f++) {
    if (!request.filesChecked[f]) continue;
    Message error;
    switch (ApplyFilePreview(files[f], request.accepted[f], request.backup, request.rewriter,
                             &error)) {
      case ApplyOutcome::kApplied: {
        const size_t count = static_cast<size_t>(
            std::count(request.accepted[f].begin(), request.accepted[f].end(), true));
        (*applied)[f] = static_cast<int64_t>(count);
        report.written.emplace_back(files[f].path, count);
        report.done++;
        break;
      }
      case ApplyOutcome::kNothing: break;
      case ApplyOutcome::kChanged:
      case ApplyOutcome::kRefused:
      case ApplyOutcome::kFailed: host.Warn(files[f].path, error); break;
    }
  }
  return report;
}

CommandReport ApplyPlan(const PlanRequest& request, BatchHost& frontEnd) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  for (const PlanRefusal& refusal : request.plan.refused) host.Warn(refusal.path, refusal.reason);
  const std::vector<PlannedFile>& work = request.plan.files;
  if (work.empty()) return report;
  std::vector<std::string> paths;
  paths.reserve(work.size());
  for (const PlannedFile& planned : work) paths.push_back(planned.path);
  JournalledRun run(request.journal);
  const uint64_t oldBytes = SizeOfFiles(paths);
  if (!ConfirmChanges(request.journal, oldBytes, host) || !run.Open("apply", oldBytes, host)) {
    report.end = CommandEnd::kRefused;
    return report;
  }
  FileOnce once(SameFileRule::kContents);
  for (const PlannedFile& planned : work) {
    // A second entry for a file would be judged against bytes the first
    // one already changed.
    if (!once.First(planned.path)) {
      host.Warn(planned.path, Message(MessageId::kPlanNamesFileTwice));
      continue;
    }
    Message error;
    const ApplyOutcome outcome =
        ApplyPlannedChanges(planned, request.backup, request.rewriter, &error);
    if (outcome == ApplyOutcome::kApplied) {
      report.written.emplace_back(planned.path, planned.changes.size());
      report.done++;
    } else if (outcome != ApplyOutcome::kNothing) {
      host.Warn(planned.path, error);
    }
  }
  return report;
}

CommandReport RunBackupCommand(const BackupRequest& request, BatchHost& frontEnd) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  std::vector<std::string> touched;
  for (const std::string& path : CheckedOnly(request.rows)) {
    touched.push_back(BackupPath(path));
    if (request.restore) touched.push_back(path);
  }
  JournalledRun run(request.journal);
  if (!run.Open(request.restore ? "restore" : "clear-backups", SizeOfFiles(touched), host)) {
    report.end = CommandEnd::kRefused;
    return report;
  }
  report.done = request.restore
                    ? RestoreBackups(request.rows, host, request.texts, request.rewriter)
                    : ClearBackups(request.rows, host, request.texts, request.rewriter);
  report.end = host.cancelled ? CommandEnd::kStopped : CommandEnd::kFinished;
  return report;
}

CommandReport SortLines(const SortRequest& request, BatchHost& frontEnd) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  const std::vector<std::string> paths = CheckedOnly(request.rows);
  JournalledRun run(request.journal);
  if (!host.Ask(Question::kSortFiles) || !run.Open("sort", SizeOfFiles(paths), host)) {
    report.end = CommandEnd::kRefused;
    return report;
  }
  if (request.backup) {
    // The sort takes each file once, and so does its backup.
    FileOnce once(SameFileRule::kContents);
    for (const std::string& path : paths) {
      if (once.First(path)) BackUpBeforeChange(path, host, request.rewriter);
    }
  }
  report.done = RunLineSort(request.rows, request.options, host, request.rewriter);
  report.end = host.cancelled ? CommandEnd::kStopped : CommandEnd::kFinished;
  return report;
}

CommandReport Undo(UndoJournal& journal, const std::string& id, BatchHost& frontEnd,
                   UndoOutcome* outcome) {
  CommandReport report;
  ReportingHost host(frontEnd, report);
  // The undo opens and finishes its own run; one an exception leaves open
  // is closed here, as stopped short.
  JournalledRun run(&journal);
  run.SetComplete(false);
  run.Adopt();
  *outcome = UndoRun(journal, id, host);
  report.done = outcome->restored;
  switch (outcome->end) {
    case UndoOutcome::End::kDone:
    case UndoOutcome::End::kPartly:
      report.end = host.cancelled ? CommandEnd::kStopped : CommandEnd::kFinished;
      break;
    case UndoOutcome::End::kNoRun: report.end = CommandEnd::kFailed; break;
    case UndoOutcome::End::kBadRun: report.end = CommandEnd::kRejected; break;
    case UndoOutcome::End::kRefused: report.end = CommandEnd::kRefused; break;
  }
  return report;
}

}  // namespace strbatch

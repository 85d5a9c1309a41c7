// The commands of both programs, once: each is a function over a typed
// request that runs inside one journalled run (opened before the first
// change, closed on every path) and gives a typed report. Messages reach the
// user through the host as the command runs; the report carries the outcome
// and the counts the front end presents (status line, exit status). The
// front ends parse, ask and present; they decide nothing here.
#ifndef STRBATCH_COMMANDS_COMMANDS_H_
#define STRBATCH_COMMANDS_COMMANDS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/batch_host.h"
#include "base/safe_file.h"
#include "batch/batch_driver.h"
#include "batch/replace_preview.h"
#include "commands/plan.h"
#include "config/language.h"
#include "config/options.h"
#include "journal/undo.h"
#include "journal/undo_journal.h"
#include "lists/definition_list.h"
#include "lists/file_list.h"
#include "sorttool/line_sort.h"

namespace strbatch {

class OfficeBridge;

// The program's undo journal, in the private directory, writing through
// inner, with the limits of the settings file at settingsPath; noUndo keeps
// none. Where there is no private directory it cannot start a run, and
// each command that changes files says so and asks.
std::unique_ptr<UndoJournal> MakeUndoJournal(const std::string& settingsPath, bool noUndo,
                                             FileRewriter& inner);

// How a command ended.
enum class CommandEnd {
  kFinished,  // it went through every file (some may have been warned)
  kStopped,   // a cancel request stopped it
  kRejected,  // bad input (a definition, a run id): nothing was touched
  kRefused,   // not confirmed: nothing was touched
  kFailed,    // it could not go on: an office call failed, no run to undo
};

// A warning of the run: a file left as it was, or a step not done.
struct Refusal {
  std::string path;  // may be empty
  Message reason;
};

struct CommandReport {
  CommandEnd end = CommandEnd::kFinished;
  size_t rows = 0;          // rows of the file list
  size_t checked = 0;       // checked rows
  size_t lastRow = 0;       // the last row reached, from 1 (0: none)
  size_t filesHit = 0;      // files with an occurrence
  int64_t occurrences = 0;  // occurrences counted
  size_t done = 0;          // files renamed, written, restored, cleared or sorted
  // The files written, each with the number of its changes, in order.
  std::vector<std::pair<std::string, size_t>> written;
  std::vector<Refusal> warnings;
  size_t notices = 0;
  Message failure;  // why a kFailed run ended

  // The different files warned about (a warning without a path counts as
  // one file).
  size_t WarnedFiles() const;
};

// Replace, find, rename and convert: one run of the batch driver.
enum class BatchCommand { kReplace, kFind, kRename, kConvert };

struct BatchRequest {
  BatchCommand command = BatchCommand::kReplace;
  FileList& files;
  DefinitionList& definitions;
  Options options;
  CodeConversion conversion = CodeConversion::None;  // kConvert's
  OfficeBridge* office = nullptr;
  UndoJournal* journal = nullptr;
  bool reportInUtf8 = false;  // the find report in UTF-8 (standard output)
};
CommandReport RunBatchCommand(const BatchRequest& request, BatchHost& host);

// A replace computed, nothing written: the results go to preview.
struct PreviewRequest {
  FileList& files;
  DefinitionList& definitions;
  Options options;
  OfficeBridge* office = nullptr;
};
CommandReport ComputePreview(const PreviewRequest& request, ReplacePreview& preview,
                             BatchHost& host);

// The writing of the changes a preview's reviewer accepted: per file of the
// preview whether it is checked and which of its changes are. written and
// applied (per file: the changes written, -1 where none were) say what was
// done.
struct ApplyPreviewRequest {
  const ReplacePreview& preview;
  const std::vector<bool>& filesChecked;
  const std::vector<std::vector<bool>>& accepted;
  bool backup = false;
  FileRewriter& rewriter;          // where the writes go
  UndoJournal* journal = nullptr;  // where the run is journalled
  const LanguageCatalog& texts;
};
CommandReport ApplyPreview(const ApplyPreviewRequest& request, std::vector<int64_t>* applied,
                           BatchHost& host);

// apply: the files of a reviewed plan, after the confirmation. A file
// whose bytes are no longer those the plan was made from is refused and
// left as it is; so is every entry the plan itself refuses.
struct PlanRequest {
  const Plan& plan;
  bool backup = false;
  FileRewriter& rewriter;
  UndoJournal* journal = nullptr;
};
CommandReport ApplyPlan(const PlanRequest& request, BatchHost& host);

// Restore or clear the backups of the checked rows.
struct BackupRequest {
  bool restore = false;  // false: clear
  std::vector<CheckedPath> rows;
  FileRewriter& rewriter;
  UndoJournal* journal = nullptr;
  const LanguageCatalog& texts;
};
CommandReport RunBackupCommand(const BackupRequest& request, BatchHost& host);

// The line sort of the checked rows, after the confirmation; with backup,
// each file's copy is made first, once per file.
struct SortRequest {
  std::vector<CheckedPath> rows;
  SortOptions options;
  bool backup = false;
  FileRewriter& rewriter;
  UndoJournal* journal = nullptr;
};
CommandReport SortLines(const SortRequest& request, BatchHost& host);

// Takes back the run id (empty: the last one); outcome says how.
CommandReport Undo(UndoJournal& journal, const std::string& id, BatchHost& host,
                   UndoOutcome* outcome);

}  // namespace strbatch

#endif  // STRBATCH_COMMANDS_COMMANDS_H_

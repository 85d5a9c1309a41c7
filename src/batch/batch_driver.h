// The batch job driver: applies every checked definition, in list order, to
// every checked file, from the top of the file list to the bottom. Four
// commands share it: batch replace, batch find, batch rename and code
// conversion. The driver reaches the user only through its BatchHost.
#ifndef STRBATCH_BATCH_BATCH_DRIVER_H_
#define STRBATCH_BATCH_BATCH_DRIVER_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "base/file_fingerprint.h"
#include "config/language.h"
#include "config/options.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "base/batch_host.h"
#include "batch/file_text.h"
#include "batch/find_report.h"
#include "batch/replace_worker.h"
#include "batch/text_diff.h"
#include "journal/undo_journal.h"
#include "lists/definition_list.h"
#include "lists/file_list.h"
#include "office/office_bridge.h"

namespace strbatch {

class OfficeBridge;

enum class BatchMode { Content = 0, Rename = 1 };

// A text file whose text a batch replace changed.
struct TextResult {
  size_t row = 0;
  const std::string& path;
  const FileText& fileText;
  std::string_view after;  // the new work text
  // In a dry run only: what the file was when read, and its work text then
  // (the writer may take it).
  const FileFingerprint* fingerprint = nullptr;
  std::string* before = nullptr;
  // The regions of before that occurrences rewrote.
  const std::vector<Region>* rewritten = nullptr;
};

// An office document that a dry run worked on a private copy of (the copy
// is saved with the replacements the document took).
struct DocumentResult {
  size_t row = 0;
  const std::string& path;
  const std::string& copy;
  const FileFingerprint& fingerprint;  // the original's, when copied
  std::string_view before;             // its work text at the start and the end
  std::string_view after;
  const CodePage& codePage;
  OfficeKind kind = OfficeKind::None;
};

// What becomes of the files a batch replace has worked. The runner's own
// writer rewrites each changed text file all-or-nothing. A dry run's writer
// keeps the results instead: the run then asks no question, makes no
// backup, and opens each office document from a copy that the writer makes.
class ResultWriter {
 public:
  virtual ~ResultWriter() = default;
  virtual bool DryRun() const { return false; }
  // False, with a reason, when the file was not written.
  virtual bool CommitText(const TextResult& result, Message* error) = 0;
  // Dry runs only: copies an office document to a private place.
  virtual bool CopyDocument(const std::string& path, std::string* copy, FileFingerprint* print,
                            Message* error) {
    (void)copy, (void)print;
    *error = Message(MessageId::kCannotKeepCopy, {path});
    return false;
  }
  virtual void CommitDocument(const DocumentResult& result) { (void)result; }
};

class BatchRunner {
 public:
  BatchRunner(FileList& files, DefinitionList& definitions, BatchHost& host);
  ~BatchRunner();

  // The options of the window (or the command line), read at the start of
  // every command.
  Options options;

  // Where office documents are opened; none means they yield no text.
  void SetOfficeBridge(OfficeBridge* bridge) { office_ = bridge; }
  // Where rewrites go; tests inject failures here.
  void SetFileRewriter(FileRewriter* rewriter) { rewriter_ = rewriter; }
  // Where a run that changes files journals its changes for undo (null:
  // nowhere); while it is set, every change goes through it.
  void SetJournal(UndoJournal* journal) { journal_ = journal; }
  // Where the results of a replace go (null: written to the files).
  void SetResultWriter(ResultWriter* writer) { writer_ = writer; }
  // The find report in UTF-8 whatever the encoding setting (the CLI's
  // standard output).
  void SetReportInUtf8(bool utf8) { reportInUtf8_ = utf8; }
  // The pattern engine's step bound per search (0: its default); tests make
  // it small to see what a search that gives up leaves.
  void SetSearchSteps(uint64_t steps) { searchSteps_ = steps; }

  // The commands of the main window.
  void BatchReplace();
  void BatchFind();
  void BatchRename();
  // CodeConversion::None runs an ordinary batch replace.
  void ConvertCode(CodeConversion conversion);

  void RunBatch(BatchMode mode);

  // How the last run ended: it ran through, a cancel request stopped it, a
  // definition was rejected (nothing done), or the confirmation was refused.
  enum class RunEnd { kFinished, kStopped, kRejected, kRefused };
  RunEnd End() const { return end_; }

  // After a run: whether a cancel request stopped it, and the number
  // (1-based) of the last file row it had reached by then (0: none).
  bool Stopped() const { return stopped_; }
  size_t LastRowReached() const { return lastRowReached_; }

  // The path of the find report in the private temporary directory, or
  // empty when that directory cannot be used.
  static std::string ReportPath(Message* error = nullptr);

 private:
  // The state of the running batch.
  struct BatchState {
    bool findMode = false;
    bool changesExpected = false;
    long long currentFileNumber = 0;
    FindReport* reportFile = nullptr;
  };
  // The definitions' full texts, taken once at the start of a run.
  struct Snapshot {
    std::vector<std::string> finds;
    std::vector<std::string> replaces;
  };
  // A definition carried into the encoding of a file; ok flags tell
  // whether every character could be carried.
  struct CarriedDefinition {
    std::string find;
    std::string replace;
    bool findOk = true;
    bool replaceOk = true;
  };
  // One file row on its way through the stages of ProcessFile.
  struct FileJob;

  const CarriedDefinition& Carried(size_t d, const CodePage& codePage);
  bool ComputeChangesExpected() const;
  // The host's cancel request, remembered for Stopped().
  bool Cancelled();
  // The code pages the definitions are worked in during this run.
  std::vector<const CodePage*> RunCodePages(BatchMode mode) const;
  // Compiles every checked advanced definition in every code page of the
  // run; the first that fails is handed to the host and gives false. Also
  // gives a notice for each template that refers to a missing group.
  bool CheckExpressions(BatchMode mode);

  // The stages of one checked file row.
  void ProcessFile(size_t row, BatchMode mode);
  // The file's name or an office document's text; a text file is read by
  // ApplyDefinitions when its first checked definition needs it.
  void LoadWorkText(FileJob& job, BatchMode mode);
  bool ReadTextFile(FileJob& job);
  // A document whose text was read in part, warned: true when a find goes
  // on with what was read; false when it is dropped unsaved and uncounted.
  bool KeepReadInPart(FileJob& job);
  void ApplyDefinitions(FileJob& job);
  void ApplyDefinition(FileJob& job, size_t d);
  // Writes a changed text file; false when the write failed (the file is
  // then as it was, and its occurrences count as not found).
  bool CommitText(FileJob& job, BatchMode mode);
  void Tally(const FileJob& job);
  void RenameFile(FileJob& job);
  // One notice for the occurrences of an office document that were counted
  // but not edited, with their reasons.
  void TellLeftovers(const FileJob& job, const NotApplied& leftovers);
  // An office document searched in its body alone: the notice of how many
  // occurrences its further stories hold.
  void TellOtherStories(const FileJob& job);

  void MakeBackupStep(const std::string& path);
  void ConvertStep(const std::string& path);

  FileList& files_;
  DefinitionList& definitions_;
  BatchHost& host_;
  OfficeBridge* office_ = nullptr;
  FileRewriter* rewriter_ = &DefaultFileRewriter();
  UndoJournal* journal_ = nullptr;
  // What changes users' files: the journal when there is one.
  FileRewriter& Changes() { return journal_ != nullptr ? *journal_ : *rewriter_; }
  // Opens the journal of a run that is about to change files; false when
  // the user would rather not run without undo.
  bool StartJournal(JournalledRun& run, BatchMode mode);
  // The bytes of the files a run in mode changes, as the journal keeps them.
  uint64_t OldBytes(BatchMode mode) const;
  ResultWriter* writer_ = nullptr;
  bool DryRun() const { return writer_ != nullptr && writer_->DryRun(); }
  const CodePage* codePage_ = &CodePage::Process();
  bool reportInUtf8_ = false;
  uint64_t searchSteps_ = 0;
  BatchState state_;
  // The interface texts of the run's language (options.language).
  LanguageCatalog texts_;
  const Snapshot* snapshot_ = nullptr;
  // The definitions carried into other encodings, per code page number,
  // made once per run when a file first needs them.
  std::map<int, std::vector<CarriedDefinition>> carried_;
  std::string textBuffer_;
  bool stopped_ = false;
  bool readStopped_ = false;  // a stop request came while a document was read
  RunEnd end_ = RunEnd::kFinished;
  size_t lastRowReached_ = 0;
};

}  // namespace strbatch

#endif  // STRBATCH_BATCH_BATCH_DRIVER_H_

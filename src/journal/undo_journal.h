// The undo journal: a run that changes users' files records, in a folder of
// its own under the journal root, what it did to each file and the bytes the
// file held before, so that the run can be taken back (see undo.h).
//
// A file's entry, with the state the run will leave the file in, is written
// before the file changes, and marked done after. The old bytes are kept by a
// hard link to the old inode where a rewrite renames a new file over one with
// a single link, otherwise as a zstd-compressed copy. Nothing is synced: a
// killed process leaves entries that are done, or pending ones whose file
// shows by its state whether the change happened; never an entry for a file
// the run did not touch.
#ifndef STRBATCH_JOURNAL_UNDO_JOURNAL_H_
#define STRBATCH_JOURNAL_UNDO_JOURNAL_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "base/batch_host.h"
#include "base/file_fingerprint.h"
#include "base/safe_file.h"
#include "config/settings.h"

namespace strbatch {

// How many runs the journals keep: "Runs" and "Megabytes" of the settings'
// [undo] section.
struct UndoLimits {
  bool enabled = true;
  size_t keepRuns = 20;
  uint64_t keepBytes = uint64_t{2} << 30;
};

UndoLimits UndoLimitsFrom(const UndoSettings& settings);

// "journal" in the private temporary directory, created when missing.
bool DefaultJournalRoot(std::string* root, Message* error);

// What a renamed file is known by: its size, modification time and inode,
// in place of the hash of its bytes. A rename leaves all three, and any
// change to the file since moves one of them, so a batch rename of large
// files (or of files it may not read) costs no reading.
bool TakeIdentity(const std::string& path, FileFingerprint* print, Message* error);

// One change a run recorded.
struct JournalEntry {
  enum class Kind { kWrite, kMove, kRemove };
  enum class Store { kNone, kLink, kCompressed };  // how the old bytes are kept
  size_t number = 0;
  Kind kind = Kind::kWrite;
  std::string path;     // the file before the change
  std::string newPath;  // after it: the same but for a move, empty for a removal
  Store store = Store::kNone;  // kNone for a write that created the file
  int oldMode = -1;
  // The state the change leaves: a removal leaves none; a rewrite in place
  // learns its state only when done.
  bool newKnown = false;
  bool mtimeKnown = false;
  FileFingerprint newState;
  bool done = false;
  bool cancelled = false;  // the change failed and the file was left as it was
  // What the path was when the run changed it: whether it was a symbolic
  // link, and the file it resolved to (a write changes that file). Runs of
  // the first journal format know neither.
  bool linkKnown = false;
  bool wasLink = false;
  std::string target;
  bool damaged = false;  // a record of the entry does not verify
};

// What a journal holds about its run. A listing fills all but entries.
struct JournalRun {
  std::string id;  // the name of its folder
  std::string folder;
  int version = 0;
  int64_t startNs = 0;
  long pid = 0;
  std::string command;
  bool finished = false;  // the run ended rather than being killed
  bool partial = false;   // it ended before it went through every file
  std::string undoOf;     // an undo: the run it takes back
  std::string undoneBy;   // the run that took it back, if one did
  bool partlyUndone = false;  // undoneBy stopped, was killed or failed
  size_t files = 0;       // changes done
  uint64_t bytes = 0;     // the old bytes kept, on disk
  std::vector<JournalEntry> entries;
  std::vector<size_t> refusedOf;  // an undo: the entries of undoOf it refused
  // Entries that are done, counting pending ones cannot be told here.
  size_t DoneCount() const;
};

// Reads one run's journal, entries and all. False when the folder holds
// none.
bool ReadJournal(const std::string& folder, JournalRun* run, Message* error);
// The runs under root, oldest first, without their entries: a run that
// ended is known by its index, whatever its size.
std::vector<JournalRun> ListJournals(const std::string& root);
// Whether run has not ended and the process writing it is alive.
bool StillRunning(const JournalRun& run);
// The old bytes of an entry, as kept. False, with a reason, when they are
// gone or damaged.
bool LoadOldBytes(const JournalRun& run, const JournalEntry& entry, std::string* bytes,
                  Message* error);

// Notes in run's journal that the run by took it back (completely, or as
// far as partly says). An empty by removes the note.
void MarkUndone(const JournalRun& run, const std::string& by, bool partly = false);

// A rewriter that journals: while a run is open, every rewrite, move and
// removal through it is recorded; otherwise it only passes them to inner.
// One object lives as long as the program and serves run after run.
class UndoJournal : public FileRewriter {
 public:
  explicit UndoJournal(std::string root, FileRewriter& inner);
  ~UndoJournal() override;
  UndoJournal(const UndoJournal&) = delete;
  UndoJournal& operator=(const UndoJournal&) = delete;

  UndoLimits limits;

  const std::string& Root() const { return root_; }
  // Tests: false makes the journal behave as if it were on another file
  // system than every file, keeping copies instead of links.
  void SetLinking(bool linking) { linking_ = linking; }

  // Whether a run over files holding oldBytes in all can be journalled.
  bool Fits(uint64_t oldBytes) const { return oldBytes <= limits.keepBytes; }

  // Opens the journal of a run named command. False, with a reason, when its
  // folder or log cannot be made.
  bool StartRun(const std::string& command, Message* error);
  // Opens the journal of a run that ended partly or was killed again, to go
  // on with it as the same run.
  bool ResumeRun(const JournalRun& run, Message* error);
  // Closes the open run (removing its journal when it changed nothing),
  // writes its index and removes the oldest runs beyond the limits. complete:
  // whether the run went through every file. False when there was no open
  // run or its journal was removed.
  bool FinishRun(bool complete = true);
  // Notes in the open run that it is the undo of run id, and that it refused
  // entry number of that run (the file had changed).
  void NoteUndoOf(const std::string& id);
  void NoteRefused(size_t number);
  bool Recording() const { return run_ != nullptr; }
  // The id of the open run, or of the last one finished.
  const std::string& RunId() const { return lastId_; }

  std::unique_ptr<RewriteSession> Begin(const std::string& path, Message* error) override;
  bool Move(const std::string& from, const std::string& to, Message* error) override;
  bool Remove(const std::string& path, Message* error) override;
  FileRewriter& Plain() override { return inner_.Plain(); }

  // Removes the oldest runs until limits hold; a run still being written by
  // a live process and the run keep are never removed.
  void Prune(const std::string& keep);

  class Run;  // the open run's log and kept bytes

 private:
  std::string root_;
  FileRewriter& inner_;
  bool linking_ = true;
  std::unique_ptr<Run> run_;
  std::string lastId_;
};

// The sizes of the files at paths, added up (a missing file counts 0).
uint64_t SizeOfFiles(const std::vector<std::string>& paths);

// Before a command that changes files holding oldBytes: opens a journalled
// run when undo is on. When the run cannot be journalled (the old bytes
// exceed the limit, or the journal cannot be made) the host hears why and
// is asked whether to run without undo; false means the user said no and
// the command must not run.
bool StartUndoableRun(UndoJournal& journal, const std::string& command, uint64_t oldBytes,
                      BatchHost& host);

// One journalled run of a command, closed on every path out of it: Open it
// before the first change; the destructor finishes the run it opened,
// complete unless SetComplete(false) said otherwise or an exception is
// leaving. Without a journal it opens nothing and agrees to every run.
class JournalledRun {
 public:
  explicit JournalledRun(UndoJournal* journal) : journal_(journal) {}
  ~JournalledRun();
  JournalledRun(const JournalledRun&) = delete;
  JournalledRun& operator=(const JournalledRun&) = delete;

  // StartUndoableRun's question; false: the command must not run.
  bool Open(const std::string& command, uint64_t oldBytes, BatchHost& host);
  // Closes, at the end, whatever run the journal then has open (an undo
  // opens and finishes its own, unless an exception cuts it short).
  void Adopt() { open_ = journal_ != nullptr; }
  void SetComplete(bool complete) { complete_ = complete; }

 private:
  UndoJournal* journal_;
  bool open_ = false;
  bool complete_ = true;
  int exceptions_ = std::uncaught_exceptions();
};

// Asks whether files holding oldBytes may be changed, in words that say
// whether the run can be undone (journal null or disabled: it cannot).
// Over the undo limit it asks nothing and gives true: StartUndoableRun then
// asks whether to go on without undo, a question of its own.
bool ConfirmChanges(const UndoJournal* journal, uint64_t oldBytes, QuestionSink& host);

}  // namespace strbatch

#endif  // STRBATCH_JOURNAL_UNDO_JOURNAL_H_

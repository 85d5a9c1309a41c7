#include "journal/undo.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "base/file_fingerprint.h"
#include "base/safe_file.h"

namespace strbatch {
namespace {

// What undo makes of one entry.
enum class Verdict {
  kRestore,      // the file is as the run left it
  kAlreadyBack,  // it holds its old state again (an undo cut short, redone)
  kNotDone,      // a pending change that never happened, or one cancelled
  kRefused,      // changed since, or its name taken: left alone
};

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool AsLeft(const JournalEntry& entry, const FileFingerprint& now) {
  return entry.newKnown && now.size == entry.newState.size &&
         now.sha256 == entry.newState.sha256 &&
         (!entry.mtimeKnown || now.mtimeNs == entry.newState.mtimeNs);
}

enum class Found { kFile, kNone, kOther };

// Reads the regular file at path. Unless follow (runs of the first format,
// which did not record links), a symbolic link at its last component is not
// followed: the path no longer names the file the run wrote.
Found ReadRegular(const std::string& path, bool follow, std::string* bytes,
                  FileFingerprint* print, Message* reason) {
  if (follow) {
    if (ReadFingerprinted(path, bytes, print, reason)) return Found::kFile;
    return Exists(path) ? Found::kOther : Found::kNone;
  }
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return Found::kNone;
    *reason = errno == ELOOP ? Message(MessageId::kReplacedByLink)
                             : OsFailure(MessageId::kCannotOpen, {path});
    return Found::kOther;
  }
  struct stat st;
  Found found = Found::kOther;
  if (fstat(fd, &st) != 0) {
    *reason = OsFailure(MessageId::kCannotExamine, {path});
  } else if (!S_ISREG(st.st_mode)) {
    *reason = Message(MessageId::kNoLongerRegular);
  } else {
    bytes->resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    for (ssize_t n; got < bytes->size(); got += static_cast<size_t>(n)) {
      n = read(fd, bytes->data() + got, bytes->size() - got);
      if (n < 0 && errno == EINTR) n = 0;
      if (n <= 0) break;
    }
    if (got == bytes->size()) {
      print->size = got;
      print->mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
      print->sha256 = Sha256Hex(*bytes);
      found = Found::kFile;
    } else {
      *reason = OsFailure(MessageId::kCannotRead, {path});
    }
  }
  close(fd);
  return found;
}

// Whether the path of a rewritten file is still what the run found: the
// same regular file, or a symbolic link leading to the same target.
bool SamePathKind(const JournalEntry& entry, Message* reason) {
  if (!entry.linkKnown) return true;
  struct stat st;
  if (lstat(entry.path.c_str(), &st) != 0) {
    if (!entry.wasLink) return true;  // judged by the file's presence
    *reason = Message(MessageId::kLinkGone);
    return false;
  }
  if (!entry.wasLink) {
    if (S_ISREG(st.st_mode)) return true;
    *reason = Message(S_ISLNK(st.st_mode) ? MessageId::kReplacedByLink
                                          : MessageId::kNoLongerRegular);
    return false;
  }
  char* resolved = S_ISLNK(st.st_mode) ? realpath(entry.path.c_str(), nullptr) : nullptr;
  const bool same = resolved != nullptr && entry.target == resolved;
  free(resolved);
  if (!same) *reason = Message(MessageId::kNoLongerLinkTo, {entry.target});
  return same;
}

// True when bytes are the entry's old bytes.
bool AreOldBytes(const JournalRun& run, const JournalEntry& entry, const std::string& bytes) {
  std::string old;
  Message error;
  return entry.store != JournalEntry::Store::kNone && LoadOldBytes(run, entry, &old, &error) &&
         bytes == old;
}

Verdict Judge(const JournalRun& run, const JournalEntry& entry, Message* reason) {
  FileFingerprint now;
  Message error;
  Message ignored;
  if (entry.damaged) {
    *reason = Message(MessageId::kRecordDamaged);
    return Verdict::kRefused;
  }
  if (entry.cancelled) return Verdict::kNotDone;
  switch (entry.kind) {
    case JournalEntry::Kind::kWrite: {
      if (!SamePathKind(entry, reason)) return Verdict::kRefused;
      std::string bytes;
      const Found found = ReadRegular(entry.target, !entry.linkKnown, &bytes, &now, reason);
      if (found == Found::kOther) return Verdict::kRefused;
      const bool present = found == Found::kFile;
      if (present && AsLeft(entry, now)) return Verdict::kRestore;
      if (!present && entry.store == JournalEntry::Store::kNone) return Verdict::kAlreadyBack;
      if (present && AreOldBytes(run, entry, bytes)) return Verdict::kAlreadyBack;
      if (!entry.newKnown) {
        *reason = Message(MessageId::kStoppedInPlace);
        return Verdict::kRefused;
      }
      if (!entry.done) return Verdict::kNotDone;
      *reason = Message(present ? MessageId::kChangedAfterRun : MessageId::kGone);
      return Verdict::kRefused;
    }
    case JournalEntry::Kind::kMove: {
      const bool moved = TakeIdentity(entry.newPath, &now, &error);
      const bool oldNameTaken = Exists(entry.path);
      if (moved && AsLeft(entry, now) && !oldNameTaken) return Verdict::kRestore;
      if (!entry.done && !moved) return Verdict::kNotDone;
      if (!moved && oldNameTaken && TakeIdentity(entry.path, &now, &error) &&
          AsLeft(entry, now)) {
        return Verdict::kAlreadyBack;
      }
      *reason = !moved                ? Message(MessageId::kGone)
                : !AsLeft(entry, now) ? Message(MessageId::kChangedAfterRun)
                                      : Message(MessageId::kOldNameTaken, {entry.path});
      return Verdict::kRefused;
    }
    case JournalEntry::Kind::kRemove: {
      if (!Exists(entry.path)) return Verdict::kRestore;
      std::string bytes;
      if (ReadRegular(entry.path, !entry.linkKnown, &bytes, &now, &ignored) == Found::kFile &&
          AreOldBytes(run, entry, bytes)) {
        return Verdict::kAlreadyBack;
      }
      if (!entry.done) return Verdict::kNotDone;
      *reason = Message(MessageId::kMadeAfterRun);
      return Verdict::kRefused;
    }
  }
  return Verdict::kNotDone;
}

// A rewrite is restored at the file the run wrote (a link's target, checked
// above), never through whatever the path may lead to now.
bool Restore(UndoJournal& journal, const JournalRun& run, const JournalEntry& entry,
             Message* error) {
  if (entry.kind == JournalEntry::Kind::kMove) {
    return journal.Move(entry.newPath, entry.path, error);
  }
  const std::string& file = entry.kind == JournalEntry::Kind::kWrite ? entry.target : entry.path;
  if (entry.kind == JournalEntry::Kind::kWrite && entry.store == JournalEntry::Store::kNone) {
    return journal.Remove(file, error);
  }
  std::string old;
  return LoadOldBytes(run, entry, &old, error) &&
         RewriteFile(journal, file, old, error, entry.oldMode);
}

// Takes target's entries back, newest first, but those in skip (refused
// before). Files found changed are noted in the undo's journal, never to be
// retried. True when it went through every entry: none was left for a stop
// or a failed write.
bool TakeBack(UndoJournal& journal, const JournalRun& target, const std::set<size_t>& skip,
              BatchHost& host, UndoOutcome* outcome) {
  host.ShowProgress();
  const size_t total = target.entries.size();
  bool complete = true;
  for (size_t i = total; i-- > 0;) {
    if (host.CheckCancelled()) {
      host.Warn("", Message(MessageId::kUndoStopped));
      complete = false;
      break;
    }
    host.SetPosition(static_cast<int>(100 * (total - i) / total));
    const JournalEntry& entry = target.entries[i];
    if (skip.count(entry.number) != 0) continue;
    Message reason;
    switch (Judge(target, entry, &reason)) {
      case Verdict::kRestore:
        if (Restore(journal, target, entry, &reason)) {
          outcome->restored++;
          if (entry.kind == JournalEntry::Kind::kMove) {
            outcome->movedBack.emplace_back(entry.newPath, entry.path);
          }
          continue;
        }
        complete = false;
        break;
      case Verdict::kAlreadyBack:
      case Verdict::kNotDone: continue;
      case Verdict::kRefused: journal.NoteRefused(entry.number); break;
    }
    outcome->refused++;
    host.Warn(entry.newPath.empty() ? entry.path : entry.newPath,
              Message(MessageId::kNotUndone).Because(reason));
  }
  host.HideProgress();
  return complete;
}

// Ends the undo's journal and notes in target's how far it was taken back.
// An undo that changed nothing leaves no journal and target's note as it was.
void Conclude(UndoJournal& journal, const JournalRun& target, bool complete,
              UndoOutcome* outcome) {
  const std::string undoId = journal.Recording() ? journal.RunId() : "";
  if (journal.FinishRun(complete)) {
    MarkUndone(target, undoId, !complete);
  } else if (!undoId.empty()) {
    MarkUndone(target, target.undoneBy, target.partlyUndone);
  }
  outcome->end = complete && outcome->refused == 0 ? UndoOutcome::End::kDone
                                                   : UndoOutcome::End::kPartly;
}

const JournalRun* Named(const std::vector<JournalRun>& runs, const std::string& id) {
  for (const JournalRun& run : runs) {
    if (run.id == id) return &run;
  }
  return nullptr;
}

// An undo that stopped, failed a write or was killed: it is finished
// rather than taken back.
bool Unfinished(const JournalRun& run, const std::vector<JournalRun>& runs) {
  return !run.undoOf.empty() && (run.partial || !run.finished) && !StillRunning(run) &&
         Named(runs, run.undoOf) != nullptr;
}

bool ReadWhole(const JournalRun& summary, JournalRun* run, BatchHost& host) {
  Message error;
  if (ReadJournal(summary.folder, run, &error)) return true;
  host.Warn("", Message(MessageId::kJournalUnreadable, {summary.id}).Because(error));
  return false;
}

// Goes on with undo, the undo of target, in its own journal.
UndoOutcome FinishUndo(UndoJournal& journal, const JournalRun& undo, const JournalRun& target,
                       bool chosen, BatchHost& host) {
  UndoOutcome outcome;
  outcome.undoneId = target.id;
  host.Notice("", Message(MessageId::kUndoUnfinished, {undo.id, target.id}));
  outcome.end = UndoOutcome::End::kRefused;
  if (!host.Ask(chosen ? Question::kUndoChosenRun : Question::kUndoLastRun)) return outcome;
  outcome.end = UndoOutcome::End::kNoRun;
  JournalRun undoRun, targetRun;
  if (!ReadWhole(undo, &undoRun, host) || !ReadWhole(target, &targetRun, host)) return outcome;
  Message error;
  if (!journal.ResumeRun(undoRun, &error)) {
    host.Warn("", Message(MessageId::kUndoCannotFinish, {undo.id}).Because(error));
    return outcome;
  }
  const std::set<size_t> refused(undoRun.refusedOf.begin(), undoRun.refusedOf.end());
  if (!refused.empty()) {
    host.Notice("", Message(MessageId::kUndoLeavesRefused, {std::to_string(refused.size())}));
  }
  MarkUndone(targetRun, undo.id, true);
  const bool complete = TakeBack(journal, targetRun, refused, host, &outcome);
  Conclude(journal, targetRun, complete, &outcome);
  return outcome;
}

}  // namespace

UndoOutcome UndoRun(UndoJournal& journal, const std::string& id, BatchHost& host) {
  UndoOutcome outcome;
  const std::vector<JournalRun> runs = ListJournals(journal.Root());
  const JournalRun* run = id.empty() ? (runs.empty() ? nullptr : &runs.back()) : Named(runs, id);
  if (run == nullptr) {
    host.Warn("", id.empty() ? Message(MessageId::kNoRunToUndo) : Message(MessageId::kNoSuchRun, {id}));
    if (!id.empty()) outcome.end = UndoOutcome::End::kBadRun;
    return outcome;
  }
  if (Unfinished(*run, runs)) {
    return FinishUndo(journal, *run, *Named(runs, run->undoOf), !id.empty(), host);
  }
  if (run->partlyUndone) {
    const JournalRun* by = Named(runs, run->undoneBy);
    if (by != nullptr && Unfinished(*by, runs)) return FinishUndo(journal, *by, *run, true, host);
  } else if (!run->undoneBy.empty()) {
    host.Warn("", Message(MessageId::kAlreadyUndone, {run->id, run->undoneBy}));
    outcome.end = UndoOutcome::End::kBadRun;
    return outcome;
  }
  outcome.undoneId = run->id;
  outcome.end = UndoOutcome::End::kRefused;
  if (!host.Ask(id.empty() ? Question::kUndoLastRun : Question::kUndoChosenRun)) return outcome;
  JournalRun target;
  if (!ReadWhole(*run, &target, host)) {
    outcome.end = UndoOutcome::End::kNoRun;
    return outcome;
  }
  std::vector<std::string> current;
  for (const JournalEntry& entry : target.entries) current.push_back(entry.newPath);
  if (!StartUndoableRun(journal, "undo " + target.id, SizeOfFiles(current), host)) return outcome;
  if (journal.Recording()) {
    journal.NoteUndoOf(target.id);
    MarkUndone(target, journal.RunId(), true);
  }
  const bool complete = TakeBack(journal, target, {}, host, &outcome);
  Conclude(journal, target, complete, &outcome);
  return outcome;
}

}  // namespace strbatch

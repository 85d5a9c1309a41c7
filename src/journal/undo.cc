#include "journal/undo.h"

#include <sys/stat.h>

#include <vector>

#include "base/file_fingerprint.h"
#include "base/safe_file.h"

namespace strbatch {
namespace {

// What undo makes of one entry.
enum class Verdict {
  kRestore,      // the file is as the run left it
  kAlreadyBack,  // it holds its old state again (an undo cut short, redone)
  kNotDone,      // a pending change that never happened
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

// True when the file at path holds the entry's old bytes.
bool HoldsOldBytes(const JournalRun& run, const JournalEntry& entry, const std::string& path) {
  std::string now, old, error;
  return entry.store != JournalEntry::Store::kNone && ReadWholeFile(path, &now, &error) &&
         LoadOldBytes(run, entry, &old, &error) && now == old;
}

Verdict Judge(const JournalRun& run, const JournalEntry& entry, std::string* reason) {
  FileFingerprint now;
  std::string error;
  switch (entry.kind) {
    case JournalEntry::Kind::kWrite: {
      const bool present = TakeFingerprint(entry.newPath, &now, &error);
      if (present && AsLeft(entry, now)) return Verdict::kRestore;
      if (!present && entry.store == JournalEntry::Store::kNone) return Verdict::kAlreadyBack;
      if (present && HoldsOldBytes(run, entry, entry.newPath)) return Verdict::kAlreadyBack;
      if (!entry.newKnown) {
        *reason = "the run was stopped while this file was written in place; it is left alone";
        return Verdict::kRefused;
      }
      if (!entry.done) return Verdict::kNotDone;
      *reason = present ? "it was changed after the run" : "it is gone";
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
      *reason = !moved                ? "it is gone"
                : !AsLeft(entry, now) ? "it was changed after the run"
                                      : "its old name " + entry.path + " is taken";
      return Verdict::kRefused;
    }
    case JournalEntry::Kind::kRemove: {
      if (!Exists(entry.path)) return Verdict::kRestore;
      if (HoldsOldBytes(run, entry, entry.path)) return Verdict::kAlreadyBack;
      if (!entry.done) return Verdict::kNotDone;
      *reason = "a file of its name was made after the run";
      return Verdict::kRefused;
    }
  }
  return Verdict::kNotDone;
}

bool Restore(UndoJournal& journal, const JournalRun& run, const JournalEntry& entry,
             std::string* error) {
  if (entry.kind == JournalEntry::Kind::kMove) {
    return journal.Move(entry.newPath, entry.path, error);
  }
  if (entry.kind == JournalEntry::Kind::kWrite && entry.store == JournalEntry::Store::kNone) {
    return journal.Remove(entry.newPath, error);
  }
  std::string old;
  return LoadOldBytes(run, entry, &old, error) &&
         RewriteFile(journal, entry.path, old, error, entry.oldMode);
}

}  // namespace

UndoOutcome UndoRun(UndoJournal& journal, const std::string& id, BatchHost& host) {
  UndoOutcome outcome;
  const std::vector<JournalRun> runs = ListJournals(journal.Root());
  const JournalRun* run = nullptr;
  for (const JournalRun& candidate : runs) {
    if (id.empty() || candidate.id == id) run = &candidate;
  }
  if (run == nullptr) {
    host.Warn("", id.empty() ? "there is no run to undo" : "there is no run " + id + " to undo");
    return outcome;
  }
  outcome.undoneId = run->id;
  outcome.end = UndoOutcome::End::kRefused;
  if (!host.Confirm(id.empty() ? "1300" : "1308", "1301")) return outcome;
  std::vector<std::string> current;
  for (const JournalEntry& entry : run->entries) current.push_back(entry.newPath);
  if (!StartUndoableRun(journal, "undo " + run->id, SizeOfFiles(current), host)) return outcome;

  host.ShowProgress();
  const size_t total = run->entries.size();
  bool stopped = false;
  for (size_t i = total; i-- > 0;) {
    if (host.CheckCancelled()) {
      host.Warn("", "undo was stopped; the files not reached are as the run left them");
      stopped = true;
      break;
    }
    host.SetPosition(static_cast<int>(100 * (total - i) / total));
    const JournalEntry& entry = run->entries[i];
    std::string reason;
    switch (Judge(*run, entry, &reason)) {
      case Verdict::kRestore:
        if (Restore(journal, *run, entry, &reason)) {
          outcome.restored++;
          if (entry.kind == JournalEntry::Kind::kMove) {
            outcome.movedBack.emplace_back(entry.newPath, entry.path);
          }
          continue;
        }
        break;
      case Verdict::kAlreadyBack:
      case Verdict::kNotDone: continue;
      case Verdict::kRefused: break;
    }
    outcome.refused++;
    host.Warn(entry.newPath.empty() ? entry.path : entry.newPath, "not undone: " + reason);
  }
  host.HideProgress();
  const std::string undoId = journal.Recording() ? journal.RunId() : "";
  journal.FinishRun();
  if (!undoId.empty()) MarkUndone(*run, undoId);
  outcome.end = outcome.refused == 0 && !stopped ? UndoOutcome::End::kDone
                                                 : UndoOutcome::End::kPartly;
  return outcome;
}

}  // namespace strbatch

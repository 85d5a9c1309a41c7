// Undo: takes a journalled run back, file by file, newest change first. A
// file is restored only while it is still what the run left (size, time and
// SHA-256); one changed since is left alone and named in a warning with the
// reason. Restores go through the journal's rewriter, so an undo is a run of
// its own and can itself be undone.
#ifndef STRBATCH_JOURNAL_UNDO_H_
#define STRBATCH_JOURNAL_UNDO_H_

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "base/batch_host.h"
#include "journal/undo_journal.h"

namespace strbatch {

struct UndoOutcome {
  enum class End {
    kDone,      // every change of the run is taken back
    kPartly,    // some files were refused (warned)
    kNoRun,     // there is no run, or its journal cannot be read (warned)
    kBadRun,    // the run named does not exist or is already undone (warned)
    kRefused,   // the user said no
  };
  End end = End::kNoRun;
  size_t restored = 0;
  size_t refused = 0;
  std::string undoneId;  // the run taken back
  // The files moved back: their name before the undo and after it.
  std::vector<std::pair<std::string, std::string>> movedBack;
};

// Takes back the run id, or the latest run when id is empty. Asks the host
// first (key 1300 for the latest run, 1308 for one chosen; caption 1301).
// When that run is an undo that did not go through every file (stopped,
// a write failed, or killed), it is finished in its own journal instead:
// the files it restored count as back and those it refused are left alone.
// Only an undo that went through every file marks its run undone.
UndoOutcome UndoRun(UndoJournal& journal, const std::string& id, BatchHost& host);

}  // namespace strbatch

#endif  // STRBATCH_JOURNAL_UNDO_H_

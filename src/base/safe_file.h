// Reading users' files whole and rewriting them all-or-nothing. A rewrite
// writes a sibling temporary file, checks every write and the close, then
// renames it over the original (permission bits kept; a symbolic link is
// rewritten at its target and stays a link). Until Commit succeeds the
// original is untouched; an abandoned session removes its temporary file.
//
// Temporary files beside users' files are named ".NAME.strbatch-XXXXXX",
// made with mode 0600 and held under an exclusive flock() by their session
// until they have been renamed or removed. A process killed midway leaves one
// unlocked; the first rewrite of a later run in that folder removes it.
//
// A file that the user may not write is refused, even where its folder
// would let it be replaced. Where the folder takes no new file but the file
// itself may be written, the rewrite happens in place: a copy of the original
// is first kept in the private temporary directory ("in-place-XXXXXX", with
// "in-place-XXXXXX.path" naming the file), and is written back if anything
// fails. The copy is removed when the rewrite is done or undone; it stays
// only when it could not be put back, or when the process was killed midway
// through the in-place write.
#ifndef STRBATCH_BASE_SAFE_FILE_H_
#define STRBATCH_BASE_SAFE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/message.h"

namespace strbatch {

// The name part that marks this program's temporary files beside users'
// files: ".NAME.strbatch-XXXXXX".
inline constexpr const char* kSiblingTempMarker = ".strbatch-";

// True for a name of the form ".NAME.strbatch-XXXXXX" (six letters or digits).
bool IsSiblingTempName(std::string_view name);

// Removes the temporary files that killed runs left in folder: names of the
// form above that are regular files owned by the user and not locked by a
// live rewrite. Gives the number removed. Rewrites call it once per folder
// and process.
size_t RemoveStaleTempFiles(const std::string& folder);

// Writes all of data at fd's current offset, going on after short writes
// and interruptions. False, with errno set, on failure.
bool WriteAll(int fd, const char* data, size_t size);

// Reads the whole file into content. False, with a reason, when it cannot be
// opened, is not a regular file (a FIFO or a device could block or never
// end), cannot be read, or cannot be held in memory. spare: extra capacity to
// reserve, so that the content can grow that much later without being copied.
bool ReadWholeFile(const std::string& path, std::string* content, Message* error,
                   size_t spare = 0);

// What a rewrite is about to do to the original, told to a ReplaceWatcher.
struct ReplaceStep {
  std::string target;      // the file rewritten (a symbolic link's target)
  bool existed = false;    // false: the rewrite creates the file
  bool inPlace = false;    // the new bytes go into the original itself
  uint64_t links = 0;      // the original's hard links
  unsigned mode = 0;       // the original's permission bits
  int64_t newMtimeNs = 0;  // rewrites beside the file: the new file's time
};

// Told once per rewrite, before the original changes: for a rewrite beside
// the file once the new file is complete and just before it is renamed over
// the original (which can still be linked to); for an in-place rewrite
// before its first byte is written. False, with a reason, stops the rewrite
// and leaves the original as it was.
class ReplaceWatcher {
 public:
  virtual ~ReplaceWatcher() = default;
  virtual bool BeforeReplace(const ReplaceStep& step, Message* error) = 0;
};

// One rewrite in progress. Write may be called many times; after a failed
// Write every later call fails too and Commit refuses.
class RewriteSession {
 public:
  virtual ~RewriteSession() = default;
  virtual bool Write(const char* data, size_t size) = 0;
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  // The permission bits the new file gets, instead of those of the file it
  // replaces; applied before the new file takes the old one's place.
  virtual void SetMode(unsigned mode) { (void)mode; }
  // Makes the session tell watcher before the original changes; call it
  // before the first Write. False when the session cannot tell (a test's
  // fake): the watcher is then never called.
  virtual bool Watch(ReplaceWatcher* watcher) {
    (void)watcher;
    return false;
  }
  // Puts the new content in place of the original. False (original intact)
  // when anything failed.
  virtual bool Commit(Message* error) = 0;
};

// Starts rewrites. Abstract so that tests can inject write failures.
class FileRewriter {
 public:
  virtual ~FileRewriter() = default;
  // Null, with a reason, when the file may not be written or no temporary
  // file (nor, for an in-place rewrite, no copy) can be made.
  virtual std::unique_ptr<RewriteSession> Begin(const std::string& path, Message* error) = 0;
  // Moves a file to another name of the same file system, never over an
  // existing file. False, with a reason, when nothing was moved.
  virtual bool Move(const std::string& from, const std::string& to, Message* error);
  // Deletes a file. False, with a reason, when it is still there.
  virtual bool Remove(const std::string& path, Message* error);
  // The rewriter for files beside the user's that are no change of theirs
  // (backup copies): a rewriter that records changes gives the one below it.
  virtual FileRewriter& Plain() { return *this; }
};

// Renames from to to unless to exists (renameat2 with RENAME_NOREPLACE, or
// a link and an unlink where the file system lacks it).
bool MoveNoReplace(const std::string& from, const std::string& to, Message* error);

// The real file system.
FileRewriter& DefaultFileRewriter();

// Replaces (or creates) path with content, all-or-nothing. mode, when not
// negative, gives the new file's permission bits.
bool RewriteFile(FileRewriter& rewriter, const std::string& path, std::string_view content,
                 Message* error, int mode = -1);
bool RewriteFile(const std::string& path, std::string_view content, Message* error);

}  // namespace strbatch

#endif  // STRBATCH_BASE_SAFE_FILE_H_

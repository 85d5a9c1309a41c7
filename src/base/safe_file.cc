#include "base/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "base/paths.h"

namespace strbatch {
namespace {

// Copies every byte of from, read from its start, to to's current offset.
bool CopyAll(int from, int to) {
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    ssize_t n = pread(from, buffer, sizeof(buffer), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAll(to, buffer, static_cast<size_t>(n))) return false;
    offset += n;
  }
}

// Removes the stale temporary files of a folder the first time this process
// rewrites a file there; later rewrites in the same folder skip the scan.
void RemoveStaleTempFilesOnce(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> cleaned;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!cleaned.insert(folder).second) return;
  }
  RemoveStaleTempFiles(folder);
}

// The usual rewrite: a locked sibling temporary file renamed over the target.
class SiblingRewriteSession : public RewriteSession {
 public:
  SiblingRewriteSession(std::string target, std::string temp, int fd, mode_t mode,
                        ReplaceStep original)
      : target_(std::move(target)), temp_(std::move(temp)), fd_(fd), mode_(mode),
        step_(std::move(original)) {}

  ~SiblingRewriteSession() override {
    // Removed while still locked, so that no cleaner takes it for stale.
    if (!committed_) unlink(temp_.c_str());
    if (fd_ >= 0) close(fd_);
    if (lockFd_ >= 0) close(lockFd_);
  }

  bool Write(const char* data, size_t size) override {
    if (failed_) return false;
    if (!WriteAll(fd_, data, size)) {
      error_ = OsFailure(MessageId::kCannotWrite, {temp_});
      failed_ = true;
      return false;
    }
    return true;
  }

  void SetMode(unsigned mode) override { mode_ = static_cast<mode_t>(mode & 07777); }

  bool Watch(ReplaceWatcher* watcher) override {
    watcher_ = watcher;
    return true;
  }

  bool Commit(Message* error) override {
    if (failed_) {
      *error = error_;
      return false;
    }
    if (fchmod(fd_, mode_) != 0) {
      *error = OsFailure(MessageId::kCannotSetMode, {temp_});
      return false;
    }
    // The writes are over, so the time read here is the one the file keeps
    // through the rename.
    if (watcher_ != nullptr) {
      struct stat written;
      if (fstat(fd_, &written) != 0) {
        *error = OsFailure(MessageId::kCannotExamine, {temp_});
        return false;
      }
      step_.newMtimeNs =
          static_cast<int64_t>(written.st_mtim.tv_sec) * 1000000000 + written.st_mtim.tv_nsec;
    }
    // The lock belongs to the open file, not to one descriptor: a duplicate
    // keeps it while the writing descriptor is closed (and its close
    // checked) and until the rename is done.
    lockFd_ = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (lockFd_ < 0) {
      *error = OsFailure(MessageId::kCannotKeepLock, {temp_});
      return false;
    }
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
      *error = OsFailure(MessageId::kCannotClose, {temp_});
      return false;
    }
    if (watcher_ != nullptr && !watcher_->BeforeReplace(step_, error)) return false;
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
      *error = OsFailure(MessageId::kCannotReplace, {target_});
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  std::string target_;
  std::string temp_;
  int fd_;
  int lockFd_ = -1;
  mode_t mode_;
  ReplaceStep step_;
  ReplaceWatcher* watcher_ = nullptr;
  bool failed_ = false;
  bool committed_ = false;
  Message error_;
};

// The fallback for a writable file in a folder that takes no new file: the
// new bytes go straight into the file, with a copy of the old ones kept in
// the private temporary directory to put back on any failure.
class InPlaceRewriteSession : public RewriteSession {
 public:
  InPlaceRewriteSession(std::string target, int fd, const struct stat& original, int copyFd,
                        std::string copyPath)
      : target_(std::move(target)), fd_(fd), originalSize_(original.st_size),
        originalMode_(original.st_mode & 07777), links_(original.st_nlink), copyFd_(copyFd),
        copyPath_(std::move(copyPath)) {}

  ~InPlaceRewriteSession() override {
    if (!committed_ && !undone_) Undo();
    if (fd_ >= 0) close(fd_);
    if (copyFd_ >= 0) close(copyFd_);
  }

  bool Watch(ReplaceWatcher* watcher) override {
    watcher_ = watcher;
    return true;
  }

  bool Write(const char* data, size_t size) override {
    if (failed_ || !Announce()) return false;
    if (!WriteAll(fd_, data, size)) {
      error_ = OsFailure(MessageId::kCannotWrite, {target_});
      failed_ = true;
      return false;
    }
    written_ += static_cast<off_t>(size);
    return true;
  }

  void SetMode(unsigned mode) override {
    mode_ = static_cast<mode_t>(mode & 07777);
    modeSet_ = true;
  }

  bool Commit(Message* error) override {
    if (!failed_ && !Announce()) {
      *error = error_;
      return false;
    }
    if (!failed_ && ftruncate(fd_, written_) != 0) Fail(MessageId::kCannotCutToLength);
    if (!failed_ && modeSet_ && fchmod(fd_, mode_) != 0) Fail(MessageId::kCannotSetMode);
    if (!failed_) {
      int fd = fd_;
      fd_ = -1;
      if (close(fd) != 0) Fail(MessageId::kCannotClose);
    }
    if (failed_) {
      const Message kept = Undo();
      *error = kept.Empty() ? error_ : error_.Because(kept);
      return false;
    }
    committed_ = true;
    RemoveCopy();
    return true;
  }

 private:
  void Fail(MessageId what) {
    error_ = OsFailure(what, {target_});
    failed_ = true;
  }

  // Tells the watcher once, before the first change to the file.
  bool Announce() {
    if (watcher_ == nullptr || announced_) return true;
    announced_ = true;
    ReplaceStep step;
    step.target = target_;
    step.existed = true;
    step.inPlace = true;
    step.links = links_;
    step.mode = originalMode_;
    if (watcher_->BeforeReplace(step, &error_)) return true;
    failed_ = true;
    return false;
  }

  // Puts the original bytes and mode back. Gives no message when done,
  // otherwise one of where the copy stays.
  Message Undo() {
    undone_ = true;
    bool restored = true;
    if (fd_ < 0) fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0 || lseek(fd_, 0, SEEK_SET) != 0 || !CopyAll(copyFd_, fd_) ||
        ftruncate(fd_, originalSize_) != 0 || (modeSet_ && fchmod(fd_, originalMode_) != 0)) {
      restored = false;
    }
    if (fd_ >= 0) {
      if (close(fd_) != 0) restored = false;
      fd_ = -1;
    }
    if (!restored) return Message(MessageId::kOriginalKeptIn, {copyPath_});
    RemoveCopy();
    return Message();
  }

  void RemoveCopy() {
    unlink((copyPath_ + ".path").c_str());
    unlink(copyPath_.c_str());
  }

  std::string target_;
  int fd_;
  off_t originalSize_;
  mode_t originalMode_;
  uint64_t links_;
  int copyFd_;
  std::string copyPath_;
  off_t written_ = 0;
  mode_t mode_ = 0;
  bool modeSet_ = false;
  ReplaceWatcher* watcher_ = nullptr;
  bool announced_ = false;
  bool failed_ = false;
  bool committed_ = false;
  bool undone_ = false;
  Message error_;
};

// Keeps a copy of the file open at fd in the private temporary directory,
// with a note of the file's path beside it. Gives the copy's descriptor.
int KeepCopy(int fd, const std::string& target, std::string* copyPath, Message* error) {
  std::string dir;
  if (!PrivateTempDir(&dir, error)) {
    *error = Message(MessageId::kCannotKeepCopy, {target}).Because(*error);
    return -1;
  }
  *copyPath = dir + "/in-place-XXXXXX";
  int copyFd = mkostemp(copyPath->data(), O_CLOEXEC);
  if (copyFd < 0) {
    *error = OsFailure(MessageId::kCannotKeepCopyIn, {target, dir});
    return -1;
  }
  // Synced, so that a write error shows here and not after the original is
  // already being overwritten.
  bool kept = CopyAll(fd, copyFd) && fdatasync(copyFd) == 0;
  if (kept) {
    const std::string note = *copyPath + ".path";
    int noteFd = open(note.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const std::string line = target + "\n";
    kept = noteFd >= 0 && WriteAll(noteFd, line.data(), line.size());
    if (noteFd >= 0 && close(noteFd) != 0) kept = false;
    if (!kept) unlink(note.c_str());
  }
  if (!kept) {
    *error = OsFailure(MessageId::kCannotKeepCopyIn, {target, dir});
    close(copyFd);
    unlink(copyPath->c_str());
    return -1;
  }
  return copyFd;
}

std::unique_ptr<RewriteSession> BeginInPlace(const std::string& target, const struct stat& st,
                                             Message* error) {
  int fd = open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    *error = OsFailure(MessageId::kCannotWrite, {target});
    return nullptr;
  }
  struct stat now;
  if (fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
    *error = Message(MessageId::kChangedWhileOpened, {target});
    close(fd);
    return nullptr;
  }
  std::string copyPath;
  int copyFd = KeepCopy(fd, target, &copyPath, error);
  if (copyFd < 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<InPlaceRewriteSession>(target, fd, now, copyFd, copyPath);
}

class RealFileRewriter : public FileRewriter {
 public:
  std::unique_ptr<RewriteSession> Begin(const std::string& path, Message* error) override {
    // A symbolic link is rewritten at its target, so the link stays a link.
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (lstat(path.c_str(), &st) == 0) {
      exists = true;
      if (S_ISLNK(st.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
          *error = OsFailure(MessageId::kCannotResolve, {path});
          return nullptr;
        }
        target = resolved;
        free(resolved);
        if (stat(target.c_str(), &st) != 0) {
          *error = OsFailure(MessageId::kCannotExamine, {target});
          return nullptr;
        }
      }
      if (!S_ISREG(st.st_mode)) {
        *error = Message(S_ISDIR(st.st_mode) ? MessageId::kIsDirectory : MessageId::kNotRegularFile,
                         {path});
        return nullptr;
      }
      // Renaming over a read-only file would succeed wherever its folder is
      // writable; the user's protection of the file is honoured instead.
      if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        *error = OsFailure(MessageId::kCannotWrite, {target});
        return nullptr;
      }
    }
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    RemoveStaleTempFilesOnce(dir.empty() ? "." : dir);
    // Keep the temporary name within NAME_MAX for long file names.
    if (name.size() > 200) name.resize(200);
    std::string temp = dir + "." + name + kSiblingTempMarker + "XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
      if (exists && (errno == EACCES || errno == EPERM)) return BeginInPlace(target, st, error);
      *error = OsFailure(MessageId::kCannotCreateTempBeside, {target});
      return nullptr;
    }
    // Marks the file as in use until the session ends. Where the file
    // system has no locks the cleaner cannot lock it either, and leaves it.
    (void)flock(fd, LOCK_EX | LOCK_NB);
    if (exists && geteuid() == 0) {
      // Keep the owner when running as root; failure here is harmless.
      [[maybe_unused]] int ignored = fchown(fd, st.st_uid, st.st_gid);
    }
    mode_t mode = exists ? (st.st_mode & 07777) : 0;
    if (!exists) {
      // A new file gets the usual mode for a created file.
      mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    ReplaceStep original;
    original.target = target;
    original.existed = exists;
    if (exists) {
      original.links = st.st_nlink;
      original.mode = st.st_mode & 07777;
    }
    return std::make_unique<SiblingRewriteSession>(target, temp, fd, mode, std::move(original));
  }
};

}  // namespace

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}


bool IsSiblingTempName(std::string_view name) {
  const size_t marker = std::strlen(kSiblingTempMarker);
  const size_t suffix = 6;
  if (name.size() < 2 + marker + suffix || name[0] != '.') return false;
  if (name.substr(name.size() - suffix - marker, marker) != kSiblingTempMarker) return false;
  for (char c : name.substr(name.size() - suffix)) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

size_t RemoveStaleTempFiles(const std::string& folder) {
  DIR* handle = opendir(folder.c_str());
  if (handle == nullptr) return 0;
  const int dirFd = dirfd(handle);
  size_t removed = 0;
  while (dirent* entry = readdir(handle)) {
    if (!IsSiblingTempName(entry->d_name)) continue;
    int fd = openat(dirFd, entry->d_name,
                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st, now;
    // Another user's file, or one a live session holds, is not ours to take.
    // The name is checked again after locking: it must still be this file.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
        flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        fstatat(dirFd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
        unlinkat(dirFd, entry->d_name, 0) == 0) {
      removed++;
    }
    close(fd);
  }
  closedir(handle);
  return removed;
}

bool ReadWholeFile(const std::string& path, std::string* content, Message* error,
                   size_t spare) {
  content->clear();
  // Without O_NONBLOCK opening a FIFO would wait for a writer.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = OsFailure(MessageId::kCannotOpen, {path});
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = OsFailure(MessageId::kCannotExamine, {path});
    close(fd);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = Message(MessageId::kIsDirectory, {path});
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = Message(MessageId::kNotRegularFile, {path});
    close(fd);
    return false;
  }
  try {
    size_t expected = static_cast<size_t>(st.st_size);
    content->reserve(expected + spare);
    content->resize(expected);
    size_t got = 0;
    for (;;) {
      char* into = content->data() + got;
      size_t room = content->size() - got;
      char probe[65536];
      if (room == 0) {
        // The file may have grown since it was sized: read on through a
        // small buffer so the common case never reallocates.
        into = probe;
        room = sizeof(probe);
      }
      ssize_t n = read(fd, into, room);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *error = OsFailure(MessageId::kCannotRead, {path});
        close(fd);
        content->clear();
        return false;
      }
      if (n == 0) break;
      if (into == probe) {
        content->append(probe, static_cast<size_t>(n));
      }
      got += static_cast<size_t>(n);
    }
    content->resize(got);
  } catch (const std::bad_alloc&) {
    *error = Message(MessageId::kTooLargeForMemory, {path});
    close(fd);
    content->clear();
    content->shrink_to_fit();
    return false;
  }
  close(fd);
  return true;
}

FileRewriter& DefaultFileRewriter() {
  static RealFileRewriter rewriter;
  return rewriter;
}

bool RewriteFile(FileRewriter& rewriter, const std::string& path, std::string_view content,
                 Message* error, int mode) {
  std::unique_ptr<RewriteSession> session = rewriter.Begin(path, error);
  if (!session) return false;
  if (mode >= 0) session->SetMode(static_cast<unsigned>(mode));
  session->Write(content);  // a failed write makes Commit refuse
  return session->Commit(error);
}

bool FileRewriter::Move(const std::string& from, const std::string& to, Message* error) {
  return MoveNoReplace(from, to, error);
}

bool FileRewriter::Remove(const std::string& path, Message* error) {
  if (unlink(path.c_str()) == 0) return true;
  *error = OsFailure(MessageId::kCannotDelete, {path});
  return false;
}

bool MoveNoReplace(const std::string& from, const std::string& to, Message* error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    *error = OsFailure(MessageId::kCannotMove, {from, to});
    return false;
  }
  if (link(from.c_str(), to.c_str()) != 0) {
    *error = OsFailure(MessageId::kCannotMove, {from, to});
    return false;
  }
  if (unlink(from.c_str()) != 0) {
    *error = OsFailure(MessageId::kCannotMove, {from, to});
    unlink(to.c_str());
    return false;
  }
  return true;
}

bool RewriteFile(const std::string& path, std::string_view content, Message* error) {
  return RewriteFile(DefaultFileRewriter(), path, content, error);
}

}  // namespace strbatch

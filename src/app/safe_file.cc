#include "app/safe_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

namespace strbatch {
namespace {

std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

class RealRewriteSession : public RewriteSession {
 public:
  RealRewriteSession(std::string target, std::string temp, int fd, bool keep_mode, mode_t mode)
      : target_(std::move(target)), temp_(std::move(temp)), fd_(fd), keep_mode_(keep_mode),
        mode_(mode) {}

  ~RealRewriteSession() override {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temp_.c_str());
  }

  bool Write(const char* data, size_t size) override {
    if (failed_) return false;
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = ErrnoText("cannot write", temp_);
        failed_ = true;
        return false;
      }
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  void SetMode(unsigned mode) override { mode_ = static_cast<mode_t>(mode & 07777); }

  bool Commit(std::string* error) override {
    if (failed_) {
      *error = error_;
      return false;
    }
    if (keep_mode_ && fchmod(fd_, mode_) != 0) {
      *error = ErrnoText("cannot set the mode of", temp_);
      return false;
    }
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
      *error = ErrnoText("cannot close", temp_);
      return false;
    }
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
      *error = ErrnoText("cannot replace", target_);
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  std::string target_;
  std::string temp_;
  int fd_;
  bool keep_mode_;
  mode_t mode_;
  bool failed_ = false;
  bool committed_ = false;
  std::string error_;
};

class RealFileRewriter : public FileRewriter {
 public:
  std::unique_ptr<RewriteSession> Begin(const std::string& path, std::string* error) override {
    // A symbolic link is rewritten at its target, so the link stays a link.
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (lstat(path.c_str(), &st) == 0) {
      exists = true;
      if (S_ISLNK(st.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
          *error = ErrnoText("cannot resolve", path);
          return nullptr;
        }
        target = resolved;
        free(resolved);
        if (stat(target.c_str(), &st) != 0) {
          *error = ErrnoText("cannot examine", target);
          return nullptr;
        }
      }
      if (!S_ISREG(st.st_mode)) {
        *error = path + " is not a regular file";
        return nullptr;
      }
    }
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // Keep the temporary name within NAME_MAX for long file names.
    if (name.size() > 200) name.resize(200);
    std::string temp = dir + "." + name + kSiblingTempMarker + "XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
      *error = ErrnoText("cannot create a temporary file beside", target);
      return nullptr;
    }
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
    return std::make_unique<RealRewriteSession>(target, temp, fd, true, mode);
  }
};

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* content, std::string* error,
                   size_t spare) {
  content->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = ErrnoText("cannot open", path);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *error = ErrnoText("cannot examine", path);
    close(fd);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = path + " is a directory";
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
        *error = ErrnoText("cannot read", path);
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
    *error = path + " is too large to hold in memory";
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
                 std::string* error, int mode) {
  std::unique_ptr<RewriteSession> session = rewriter.Begin(path, error);
  if (!session) return false;
  if (mode >= 0) session->SetMode(static_cast<unsigned>(mode));
  session->Write(content);  // a failed write makes Commit refuse
  return session->Commit(error);
}

bool RewriteFile(const std::string& path, std::string_view content, std::string* error) {
  return RewriteFile(DefaultFileRewriter(), path, content, error);
}

}  // namespace strbatch

#include "base/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <strings.h>

namespace strbatch {
namespace {

// Creates every missing directory of path with mode 0700.
bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace

std::string ProgramDirectory() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return ".";
  std::string exe(buffer, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

bool PrivateTempDir(std::string* dir, Message* error) {
  std::string path;
  if (const char* forced = std::getenv("STRBATCH_TMPDIR"); forced && *forced) {
    path = forced;
  } else if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
    path = std::string(cache) + "/strbatch";
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    path = std::string(home) + "/.cache/strbatch";
  } else {
    *error = Message(MessageId::kNoHomeFolder);
    return false;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!MakeDirectories(path)) {
    *error = OsFailure(MessageId::kCannotCreate, {path});
    return false;
  }
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = OsFailure(MessageId::kCannotExamine, {path});
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    *error = Message(MessageId::kPrivateFolderIsLink, {path});
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *error = Message(MessageId::kNotAFolder, {path});
    return false;
  }
  if (st.st_uid != geteuid()) {
    *error = Message(MessageId::kOwnedByAnotherUser, {path});
    return false;
  }
  if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) {
    *error = OsFailure(MessageId::kCannotMakePrivate, {path});
    return false;
  }
  *dir = path;
  return true;
}

SplitPathResult SplitPath(const std::string& path) {
  SplitPathResult parts;
  size_t slash = path.rfind('/');
  std::string name = path;
  if (slash != std::string::npos) {
    parts.directory = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    parts.baseName = name;
  } else {
    parts.baseName = name.substr(0, dot);
    parts.extension = name.substr(dot);
  }
  return parts;
}

bool ExtensionIs(const std::string& extension, const char* wanted) {
  return strcasecmp(extension.c_str(), wanted) == 0;
}

}  // namespace strbatch

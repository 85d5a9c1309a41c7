#include "lists/file_identity.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

#include "base/paths.h"

namespace strbatch {
namespace {

// A notice of thousands of names helps nobody; the first few show what
// happened.
constexpr size_t kNamesTold = 10;

bool Canonical(const std::string& path, std::string* canonical) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
  if (resolved == nullptr) return false;
  canonical->assign(resolved.get());
  return true;
}

}  // namespace

// The key under which a name is the same file as another: its folder
// resolved (once per folder in a run), joined with its own name; under the
// contents rule a link is resolved to the file it names. A name that
// cannot be resolved is its own key, so a missing file named twice still
// gives one warning.
std::string FileOnce::Key(const std::string& path) {
  const SplitPathResult parts = SplitPath(path);
  const std::string name = parts.baseName + parts.extension;
  struct stat st;
  const bool plainName = !name.empty() && name != "." && name != "..";
  const bool link = lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  std::string key;
  if (rule_ == SameFileRule::kContents && (link || !plainName) && Canonical(path, &key)) {
    return key;
  }
  if (!plainName) return path;
  const std::string folder = parts.directory.empty() ? "." : parts.directory;
  auto known = folders_.find(folder);
  if (known == folders_.end()) {
    if (!Canonical(folder, &key)) key = folder;
    if (key.back() != '/') key += '/';
    known = folders_.emplace(folder, std::move(key)).first;
  }
  return known->second + name;
}

bool FileOnce::First(const std::string& path) {
  if (seen_.insert(Key(path)).second) return true;
  folded_.push_back(path);
  return false;
}

std::string FileOnce::FoldedNames() const {
  std::string names;
  for (size_t i = 0; i < folded_.size() && i < kNamesTold; i++) {
    names += (i == 0 ? "" : ", ") + folded_[i];
  }
  if (folded_.size() > kNamesTold) {
    names += ", ... (+" + std::to_string(folded_.size() - kNamesTold) + ")";
  }
  return names;
}

}  // namespace strbatch

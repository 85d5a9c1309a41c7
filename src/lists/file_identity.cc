#include "lists/file_identity.h"

#include <stdlib.h>

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

// The key under which a name is the same file as another by rule: a
// canonical path, the canonical folder joined with the name, or (when
// neither can be resolved) the name as given.
std::string SameFileKey(const std::string& path, SameFileRule rule) {
  std::string key;
  if (rule == SameFileRule::kContents && Canonical(path, &key)) return key;
  // The entry: its folder resolved, its own name as it stands (a link stays
  // itself). A file that is missing is keyed this way too, so that naming
  // it twice gives one warning.
  const SplitPathResult parts = SplitPath(path);
  const std::string name = parts.baseName + parts.extension;
  if (!name.empty() && Canonical(parts.directory.empty() ? "." : parts.directory, &key)) {
    if (key.back() != '/') key += '/';
    return key + name;
  }
  return path;
}

}  // namespace

bool FileOnce::First(const std::string& path) {
  if (seen_.insert(SameFileKey(path, rule_)).second) return true;
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

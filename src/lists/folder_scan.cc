#include "lists/folder_scan.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <set>
#include <unordered_set>
#include <utility>

namespace strbatch {
namespace {

std::string FoldAsciiLower(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

void ScanFolder(std::vector<std::string>* result, const std::string& folder,
                const std::string& pattern, bool recursive, bool fullPaths,
                const ScanProgress& keepGoing, std::vector<UnreadableFolder>* unreadable) {
  if (folder.empty()) return;
  const auto failed = [unreadable](const std::string& dir) {
    if (unreadable != nullptr) unreadable->push_back({dir, errno});
  };
  std::set<std::pair<dev_t, ino_t>> visited;
  // Folders still to walk, the next one last: a folder's own files come
  // before those of its subfolders, which follow in enumeration order.
  // As on the systems these patterns come from, "*.*" is every file, a
  // name without a dot included.
  const bool everyFile = pattern == "*" || pattern == "*.*";
  std::vector<std::string> pending{folder};
  while (!pending.empty()) {
    if (keepGoing && !keepGoing(result->size())) return;
    std::string dir = std::move(pending.back());
    pending.pop_back();
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
      failed(dir);
      continue;
    }
    if (!S_ISDIR(st.st_mode)) continue;
    if (!visited.insert({st.st_dev, st.st_ino}).second) continue;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) {
      failed(dir);
      continue;
    }
    std::string prefix = dir.back() == '/' ? dir : dir + "/";
    std::vector<std::string> subfolders;
    // readdir tells an error from the end of the folder only by errno.
    for (errno = 0; dirent* entry = readdir(handle); errno = 0) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string full = prefix + name;
      bool isFile = entry->d_type == DT_REG;
      bool isFolder = entry->d_type == DT_DIR;
      if (entry->d_type != DT_REG && entry->d_type != DT_DIR) {
        // Links, and file systems that give no type: look at the target.
        // FIFOs and devices are left out, since reading one can block.
        struct stat target;
        if (stat(full.c_str(), &target) != 0) continue;
        isFile = S_ISREG(target.st_mode);
        isFolder = S_ISDIR(target.st_mode);
      }
      if (isFile && (everyFile || fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0)) {
        result->push_back(fullPaths ? full : name);
      } else if (isFolder && recursive) {
        subfolders.push_back(std::move(full));
      }
    }
    if (errno != 0) failed(dir);
    closedir(handle);
    pending.insert(pending.end(), std::make_move_iterator(subfolders.rbegin()),
                   std::make_move_iterator(subfolders.rend()));
  }
}

void SortPathsNoCase(std::vector<std::string>* paths) {
  std::vector<std::string> keys;
  keys.reserve(paths->size());
  for (const std::string& path : *paths) keys.push_back(FoldAsciiLower(path));
  std::vector<size_t> order(paths->size());
  std::iota(order.begin(), order.end(), 0);
  // std::string compares its bytes as unsigned values.
  std::stable_sort(order.begin(), order.end(),
                   [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
  std::vector<std::string> sorted;
  sorted.reserve(paths->size());
  for (size_t index : order) sorted.push_back(std::move((*paths)[index]));
  paths->swap(sorted);
}

std::vector<std::string> SplitFilePatterns(const std::string& text) {
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= text.size()) {
    size_t separator = text.find_first_of(",;", start);
    size_t end = separator == std::string::npos ? text.size() : separator;
    if (end > start) patterns.push_back(text.substr(start, end - start));
    if (separator == std::string::npos) break;
    start = separator + 1;
  }
  // "*.*" would miss names without a dot here; "*" is every file.
  if (patterns.empty()) patterns.push_back("*");
  return patterns;
}

std::vector<std::string> CollectFolderFiles(const std::string& folder,
                                            const std::string& patternText, bool recursive,
                                            const ScanProgress& keepGoing,
                                            std::vector<UnreadableFolder>* unreadable) {
  std::vector<std::string> paths;
  std::vector<UnreadableFolder> failures;
  bool stopped = false;
  const ScanProgress watch = [&](size_t found) {
    stopped = stopped || (keepGoing && !keepGoing(found));
    return !stopped;
  };
  for (const std::string& pattern : SplitFilePatterns(patternText)) {
    if (stopped) break;
    ScanFolder(&paths, folder, pattern, recursive, true, watch, &failures);
  }
  // Each pattern walks the same folders: a file or an unreadable folder is
  // named once however many patterns meet it.
  std::unordered_set<std::string> seen;
  std::erase_if(paths, [&seen](const std::string& path) { return !seen.insert(path).second; });
  if (unreadable != nullptr) {
    seen.clear();
    for (UnreadableFolder& failure : failures) {
      if (seen.insert(failure.path).second) unreadable->push_back(std::move(failure));
    }
  }
  SortPathsNoCase(&paths);
  return paths;
}

ChosenFiles CollectChosenFiles(const std::vector<std::string>& chosen) {
  ChosenFiles files;
  size_t taken = std::min(chosen.size(), kAddFilesLimit);
  files.paths.assign(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(taken));
  files.limitReached = chosen.size() >= kAddFilesLimit;
  SortPathsNoCase(&files.paths);
  return files;
}

}  // namespace strbatch

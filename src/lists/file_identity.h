// One processing per file in a run. A list may name a file more than once
// (a name twice, "./x" beside "x", a link beside its target, a folder scan
// overlapping the names given): the first naming is processed, later ones
// are skipped, and the command names them in one notice.
#ifndef STRBATCH_LISTS_FILE_IDENTITY_H_
#define STRBATCH_LISTS_FILE_IDENTITY_H_

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace strbatch {

// What makes two names the same file. Commands that read or write contents
// follow links to the file itself (its canonical path); a rename works on
// directory entries, so a link and its target are two names to rename.
// Distinct hard links are distinct names under either rule.
enum class SameFileRule { kContents, kEntry };

class FileOnce {
 public:
  explicit FileOnce(SameFileRule rule) : rule_(rule) {}

  // True for the first naming of a file in this run; false for a later one,
  // which is kept among the folded names.
  bool First(const std::string& path);

  // The later namings skipped so far, in order.
  const std::vector<std::string>& Folded() const { return folded_; }

  // The folded names for a notice, the first few of a long list with the
  // number of the others; empty when there are none.
  std::string FoldedNames() const;

 private:
  std::string Key(const std::string& path);

  SameFileRule rule_;
  std::unordered_set<std::string> seen_;
  // Each folder of the run resolved to its canonical path with a "/".
  std::unordered_map<std::string, std::string> folders_;
  std::vector<std::string> folded_;
};

}  // namespace strbatch

#endif  // STRBATCH_LISTS_FILE_IDENTITY_H_

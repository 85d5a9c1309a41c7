// The file list: rows of path, count and check mark, each with the
// occurrences the last batch find recorded for it. A row's number (the
// first column) is its position counted from 1.
#ifndef STRBATCH_LISTS_FILE_LIST_H_
#define STRBATCH_LISTS_FILE_LIST_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace strbatch {

// One occurrence the batch found: a byte offset and a byte length in the
// file (for an office document, in its work text).
struct MatchSpan {
  int64_t offset = 0;
  int64_t length = 0;

  bool operator==(const MatchSpan&) const = default;
};

struct FileRow {
  std::string path;
  std::optional<int64_t> count;  // hits of the last run; none before any
  // Of count, the occurrences a replace counted but could not change (in
  // office documents: spans, protection, anchors, formula results).
  int64_t notChanged = 0;
  bool checked = false;
  // The occurrences of the last batch find, in the order found: all of the
  // first checked definition, then those of the next.
  std::vector<MatchSpan> matches;
};

// A path with its check mark: what the backup commands and the line sort
// take from the file list.
struct CheckedPath {
  std::string path;
  bool checked = false;
};

class FileList {
 public:
  size_t Size() const { return rows_.size(); }
  const FileRow& Row(size_t i) const { return rows_[i]; }

  // Appends a row without count or matches and gives its index.
  size_t Append(const std::string& path, bool checked);

  void SetChecked(size_t row, bool checked) { rows_[row].checked = checked; }
  // A new count; what was not changed of the earlier one goes with it.
  void SetCount(size_t row, std::optional<int64_t> count) {
    rows_[row].count = count;
    rows_[row].notChanged = 0;
  }
  void SetNotChanged(size_t row, int64_t n) { rows_[row].notChanged = n; }
  // Adds n to the row's count (a row without one counts from 0).
  void AddToCount(size_t row, int64_t n) { rows_[row].count = rows_[row].count.value_or(0) + n; }
  void SetPath(size_t row, std::string path) { rows_[row].path = std::move(path); }
  void SetMatches(size_t row, std::vector<MatchSpan> matches) {
    rows_[row].matches = std::move(matches);
  }

  // Removes every row.
  void Clear() { rows_.clear(); }

  // Every row's path and check mark, in order.
  std::vector<CheckedPath> CheckedPaths() const;

  // The list commands. Each takes the selected row (or a row index past the
  // end for none) and gives the row selected afterwards (past the end for
  // none). Moves carry path, count, check mark and matches.
  size_t Delete(size_t selected);
  void CheckAll();
  void InvertChecks();
  size_t MoveUp(size_t selected);
  size_t MoveDown(size_t selected);

 private:
  std::vector<FileRow> rows_;
};

}  // namespace strbatch

#endif  // STRBATCH_LISTS_FILE_LIST_H_

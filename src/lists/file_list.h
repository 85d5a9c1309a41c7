// The file list: rows of row number, path, count and check mark, with the
// per-row match lists of the last batch find kept in step with the rows.
#ifndef STRBATCH_LISTS_FILE_LIST_H_
#define STRBATCH_LISTS_FILE_LIST_H_

#include <cstddef>
#include <string>
#include <vector>

namespace strbatch {

struct FileRow {
  std::string number;  // column 0, decimal text
  std::string path;    // column 1
  std::string count;   // column 2, decimal text or empty
  bool checked = false;
};

class FileList {
 private:
  void SwapRows(size_t a, size_t b);


 public:
  size_t Size() const { return rows_.size(); }
  const FileRow& Row(size_t i) const { return rows_[i]; }

  // Appends a row numbered after the current last row, with an empty match
  // list, and gives its index.
  size_t Append(const std::string& path, bool checked);

  void SetChecked(size_t row, bool checked) { rows_[row].checked = checked; }
  void SetCount(size_t row, std::string count) { rows_[row].count = std::move(count); }
  void SetPath(size_t row, std::string path) { rows_[row].path = std::move(path); }

  // One entry per row: "%d:%d" records joined by ";".
  std::vector<std::string>& MatchLists() { return matchLists_; }
  const std::vector<std::string>& MatchLists() const { return matchLists_; }

  // Removes every row and every match list.
  void Clear();

  // The list commands. Each takes the selected row (or a row index past the
  // end for none) and gives the row selected afterwards (past the end for
  // none). Delete renumbers the rows from the deleted one on; moves carry
  // path, count, check mark and match list, and the numbers stay in place.
  size_t Delete(size_t selected);
  void CheckAll();
  void InvertChecks();
  size_t MoveUp(size_t selected);
  size_t MoveDown(size_t selected);

 protected:
  std::vector<FileRow> rows_;
  std::vector<std::string> matchLists_;
};

}  // namespace strbatch

#endif  // STRBATCH_LISTS_FILE_LIST_H_

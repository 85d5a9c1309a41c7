#include "lists/file_list.h"

#include <utility>

namespace strbatch {

size_t FileList::Append(const std::string& path, bool checked) {
  FileRow row;
  row.path = path;
  row.checked = checked;
  rows_.push_back(std::move(row));
  return rows_.size() - 1;
}

size_t FileList::Delete(size_t selected) {
  if (selected >= rows_.size()) return static_cast<size_t>(-1);
  rows_.erase(rows_.begin() + static_cast<long>(selected));
  if (selected >= rows_.size()) selected--;
  return selected < rows_.size() ? selected : static_cast<size_t>(-1);
}

std::vector<CheckedPath> FileList::CheckedPaths() const {
  std::vector<CheckedPath> paths;
  paths.reserve(rows_.size());
  for (const FileRow& row : rows_) paths.push_back({row.path, row.checked});
  return paths;
}

void FileList::CheckAll() {
  for (FileRow& row : rows_) row.checked = true;
}

void FileList::InvertChecks() {
  for (FileRow& row : rows_) row.checked = !row.checked;
}

size_t FileList::MoveUp(size_t selected) {
  if (rows_.size() < 2 || selected >= rows_.size() || selected == 0) return selected;
  std::swap(rows_[selected], rows_[selected - 1]);
  return selected - 1;
}

size_t FileList::MoveDown(size_t selected) {
  if (rows_.size() < 2 || selected + 1 >= rows_.size()) return selected;
  std::swap(rows_[selected], rows_[selected + 1]);
  return selected + 1;
}

}  // namespace strbatch

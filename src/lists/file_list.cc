#include "lists/file_list.h"

namespace strbatch {

size_t FileList::Append(const std::string& path, bool checked) {
  FileRow row;
  row.number = std::to_string(rows_.size() + 1);
  row.path = path;
  row.checked = checked;
  rows_.push_back(std::move(row));
  matchLists_.resize(rows_.size());
  return rows_.size() - 1;
}

void FileList::Clear() {
  rows_.clear();
  matchLists_.clear();
}

size_t FileList::Delete(size_t selected) {
  if (selected >= rows_.size()) return static_cast<size_t>(-1);
  rows_.erase(rows_.begin() + static_cast<long>(selected));
  if (selected < matchLists_.size()) {
    matchLists_.erase(matchLists_.begin() + static_cast<long>(selected));
  }
  for (size_t i = selected; i < rows_.size(); i++) rows_[i].number = std::to_string(i + 1);
  if (selected >= rows_.size()) selected--;
  return selected < rows_.size() ? selected : static_cast<size_t>(-1);
}

void FileList::CheckAll() {
  for (FileRow& row : rows_) row.checked = true;
}

void FileList::InvertChecks() {
  for (FileRow& row : rows_) row.checked = !row.checked;
}

void FileList::SwapRows(size_t a, size_t b) {
  std::swap(rows_[a].path, rows_[b].path);
  std::swap(rows_[a].count, rows_[b].count);
  std::swap(rows_[a].checked, rows_[b].checked);
  if (matchLists_.size() < rows_.size()) matchLists_.resize(rows_.size());
  std::swap(matchLists_[a], matchLists_[b]);
}

size_t FileList::MoveUp(size_t selected) {
  if (rows_.size() < 2 || selected >= rows_.size() || selected == 0) return selected;
  SwapRows(selected, selected - 1);
  return selected - 1;
}

size_t FileList::MoveDown(size_t selected) {
  if (rows_.size() < 2 || selected + 1 >= rows_.size()) return selected;
  SwapRows(selected, selected + 1);
  return selected + 1;
}

}  // namespace strbatch

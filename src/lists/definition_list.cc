#include "lists/definition_list.h"

#include <cstdint>
#include <utility>

namespace strbatch {

int32_t LongTextStore::Append(const std::string& find, const std::string& replace) {
  if (slots_.empty()) slots_.emplace_back();
  int32_t k = static_cast<int32_t>(slots_.size());
  slots_.push_back(find);
  slots_.push_back(replace);
  return k;
}

void LongTextStore::Overwrite(int32_t k, const std::string& find, const std::string& replace) {
  slots_[static_cast<size_t>(k)] = find;
  slots_[static_cast<size_t>(k) + 1] = replace;
}

size_t DefinitionList::Append(const std::string& find, const std::string& replace,
                              bool checked) {
  DefinitionRow row;
  row.checked = checked;
  rows_.push_back(row);
  SetTexts(rows_.size() - 1, find, replace);
  return rows_.size() - 1;
}

void DefinitionList::SetTexts(size_t row, const std::string& find, const std::string& replace) {
  if (rows_[row].longTextIndex != 0 || find.size() >= kLongTextThreshold ||
      replace.size() >= kLongTextThreshold) {
    StoreLongTexts(row, find, replace);
  } else {
    rows_[row].find_ = find;
    rows_[row].replace_ = replace;
  }
}

const std::string& DefinitionList::Find(size_t row) const {
  const DefinitionRow& r = rows_[row];
  return r.longTextIndex != 0 ? store_.Slot(static_cast<size_t>(r.longTextIndex)) : r.find_;
}

const std::string& DefinitionList::Replace(size_t row) const {
  const DefinitionRow& r = rows_[row];
  return r.longTextIndex != 0 ? store_.Slot(static_cast<size_t>(r.longTextIndex) + 1)
                              : r.replace_;
}

void DefinitionList::StoreLongTexts(size_t row, const std::string& find,
                                    const std::string& replace) {
  DefinitionRow& r = rows_[row];
  if (r.longTextIndex != 0) {
    store_.Overwrite(r.longTextIndex, find, replace);
  } else {
    r.longTextIndex = store_.Append(find, replace);
  }
  // The store owns the texts from now on.
  r.find_.clear();
  r.replace_.clear();
}

void DefinitionList::Clear() {
  rows_.clear();
  store_.Clear();
}

std::vector<DefinitionRecord> DefinitionList::Records() const {
  std::vector<DefinitionRecord> records;
  records.reserve(rows_.size());
  for (size_t r = 0; r < rows_.size(); r++) records.push_back({Find(r), Replace(r)});
  return records;
}

void DefinitionList::AppendRecords(const std::vector<DefinitionRecord>& records, bool checked) {
  for (const DefinitionRecord& record : records) Append(record.find, record.replace, checked);
}

size_t DefinitionList::AddDefault() { return Append("str1", "str2", true); }

size_t DefinitionList::Delete(size_t selected) {
  if (selected >= rows_.size()) return kNoRow;
  // The row's store slots stay behind unused: the store only ever grows.
  rows_.erase(rows_.begin() + static_cast<long>(selected));
  if (selected >= rows_.size()) selected--;
  return selected < rows_.size() ? selected : kNoRow;
}

void DefinitionList::CheckAll() {
  for (DefinitionRow& row : rows_) row.checked = true;
}

void DefinitionList::InvertChecks() {
  for (DefinitionRow& row : rows_) row.checked = !row.checked;
}

size_t DefinitionList::MoveUp(size_t selected) {
  if (rows_.size() < 2 || selected >= rows_.size() || selected == 0) return selected;
  std::swap(rows_[selected], rows_[selected - 1]);
  return selected - 1;
}

size_t DefinitionList::MoveDown(size_t selected) {
  if (rows_.size() < 2 || selected + 1 >= rows_.size()) return selected;
  std::swap(rows_[selected], rows_[selected + 1]);
  return selected + 1;
}

void DefinitionList::EndEdit(size_t row, int column, const std::string& text) {
  if (column == 0 || column == 1) {
    // An edit in place gives no row a slot pair; a row that has one keeps
    // it current.
    std::string find = column == 0 ? text : Find(row);
    std::string replace = column == 1 ? text : Replace(row);
    DefinitionRow& r = rows_[row];
    if (r.longTextIndex != 0) {
      store_.Overwrite(r.longTextIndex, find, replace);
    } else {
      r.find_ = std::move(find);
      r.replace_ = std::move(replace);
    }
    return;
  }
  if (column != 2) return;
  if (text.empty()) {
    rows_[row].count.reset();
    return;
  }
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) return;
    value = value * 10 + (c - '0');
  }
  rows_[row].count = value;
}

}  // namespace strbatch

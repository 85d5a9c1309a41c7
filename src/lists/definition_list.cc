#include "lists/definition_list.h"

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
  rows_[row].find = find;
  rows_[row].replace = replace;
  if (rows_[row].longTextIndex != 0 || find.size() >= kLongTextThreshold ||
      replace.size() >= kLongTextThreshold) {
    StoreLongTexts(row, find, replace);
  }
}

const std::string& DefinitionList::GetDefinitionText(size_t row, int column) const {
  const DefinitionRow& r = rows_[row];
  if (column == 2) return r.count;
  if (r.longTextIndex != 0) return store_.Slot(static_cast<size_t>(r.longTextIndex + column));
  return column == 0 ? r.find : r.replace;
}

void DefinitionList::StoreLongTexts(size_t row, const std::string& find,
                                    const std::string& replace) {
  DefinitionRow& r = rows_[row];
  if (r.longTextIndex != 0) {
    store_.Overwrite(r.longTextIndex, find, replace);
  } else {
    r.longTextIndex = store_.Append(find, replace);
  }
}

void DefinitionList::Clear() {
  rows_.clear();
  store_.Clear();
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
  DefinitionRow& r = rows_[row];
  if (column == 0) r.find = text;
  if (column == 1) r.replace = text;
  if (column == 2) r.count = text;
  if (r.longTextIndex != 0 && (column == 0 || column == 1)) {
    const size_t k = static_cast<size_t>(r.longTextIndex);
    std::string find = column == 0 ? text : store_.Slot(k);
    std::string replace = column == 1 ? text : store_.Slot(k + 1);
    store_.Overwrite(r.longTextIndex, find, replace);
  }
}

}  // namespace strbatch

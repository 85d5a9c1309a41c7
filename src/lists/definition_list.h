// The definition list: rows of find string, replace string, check mark and
// count, with the long-text store that keeps texts of 256 bytes or more.
// Texts are byte strings in the process code page.
#ifndef STRBATCH_LISTS_DEFINITION_LIST_H_
#define STRBATCH_LISTS_DEFINITION_LIST_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace strbatch {

// A definition's two texts, as definition files hold them.
struct DefinitionRecord {
  std::string find;
  std::string replace;
};

// No row: a command without a selection, or a selection that went away.
inline constexpr size_t kNoRow = static_cast<size_t>(-1);

// A text this long or longer is kept whole in the long-text store.
inline constexpr size_t kLongTextThreshold = 256;

class DefinitionList;

struct DefinitionRow {
  bool checked = false;
  std::optional<int64_t> count;  // hits of the last run; none before any
  int32_t longTextIndex = 0;     // 0, or slot k (find) and k + 1 (replace)

 private:
  friend class DefinitionList;
  // The texts of a row without long texts; a row with them keeps its texts
  // in the store only.
  std::string find_;
  std::string replace_;
};

// The store of long texts. Slot 0 is an unused placeholder; pairs are only
// ever appended, and only Clear empties it.
class LongTextStore {
 public:
  size_t Size() const { return slots_.size(); }
  const std::string& Slot(size_t k) const { return slots_[k]; }
  // Appends a find/replace pair and gives the index of its first slot.
  int32_t Append(const std::string& find, const std::string& replace);
  void Overwrite(int32_t k, const std::string& find, const std::string& replace);
  void Clear() { slots_.clear(); }

 private:
  std::vector<std::string> slots_;
};

class DefinitionList {
 public:
  size_t Size() const { return rows_.size(); }
  const DefinitionRow& Row(size_t i) const { return rows_[i]; }
  DefinitionRow& Row(size_t i) { return rows_[i]; }
  const LongTextStore& Store() const { return store_; }

  // Appends a row with the given texts (long texts go to the store) and gives
  // its index.
  size_t Append(const std::string& find, const std::string& replace, bool checked);

  // Sets the texts of a row: cells and, where the row has or now needs them,
  // its store slots.
  void SetTexts(size_t row, const std::string& find, const std::string& replace);

  // The full texts of a row.
  const std::string& Find(size_t row) const;
  const std::string& Replace(size_t row) const;
  // The full text of column 0 (find) or 1 (replace).
  const std::string& GetDefinitionText(size_t row, int column) const {
    return column == 0 ? Find(row) : Replace(row);
  }

  // Gives the row a slot pair, or overwrites the pair it has.
  void StoreLongTexts(size_t row, const std::string& find, const std::string& replace);

  void SetChecked(size_t row, bool checked) { rows_[row].checked = checked; }
  void SetCount(size_t row, std::optional<int64_t> count) { rows_[row].count = count; }
  // Adds n to the row's count (a row without one counts from 0).
  void AddToCount(size_t row, int64_t n) { rows_[row].count = rows_[row].count.value_or(0) + n; }

  // Removes every row and empties the long-text store.
  void Clear();

  // Every row's full texts, in order; and rows appended from records.
  std::vector<DefinitionRecord> Records() const;
  void AppendRecords(const std::vector<DefinitionRecord>& records, bool checked);

  // The list commands. Each takes the selected row (or kNoRow) and gives
  // the row selected afterwards (kNoRow for none).
  // Add: a checked row "str1" / "str2" at the end; gives its index.
  size_t AddDefault();
  size_t Delete(size_t selected);
  void CheckAll();
  void InvertChecks();
  size_t MoveUp(size_t selected);
  size_t MoveDown(size_t selected);

  // The end of an edit in place of column 0 (find), 1 (replace) or 2
  // (count: a decimal number, or empty for none; anything else is ignored).
  void EndEdit(size_t row, int column, const std::string& text);

 private:
  std::vector<DefinitionRow> rows_;
  LongTextStore store_;
};

}  // namespace strbatch

#endif  // STRBATCH_LISTS_DEFINITION_LIST_H_

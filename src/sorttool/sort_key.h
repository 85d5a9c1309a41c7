// How the line sort tool orders lines: every line gets a sort key, a byte
// string in which the comparison options and the two rule tables are already
// applied, and lines are ordered by plain byte comparison of their keys with
// a fixed quicksort whose steps decide where lines with equal keys end up.
#ifndef STRBATCH_SORTTOOL_SORT_KEY_H_
#define STRBATCH_SORTTOOL_SORT_KEY_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

namespace strbatch {

struct SortKeyOptions {
  bool caseSensitive = false;   // off: letters are lower-cased
  bool widthSensitive = false;  // off: full-width forms fold to half-width
  bool countSpaces = false;     // off: a space contributes nothing
};

// The user's rule tables, looked up one character (unit) at a time.
struct SortTables {
  std::map<std::string, std::string, std::less<>> equalValues;  // character -> substitute
  std::set<std::string, std::less<>> noSort;                    // characters left out
};

// Builds keys for one sort run; tables must outlive the builder, and their
// entries are in the code page of the text. The code page decides what a
// character (unit) is, how characters are lower-cased and the byte forms of
// the full-width characters. In the process code page exactly the signs of
// the folding table fold; in any other code page (a BIG5 file, UTF-8) every
// full-width form U+FF01 to U+FF5E folds as well.
class SortKeyBuilder {
 public:
  SortKeyBuilder(const SortKeyOptions& options, const SortTables& tables,
                 const CodePage& codePage = CodePage::Process());

  std::string BuildKey(std::string_view text) const;

 private:
  size_t UnitEnd(std::string_view text, size_t pos) const;
  void LowerCase(std::string* value) const;
  void FoldWidth(std::string* value) const;

  SortKeyOptions options_;
  const SortTables& tables_;
  CodePage codePage_;
  // For a double-byte code page, per double-byte code (lead byte << 8 |
  // trail byte): its lower-case code, or 0 when lower-casing leaves it
  // alone. None for UTF-8, whose characters are looked at one by one.
  const std::vector<unsigned short>* lowerCase_ = nullptr;
  // Per double-byte code: the half-width character it folds to, or 0.
  const std::vector<char>* fullWidth_ = nullptr;
};

// Unsigned byte comparison; a key that is a prefix of another comes first.
// Negative, zero or positive.
int CompareSortKeys(std::string_view a, std::string_view b);

struct LineEntry {
  std::string text;
  std::string key;
};

// Puts the entries in ascending key order, in place. Stack use stays small
// whatever the number of entries.
void SortLineEntries(std::vector<LineEntry>& entries);

}  // namespace strbatch

#endif  // STRBATCH_SORTTOOL_SORT_KEY_H_
